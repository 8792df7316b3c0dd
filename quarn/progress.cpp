// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "progress.h"

#include "dirtree.h"
#include "sizetext.h"
#include "utf8.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <vector>

namespace quarn {

namespace {

constexpr auto firstDrawing = std::chrono::milliseconds(500);
constexpr auto drawingInterval = std::chrono::milliseconds(100);
constexpr std::size_t columnsIfUnknown = 80;

// The terminal line shared by the progress line and error lines.
std::mutex terminalLock;
bool lineShown = false;       // a progress line is on the terminal
std::size_t shownColumns = 0; // its width

void writeStderr(std::string_view text)
{
    ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    (void)written; // nothing better to do with a terminal that takes nothing
}

// With terminalLock held. Spaces over the line, not an escape sequence:
// works on every terminal.
void clearShownLine()
{
    if (!lineShown)
        return;
    writeStderr("\r" + std::string(shownColumns, ' ') + "\r");
    lineShown = false;
    shownColumns = 0;
}

// Columns a terminal gives the character, never fewer: two for the East
// Asian wide and emoji ranges (some narrow symbols among them), one else.
std::size_t columnsOf(char32_t c)
{
    const bool wide =
        (c >= 0x1100 && c <= 0x115F) || (c >= 0x231A && c <= 0x231B) || (c >= 0x2600 && c <= 0x27BF) ||
        (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
        (c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD);
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

} // namespace

Progress::Progress(unsigned workers)
    : m_slots(new Slot[std::max(1u, workers)]), m_workers(std::max(1u, workers)),
      m_seen(new const DirNode *[std::max(1u, workers)]())
{}

Progress::~Progress()
{
    stop();
}

void Progress::start()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_thread.joinable())
        return;
    m_stopping = false;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        // No thread to be had (process or memory limits): the scan goes on
        // without a progress line.
    }
}

void Progress::stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> guard(terminalLock);
    clearShownLine();
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
    const std::string text =
        lineText(entries, bytes, m_folder ? displayPath(m_folder) : std::string(), terminalColumns() - 1);
    const std::size_t columns = columnsOf(text);

    std::lock_guard<std::mutex> guard(terminalLock);
    if (lineShown && text == m_lastText)
        return;
    m_lastText = text;
    std::string out = "\r" + text;
    if (lineShown && shownColumns > columns)
        out.append(shownColumns - columns, ' ');
    writeStderr(out);
    lineShown = true;
    shownColumns = columns;
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

void writeErrorLine(std::string_view line)
{
    std::lock_guard<std::mutex> guard(terminalLock);
    clearShownLine();
    writeStderr(line);
}

} // namespace quarn
