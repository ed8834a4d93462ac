// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLIOMANAGER_P_H
#define VLIOMANAGER_P_H

#include "VLIOManager.h"
#include "VelaGlobalExport.h"

#include <QList>
#include <QMap>
#include <QString>

class VLIOManagerPrivate
{
public:
    explicit VLIOManagerPrivate(VLIOManager *owner);

    VLIOManager *const owner;
    QMap<QString, IInput *> inputs;
    QMap<QString, IOutput *> outputs;
    QList<VLIOManager::RecentRecord> recent; // index 0 the newest
    int limit = 0;                           // 0: the list takes no new entries

    //! Files the readers and writers of the loaded tool containers.
    void ScanPlugins();
    void LoadRecent();
    void SaveRecent() const;
};

//! The recent list held in the bytes of a "RecentFiles" value, as a new
//! manager loads it: newest first, at most the start limit of records.
VELAGLOBAL_EXPORT QList<VLIOManager::RecentRecord> VLDecodeRecentFiles(const QByteArray &value);

//! The "RecentFiles" value that a manager stores for the records.
VELAGLOBAL_EXPORT QByteArray VLEncodeRecentFiles(const QList<VLIOManager::RecentRecord> &records);

//! The recent list of a "settings.ini" as a new manager loads it: newest
//! first, at most the start limit of records. Only reads the file.
VELAGLOBAL_EXPORT QList<VLIOManager::RecentRecord> VLReadRecentFiles(const QString &fileName);

#endif // VLIOMANAGER_P_H
