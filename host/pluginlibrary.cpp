// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pluginlibrary.h"

#include <QFileInfo>

#include <dlfcn.h>

namespace {

// dlsym for functions, through the one cast POSIX allows.
template <typename Func> Func resolve(void *handle, const char *name)
{
    return reinterpret_cast<Func>(dlsym(handle, name));
}

} // namespace

PluginLibrary::~PluginLibrary()
{
    unload();
}

bool PluginLibrary::load(const QString &path)
{
    unload();
    const QFileInfo file(path);
    if (!file.exists()) {
        error = QStringLiteral("cannot load %1: no such file").arg(path);
        return false;
    }
    // An absolute path keeps dlopen from searching the library path, and
    // RTLD_NOW reports unresolved symbols now rather than on first call.
    handle = dlopen(QFile::encodeName(file.absoluteFilePath()).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        error = QStringLiteral("cannot load %1: %2").arg(path, QString::fromLocal8Bit(dlerror()));
        return false;
    }
    initialize = resolve<VoidFunc>(handle, "dfm_extension_initialize");
    if (!initialize)
        initialize = resolve<VoidFunc>(handle, "dfm_extension_initiliaze");
    shutdown = resolve<VoidFunc>(handle, "dfm_extension_shutdown");
    menu = resolve<MenuFunc>(handle, "dfm_extension_menu");
    const char *missing = !initialize ? "dfm_extension_initialize (nor dfm_extension_initiliaze)"
                          : !shutdown ? "dfm_extension_shutdown"
                          : !menu     ? "dfm_extension_menu"
                                      : nullptr;
    if (missing) {
        error = QStringLiteral("cannot load %1: no entry point %2").arg(path, QLatin1String(missing));
        unload();
        return false;
    }
    return true;
}

void PluginLibrary::unload()
{
    if (handle)
        dlclose(handle);
    handle = nullptr;
    initialize = nullptr;
    shutdown = nullptr;
    menu = nullptr;
}
