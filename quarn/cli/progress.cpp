// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/progress.h"

#include "core/dirtree.h"
#include "core/errorline.h"
#include "core/utf8.h"
#include "formats/sizetext.h"
#include "platform/descriptorbudget.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cwchar>
#include <iterator>
#include <new>
#include <system_error>
#include <vector>

namespace quarn {

namespace {

// Stack of the drawing thread: no recursion, its texts on the heap.
constexpr std::size_t drawingStackSize = 128 * 1024;
constexpr auto firstDrawing = std::chrono::milliseconds(500);
constexpr auto drawingInterval = std::chrono::milliseconds(100);
constexpr std::size_t columnsIfUnknown = 80;
constexpr int clearingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal line shared by the progress line and error lines.
// What a signal handler reads too, hence atomic.
std::atomic<bool> lineShown{false};       // a progress line (or part of one) is on the terminal
std::atomic<std::size_t> shownColumns{0}; // its width
// Where the progress line goes: standard error's terminal opened again,
// non-blocking, or else standard error itself, written only when poll
// says it takes bytes.
std::atomic<int> lineFd{-1};
std::atomic<bool> lineFdNonBlocking{false};
// A signal's handler runs in a thread of its own, beside the drawing: it
// sets ending, then waits while drawing is set, so that no part of a line
// is drawn after its clearing (a drawing writes without waiting: short).
std::atomic<bool> ending{false};
std::atomic<bool> drawing{false};
// How each of clearingSignals was handled before the progress line took
// it: the handler passes the signal on to that (default or another's).
struct sigaction previousActions[std::size(clearingSignals)];

// Writes what the terminal takes without waiting: a terminal whose output
// is suspended, or that nobody reads, must not hold up the scan, so what it
// does not take is dropped. Returns the bytes written. Async-signal-safe.
std::size_t writeWithoutWaiting(const char *text, std::size_t length)
{
    const int fd = lineFd.load();
    std::size_t written = 0;
    while (fd >= 0 && written < length) {
        if (!lineFdNonBlocking.load()) {
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, 0) != 1 || !(ready.revents & POLLOUT))
                break;
        }
        const ssize_t part = ::write(fd, text + written, length - written);
        if (part > 0)
            written += std::size_t(part);
        else if (part == 0 || errno != EINTR)
            break;
    }
    return written;
}

// Spaces over the line, not an escape sequence: works on every terminal.
// Async-signal-safe: no allocation.
void writeClearing(std::size_t columns)
{
    static const char spaces[] = "                                                                ";
    constexpr std::size_t chunk = sizeof spaces - 1;
    if (writeWithoutWaiting("\r", 1) != 1)
        return;
    for (std::size_t left = columns; left > 0;) {
        const std::size_t part = std::min(left, chunk);
        if (writeWithoutWaiting(spaces, part) != part)
            return;
        left -= part;
    }
    writeWithoutWaiting("\r", 1);
}

std::string clearingText(std::size_t columns)
{
    return "\r" + std::string(columns, ' ') + "\r";
}

// The hook of error lines: with errorLineLock held.
std::string takeShownLine()
{
    std::string out;
    if (lineShown.load())
        out = clearingText(shownColumns.load());
    lineShown.store(false);
    shownColumns.store(0);
    return out;
}

// With errorLineLock held.
void clearShownLine()
{
    if (!lineShown.load())
        return;
    writeClearing(shownColumns.load());
    lineShown.store(false);
    shownColumns.store(0);
}

// Clears the progress line, then passes the signal on to what handled it
// before (in the end, the default: the process ends by the same signal, so
// that its parent sees how it ended).
void clearAndRaise(int signal)
{
    const int savedErrno = errno;
    ending.store(true);
    while (drawing.load())
        ::sched_yield();
    if (lineShown.load())
        writeClearing(shownColumns.load());
    for (std::size_t i = 0; i < std::size(clearingSignals); ++i)
        if (clearingSignals[i] == signal)
            ::sigaction(signal, &previousActions[i], nullptr);
    ::raise(signal); // delivered once this handler returns
    errno = savedErrno;
}

