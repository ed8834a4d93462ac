// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VLIOMANAGER_H
#define VLIOMANAGER_H

#include "VelaGlobalExport.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class IInput;
class IOutput;
class VLIOManagerPrivate;

/*!
    The registry of image readers and writers, and the keeper of the recent
    file list.

    InitInstance() walks the plug-ins that VLPluginLoader has loaded once and
    files every tool implementing IInput or IOutput under the name the tool
    reports; plug-ins loaded later are not seen. The readers and writers
    belong to their plug-ins.

    The recent list holds RecentRecord entries, newest first, never more than
    the limit, and lives in "settings.ini" in the per-user data folder. Every
    run starts with the limit 15, whatever limit was saved.
*/
class VELAGLOBAL_EXPORT VLIOManager : public QObject
{
    Q_OBJECT

public:
    VL_DECLARE_TRUTF8

    //! A recent file as the editor describes it; the library compares and
    //! stores the two strings, nothing more.
    struct RecentRecord
    {
        //! The first string of the record, as the editor gave it.
        QString first;
        //! The second string of the record, as the editor gave it.
        QString second;

        //! Equal when both strings are equal.
        bool operator==(const RecentRecord &other) const
        {
            return first == other.first && second == other.second;
        }
        //! Not operator==().
        bool operator!=(const RecentRecord &other) const { return !(*this == other); }
    };

    //! Creates the manager and scans the loaded plug-ins; does nothing (no
    //! second scan) when it exists.
    static void InitInstance();
    //! The manager, or null before InitInstance() and after ReleaseInstance().
    static VLIOManager *Instance();
    //! Saves the recent list and destroys the manager.
    static void ReleaseInstance();

    //! The reader filed under exactly this name, or null.
    IInput *GetInput(const QString &name) const;
    //! All reader names, ascending.
    QStringList GetInputs() const;
    //! The writer filed under exactly this name, or null.
    IOutput *GetOutput(const QString &name) const;
    //! All writer names, ascending.
    QStringList GetOutputs() const;

    //! Puts the record first (moving an equal one) and saves the list; does
    //! nothing when the limit is 0 or the record is already the newest.
    void AddToRecent(const RecentRecord &record);
    //! The recent list, newest first.
    QList<RecentRecord> GetRecent() const;
    //! The most records the recent list keeps; 15 at every start.
    int GetRecentLimit() const;
    //! A lower limit cuts the list at once; a negative one is ignored. The
    //! limit reaches the file with the next save.
    void SetRecentListLimit(int limit);

Q_SIGNALS:
    //! The list was loaded, took a record, or its limit was lowered.
    void RecentListChanged();

private:
    explicit VLIOManager(QObject *parent);
    ~VLIOManager() override;
    Q_DISABLE_COPY(VLIOManager)

    static VLIOManager *m_pInstance;

    std::unique_ptr<VLIOManagerPrivate> d_ptr;
    Q_DECLARE_PRIVATE(VLIOManager)
};

#endif // VLIOMANAGER_H
