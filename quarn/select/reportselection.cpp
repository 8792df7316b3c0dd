// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "select/reportselection.h"

#include <algorithm>
#include <string>

namespace quarn {

ReportSelection::ReportSelection(const ReportOptions &options, unsigned workers)
    : m_options(options), m_workers(std::max(1u, workers), Worker(options)),
      m_linked(options.top, options.maxDepth)
{}

void ReportSelection::treeDone(const DirNodeStore &dirs, const FolderErrors &errors)
{
    TopFiles files(m_options.top, m_options.maxDepth);
    for (const Worker &worker : m_workers)
        files.mergeFrom(worker.files);
    files.mergeFrom(m_linked);
    m_report = selectReport(dirs, errors, files.candidates(), m_options.top, m_options.maxDepth);
}

void ReportSelection::fileTarget(std::string_view name, const EntryInfo &info, std::string_view linkTarget)
{
    m_report = Report();
    m_report.add(0, name, info.bytes);
    m_report.setLinkTarget(std::string(linkTarget));
}

} // namespace quarn
