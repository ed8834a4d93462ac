// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLExportResolutions.h"

#include "private/VLExportResolutions_p.h"

#include <QStringList>

std::optional<QSize> VLExportResolutionsTraits::Parse(const QVariant &stored)
{
    QString text = stored.toString();
    text.remove(QLatin1Char(' '));
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return std::nullopt;
    bool widthOk = false;
    bool heightOk = false;
    const int width = parts.at(0).toInt(&widthOk, 10);
    const int height = parts.at(1).toInt(&heightOk, 10);
    const auto inRange = [](int side) { return side >= 1 && side <= 10000; };
    if (!widthOk || !heightOk || !inRange(width) || !inRange(height))
        return std::nullopt;
    return QSize(width, height);
}

QVariant VLExportResolutionsTraits::ToStored(const QSize &size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

VLExportResolutions *VLExportResolutions::m_pInstance = nullptr;

VLExportResolutions::VLExportResolutions()
    : QObject(nullptr)
    , d_ptr(new VLExportResolutionsPrivate(this))
{
}

VLExportResolutions::~VLExportResolutions() = default;

void VLExportResolutions::CreateInstance()
{
    if (!m_pInstance)
        m_pInstance = new VLExportResolutions;
}

void VLExportResolutions::LoadInstance(const QString &fileName)
{
    if (m_pInstance)
        m_pInstance->d_func()->Load(fileName);
}

void VLExportResolutions::DeleteInstance()
{
    delete m_pInstance;
    m_pInstance = nullptr;
}

VLExportResolutions *VLExportResolutions::GetInstance()
{
    return m_pInstance;
}

int VLExportResolutions::Add(const QSize &size)
{
    return m_pInstance ? m_pInstance->d_func()->AddSorted(size) : -1;
}

void VLExportResolutions::Add(int index, const QSize &size)
{
    if (m_pInstance)
        m_pInstance->d_func()->Insert(index, size);
}

QSize VLExportResolutions::Get(int index)
{
    return m_pInstance ? m_pInstance->d_func()->At(index) : QSize(-1, -1);
}

QList<QSize> VLExportResolutions::GetList()
{
    return m_pInstance ? m_pInstance->d_func()->items : QList<QSize>();
}

int VLExportResolutions::GetSize()
{
    return m_pInstance ? int(m_pInstance->d_func()->items.size()) : -1;
}

void VLExportResolutions::Remove(int index)
{
    if (m_pInstance)
        m_pInstance->d_func()->Remove(index);
}

void VLExportResolutions::Set(int index, const QSize &size)
{
    if (m_pInstance)
        m_pInstance->d_func()->Set(index, size);
}
