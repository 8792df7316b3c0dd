// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/atomicoutput.h"

#include "core/utf8.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

namespace quarn {

namespace {

// Links followed at most, as the kernel's limit.
constexpr int linkLimit = 40;
// A temporary's name keeps this much of the file's name: room for its own
// prefix and suffix within the system's 255 bytes.
constexpr std::size_t keptNameLength = 200;
// Signals that end the process and would leave a named temporary behind.
constexpr int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The named temporary a signal handler removes; null when there is none.
std::atomic<const char *> pendingTemporary{nullptr};
struct sigaction previousActions[std::size(endingSignals)];
bool signalsTaken[std::size(endingSignals)] = {};

std::string quoted(const std::string &path)
{
    return "'" + escapedForLog(path) + "'";
}

std::string reason(int error)
{
    return std::strerror(error);
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes the temporary, then ends the process as the signal would have:
// through whatever handled it before (a progress line clearing itself).
void removeAndRaise(int signal)
{
    const int savedErrno = errno;
    if (const char *path = pendingTemporary.exchange(nullptr))
        ::unlink(path);
    for (std::size_t i = 0; i < std::size(endingSignals); ++i)
        if (endingSignals[i] == signal)
            ::sigaction(signal, &previousActions[i], nullptr);
    ::raise(signal); // delivered once this handler returns
    errno = savedErrno;
}

// A signal ignored from the start stays ignored.
void takeEndingSignals()
{
    for (std::size_t i = 0; i < std::size(endingSignals); ++i) {
        struct sigaction removing = {};
        removing.sa_handler = removeAndRaise;
        sigfillset(&removing.sa_mask);
        signalsTaken[i] = ::sigaction(endingSignals[i], nullptr, &previousActions[i]) == 0 &&
                          previousActions[i].sa_handler != SIG_IGN &&
                          ::sigaction(endingSignals[i], &removing, nullptr) == 0;
    }
}

void restoreEndingSignals()
{
    for (std::size_t i = 0; i < std::size(endingSignals); ++i)
        if (signalsTaken[i]) {
            ::sigaction(endingSignals[i], &previousActions[i], nullptr);
            signalsTaken[i] = false;
        }
}

// Blocks the ending signals in this thread while it lives: the steps that
// put the export in place are never cut between the link and the rename.
class SignalsHeld
{
public:
    SignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : endingSignals)
            sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &m_before);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }

private:
    sigset_t m_before;
};

// A name beside the file that nothing else uses, or the last attempt's.
std::string temporaryName(const std::string &folder, const std::string &target, unsigned attempt)
{
    const unsigned long stamp = (unsigned long)(std::time(nullptr)) ^ (unsigned long)(::getpid()) << 16;
    return folder + "/." + nameOf(target).substr(0, keptNameLength) + ".quarn-" +
           std::to_string(stamp + attempt * 7919);
}

// Where standard output stood, a descriptor that refuses writes, so that the
// next one opened does not take its number.
void holdStandardOutput()
{
    const int held = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (held >= 0 && held != STDOUT_FILENO) {
        ::dup2(held, STDOUT_FILENO);
        ::close(held);
    }
}

// Makes fd standard output; false with errno set.
bool becomeStandardOutput(int fd)
{
    if (fd == STDOUT_FILENO)
        return true;
    const bool done = ::dup3(fd, STDOUT_FILENO, 0) >= 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return done;
}

} // namespace

AtomicOutput::~AtomicOutput()
{
    discard();
}

std::string AtomicOutput::open(const std::string &file)
{
    m_file = file;
    // Each link on the way checked as the kernel's protection would; the
    // path where the last one points (to make there, if nothing is).
    std::string end = file;
    struct stat info;
    bool descriptorLink = false; // one of /proc's links to what a process has open, as /dev/stdout
    for (int followed = 0; ::lstat(end.c_str(), &info) == 0 && S_ISLNK(info.st_mode); ++followed) {
        struct statfs fileSystem;
        descriptorLink = descriptorLink || (::statfs(folderOf(end).c_str(), &fileSystem) == 0 &&
                                            fileSystem.f_type == PROC_SUPER_MAGIC);
        if (followed == linkLimit)
            return "cannot write " + quoted(file) + ": " + reason(ELOOP);
        struct stat folder;
        if (::stat(folderOf(end).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) &&
            (folder.st_mode & S_IWOTH) && info.st_uid != ::geteuid() && info.st_uid != folder.st_uid)
            return "cannot write " + quoted(file) +
                   ": not following another user's symbolic link in a sticky world-writable folder";
        std::string link(std::size_t(info.st_size > 0 ? info.st_size : 4095) + 1, '\0');
        const ssize_t length = ::readlink(end.c_str(), link.data(), link.size());
        if (length <= 0)
            return "cannot write " + quoted(file) + ": " + reason(length < 0 ? errno : ENOENT);
        link.resize(std::size_t(length));
        end = link.front() == '/' ? link : folderOf(end) + "/" + link;
    }
    // What is there, as the kernel follows the links (those of /proc too).
    if (::stat(file.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return "cannot write " + quoted(file) + ": " + reason(errno);
        return prepare(end, false, 0, 0, 0);
    }
    if (!S_ISREG(info.st_mode) || descriptorLink) {
        // A device, a FIFO, a terminal, or what is open already: written as
        // a stream, as '>' does.
        const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0 || !becomeStandardOutput(fd))
            return "cannot write " + quoted(file) + ": " + reason(errno);
        m_kind = Kind::Stream;
        return {};
    }
    if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0)
        return "cannot write " + quoted(file) + ": " + reason(errno);
    if (end != file) {
        char *real = ::realpath(file.c_str(), nullptr);
        if (real) {
            end = real;
            std::free(real);
        }
    }
    return prepare(end, true, info.st_mode & 07777, info.st_uid, info.st_gid);
}

