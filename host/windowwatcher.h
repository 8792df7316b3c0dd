// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "commandline.h"

#include <QObject>
#include <QPointer>

class QWidget;

// Watches the application for the first modal window the triggered action
// shows and, once it is up, saves its screenshot, writes its description,
// reveals a row and closes it, as the options ask. Installed only when at
// least one of those options is given.
class WindowWatcher : public QObject
{
public:
    explicit WindowWatcher(const HostOptions &options);

    bool eventFilter(QObject *watched, QEvent *event) override;

    // The exit status the work on the window calls for (ExitOk when none ran).
    int status() const { return exitStatus; }

private:
    void inspect();
    bool saveScreenshot(QWidget *window);
    bool saveDump(QWidget *window);

    const HostOptions options;
    QPointer<QWidget> window; // the window being inspected; not owned
    bool seen = false;        // the first modal window has been taken
    int exitStatus = ExitOk;
};
