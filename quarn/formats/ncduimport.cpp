// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/ncduimport.h"

#include "core/dirtree.h"
#include "formats/exporttree.h"
#include "select/reportselection.h"

#include <utility>

namespace quarn {

ImportResult importExport(const JsonReader::ReadFunction &read, const ImportSettings &settings)
{
    ImportResult result;
    // Read as a walk, followed by the walk's own selection: the same records, top files, sums and choice.
    ReportSelection selection(settings.report, 1);
    ExportTree tree = readExportTree(read, settings.measure, &selection);
    result.decompressor = std::move(tree.decompressor);
    if (!tree.read) {
        result.problem = std::move(tree.problem);
        return result;
    }
    result.read = true;
    result.unreadable = tree.unreadable;
    result.firstUnreadable = std::move(tree.firstUnreadable);
    result.firstReason = std::move(tree.firstReason);
    if (!tree.store) { // the target is a file
        result.report.add(0, tree.fileName, tree.fileBytes, tree.fileError);
        return result;
    }
    result.report = selection.takeReport();
    return result;
}

} // namespace quarn
