// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VLEXPORTRESOLUTIONS_H
#define VLEXPORTRESOLUTIONS_H

#include "VelaGlobalExport.h"

#include <QList>
#include <QObject>
#include <QSize>

#include <memory>

class GlobalApplicationData;
class VLExportResolutionsPrivate;

/*!
    The editable list of image resolutions that export-and-share offers.

    Every operation is static and acts on the one instance, which
    GlobalApplicationData creates and loads from "ExportAndShareResolution.ini"
    in the per-user data folder (seeding it from the editor's resource
    ":/ExportAndShareResolution.ini" when the user has no list yet). Every
    change is on disk and announced before the call returns; GetInstance()
    is there to connect to the signals. Without an instance the calls answer
    -1, QSize(-1, -1) or an empty list and change nothing.
*/
class VELAGLOBAL_EXPORT VLExportResolutions : public QObject
{
    Q_OBJECT

public:
    VL_DECLARE_TRUTF8

    //! The one instance, to connect to its signals; null without one.
    static VLExportResolutions *GetInstance();

    //! Inserts before the first entry of greater width; returns its index.
    static int Add(const QSize &size);
    //! Inserts at index, clamped to the list.
    static void Add(int index, const QSize &size);
    //! Throws std::out_of_range for an index outside the list.
    static QSize Get(int index);
    //! The resolutions, in list order; empty without an instance.
    static QList<QSize> GetList();
    //! The number of entries; -1 without an instance.
    static int GetSize();
    //! Removes the entry at \a index; an index outside the list changes
    //! nothing.
    static void Remove(int index);
    //! Replaces the entry; an equal value changes and writes nothing.
    static void Set(int index, const QSize &size);

Q_SIGNALS:
    //! An entry was inserted at \a index.
    void Inserted(int index);
    //! The entry at \a index was replaced by another value.
    void Changhed(int index);
    //! The entry at \a index was removed.
    void Removed(int index);

private:
    VLExportResolutions();
    ~VLExportResolutions() override;
    Q_DISABLE_COPY(VLExportResolutions)

    // Created, loaded and deleted with the application data object.
    friend class GlobalApplicationData;
    static void CreateInstance();
    static void LoadInstance(const QString &fileName);
    static void DeleteInstance();

    static VLExportResolutions *m_pInstance;

    std::unique_ptr<VLExportResolutionsPrivate> d_ptr;
    Q_DECLARE_PRIVATE(VLExportResolutions)
};

#endif // VLEXPORTRESOLUTIONS_H
