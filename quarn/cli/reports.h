// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The reports of a run on standard output, as each comes, then the total line, and the run's status.

#pragma once

#include "core/report.h"
#include "walk/walker.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace quarn {

struct Options;

// What the walk of one PATH, or an export read, gives.
struct ScanResult
{
    ScanStatus status = ScanStatus::Complete;
    Report report; // empty when the target could not be looked at, or was counted already
};

// Says on stderr that writing the output failed, and why.
void reportWriteError(int error);

// The report's way to stdout, chunk by chunk; the first failure ends it.
class StdoutSink final : public OutputSink
{
public:
    bool write(std::string_view chunk) override;
    int error() const { return m_error; }

private:
    int m_error = 0;
};

// The reports of a run, written as each comes, then the total line (-c):
// one way for the walks of PATHs and the report of an export, so that both
// print, count and end alike. A text summary of several PATHs is held to
// the end instead, one line for each, so that each shows its share of the
// total rather than 100.0%.
class Reports
{
public:
    explicit Reports(const Options &options);

    // Writes result's report and adds its total: the status is the worst of
    // the results', 2 for a target that could not be read at all, 1 for
    // entries that could not be read. False once a write failed (said on
    // stderr): nothing more is written then.
    bool add(const ScanResult &result);
    void failed(int status) { m_status = std::max(m_status, status); }
    // Writes the total line if asked for; returns the run's status.
    int finish();

private:
    bool write(const Report &report, std::uint64_t whole = 0);

    const Options &m_options;
    const bool m_exactSizes;
    StdoutSink m_out;
    const bool m_holdLines;
    Report m_held;             // with m_holdLines: each PATH's line, in order
    std::uint64_t m_total = 0; // of every report written, in what the run counts
    int m_status = 0;
    bool m_writeFailed = false;
};

} // namespace quarn
