// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLExportSizes.h"

#include "private/VLExportSizes_p.h"

std::optional<qint64> VLExportSizesTraits::Parse(const QVariant &stored)
{
    // Text that is no whole number reads as 0 and is skipped with the
    // non-positive values.
    const qint64 size = stored.toLongLong();
    if (size <= 0)
        return std::nullopt;
    return size;
}

VLExportSizes *VLExportSizes::m_pInstance = nullptr;

VLExportSizes::VLExportSizes()
    : QObject(nullptr)
    , d_ptr(new VLExportSizesPrivate(this))
{
}

VLExportSizes::~VLExportSizes() = default;

void VLExportSizes::CreateInstance()
{
    if (!m_pInstance)
        m_pInstance = new VLExportSizes;
}

void VLExportSizes::LoadInstance(const QString &fileName)
{
    if (m_pInstance)
        m_pInstance->d_func()->Load(fileName);
}

void VLExportSizes::DeleteInstance()
{
    delete m_pInstance;
    m_pInstance = nullptr;
}

VLExportSizes *VLExportSizes::GetInstance()
{
    return m_pInstance;
}

int VLExportSizes::Add(qint64 size)
{
    return m_pInstance ? m_pInstance->d_func()->AddSorted(size) : -1;
}

void VLExportSizes::Add(int index, qint64 size)
{
    if (m_pInstance)
        m_pInstance->d_func()->Insert(index, size);
}

qint64 VLExportSizes::Get(int index)
{
    return m_pInstance ? m_pInstance->d_func()->At(index) : -1;
}

QList<qint64> VLExportSizes::GetList()
{
    return m_pInstance ? m_pInstance->d_func()->items : QList<qint64>();
}

int VLExportSizes::GetSize()
{
    return m_pInstance ? int(m_pInstance->d_func()->items.size()) : -1;
}

void VLExportSizes::Remove(int index)
{
    if (m_pInstance)
        m_pInstance->d_func()->Remove(index);
}

void VLExportSizes::Set(int index, qint64 size)
{
    if (m_pInstance)
        m_pInstance->d_func()->Set(index, size);
}