std::string AtomicOutput::prepare(const std::string &target, bool exists, unsigned mode, unsigned owner,
                                  unsigned group)
{
    m_target = target;
    m_folder = folderOf(target);
    struct stat folder;
    if (::stat(m_folder.c_str(), &folder) != 0)
        return "cannot write " + quoted(m_file) + ": " + reason(errno);
    // A rename in a sticky folder replaces only one's own files (or the folder owner's).
    const uid_t me = ::geteuid();
    if (exists && (folder.st_mode & S_ISVTX) && me != 0 && owner != me && folder.st_uid != me)
        return "cannot replace " + quoted(m_file) + ": another user's file in a sticky folder";
    const std::string cannotCreate =
        "cannot create a file in " + quoted(m_folder) + " to replace " + quoted(m_file) + ": ";

    // Linked later through /proc (or AT_EMPTY_PATH, which needs a capability).
    int fd = -1;
    if (::access("/proc/self/fd", X_OK) == 0) {
        fd = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return cannotCreate + reason(errno);
    }
    if (fd >= 0) {
        m_kind = Kind::Unnamed;
    } else {
        // A file system without unnamed files: a hidden name, removed on failure and on the ending signals.
        m_temporary = temporaryName(m_folder, target, 0) + ".XXXXXX";
        takeEndingSignals();
        fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            m_temporary.clear();
            restoreEndingSignals();
            return cannotCreate + reason(error);
        }
        pendingTemporary.store(m_temporary.c_str());
        m_kind = Kind::Named;
        if (!exists) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
    }
    if (exists) {
        // Owner and group where the process may set them; chown clears the set-ID bits, so it goes first.
        if (::fchown(fd, owner, group) != 0 && ::fchown(fd, uid_t(-1), group) != 0) {
            // The temporary stays the process's: the best it may do.
        }
    }
    if ((exists || m_kind == Kind::Named) && ::fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        discard();
        return cannotCreate + reason(error);
    }
    if (!becomeStandardOutput(fd)) {
        const int error = errno;
        discard();
        return "cannot write " + quoted(m_file) + ": " + reason(error);
    }
    return {};
}

std::string AtomicOutput::commit()
{
    if (m_kind == Kind::None || m_kind == Kind::Stream) {
        m_kind = Kind::None;
        return {};
    }
    const SignalsHeld held;
    std::string failure;
    if (m_kind == Kind::Unnamed) {
        for (unsigned attempt = 0; m_temporary.empty(); ++attempt) {
            std::string name = temporaryName(m_folder, m_target, attempt);
            if (::linkat(STDOUT_FILENO, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0 ||
                (errno != EEXIST &&
                 ::linkat(AT_FDCWD, "/proc/self/fd/1", AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)) {
                m_temporary.swap(name); // allocates nothing: a linked name is never lost to bad_alloc
            } else if (errno != EEXIST || attempt == 100) {
                failure = "cannot write " + quoted(m_file) + ": " + reason(errno);
                break;
            }
        }
    }
    // Written data a remote file system refuses shows when the file closes.
    if (failure.empty() && ::close(STDOUT_FILENO) != 0 && errno != EINTR)
        failure = "cannot write " + quoted(m_file) + ": " + reason(errno);
    holdStandardOutput();
    if (failure.empty() && ::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        failure = "cannot write " + quoted(m_file) + ": " + reason(errno);
    if (failure.empty()) {
        pendingTemporary.store(nullptr);
        m_temporary.clear();
        restoreEndingSignals();
        m_kind = Kind::None;
    } else {
        discard();
    }
    return failure;
}

void AtomicOutput::discard()
{
    if (!m_temporary.empty()) {
        pendingTemporary.store(nullptr);
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
    if (m_kind == Kind::Named)
        restoreEndingSignals();
    m_kind = Kind::None;
}

} // namespace quarn
