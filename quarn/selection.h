// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "dirtree.h"
#include "report.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace quarn {

// A file that may still be among the largest entries.
struct FileCandidate
{
    std::uint64_t size = 0;
    std::uint32_t depth = 0;
    const DirNode *parent = nullptr;
    std::string name; // last component
};

// The best-ranked files seen so far, at most capacity of them: the only
// per-file memory the walk keeps. One per walking thread, merged at the end.
class TopFiles
{
public:
    explicit TopFiles(std::size_t capacity) : m_capacity(capacity) {}

    void offer(std::uint64_t size, const DirNode *parent, std::string_view name);
    void mergeFrom(const TopFiles &other);
    const std::vector<FileCandidate> &candidates() const { return m_heap; }

private:
    std::size_t m_capacity;
    std::vector<FileCandidate> m_heap; // heap whose front is the worst-ranked candidate
};

// The report: the n best-ranked entries among all directories and the file
// candidates, as a tree rooted at dirs.front() (the target), children
// largest first and by name on ties. totalBytes must be summed already.
ReportNode selectReport(const std::deque<DirNode> &dirs, const std::vector<FileCandidate> &files,
                        std::size_t n);

} // namespace quarn
