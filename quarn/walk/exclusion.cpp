// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "walk/exclusion.h"

#include "core/dirtree.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace quarn {

namespace {

constexpr char cacheTagName[] = "CACHEDIR.TAG";
constexpr char cacheTagSignature[] = "Signature: 8a477f597d28d172789f06886806bc55";
constexpr std::size_t cacheTagSignatureLength = sizeof cacheTagSignature - 1;

// As du decides it: '?', '*' and '[' make a glob, a backslash quotes the
// next character. A ']' alone does not: "x]\\" is the literal name, its
// trailing backslash kept, where fnmatch would match nothing.
bool hasWildcards(std::string_view pattern)
{
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\')
            ++i;
        else if (c == '?' || c == '*' || c == '[')
            return true;
    }
    return false;
}

// A literal with its quoting backslashes removed; a trailing one stays.
std::string unescaped(std::string_view pattern)
{
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\' && i + 1 < pattern.size())
            ++i;
        text += pattern[i];
    }
    return text;
}

// Whether a glob matches a path (a '/' inside) only where it also matches
// the path's first or last component: then a folder left out or the name
// alone decides, as walking never reaches below a folder left out. Holds
// for globs without '/', '?', '[' and '\' made of at most one run of other
// characters between '*'s: "*.o", "cache*", "*tmp*".
bool decidedByName(std::string_view glob)
{
    if (glob.find_first_of("/?[\\") != std::string_view::npos)
        return false;
    int runs = 0;
    for (std::size_t i = 0; i < glob.size(); ++i)
        if (glob[i] != '*' && (i == 0 || glob[i - 1] == '*'))
            ++runs;
    return runs <= 1;
}

bool globMatches(const std::string &glob, const char *text)
{
    return ::fnmatch(glob.c_str(), text, 0) == 0;
}

bool sortedHolds(const std::vector<std::string> &sorted, std::string_view text)
{
    return std::binary_search(sorted.begin(), sorted.end(), text,
                              [](std::string_view a, std::string_view b) { return a < b; });
}

// The path and every part of it after a '/' that does not start with
// another '/', as du tries a glob.
bool globMatchesPath(const std::string &glob, const char *path)
{
    if (globMatches(glob, path))
        return true;
    for (const char *p = path; *p; ++p)
        if (*p == '/' && p[1] != '/' && globMatches(glob, p + 1))
            return true;
    return false;
}

// The path and every part of it after a '/', as du looks a literal up.
bool literalMatchesPath(const std::vector<std::string> &literals, const char *path)
{
    if (sortedHolds(literals, path))
        return true;
    for (const char *slash = std::strchr(path, '/'); slash; slash = std::strchr(slash + 1, '/'))
        if (sortedHolds(literals, slash + 1))
            return true;
    return false;
}

void sortUnique(std::vector<std::string> &texts)
{
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
}

} // namespace

void Exclusion::addPattern(std::string_view pattern)
{
    if (!hasWildcards(pattern)) {
        std::string literal = unescaped(pattern);
        std::vector<std::string> &literals =
            literal.find('/') == std::string::npos ? m_nameLiterals : m_pathLiterals;
        literals.push_back(std::move(literal)); // sorted by setTarget()
    } else if (decidedByName(pattern)) {
        m_nameGlobs.emplace_back(pattern);
    } else {
        m_pathGlobs.emplace_back(pattern);
    }
}

std::string Exclusion::addPatternsFrom(const std::string &file)
{
    const bool standardInput = file == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::strerror(errno);
    std::string text;
    char buffer[65536];
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, std::size_t(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    if (!standardInput)
        ::close(fd);
    if (error)
        return std::strerror(error);

    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::size_t last = end;
        while (last > start && std::isspace(static_cast<unsigned char>(text[last - 1])))
            --last;
        // A line is read as a C string, as du reads it: a NUL ends the
        // pattern, whatever follows it on the line.
        if (last > start) {
            const std::string_view line = std::string_view(text).substr(start, last - start);
            addPattern(line.substr(0, line.find('\0')));
        }
        start = end + 1;
    }
    return {};
}

void Exclusion::setTarget(std::string_view targetName)
{
    // Sorted once: inserting each in place would cost the square of their
    // number, and a pattern file may hold hundreds of thousands.
    sortUnique(m_nameLiterals);
    sortUnique(m_pathLiterals);

    // A glob that matches through the target's own path would match below
    // it where the names alone do not: it must see the paths.
    const std::string target(targetName);
    auto throughTarget = [&](const std::string &glob) {
        if (globMatches(glob, target.c_str()))
            return true;
        for (std::size_t slash = target.find('/'); slash != std::string::npos;
             slash = target.find('/', slash + 1))
            if (globMatches(glob, target.c_str() + slash + 1))
                return true;
        return false;
    };
    auto moved = std::stable_partition(m_nameGlobs.begin(), m_nameGlobs.end(),
                                       [&](const std::string &glob) { return !throughTarget(glob); });
    m_pathGlobs.insert(m_pathGlobs.end(), moved, m_nameGlobs.end());
    m_nameGlobs.erase(moved, m_nameGlobs.end());
}

bool Exclusion::excludes(const char *name, const std::string *path) const
{
    if (!m_nameLiterals.empty() && sortedHolds(m_nameLiterals, name))
        return true;
    for (const std::string &glob : m_nameGlobs)
        if (globMatches(glob, name))
            return true;
    if (!path)
        return false;
    if (!m_pathLiterals.empty() && literalMatchesPath(m_pathLiterals, path->c_str()))
        return true;
    for (const std::string &glob : m_pathGlobs)
        if (globMatchesPath(glob, path->c_str()))
            return true;
    return false;
}

bool isCacheDirectory(int dirFd)
{
    // Only a regular file is opened: opening a device or a FIFO could block
    // or act on the device.
    struct stat info;
    if (::fstatat(dirFd, cacheTagName, &info, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0 ||
        !S_ISREG(info.st_mode) || info.st_size < off_t(cacheTagSignatureLength))
        return false;
    const int fd = ::openat(dirFd, cacheTagName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char start[cacheTagSignatureLength];
    std::size_t got = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        while (got < sizeof start) {
            const ssize_t part = ::read(fd, start + got, sizeof start - got);
            if (part > 0)
                got += std::size_t(part);
            else if (part == 0 || errno != EINTR)
                break;
        }
    }
    ::close(fd);
    return got == sizeof start && std::memcmp(start, cacheTagSignature, sizeof start) == 0;
}

void FolderFilter::enter(const Exclusion *exclusion, const DirNode *dir, int fd)
{
    m_exclusion = exclusion;
    if (!exclusion)
        return;
    m_tagOnly = exclusion->excludesCaches() && isCacheDirectory(fd);
    if (!exclusion->matchesPaths())
        return;
    if (m_pathDir && dir->parent == m_pathDir) {
        m_path.resize(m_folderLength);
        m_path += dir->name();
    } else {
        m_path = displayPath(dir);
    }
    if (m_path.empty() || m_path.back() != '/')
        m_path += '/';
    m_pathDir = dir;
    m_folderLength = m_path.size();
}

bool FolderFilter::skipsEntry(const char *name)
{
    if (m_tagOnly && std::strcmp(name, cacheTagName) != 0)
        return true;
    if (!m_exclusion->matchesPaths())
        return m_exclusion->excludes(name, nullptr);
    m_path.resize(m_folderLength);
    m_path += name;
    return m_exclusion->excludes(name, &m_path);
}

} // namespace quarn
