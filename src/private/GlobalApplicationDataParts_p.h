// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef GLOBALAPPLICATIONDATAPARTS_P_H
#define GLOBALAPPLICATIONDATAPARTS_P_H

#include "private/GlobalApplicationData_p.h"
#include "private/VLLogLine_p.h"

#include <QMutexLocker>
#include <QString>

/*
    What the source files of GlobalApplicationData share. The main file,
    src/GlobalApplicationData.cpp, holds the object's life, its folders and
    its crash handling; src/applicationdata/ holds one file per further
    concern (log, preferences, languages, ...). Every file there includes
    this header first, and nothing else includes it.
*/

// The object's log lines name "src\GlobalApplicationData.cpp" whichever of
// its files writes them: users' logs and the support tools know the object
// by that name.
#undef VL_LOG_SOURCE_FILE
#define VL_LOG_SOURCE_FILE "src/GlobalApplicationData.cpp"

// The user's own unit list, in the per-user data folder: loaded with the
// preferences and written when the list changes.
inline const QString customUnitsFileName = QStringLiteral("units_user.ini");

// A copy of one field of the private data, taken under the data mutex.
template<typename T>
T copyLocked(const GlobalApplicationDataPrivate *d, T GlobalApplicationDataPrivate::*field)
{
    QMutexLocker locker(&d->dataMutex);
    return d->*field;
}

#endif // GLOBALAPPLICATIONDATAPARTS_P_H
