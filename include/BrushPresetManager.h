// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef BRUSHPRESETMANAGER_H
#define BRUSHPRESETMANAGER_H

#include "VelaGlobalExport.h"

#include <QUuid>
#include <QtGlobal>

#include <map>
#include <vector>

class IBrush;
class QIODevice;

/*!
    The order of QUuid::operator<, reached without its variant checks when
    both sides are identifiers of the kind a preset table makes (only their
    last three bytes set), which is every key a table holds.
*/
struct BrushPresetOrder
{
    //! True when \a a comes before \a b.
    bool operator()(const QUuid &a, const QUuid &b) const noexcept
    {
        const qint32 left = TableNumber(a);
        const qint32 right = TableNumber(b);
        if (left >= 0 && right >= 0)
            return left < right;
        return a < b;
    }

    //! The counter bits that a table identifier carries; -1 for another QUuid.
    static qint32 TableNumber(const QUuid &id) noexcept
    {
        if (id.data1 || id.data2 || id.data3 || id.data4[0] || id.data4[1] || id.data4[2]
            || id.data4[3] || id.data4[4])
            return -1;
        return qint32(id.data4[5]) << 16 | qint32(id.data4[6]) << 8 | qint32(id.data4[7]);
    }
};

/*!
    A table of brush presets: private copies of brushes, made and released
    through the brush registry, each filed under an identifier the table
    makes. A table can be written to a preset stream and read back.

    Identifiers come from a counter whose low 24 bits are used, so the
    first preset is filed under the null QUuid and after 16,777,216
    identifiers the values repeat. A repeated identifier that a preset still
    holds is skipped, so no preset is ever filed over another; a table that
    holds all 16,777,216 identifiers takes no more presets.

    The registry must exist whenever a table creates, copies or releases a
    brush, including when the table is destroyed.
*/
class VELAGLOBAL_EXPORT BrushPresetManager
{
public:
    //! An empty table.
    BrushPresetManager();
    //! Hands every brush back to the registry.
    ~BrushPresetManager();

    //! Files a copy of the brush; its identifier, or the null QUuid when no
    //! copy could be made (the first identifier is the null QUuid as well:
    //! GetBrush() tells them apart).
    QUuid CreatePreset(const IBrush *brush);
    //! Hands the preset's brush back to the registry and forgets the preset;
    //! does nothing for an identifier the table does not hold.
    void RemovePreset(const QUuid &id);
    //! The preset's brush, still owned by the table; null if there is none.
    const IBrush *GetBrush(const QUuid &id) const;
    //! Every identifier, in ascending order.
    std::vector<QUuid> Enumarate() const;

    //! Writes the header and one record per preset; false only when nothing
    //! could be written.
    bool Serialize(QIODevice *device);
    //! Adds the presets of a stream under new identifiers; false when the
    //! device or the header is refused. Unreadable records are skipped.
    bool Deserialize(QIODevice *device);

private:
    Q_DISABLE_COPY(BrushPresetManager)
    friend struct BrushPresetCounterAccess;

    QUuid CreateUniqueID() const;
    //! Files a brush under the next identifier not in use; false when the
    //! table holds every identifier.
    bool FilePreset(IBrush *brush, QUuid *id);
    bool SerializeBrush(IBrush *brush, QIODevice *device);
    bool DeserializeBrush(IBrush *&brush, QIODevice *device);

    std::map<QUuid, IBrush *, BrushPresetOrder> m_presets;
    mutable quint64 m_counter = 0;
};

#endif // BRUSHPRESETMANAGER_H
