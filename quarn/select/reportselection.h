// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The report chosen as a listener of the walk: the files that may rank kept by each walking thread, the
// report selected from them and the folders once the tree is done.

#pragma once

#include "core/report.h"
#include "core/walkevents.h"
#include "select/selection.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quarn {

class ReportSelection final : public WalkEvents
{
public:
    // workers: the walk's worker indices lie below it.
    ReportSelection(const ReportOptions &options, unsigned workers);

    bool wantsFiles() const override { return true; }
    void fileCounted(unsigned worker, const DirNode *folder, const char *name, std::uint64_t bytes) override
    {
        Worker &w = m_workers[worker];
        w.files.offer(bytes, folder, name);
        w.floor = w.files.sizeFloor();
    }
    const std::uint64_t *fileFloor(unsigned worker) const override { return &m_workers[worker].floor; }
    bool wantsLinkName(unsigned worker, const DirNode *folder, std::uint64_t bytes) const override
    {
        return m_workers[worker].files.mayRank(bytes, folder);
    }
    void linkCounted(const DirNode *folder, std::string_view name, std::uint64_t bytes) override
    {
        m_linked.offer(bytes, folder, name);
    }
    // Selects the report from the folders and the files kept.
    void treeDone(const DirNodeStore &dirs, const FolderErrors &errors) override;
    // The report of a target that is a file: that file alone.
    void fileTarget(std::string_view name, const EntryInfo &info, std::string_view linkTarget) override;

    // The report, once the tree is done or the target was a file; empty
    // before, and where the walk could not look at its target.
    Report takeReport() { return std::move(m_report); }

private:
    // Apart from the others' in memory: each thread offers to its own.
    struct alignas(64) Worker
    {
        explicit Worker(const ReportOptions &options) : files(options.top, options.maxDepth) {}
        TopFiles files;
        std::uint64_t floor = 0; // files.sizeFloor(), for the walk to read before each file
    };

    ReportOptions m_options;
    std::vector<Worker> m_workers;
    TopFiles m_linked; // the files of several links, counted after the walk
    Report m_report;
};

} // namespace quarn
