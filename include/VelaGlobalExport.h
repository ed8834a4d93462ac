// SPDX-License-Identifier: LGPL-2.1-or-later
/*!
    \file VelaGlobalExport.h
    What every exported header of the library includes.
*/
#ifndef VELAGLOBALEXPORT_H
#define VELAGLOBALEXPORT_H

#include <QtCore/qglobal.h>

//! \def VELAGLOBAL_EXPORT
//! Marks a class or function as exported. Symbols of the library are hidden
//! unless marked; the library itself is built with VELAGLOBAL_LIBRARY
//! defined, its users import.
#if defined(VELAGLOBAL_LIBRARY)
#define VELAGLOBAL_EXPORT Q_DECL_EXPORT
#else
#define VELAGLOBAL_EXPORT Q_DECL_IMPORT
#endif

//! \def VL_DECLARE_TRUTF8
//! Qt 6 dropped QObject::trUtf8; the library's QObject classes keep offering
//! it (sources are UTF-8 in both Qt versions, so it is the same as tr()).
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#define VL_DECLARE_TRUTF8                                                                          \
    static inline QString trUtf8(const char *sourceText, const char *disambiguation = nullptr,     \
                                 int n = -1)                                                       \
    {                                                                                              \
        return tr(sourceText, disambiguation, n);                                                  \
    }
#else
#define VL_DECLARE_TRUTF8
#endif

#endif // VELAGLOBALEXPORT_H
