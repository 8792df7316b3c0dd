// SPDX-FileCopyrightText: 2026 The quarn-gui developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef DFMEXTENSION_GLOBAL_H
#define DFMEXTENSION_GLOBAL_H

// Namespace and helper macros shared by every header of the library.

#define DFMEXT dfmext
#define BEGEN_DFMEXT_NAMESPACE namespace DFMEXT {
#define END_DFMEXT_NAMESPACE }
#define USING_DFMEXT_NAMESPACE using namespace DFMEXT;

// Marks calls a plug-in may hide with its own version; they are not virtual.
#define DFM_FAKE_VIRTUAL
#define DFM_FAKE_OVERRIDE

#define DFM_DISABLE_COPY(Class)                                                                              \
    Class(const Class &) = delete;                                                                           \
    Class &operator=(const Class &) = delete;

#endif // DFMEXTENSION_GLOBAL_H
