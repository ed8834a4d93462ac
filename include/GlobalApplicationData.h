// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef GLOBALAPPLICATIONDATA_H
#define GLOBALAPPLICATIONDATA_H

#include "VelaGlobalExport.h"

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

class IBrushTool;
class GlobalApplicationDataPrivate;
class QColor;
class QDomElement;
class QFile;
struct UnitItem;
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

    //! Start-up load of the per-user data read once: brush patterns, the
    //! preferences document (installing the shipped default on the first run
    //! or when its version differs), the unit lists and the proxy settings.
    void InitUserPreferences();
    //! Writes the parameter map into the document and the document to the
    //! per-user "properties.xml"; parameters the document lacks are not added.
    void SaveUserPreferences();

    // The setters below change the map only, until SaveUserPreferences().
    QString DefImageType() const;
    void SetDefImageType(const QString &type);
    QString LastVisitedFolder() const;
    void SetLastVisitedFolder(const QString &folder);
    bool RememberLastVisitedFolder() const;
    int GetWorkingSpaceRGB() const;
    int GetRGBManagementPolicy() const;
    //! Stored one lower than answered: an absent value answers 1.
    int GetTextAntialiasing() const;
    void SetTextAntialiasing(int value);
    //! The colours are stored as "AARRGGBB" text; anything else answers an
    //! invalid colour.
    QColor GetUserBackgroundColor() const;
    QColor GetUserColor1Color() const;
    QColor GetUserColor2Color() const;
    bool IsOpenCLEnabled() const;
    bool IsColorManagementEnabled() const;
    bool DoNotUseSystemDlg() const;

private:
    friend class VLPreferenceMap;

    void LoadDomDocument(QFile &file);
    void SaveDomDocument(QFile &file);
    QString GetDomDocumentVersion(QFile &file);
    void InitPage(QDomElement &page);
    void InitGroup(QString &pageName, QDomElement &group);
    void InitParameter(QString &pageName, QString &groupName, QDomElement &parameter);
    void SavePage(QDomElement &page);
    void SaveGroup(QString &pageName, QDomElement &group);
    void SaveParameter(QString &pageName, QString &groupName, QDomElement &parameter);
    QColor UserColor(const QString &key) const;

public:

    // --- Languages -------------------------------------------------------

    // --- Ini-backed preferences ------------------------------------------

    // --- Editing state ---------------------------------------------------

    // --- Network proxy ---------------------------------------------------

    //! Reads host, port and type from the preference parameters.
    void LoadProxySettings();
    QStringList GetProxyTypeList() const;
    //! The name at \a index, or the current type's name when out of range.
    QString GetProxyTypeLabel(int index) const;
    int GetProxyTypeIndex() const;
    //! Stores and saves the type and emits ProxyChanged(), even when it is
    //! the current one; an out-of-range index is ignored.
    void SetProxyTypeIndex(int index);
    //! The index of the exactly matching name; 0 when there is none.
    int FindProxyTypeIndex(const QString &name) const;
    QNetworkProxy::ProxyType GetProxyType() const;
    QString GetProxyHostName() const;
    //! Saves and emits ProxyChanged() only when the name changes.
    void SetProxyHostName(const QString &hostName);
    int GetProxyPortNumber() const;
    //! Saves and emits ProxyChanged() only when the port changes.
    void SetProxyPortNumber(int port);

private:
    void SaveProxyChange();

public:

    // --- Measurement units -----------------------------------------------

    // The getters append to what the list already holds.
    void GetStandardUnitList(QList<UnitItem> &out) const;
    void GetCustomUnitList(QList<UnitItem> &out) const;
    //! The standard units, then the custom ones.
    void GetUnitList(QList<UnitItem> &out) const;
    //! Replaces the custom units and writes them to "units_user.ini".
    void SetCustomUnitList(const QList<UnitItem> &list);

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
