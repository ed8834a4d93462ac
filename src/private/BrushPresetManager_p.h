// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef BRUSHPRESETMANAGER_P_H
#define BRUSHPRESETMANAGER_P_H

#include "BrushPresetManager.h"

#include <QByteArray>

//! The header that opens every preset stream, without length or terminator.
inline QByteArray BrushPresetStreamHeader()
{
    return QByteArrayLiteral("KVBrushPresetManager 1.00000");
}

//! How many distinct preset identifiers there are: the counter's low 24 bits.
constexpr quint64 BrushPresetIdentifierCount = quint64(1) << 24;

//! Reaches a table's identifier counter, e.g. to bring it to the point
//! where identifiers repeat.
struct BrushPresetCounterAccess
{
    static quint64 Counter(const BrushPresetManager &table) { return table.m_counter; }
    static void SetCounter(BrushPresetManager &table, quint64 counter)
    {
        table.m_counter = counter;
    }
};

#endif // BRUSHPRESETMANAGER_P_H
