// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLEXPORTLIST_P_H
#define VLEXPORTLIST_P_H

#include <QList>
#include <QSettings>

#include "private/VLIniFile_p.h"
#include "private/VLSaveFile_p.h"
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtGlobal>

#include <optional>
#include <stdexcept>

/*
    What the resolution list and the size list share: an editable pick list
    kept in its own ini file, seeded from a default resource of the editor
    and announced through the owner's Inserted/Changhed/Removed signals.

    Traits name what differs between the lists:
        Owner, Item                 the public class and its entry type
        group                       "Resolutions": section and key prefix
        defaultResource             ":/ExportAndShareResolution.ini"
        outOfRangeText              the text of Get()'s exception
        Parse(QVariant)             a stored value, or nothing when invalid
        ToStored(Item)              the value written to the file
        SortKey(Item)               what the sorted insert compares
*/
template<typename Traits>
class VLExportListPrivate
{
public:
    using Owner = typename Traits::Owner;
    using Item = typename Traits::Item;

    explicit VLExportListPrivate(Owner *owner)
        : owner(owner)
    {
    }

    Owner *const owner;
    QList<Item> items;
    QString fileName;

    // Entries of equal key stay before the new one; the list is not assumed
    // to be sorted, the search stops at the first greater entry.
    int AddSorted(const Item &item)
    {
        int index = 0;
        while (index < items.size() && !(Traits::SortKey(items.at(index)) > Traits::SortKey(item)))
            ++index;
        return Insert(index, item);
    }

    int Insert(int index, const Item &item)
    {
        index = qBound(0, index, int(items.size()));
        items.insert(index, item);
        Q_EMIT owner->Inserted(index);
        Save();
        return index;
    }

    Item At(int index) const
    {
        if (!IsValidIndex(index))
            throw std::out_of_range(Traits::outOfRangeText);
        return items.at(index);
    }

    void Remove(int index)
    {
        if (!IsValidIndex(index))
            return;
        items.removeAt(index);
        Q_EMIT owner->Removed(index);
        Save();
    }

    void Set(int index, const Item &item)
    {
        if (!IsValidIndex(index) || items.at(index) == item)
            return;
        items[index] = item;
        Q_EMIT owner->Changhed(index);
        Save();
    }

    // A user file with a "Version" key is the user's own list and is taken
    // as it is, even when empty; anything else is replaced by the defaults.
    void Load(const QString &path)
    {
        fileName = path;
        items.clear();
        if (const std::optional<QList<Item>> userList = ReadUserList(path)) {
            items = *userList;
            return;
        }
        ReadEntries(VLIniFile(QString::fromLatin1(Traits::defaultResource)), items);
        Save();
    }

    //! The entries of the user's file as the load takes them, or nothing when
    //! the file is no user list (the load then seeds the defaults). Only
    //! reads the file.
    static std::optional<QList<Item>> ReadUserList(const QString &path)
    {
        const VLIniFile settings(path);
        // A version that QSettings cannot decode is none.
        if (!settings.value(VersionKey()).isValid())
            return std::nullopt;
        QList<Item> list;
        ReadEntries(settings, list);
        return list;
    }

    void Save() const
    {
        VLSaveFile::EditSettings(fileName, [this](QSettings &settings) {
            settings.setValue(VersionKey(), QStringLiteral("2.3.0"));
            settings.beginGroup(QString::fromLatin1(Traits::group));
            const int storedCount = int(settings.allKeys().size());
            for (int i = 0; i < items.size(); ++i)
                settings.setValue(QString::number(i), Traits::ToStored(items.at(i)));
            // Keys of removed entries go; a key after a gap was never read
            // and stays.
            for (int i = int(items.size()); i < storedCount; ++i)
                settings.remove(QString::number(i));
            settings.endGroup();
        });
    }

private:
    static QString VersionKey() { return QStringLiteral("Version"); }

    bool IsValidIndex(int index) const { return index >= 0 && index < items.size(); }

    // Appends the valid numbered entries; the first missing index ends the
    // list, invalid values are skipped.
    static void ReadEntries(const VLIniFile &settings, QList<Item> &list)
    {
        const QString prefix = QString::fromLatin1(Traits::group) + QLatin1Char('/');
        for (int i = 0;; ++i) {
            const QString key = QStringLiteral("%1%2").arg(prefix).arg(i);
            if (!settings.contains(key))
                break;
            if (const std::optional<Item> item = Traits::Parse(settings.value(key)))
                list.append(*item);
        }
    }
};

#endif // VLEXPORTLIST_P_H
