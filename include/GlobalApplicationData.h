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
    //! Finds the per-user data folder: the stored path when one is set, else
    //! "Kelvane" below "LOCALAPPDATA" (or "AppData/Local/Kelvane" below the
    //! home folder). True, with the path stored, when the folder exists.
    bool IsAppDataFolderExists() const;
    //! Creates the per-user data folder and returns whether it exists afterwards.
    //! With an empty \a path the folder of IsAppDataFolderExists() is created
    //! with its parents; with a path, that path is created one folder at a time
    //! from the working directory, which ends up inside it. Copies no files.
    bool MakeAppDataFolder(const QString &path);

    //! The text that names the editor's build; empty until SetBuildString().
    QString GetBuildString() const;
    //! Sets the build string; the editor does, the library never does.
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
    //! The default image type ("directories.dirs.def_image_type").
    QString DefImageType() const;
    //! Sets the default image type in the parameter map.
    void SetDefImageType(const QString &type);
    //! The folder last visited ("directories.dirs.last_dir").
    QString LastVisitedFolder() const;
    //! Sets the folder last visited in the parameter map.
    void SetLastVisitedFolder(const QString &folder);
    //! True exactly when "directories.dirs.Remember_last_folder" is "true".
    bool RememberLastVisitedFolder() const;
    //! The RGB working space ("color_management.Working_spaces.RGB"); 0 when
    //! it is not a number.
    int GetWorkingSpaceRGB() const;
    //! The RGB management policy ("color_management.Management_policies.RGB1");
    //! 0 when it is not a number.
    int GetRGBManagementPolicy() const;
    //! Stored one lower than answered: an absent value answers 1.
    int GetTextAntialiasing() const;
    //! Stores \a value minus one; see GetTextAntialiasing().
    void SetTextAntialiasing(int value);
    //! The colours are stored as "AARRGGBB" text; anything else answers an
    //! invalid colour.
    QColor GetUserBackgroundColor() const;
    //! The user's first colour ("editing.colors.Color_1"), as
    //! GetUserBackgroundColor() reads it.
    QColor GetUserColor1Color() const;
    //! The user's second colour ("editing.colors.Color_2"), as
    //! GetUserBackgroundColor() reads it.
    QColor GetUserColor2Color() const;
    //! Whether OpenCL is used: false, as nothing switches it on.
    bool IsOpenCLEnabled() const;
    //! Whether colour management is on: always true.
    bool IsColorManagementEnabled() const;
    //! Whether the system's file dialogs are avoided: always false.
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
    //! The base of the stored language's code.
    QString GetLanguageBase() const;
    //! The display name of a code, or "Unknown".
    QString GetLanguageName(const QString &code) const;
    //! The display name of the code at an index.
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
    //! What to do with an image that carries no colour profile. Stored in
    //! "ColorManagement/MissingPolicy"; the default is 0.
    enum ColorManagementMissingPolicies : int {
        MissingPolicyLeaveUnmanaged = 0,
        MissingPolicyAssignWorkingSpace = 1,
        MissingPolicyAsk = 2
    };
    Q_ENUM(ColorManagementMissingPolicies)
    //! What to do when the image's profile equals the working space. Stored in
    //! "ColorManagement/EqualPolicy"; the default is 1.
    enum ColorManagementEqualPolicies : int {
        EqualPolicyIgnoreEmbedded = 0,
        EqualPolicyKeepEmbedded = 1,
        EqualPolicyAsk = 2
    };
    Q_ENUM(ColorManagementEqualPolicies)
    //! What to do when the image's profile differs from the working space.
    //! Stored in "ColorManagement/NotEqualPolicy"; the default is 0.
    enum ColorManagementNotEqualPolicies : int {
        NotEqualPolicyConvertToWorkingSpace = 0,
        NotEqualPolicyKeepEmbedded = 1,
        NotEqualPolicyDiscardEmbedded = 2,
        NotEqualPolicyAsk = 3
    };
    Q_ENUM(ColorManagementNotEqualPolicies)
    //! What to do when the image's colour space is not the working space's.
    //! Stored in "ColorManagement/ColorSpaceMismatchPolicy"; the default is 0.
    enum ColorManagementColorSpaceMismatchPolicies : int {
        ColorSpaceMismatchPolicyConvert = 0,
        ColorSpaceMismatchPolicyKeep = 1,
        ColorSpaceMismatchPolicyAsk = 2
    };
    Q_ENUM(ColorManagementColorSpaceMismatchPolicies)

    // The folders last used; an unset folder follows the one it falls back
    // to (export, batch open and batch input: the open folder; batch output:
    // the batch input folder).
    //! The folder last used for opening ("Save/PathOpen"); empty when unset.
    QString GetPathOpen() const;
    //! Stores the folder last used for opening, as given.
    void SetPathOpen(const QString &path);
    //! The folder last used for exporting ("Save/PathExport").
    QString GetExportPath() const;
    //! Stores the folder last used for exporting, as given.
    void SetExportPath(const QString &path);
    //! The folder last used to open a batch ("Batch/Path/Open").
    QString GetBatchOpenPath() const;
    //! Stores the folder last used to open a batch, as given.
    void SetBatchOpenPath(const QString &path);
    //! The batch's input folder ("Batch/Path/Input").
    QString GetBatchInputPath() const;
    //! Stores the batch's input folder, as given.
    void SetBatchInputPath(const QString &path);
    //! The batch's output folder ("Batch/Path/Output").
    QString GetBatchOutputPath() const;
    //! Stores the batch's output folder, as given.
    void SetBatchOutputPath(const QString &path);

    //! Whether the grid is shown ("GridSettings/Visible"); false when unset.
    bool IsGridVisible() const;
    //! Stores whether the grid is shown.
    void SetGridVisible(bool visible);
    //! Whether drawing snaps to the grid ("GridSettings/SnapToGrid"); false
    //! when unset.
    bool IsSnapToGrid() const;
    //! Stores whether drawing snaps to the grid.
    void SetSnapToGrid(bool snap);
    //! Whether the guides are shown ("GuidesSettings/Visible"); false when
    //! unset.
    bool IsGuidesVisible() const;
    //! Stores whether the guides are shown.
    void SetGuidesVisible(bool visible);
    //! Whether drawing snaps to the guides ("GuidesSettings/SnapToGuides");
    //! false when unset.
    bool IsSnapToGuides() const;
    //! Stores whether drawing snaps to the guides.
    void SetSnapToGuides(bool snap);

    //! Whether the compression dialog is shown when saving in the format.
    static bool IsJPGCompressionVisible();
    //! Stores whether the JPEG compression dialog is shown.
    static void SetJPGCompressionVisible(bool visible);
    //! Whether the PNG compression dialog is shown; true when unset.
    static bool IsPNGCompressionVisible();
    //! Stores whether the PNG compression dialog is shown.
    static void SetPNGCompressionVisible(bool visible);
    //! Whether the TIFF compression dialog is shown; true when unset.
    static bool IsTIFFCompressionVisible();
    //! Stores whether the TIFF compression dialog is shown.
    static void SetTIFFCompressionVisible(bool visible);

    //! The stored policy for images without a profile, unchecked.
    ColorManagementMissingPolicies GetColorManagementMissingPolicy() const;
    //! Stores the policy for images without a profile.
    void SetColorManagementMissingPolicy(ColorManagementMissingPolicies policy);
    //! The stored policy for profiles equal to the working space, unchecked.
    ColorManagementEqualPolicies GetColorManagementEqualPolicy() const;
    //! Stores the policy for profiles equal to the working space.
    void SetColorManagementEqualPolicy(ColorManagementEqualPolicies policy);
    //! The stored policy for profiles that differ from the working space,
    //! unchecked.
    ColorManagementNotEqualPolicies GetColorManagementNotEqualPolicy() const;
    //! Stores the policy for profiles that differ from the working space.
    void SetColorManagementNotEqualPolicy(ColorManagementNotEqualPolicies policy);
    //! The stored policy for a colour space other than the working space's,
    //! unchecked.
    ColorManagementColorSpaceMismatchPolicies GetColorManagementColorSpaceMismatchPolicy() const;
    //! Stores the policy for a colour space other than the working space's.
    void
    SetColorManagementColorSpaceMismatchPolicy(ColorManagementColorSpaceMismatchPolicies policy);

    //! The stored theme folder (":/Dark" when none is stored); a change
    //! takes effect at the next start.
    QString GetThemeSearchPath() const;
    //! Stores the theme folder for the next start.
    void SetThemeSearchPath(const QString &path);
    //! The theme folder of this run, fixed at start-up.
    QString GetCurrentThemeSearchPath() const;

    // --- Editing state ---------------------------------------------------

    //! The background colour of the editing state.
    QColor GetBackgroundColor() const;
    //! The foreground colour of the editing state.
    QColor GetForegroundColor() const;
    //! The background colour used while editing a mask.
    QColor GetMaskModeBackgroundColor() const;
    //! The foreground colour used while editing a mask.
    QColor GetMaskModeForegroundColor() const;
    // Each setter announces a colour that differs from the stored one.
    //! Stores the background colour; emits BackgroundColorChanged() when it
    //! differs from the stored one.
    void SetBackgroundColor(const QColor &color);
    //! Stores the foreground colour; emits ForegroundColorChanged() when it
    //! differs from the stored one.
    void SetForegroundColor(const QColor &color);
    //! Stores the mask-mode background colour; emits
    //! MaskModeBackgroundColorChanged() when it differs from the stored one.
    void SetMaskModeBackgroundColor(const QColor &color);
    //! Stores the mask-mode foreground colour; emits
    //! MaskModeForegroundColorChanged() when it differs from the stored one.
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
    //! The number of brush pattern images.
    int GetPatternsCount() const;
    //! The path at an index, or a null string out of range.
    QString GetPatternFile(int index) const;
    //! The index of the current brush pattern; 0 until SetPatternIndex().
    int GetCurrentPatternIndex() const;
    //! False for an index out of range; announces a change of index.
    bool SetPatternIndex(int index);

    //! Registers a tool under a new braced UUID, or returns the id it is
    //! already registered under; a null string for a null tool. The caller
    //! keeps the tool and unregisters it before deleting it.
    QString RegisterBrushTool(IBrushTool *tool);
    //! Removes the tool registered under \a id and emits
    //! BrushToolUnregistered(); false, emitting nothing, for an unknown id.
    //! Unregistering the current brush tool clears GetBrushToolID().
    bool UnregisterBrushTool(const QString &id);
    //! The tool registered under exactly \a id, or null.
    IBrushTool *GetBrushTool(const QString &id) const;
    //! The ids of the registered tools, ordered by the tools' names. The
    //! names are asked for under the data mutex: GetName() must not call
    //! back into this object.
    QStringList GetRegistredBrushTools() const;
    //! The id of the current brush tool, stored as given.
    void SetBrushToolID(const QString &id);
    //! The id of the current brush tool, as SetBrushToolID() stored it.
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
    //! The proxy type names: "Default", "NoProxy", "HttpProxy" and
    //! "Socks5Proxy"; a name's position is its index.
    QStringList GetProxyTypeList() const;
    //! The name at \a index, or the current type's name when out of range.
    QString GetProxyTypeLabel(int index) const;
    //! The index of the current proxy type; 0 ("Default") until one is set.
    int GetProxyTypeIndex() const;
    //! Stores and saves the type and emits ProxyChanged(), even when it is
    //! the current one; an out-of-range index is ignored.
    void SetProxyTypeIndex(int index);
    //! The index of the exactly matching name; 0 when there is none.
    int FindProxyTypeIndex(const QString &name) const;
    //! The Qt proxy type of the current index: QNetworkProxy::DefaultProxy,
    //! NoProxy, HttpProxy or Socks5Proxy.
    QNetworkProxy::ProxyType GetProxyType() const;
    //! The proxy host name, as typed.
    QString GetProxyHostName() const;
    //! Saves and emits ProxyChanged() only when the name changes.
    void SetProxyHostName(const QString &hostName);
    //! The proxy port; 3128 until one is stored.
    int GetProxyPortNumber() const;
    //! Saves and emits ProxyChanged() only when the port changes.
    void SetProxyPortNumber(int port);

