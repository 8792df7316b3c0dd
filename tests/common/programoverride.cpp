// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "externalprogram.h"

#include <QByteArray>
#include <QtGlobal>

namespace {

// Runs when the test plug-in is loaded, before the host calls any entry point.
const bool redirected = [] {
    ExternalProgram::setForTests(qEnvironmentVariable("QUARN_TEST_QUARN"),
                                 qEnvironmentVariable("QUARN_TEST_FILE_MANAGER"));
    return true;
}();

} // namespace
