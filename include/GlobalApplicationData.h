// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef GLOBALAPPLICATIONDATA_H
#define GLOBALAPPLICATIONDATA_H

#include "VelaGlobalExport.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <memory>

class IBrushTool;
class GlobalApplicationDataPrivate;
class VLLogFile;
class QMessageLogContext;

/*!
    The one object that every part of the editor asks for shared state.

    The editor creates it with InitInstance() at start-up and destroys it with
    ReleaseInstance() at shut-down. It knows the application folder and the
    per-user data folder, names the settings store, keeps the run's log file
    and holds the preferences and the editing state that tools share, whose
    changes it announces through its signals. Signals are emitted after the
    data mutex has been released, so slots may call back into the object.
*/
class VELAGLOBAL_EXPORT GlobalApplicationData : public QObject
{
    Q_OBJECT

public:
    VL_DECLARE_TRUTF8

    // --- Creation, folders, build string, features blob -------------------

    //! Creates the singleton (and the export lists); does nothing if it exists.
    static void InitInstance();
    //! The singleton; null before InitInstance(), after ReleaseInstance() and
    //! while the constructor runs.
    static GlobalApplicationData *Instance();
    //! Destroys the export lists and the singleton; does nothing without one.
    static void ReleaseInstance();

    //! The folder of the application (no trailing separator); an executable
    //! inside a "debug" or "release" folder counts as living in its parent.
    QString GetAppFolderPath() const;
    //! The per-user data folder, always ending in a separator; empty until it
    //! has been found or created.
    QString GetAppDataFolderPath() const;
    bool IsAppDataFolderExists() const;
    bool MakeAppDataFolder(const QString &path);

    QString GetBuildString() const;
    void SetBuildString(const QString &buildString);

    //! The contents of the application's "AppFeatures.dll"; empty without an
    //! instance.
    static QByteArray GetFeaturesData();

    // --- Log output ------------------------------------------------------

    //! Opens this run's log file in the given sub-folder of the per-user data
    //! folder (deleting the earlier logs there) and routes every Qt message
    //! of the process into it.
    void RegisterLogOutput(const QString &subFolder);
    //! The full path of the open log file, or an empty string.
    QString GetLogFileName() const;

    // --- Preferences document --------------------------------------------

    // --- Languages -------------------------------------------------------

    // --- Ini-backed preferences ------------------------------------------

    // --- Editing state ---------------------------------------------------

    // --- Network proxy ---------------------------------------------------

    // --- Measurement units -----------------------------------------------

    // --- Stroke geometry and fixed values --------------------------------

    // --- Crash handling --------------------------------------------------

    //! Installs the process-wide failure handlers: unhandled faults (minidump
    //! and restart of the editor), pure calls, invalid parameters, SIGABRT,
    //! SIGINT and SIGTERM.
    void InstallProcessExceptionHandler();
    //! Installs the calling thread's failure handlers: terminate, unexpected,
    //! SIGFPE, SIGILL and SIGSEGV.
    void InstallThreadExceptionHandler();

Q_SIGNALS:
    void BackgroundColorChanged();
    void ForegroundColorChanged();
    void MaskModeBackgroundColorChanged();
    void MaskModeForegroundColorChanged();
    void GradientChanged();
    void PatternIndexChanged(int newIndex);
    void BrushToolRegistered(QString id, IBrushTool *tool);
    void BrushToolUnregistered(QString id, IBrushTool *tool);
    //! Declared for the editor's use; the library never emits it.
    void AboutDelete();
    void ProxyChanged();
    //! Declared for the editor's use; the library never emits it.
    void WorkingProfilechanged(int profile);

private:
    GlobalApplicationData();
    ~GlobalApplicationData() override;
    Q_DISABLE_COPY(GlobalApplicationData)

    static void VelaMessageOutput(QtMsgType type, const QMessageLogContext &context,
                                  const QString &message);
    static void VelaFinishOutput(QtMsgType type, const QMessageLogContext &context,
                                 const QString &message);

    static GlobalApplicationData *m_pInstance;

    // The log outlives the rest of the private data: the destructor's last
    // lines still reach the file after the state has gone.
    std::unique_ptr<VLLogFile> m_log;
    std::unique_ptr<GlobalApplicationDataPrivate> d_ptr;
    Q_DECLARE_PRIVATE(GlobalApplicationData)
};

#endif // GLOBALAPPLICATIONDATA_H
