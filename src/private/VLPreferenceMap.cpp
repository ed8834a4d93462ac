// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLPreferenceMap_p.h"

#include "private/GlobalApplicationData_p.h"

#include <QDomDocument>
#include <QDomElement>
#include <QMutexLocker>

QMap<QString, QString> VLPreferenceMap::Parameters(const GlobalApplicationData &data)
{
    const GlobalApplicationDataPrivate *d = data.d_func();
    QMutexLocker locker(&d->dataMutex);
    return d->parameters;
}

void VLPreferenceMap::SetParameter(GlobalApplicationData &data, const QString &key,
                                   const QString &value)
{
    GlobalApplicationDataPrivate *d = data.d_func();
    QMutexLocker locker(&d->dataMutex);
    d->parameters.insert(key, value);
}

void VLPreferenceMap::Clear(GlobalApplicationData &data)
{
    GlobalApplicationDataPrivate *d = data.d_func();
    QMutexLocker locker(&d->dataMutex);
    d->parameters.clear();
}

QString VLPreferenceMap::DocumentVersion(const QDomDocument &document)
{
    // Only the first such element of the root counts.
    return document.documentElement()
        .firstChildElement(QStringLiteral("file_version"))
        .attribute(QStringLiteral("value"));
}
