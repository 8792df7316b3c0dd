// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace dfmext {
class DFMExtMenuPlugin;
}

// A plug-in loaded with dlopen and its entry points, resolved the way the
// file manager resolves them. Unloads on destruction.
class PluginLibrary
{
public:
    using VoidFunc = void (*)();
    using MenuFunc = dfmext::DFMExtMenuPlugin *(*)();

    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary &) = delete;
    PluginLibrary &operator=(const PluginLibrary &) = delete;

    // Loads `path` and resolves every entry point. On failure returns false,
    // leaves nothing loaded and sets `error` to one line naming what failed.
    bool load(const QString &path);
    void unload();
    QString errorString() const { return error; }

    VoidFunc initialize = nullptr; // dfm_extension_initialize, else dfm_extension_initiliaze
    VoidFunc shutdown = nullptr;
    MenuFunc menu = nullptr;

private:
    void *handle = nullptr; // from dlopen; owned
    QString error;
};
