// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef KVHOSTEXPORT_H
#define KVHOSTEXPORT_H

#include <QtCore/qglobal.h>

// The editor's core library and its plug-in base library each export their
// own classes and import the other's.
#if defined(KVCORE_LIBRARY)
#define KVCORE_EXPORT Q_DECL_EXPORT
#else
#define KVCORE_EXPORT Q_DECL_IMPORT
#endif

#if defined(KVPLUGINBASE_LIBRARY)
#define KVPLUGINBASE_EXPORT Q_DECL_EXPORT
#else
#define KVPLUGINBASE_EXPORT Q_DECL_IMPORT
#endif

#endif // KVHOSTEXPORT_H