// Columns a terminal gives the character as the locale tells it; for one
// the locale does not know (any but ASCII in the C locale): two for the
// East Asian wide and emoji ranges (some narrow symbols among them: too
// many columns only shorten the line, too few would wrap it), one else.
std::size_t columnsOf(char32_t c)
{
    const int width = ::wcwidth(wchar_t(c));
    if (width >= 0)
        return std::size_t(width);
    const bool wide =
        (c >= 0x1100 && c <= 0x115F) || (c >= 0x231A && c <= 0x231B) || (c >= 0x2600 && c <= 0x27BF) ||
        (c >= 0x2B1B && c <= 0x2B55) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE10 && c <= 0xFE19) || (c >= 0xFE30 && c <= 0xFE6F) ||
        (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x16FE0 && c <= 0x18CFF) ||
        (c >= 0x1B000 && c <= 0x1B2FF) || (c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

struct Character
{
    std::size_t offset;
    std::size_t columns;
};

std::vector<Character> charactersOf(std::string_view text)
{
    std::vector<Character> characters;
    for (std::size_t offset = 0; offset < text.size();) {
        const std::size_t length = validUtf8SequenceLength(text.substr(offset));
        if (length == 0) { // not expected in escaped text: one column for the byte
            characters.push_back({offset, 1});
            ++offset;
            continue;
        }
        characters.push_back({offset, columnsOf(decodeUtf8(text.substr(offset, length)))});
        offset += length;
    }
    return characters;
}

std::size_t columnsOf(std::string_view text)
{
    std::size_t columns = 0;
    for (const Character &c : charactersOf(text))
        columns += c.columns;
    return columns;
}

std::size_t terminalColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return columnsIfUnknown;
}

// The end of the folder's displayed path: all of it when it fits in
// columns once escaped, else a tail wider than that. Built from the folder
// up only as far as that needs: a path may be megabytes long.
std::string pathTail(const DirNode *folder, std::size_t columns)
{
    std::vector<std::string> parts; // from the folder up, each with the '/' that follows it
    std::size_t width = 0;
    for (const DirNode *dir = folder; dir && width <= columns; dir = dir->parent) {
        std::string part(dir->name());
        if (!parts.empty() && !part.empty() && part.back() != '/')
            part += '/';
        width += columnsOf(escapedForLog(part));
        parts.push_back(std::move(part));
    }
    std::string tail;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part)
        tail += *part;
    return tail;
}

} // namespace

Progress::Progress(unsigned workers)
    : m_slots(new Slot[std::max(1u, workers)]), m_workers(std::max(1u, workers)),
      m_seen(new const DirNode *[std::max(1u, workers)]())
{
    setErrorLineClearing(takeShownLine);
    // A description of its own for the terminal, so that being non-blocking
    // touches neither standard error's nor that of other programs sharing it;
    // opened before the walk divides the descriptors free, so that the walk
    // counts it, and only where the walk can spare it. Where it cannot be
    // opened again (another user's terminal) or spared, standard error is
    // written only when poll says it takes bytes.
    if (!descriptorsToSpare(1))
        return;
    m_terminal = ::open("/proc/self/fd/2", O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_terminal >= 0 && !::isatty(m_terminal)) {
        ::close(m_terminal);
        m_terminal = -1;
    }
}

Progress::~Progress()
{
    stop();
    if (m_terminal >= 0)
        ::close(m_terminal);
}

void Progress::start()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_running)
        return;
    m_stopping = false;
    lineFdNonBlocking.store(m_terminal >= 0);
    lineFd.store(m_terminal >= 0 ? m_terminal : STDERR_FILENO);
    // Ended by a signal, the scan clears its line first, then lets the
    // signal do what it did before; a signal ignored from the start stays
    // ignored.
    for (std::size_t i = 0; i < std::size(clearingSignals); ++i) {
        struct sigaction clearing = {};
        clearing.sa_handler = clearAndRaise;
        sigemptyset(&clearing.sa_mask);
        m_signalsTaken[i] =
            ::sigaction(clearingSignals[i], nullptr, &previousActions[i]) == 0 &&
            ((previousActions[i].sa_flags & SA_SIGINFO) || previousActions[i].sa_handler != SIG_IGN) &&
            ::sigaction(clearingSignals[i], &clearing, nullptr) == 0;
    }
    // A small stack: drawing needs little, and the walk keeps what a tight
    // address-space limit leaves. No thread to be had (process or memory
    // limits): the scan goes on without a progress line.
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return;
    pthread_attr_setstacksize(&attributes, drawingStackSize);
    m_running = pthread_create(&m_thread, &attributes, threadMain, this) == 0;
    pthread_attr_destroy(&attributes);
}