private:
    void SaveProxyChange();

public:

    // --- Measurement units -----------------------------------------------

    // The getters append to what the list already holds.
    //! Appends the standard units (the application folder's
    //! "settings/units.ini") to \a out.
    void GetStandardUnitList(QList<UnitItem> &out) const;
    //! Appends the user's own units ("units_user.ini") to \a out.
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
    //! How long, in milliseconds, an operation runs before the editor shows
    //! its progress: 2000.
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
    //! The background colour has changed.
    void BackgroundColorChanged();
    //! The foreground colour has changed.
    void ForegroundColorChanged();
    //! The mask-mode background colour has changed.
    void MaskModeBackgroundColorChanged();
    //! The mask-mode foreground colour has changed.
    void MaskModeForegroundColorChanged();
    //! SetGradient() was called, whether or not the gradient changed.
    void GradientChanged();
    //! The current brush pattern has changed to \a newIndex.
    void PatternIndexChanged(int newIndex);
    //! A tool not registered before has been registered under \a id.
    void BrushToolRegistered(QString id, IBrushTool *tool);
    //! The \a tool registered under \a id has been removed.
    void BrushToolUnregistered(QString id, IBrushTool *tool);
    //! Declared for the editor's use; the library never emits it.
    void AboutDelete();
    //! A proxy setting was stored and the preferences document saved.
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
