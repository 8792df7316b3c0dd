// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "formats/ncduimport.h"

#include "core/dirtree.h"
#include "formats/exporttree.h"
#include "select/selection.h"

#include <utility>

namespace quarn {

ImportResult importExport(const JsonReader::ReadFunction &read, const ImportSettings &settings)
{
    ImportResult result;
    // Read as a walk: the same records, the same top files, the same sums and selection.
    TopFiles topFiles(settings.top, settings.maxDepth);
    ExportTree tree = readExportTree(read, settings.measure, nullptr, &topFiles);
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
    result.report =
        selectReport(tree.store->dirs(), tree.errors, topFiles.candidates(), settings.top, settings.maxDepth);
    return result;
}

} // namespace quarn
