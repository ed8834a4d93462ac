// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/GlobalApplicationDataParts_p.h"

#include "UnitConverter.h"

#include <QMutexLocker>

void GlobalApplicationData::GetStandardUnitList(QList<UnitItem> &out) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    out.append(d->standardUnits);
}

void GlobalApplicationData::GetCustomUnitList(QList<UnitItem> &out) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    out.append(d->customUnits);
}

void GlobalApplicationData::GetUnitList(QList<UnitItem> &out) const
{
    GetStandardUnitList(out);
    GetCustomUnitList(out);
}

void GlobalApplicationData::SetCustomUnitList(const QList<UnitItem> &list)
{
    Q_D(GlobalApplicationData);
    const QString path = GetAppDataFolderPath() + customUnitsFileName;
    // Readers wait for the write, so they never see a list the file lacks.
    QMutexLocker locker(&d->dataMutex);
    d->customUnits = list;
    SaveUnits(list, path);
}