void *Progress::threadMain(void *progress)
{
    try {
        static_cast<Progress *>(progress)->run();
    } catch (const std::bad_alloc &) {
        // Out of memory while drawing: the line is given up, not the scan.
    }
    return nullptr;
}

void Progress::stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_running) {
        pthread_join(m_thread, nullptr);
        m_running = false;
    }
    std::lock_guard<std::mutex> guard(errorLineLock());
    clearShownLine();
    for (std::size_t i = 0; i < std::size(clearingSignals); ++i)
        if (m_signalsTaken[i]) {
            ::sigaction(clearingSignals[i], &previousActions[i], nullptr);
            m_signalsTaken[i] = false;
        }
    lineFd.store(-1);
}

void Progress::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    auto stopping = [this] { return m_stopping; };
    if (m_wake.wait_for(lock, firstDrawing, stopping))
        return;
    do {
        lock.unlock();
        draw();
        lock.lock();
    } while (!m_wake.wait_for(lock, drawingInterval, stopping));
}

void Progress::draw()
{
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0;
    for (unsigned i = 0; i < m_workers; ++i) {
        entries += m_slots[i].entries.load(std::memory_order_relaxed);
        bytes = addSizes(bytes, m_slots[i].bytes.load(std::memory_order_relaxed));
    }
    // Follow a thread that moved on to another folder, taking turns.
    bool moved = false;
    for (unsigned k = 0; k < m_workers; ++k) {
        const unsigned i = (m_nextSlot + k) % m_workers;
        const DirNode *folder = m_slots[i].folder.load(std::memory_order_acquire);
        if (folder != m_seen[i]) {
            m_seen[i] = folder;
            if (folder && !moved) {
                m_folder = folder;
                m_nextSlot = i + 1;
                moved = true;
            }
        }
    }
    const std::size_t width = terminalColumns() - 1;
    const std::string text =
        lineText(entries, bytes, m_folder ? pathTail(m_folder, width) : std::string(), width);
    const std::size_t columns = columnsOf(text);

    std::lock_guard<std::mutex> guard(errorLineLock());
    const bool shown = lineShown.load();
    if (shown && text == m_lastText)
        return;
    std::string out = "\r" + text;
    const std::size_t before = shown ? shownColumns.load() : 0;
    if (before > columns)
        out.append(before - columns, ' ');
    drawing.store(true);
    if (ending.load()) {
        drawing.store(false);
        return;
    }
    const std::size_t written = writeWithoutWaiting(out.data(), out.size());
    if (written > 0) {
        // A line cut short is drawn again next time; clearing covers the wider.
        m_lastText = written == out.size() ? text : std::string();
        lineShown.store(true);
        shownColumns.store(written == out.size() ? columns : std::max(before, columns));
    }
    drawing.store(false);
}

std::string Progress::lineText(std::uint64_t entries, std::uint64_t bytes, std::string_view path,
                               std::size_t columns)
{
    std::string line = std::to_string(entries) + " entries, " + sizeText(bytes);
    if (line.size() >= columns)
        return line.substr(0, columns);
    if (path.empty())
        return line;
    line += "  ";
    const std::string name = escapedForLog(path);
    const std::vector<Character> characters = charactersOf(name);
    std::size_t nameColumns = 0;
    for (const Character &c : characters)
        nameColumns += c.columns;
    const std::size_t room = columns > line.size() ? columns - line.size() : 0;
    if (nameColumns <= room)
        return line + name;
    constexpr std::string_view ellipsis = "...";
    if (room <= ellipsis.size())
        return line.substr(0, line.size() - 2);
    // The end of the path tells most: keep as much of it as fits.
    std::size_t kept = 0;
    std::size_t start = name.size();
    for (auto c = characters.rbegin(); c != characters.rend(); ++c) {
        if (kept + c->columns > room - ellipsis.size())
            break;
        kept += c->columns;
        start = c->offset;
    }
    return line + std::string(ellipsis) + name.substr(start);
}

} // namespace quarn
