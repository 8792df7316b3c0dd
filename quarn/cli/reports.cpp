// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/reports.h"

#include "cli/command.h"
#include "cli/options.h"
#include "core/dirtree.h"
#include "core/utf8.h"
#include "formats/jsonwriter.h"
#include "formats/textwriter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quarn {

namespace {

// NO_COLOR set to anything but the empty text turns the automatic colour off.
bool colour(Options::Colour choice)
{
    if (choice != Options::ColourAuto)
        return choice == Options::ColourAlways;
    const char *noColour = std::getenv("NO_COLOR");
    return ::isatty(STDOUT_FILENO) && !(noColour && *noColour);
}

bool writeReport(const Report &report, const Options &options, bool exactSizes, OutputSink &out,
                 std::uint64_t whole = 0)
{
    if (options.json)
        return writeJson(report, exactSizes, out, [](std::string_view name) {
            writeAll(STDERR_FILENO,
                     "quarn: name is not UTF-8, shown with U+FFFD: '" + escapedForLog(name) + "'\n");
        });
    return writeText(report, exactSizes, colour(options.colour), out, whole);
}

} // namespace

bool textColour(const Options &options)
{
    return colour(options.colour);
}

void reportWriteError(int error)
{
    writeAll(STDERR_FILENO, std::string("quarn: write error: ") + std::strerror(error) + "\n");
}

bool StdoutSink::write(std::string_view chunk)
{
    m_error = writeAll(STDOUT_FILENO, chunk);
    return m_error == 0;
}

Reports::Reports(const Options &options)
    : m_options(options), m_exactSizes(options.exactSizes || options.inodes), // a count is never scaled
      m_holdLines(options.summarize && !options.json && !options.input && options.paths.size() > 1)
{}

bool Reports::add(const ScanResult &result)
{
    if (result.status == ScanStatus::TargetUnreadable) {
        failed(2);
        return true;
    }
    if (result.status == ScanStatus::AlreadyCounted)
        return true;
    if (result.status == ScanStatus::Incomplete)
        failed(1);
    const ReportEntry &root = result.report.entries().front();
    m_total = addSizes(m_total, root.size);
    if (m_holdLines) {
        std::string name(result.report.name(root));
        if (!result.report.linkTarget().empty())
            name += " -> " + result.report.linkTarget(); // text only: the writer makes it printable
        m_held.add(0, name, root.size, result.report.error(root));
        return true;
    }
    return write(result.report);
}

int Reports::finish()
{
    if (m_holdLines) {
        if (m_options.total)
            m_held.add(0, "total", m_total);
        if (!m_held.entries().empty())
            write(m_held, std::max<std::uint64_t>(m_total, 1));
    } else if (m_options.total && !m_writeFailed) {
        Report sum;
        sum.add(0, "total", m_total);
        write(sum);
    }
    return m_status;
}

bool Reports::write(const Report &report, std::uint64_t whole)
{
    if (m_writeFailed)
        return false;
    if (writeReport(report, m_options, m_exactSizes, m_out, whole))
        return true;
    reportWriteError(m_out.error());
    m_writeFailed = true;
    failed(1);
    return false;
}

} // namespace quarn
