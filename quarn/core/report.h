// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarn {

// One entry of the printed report.
struct ReportEntry
{
    std::uint64_t size = 0;        // bytes counted for this entry and everything below it
    std::size_t textStart = 0;     // its name, then its error text, in Report's text
    std::uint32_t depth = 0;       // 0 for the target
    std::uint32_t nameLength = 0;  // bytes
    std::uint32_t errorLength = 0; // bytes; 0 when the entry could be read completely
};

// The report the JSON and text writers consume, flat so that no step over
// it recurses however deep it goes: entries in pre-order, each followed by
// the reported entries below it, children largest first. Each entry keeps
// its last name component only (the target: its path as displayed); the
// writers build full paths one at a time.
class Report
{
public:
    // Appends the next entry in pre-order. The first entry is the target
    // (depth 0); every later one lies at depth 1 to one more than the entry
    // before it, and a depth outside that is moved into it, so the entries
    // always form one tree.
    void add(std::uint32_t depth, std::string_view name, std::uint64_t size, std::string_view error = {})
    {
        ReportEntry entry;
        entry.size = size;
        entry.depth = m_entries.empty() ? 0 : std::clamp(depth, 1u, m_entries.back().depth + 1);
        entry.textStart = m_text.size();
        entry.nameLength = std::uint32_t(name.size());
        entry.errorLength = std::uint32_t(error.size());
        m_text.append(name.substr(0, entry.nameLength));
        m_text.append(error.substr(0, entry.errorLength));
        m_entries.push_back(entry);
    }

    const std::vector<ReportEntry> &entries() const { return m_entries; }
    std::string_view name(const ReportEntry &entry) const
    {
        return std::string_view(m_text).substr(entry.textStart, entry.nameLength);
    }
    // Where the target, a symbolic link that was not followed, points;
    // empty for any other target. Only a text report shows it.
    void setLinkTarget(std::string target) { m_linkTarget = std::move(target); }
    const std::string &linkTarget() const { return m_linkTarget; }

    std::string_view error(const ReportEntry &entry) const
    {
        return std::string_view(m_text).substr(entry.textStart + entry.nameLength, entry.errorLength);
    }

private:
    std::vector<ReportEntry> m_entries;
    std::string m_text; // every entry's name and error text, in entry order
    std::string m_linkTarget;
};

// Where a writer's output goes, in chunks as it is produced.
class OutputSink
{
public:
    virtual ~OutputSink() = default;
    // Takes the next chunk; false when it could not, which ends the writing.
    virtual bool write(std::string_view chunk) = 0;
};

// Collects the output in a string.
class StringSink final : public OutputSink
{
public:
    bool write(std::string_view chunk) override
    {
        text.append(chunk);
        return true;
    }
    std::string text;
};

// A writer's output buffer, handed to a sink whenever it holds a chunk's
// worth, so a report of any size needs no more than that in memory.
class ChunkedOutput
{
public:
    static constexpr std::size_t chunkSize = 64 * 1024;

    explicit ChunkedOutput(OutputSink &sink) : m_sink(sink) { m_buffer.reserve(chunkSize); }
    std::string &buffer() { return m_buffer; }
    // Passes the buffer on once it is full. Returns false once the sink has refused.
    bool pass() { return m_buffer.size() < chunkSize || flush(); }
    // Passes on whatever the buffer holds. Returns false once the sink has refused.
    bool flush()
    {
        if (!m_buffer.empty() && !m_sink.write(m_buffer))
            return false;
        m_buffer.clear();
        return true;
    }

private:
    OutputSink &m_sink;
    std::string m_buffer;
};

} // namespace quarn
