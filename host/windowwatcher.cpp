// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "windowwatcher.h"

#include "windowinspector.h"

#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>
#include <QWidget>

#include <iostream>

WindowWatcher::WindowWatcher(const HostOptions &options) : options(options)
{}

bool WindowWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && !seen && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->isWindow() && widget->isModal()) {
            seen = true;
            window = widget;
            // Let show() finish (layout, first paint) before looking at it.
            QTimer::singleShot(0, this, &WindowWatcher::inspect);
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowWatcher::inspect()
{
    if (!window)
        return;
    if (!options.screenshotFile.isEmpty() && !saveScreenshot(window))
        exitStatus = ExitOutputFailed;
    if (!options.dumpFile.isEmpty() && !saveDump(window))
        exitStatus = ExitOutputFailed;
    if (!options.revealPath.isEmpty() && !WindowInspector::reveal(window, options.revealPath)) {
        std::cerr << "menu-host: --reveal: no row with the path " << options.revealPath.toStdString()
                  << std::endl;
        exitStatus = ExitRevealNotFound;
    }
    if (window && window->isVisible()) {
        if (auto *dialog = qobject_cast<QDialog *>(window))
            dialog->reject();
        else
            window->close();
    }
}

bool WindowWatcher::saveScreenshot(QWidget *shown)
{
    if (shown->grab().save(options.screenshotFile, "PNG"))
        return true;
    std::cerr << "menu-host: cannot write the screenshot " << options.screenshotFile.toStdString()
              << std::endl;
    return false;
}

bool WindowWatcher::saveDump(QWidget *shown)
{
    QFile file(options.dumpFile);
    const QByteArray json = QJsonDocument(WindowInspector::describe(shown)).toJson(QJsonDocument::Indented);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(json) == json.size() &&
        file.flush())
        return true;
    std::cerr << "menu-host: cannot write the dump " << options.dumpFile.toStdString() << ": "
              << file.errorString().toStdString() << std::endl;
    return false;
}
