// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Namespace helpers of the DTK widget module.
#define DWIDGET_NAMESPACE Widget
#define DTK_WIDGET_NAMESPACE Dtk::Widget
#define DWIDGET_BEGIN_NAMESPACE                                                                              \
    namespace Dtk {                                                                                          \
    namespace Widget {
#define DWIDGET_END_NAMESPACE                                                                                \
    }                                                                                                        \
    }
#define DWIDGET_USE_NAMESPACE using namespace Dtk::Widget;
