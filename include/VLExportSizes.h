// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VLEXPORTSIZES_H
#define VLEXPORTSIZES_H

#include "VelaGlobalExport.h"

#include <QList>
#include <QObject>
#include <QtGlobal>

#include <memory>

class GlobalApplicationData;
class VLExportSizesPrivate;

/*!
    The editable list of file sizes that export-and-share offers.

    Every operation is static and acts on the one instance, which
    GlobalApplicationData creates and loads from "ExportAndShareSize.ini"
    in the per-user data folder (seeding it from the editor's resource
    ":/ExportAndShareSize.ini" when the user has no list yet). Every
    change is on disk and announced before the call returns; GetInstance()
    is there to connect to the signals. Without an instance the calls answer
    -1 or an empty list and change nothing.
*/
class VELAGLOBAL_EXPORT VLExportSizes : public QObject
{
    Q_OBJECT

public:
    VL_DECLARE_TRUTF8

    //! The one instance, to connect to its signals; null without one.
    static VLExportSizes *GetInstance();

    //! Inserts before the first entry of greater value; returns its index.
    static int Add(qint64 size);
    //! Inserts at index, clamped to the list.
    static void Add(int index, qint64 size);
    //! Throws std::out_of_range for an index outside the list.
    static qint64 Get(int index);
    //! The file sizes, in list order; empty without an instance.
    static QList<qint64> GetList();
    //! The number of entries; -1 without an instance.
    static int GetSize();
    //! Removes the entry at \a index; an index outside the list changes
    //! nothing.
    static void Remove(int index);
    //! Replaces the entry; an equal value changes and writes nothing.
    static void Set(int index, qint64 size);

Q_SIGNALS:
    //! An entry was inserted at \a index.
    void Inserted(int index);
    //! The entry at \a index was replaced by another value.
    void Changhed(int index);
    //! The entry at \a index was removed.
    void Removed(int index);

private:
    VLExportSizes();
    ~VLExportSizes() override;
    Q_DISABLE_COPY(VLExportSizes)

    // Created, loaded and deleted with the application data object.
    friend class GlobalApplicationData;
    static void CreateInstance();
    static void LoadInstance(const QString &fileName);
    static void DeleteInstance();

    static VLExportSizes *m_pInstance;

    std::unique_ptr<VLExportSizesPrivate> d_ptr;
    Q_DECLARE_PRIVATE(VLExportSizes)
};

#endif // VLEXPORTSIZES_H
