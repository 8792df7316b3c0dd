// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "core/errorline.h"

#include "core/utf8.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace quarn {

namespace {

std::atomic<std::string (*)()> clearingHook{nullptr};

} // namespace

std::mutex &errorLineLock()
{
    static std::mutex lock;
    return lock;
}

void setErrorLineClearing(std::string (*clearing)())
{
    clearingHook.store(clearing);
}

void writeErrorLine(std::string_view line)
{
    // The clearing and the line in one write that waits as long as it must:
    // an error line is never dropped, and never mixed with the status line.
    std::lock_guard<std::mutex> guard(errorLineLock());
    std::string out;
    if (std::string(*clearing)() = clearingHook.load())
        out = clearing();
    out += line;
    std::string_view left = out;
    while (!left.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, left.data(), left.size());
        if (written > 0)
            left.remove_prefix(std::size_t(written));
        else if (written == 0 || errno != EINTR)
            break; // standard error refuses it: nowhere else to say so
    }
}

std::string errorText(int error)
{
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer); // GNU variant: returns the text
}

void reportError(const std::string &path, const std::string &reason)
{
    // Escaped: a name holding a line end could otherwise forge a line.
    std::string line = "quarn: cannot read '" + escapedForLog(path) + "': " + reason + "\n";
    // One write per line keeps lines from different threads whole.
    writeErrorLine(line);
}

} // namespace quarn
