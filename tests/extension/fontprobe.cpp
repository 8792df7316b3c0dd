// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Builds one text window and exits, so that a test can read the font lines
// it logs under a font configuration of the test's choosing.
#include "outputdialog.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    OutputDialog dialog(QStringLiteral("磁盘使用统计"), QStringLiteral("probe"));
    return 0;
}
