// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef GLOBALAPPLICATIONDATA_H
#define GLOBALAPPLICATIONDATA_H

#include "VelaGlobalExport.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QNetworkProxy>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

class IBrushTool;
class GlobalApplicationDataPrivate;
class QDomElement;
class QFile;
class QGradient;
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

    //! Fills the parameter map from the parsed document.
    void LoadDomDocument();
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

    //! Fills the display names of the languages, translated at the time of
    //! the call: the editor calls it after installing its translators.
    void CreateLanguageMap();
    //! The language codes; a code's position is its language index.
    QStringList GetLanguageList() const;
    //! The code at an index, or a null string out of range.
    QString GetLanguage(int index) const;
    //! The code stored for the next start.
    QString GetLanguage() const;
    //! The code of the language this run was started in.
    QString GetCurrentLanguage() const;
    //! The part of the code before "_" ("en" for "en_UK").
    QString GetLanguageBase(int index) const;
    QString GetLanguageBase() const;
    //! The display name of a code, or "Unknown".
    QString GetLanguageName(const QString &code) const;
    QString GetLanguageName(int index) const;
    //! The index of the stored language; 0 for an unknown stored code.
    int GetLanguageIndex() const;
    //! Stores the language for the next start; the current run keeps its
    //! language.
    void SetLanguageIndex(int index);
    //! The index of a code (exact match), or -1.
    int FindLanguageIndex(QString code) const;

    // --- Ini-backed preferences ------------------------------------------

    // The editor gives the colour-management policies their meaning; only
    // the stored integers and the defaults are fixed.
    enum ColorManagementMissingPolicies : int {
        MissingPolicyLeaveUnmanaged = 0,
        MissingPolicyAssignWorkingSpace = 1,
        MissingPolicyAsk = 2
    };
    Q_ENUM(ColorManagementMissingPolicies)
    enum ColorManagementEqualPolicies : int {
        EqualPolicyIgnoreEmbedded = 0,
        EqualPolicyKeepEmbedded = 1,
        EqualPolicyAsk = 2
    };
    Q_ENUM(ColorManagementEqualPolicies)
    enum ColorManagementNotEqualPolicies : int {
        NotEqualPolicyConvertToWorkingSpace = 0,
        NotEqualPolicyKeepEmbedded = 1,
        NotEqualPolicyDiscardEmbedded = 2,
        NotEqualPolicyAsk = 3
    };
    Q_ENUM(ColorManagementNotEqualPolicies)
    enum ColorManagementColorSpaceMismatchPolicies : int {
        ColorSpaceMismatchPolicyConvert = 0,
        ColorSpaceMismatchPolicyKeep = 1,
        ColorSpaceMismatchPolicyAsk = 2
    };
    Q_ENUM(ColorManagementColorSpaceMismatchPolicies)

    // The folders last used; an unset folder follows the one it falls back
    // to (export, batch open and batch input: the open folder; batch output:
    // the batch input folder).
    QString GetPathOpen() const;
    void SetPathOpen(const QString &path);
    QString GetExportPath() const;
    void SetExportPath(const QString &path);
    QString GetBatchOpenPath() const;
    void SetBatchOpenPath(const QString &path);
    QString GetBatchInputPath() const;
    void SetBatchInputPath(const QString &path);
    QString GetBatchOutputPath() const;
    void SetBatchOutputPath(const QString &path);

    bool IsGridVisible() const;
    void SetGridVisible(bool visible);
    bool IsSnapToGrid() const;
    void SetSnapToGrid(bool snap);
    bool IsGuidesVisible() const;
    void SetGuidesVisible(bool visible);
    bool IsSnapToGuides() const;
    void SetSnapToGuides(bool snap);

    //! Whether the compression dialog is shown when saving in the format.
    static bool IsJPGCompressionVisible();
    static void SetJPGCompressionVisible(bool visible);
    static bool IsPNGCompressionVisible();
    static void SetPNGCompressionVisible(bool visible);
    static bool IsTIFFCompressionVisible();
    static void SetTIFFCompressionVisible(bool visible);

    ColorManagementMissingPolicies GetColorManagementMissingPolicy() const;
    void SetColorManagementMissingPolicy(ColorManagementMissingPolicies policy);
    ColorManagementEqualPolicies GetColorManagementEqualPolicy() const;
    void SetColorManagementEqualPolicy(ColorManagementEqualPolicies policy);
    ColorManagementNotEqualPolicies GetColorManagementNotEqualPolicy() const;
    void SetColorManagementNotEqualPolicy(ColorManagementNotEqualPolicies policy);
    ColorManagementColorSpaceMismatchPolicies GetColorManagementColorSpaceMismatchPolicy() const;
    void
    SetColorManagementColorSpaceMismatchPolicy(ColorManagementColorSpaceMismatchPolicies policy);

    //! The stored theme folder (":/Dark" when none is stored); a change
    //! takes effect at the next start.
    QString GetThemeSearchPath() const;
    void SetThemeSearchPath(const QString &path);
    //! The theme folder of this run, fixed at start-up.
    QString GetCurrentThemeSearchPath() const;

    // --- Editing state ---------------------------------------------------

    QColor GetBackgroundColor() const;
    QColor GetForegroundColor() const;
    QColor GetMaskModeBackgroundColor() const;
    QColor GetMaskModeForegroundColor() const;
    // Each setter announces a colour that differs from the stored one.
    void SetBackgroundColor(const QColor &color);
    void SetForegroundColor(const QColor &color);
    void SetMaskModeBackgroundColor(const QColor &color);
    void SetMaskModeForegroundColor(const QColor &color);
    //! The editor's fixed palette of 80 opaque colours.
    static QList<QColor> GetPredefinedColorList();

    //! The current gradient, or null before the first SetGradient(). Valid
    //! until the next SetGradient(): copy it to keep it.
    const QGradient *GetGradient() const;
    //! Stores the gradient and announces it, even when it is unchanged.
    void SetGradient(const QGradient &gradient);

    //! Absolute paths of the brush pattern images found at start-up.
    QStringList GetPatternsFileList() const;
    int GetPatternsCount() const;
    //! The path at an index, or a null string out of range.
    QString GetPatternFile(int index) const;
    int GetCurrentPatternIndex() const;
    //! False for an index out of range; announces a change of index.
    bool SetPatternIndex(int index);

    //! Registers a tool under a new braced UUID, or returns the id it is
    //! already registered under; a null string for a null tool. The caller
    //! keeps the tool and unregisters it before deleting it.
    QString RegisterBrushTool(IBrushTool *tool);
    bool UnregisterBrushTool(const QString &id);
    IBrushTool *GetBrushTool(const QString &id) const;
    //! The ids of the registered tools, ordered by the tools' names. The
    //! names are asked for under the data mutex: GetName() must not call
    //! back into this object.
    QStringList GetRegistredBrushTools() const;
    //! The id of the current brush tool, stored as given.
    void SetBrushToolID(const QString &id);
    QString GetBrushToolID() const;

private:
    // Fills the pattern list from the "brushpatterns" folder; the first step
    // of loading the user's preferences.
    void LoadPatternFiles();
    // Stores a colour of the editing state and announces a change.
    void SetColor(QColor GlobalApplicationDataPrivate::*field, const QColor &color,
                  void (GlobalApplicationData::*changed)());

public:
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

    //! The step vector (each coordinate -1, 0 or 1, y downwards) of the one
    //! of eight directions nearest to the line from start to end.
    static QPointF GetLineDirectionForShiftModifier(const QPointF &start, const QPointF &end);
    //! The foot of the perpendicular from point to the line through
    //! linePoint with the given direction; linePoint for a zero direction.
    static QPointF ProjectOnLine(const QPointF &point, const QPointF &direction,
                                 const QPointF &linePoint);
    static int GetProgressTimeout();
    //! The smallest brush rectangle worth processing with OpenCL.
    QRect GetMinBrushRectForOpenCL() const;

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
