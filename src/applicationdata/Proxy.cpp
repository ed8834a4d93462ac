// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/GlobalApplicationDataParts_p.h"

#include "VelaUserParams.h"

#include <QMutexLocker>

// The stored type is the index into the type names itself, in the loader,
// the setter and the shipped document alike, so that a chosen type comes
// back unchanged at the next start.

void GlobalApplicationData::LoadProxySettings()
{
    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->proxyHostName = d->parameters.value(VelaUserParams::ProxySettings::Proxy::PROXYHOSTNAME());
    // Absent, it is empty, not null, as at construction.
    if (d->proxyHostName.isNull())
        d->proxyHostName = QString::fromLatin1("");
    d->proxyPort =
        d->parameters.value(VelaUserParams::ProxySettings::Proxy::PROXYPORT()).toInt(nullptr, 10);
    const int storedType =
        d->parameters.value(VelaUserParams::ProxySettings::Proxy::PROXYTYPE()).toInt(nullptr, 10);
    locker.unlock();

    // An unknown number names the current type, which thus stays.
    const int index = FindProxyTypeIndex(GetProxyTypeLabel(storedType));
    locker.relock();
    d->proxyTypeIndex = index;
}

QStringList GlobalApplicationData::GetProxyTypeList() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->proxyTypeNames;
}

QString GlobalApplicationData::GetProxyTypeLabel(int index) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    if (index < 0 || index >= d->proxyTypeNames.size())
        index = d->proxyTypeIndex;
    return d->proxyTypeNames.value(index);
}

int GlobalApplicationData::GetProxyTypeIndex() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->proxyTypeIndex;
}

void GlobalApplicationData::SetProxyTypeIndex(int index)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (index < 0 || index >= d->proxyTypeNames.size())
            return;
        d->proxyTypeIndex = index;
        d->parameters.insert(VelaUserParams::ProxySettings::Proxy::PROXYTYPE(),
                             QString::number(index, 10));
    }
    SaveProxyChange();
}

int GlobalApplicationData::FindProxyTypeIndex(const QString &name) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return qMax(0, int(d->proxyTypeNames.indexOf(name)));
}

QNetworkProxy::ProxyType GlobalApplicationData::GetProxyType() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    const QString name = d->proxyTypeNames.value(d->proxyTypeIndex);
    if (name == QLatin1String("NoProxy"))
        return QNetworkProxy::NoProxy;
    if (name == QLatin1String("HttpProxy"))
        return QNetworkProxy::HttpProxy;
    if (name == QLatin1String("Socks5Proxy"))
        return QNetworkProxy::Socks5Proxy;
    return QNetworkProxy::DefaultProxy;
}

QString GlobalApplicationData::GetProxyHostName() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->proxyHostName;
}

void GlobalApplicationData::SetProxyHostName(const QString &hostName)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (d->proxyHostName == hostName)
            return;
        d->proxyHostName = hostName;
        d->parameters.insert(VelaUserParams::ProxySettings::Proxy::PROXYHOSTNAME(), hostName);
    }
    SaveProxyChange();
}

int GlobalApplicationData::GetProxyPortNumber() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->proxyPort;
}

void GlobalApplicationData::SetProxyPortNumber(int port)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (d->proxyPort == port)
            return;
        d->proxyPort = port;
        d->parameters.insert(VelaUserParams::ProxySettings::Proxy::PROXYPORT(),
                             QString::number(port, 10));
    }
    SaveProxyChange();
}

// Called without the data mutex: saving and the slots may take it.
void GlobalApplicationData::SaveProxyChange()
{
    SaveUserPreferences();
    Q_EMIT ProxyChanged();
}
