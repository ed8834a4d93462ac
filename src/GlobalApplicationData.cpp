// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"

#include "IBrushTool.h"
#include "UnitConverter.h"
#include "VLApplicationSettings.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "VelaUserParams.h"
#include "private/GlobalApplicationData_p.h"
#include "private/VLLogFile_p.h"
#include "private/VLLogLine_p.h"
#include "private/VLPreferenceMap_p.h"
#include "private/VLSaveFile_p.h"
#include "private/VLXmlFile_p.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QGradient>
#include <QLineF>
#include <QMutexLocker>
#include <QProcessEnvironment>
#include <QSettings>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

const char settingsVersion[] = "2.0";

// Longer than any copy under the data mutex takes.
constexpr int dataMutexCrashWaitMs = 2000;

// Where the per-user data folder is looked for: a base folder and the path
// of the "Kelvane" folder below it.
struct AppDataLocation
{
    QString base;
    QString suffix; // appended to the base, as written (forward slashes)

    //! The folder's path when it is found: the suffix stays as written.
    QString FoundPath() const { return base + suffix; }
};

AppDataLocation appDataLocation()
{
    const QString localAppData =
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("LOCALAPPDATA"));
    if (localAppData.isEmpty())
        return {QDir::homePath(), QStringLiteral("/AppData/Local/Kelvane/")};
    return {localAppData, QStringLiteral("/Kelvane/")};
}

// The "Kelvane" folder of a location, relative to its base.
QString appDataFolderBelowBase(const AppDataLocation &location)
{
    return QDir::toNativeSeparators(location.suffix.mid(1));
}

// Creates a folder one component at a time, moving the working directory
// along: the editor relies on finding itself inside the new folder after an
// explicit MakeAppDataFolder().
bool makePathStepByStep(const QString &path)
{
    const QChar separator = QDir::separator();
    if (path.startsWith(separator) && !QDir::setCurrent(QDir::rootPath()))
        return false;

    const QStringList parts = path.split(separator, Qt::SkipEmptyParts);
    bool driveTaken = false;
    for (const QString &part : parts) {
        if (!driveTaken) {
            driveTaken = true;
            if (!QDir::setCurrent(part + separator))
                return false;
            continue;
        }
        QDir current = QDir::current();
        if (!VLSaveFile::MakeFolder(current.filePath(part)))
            return false;
        if (!QDir::setCurrent(current.filePath(part)))
            return false;
    }
    return true;
}

void writeToStandardStreams(QtMsgType type, const QString &message)
{
    const QByteArray text = message.toLocal8Bit();
    switch (type) {
    case QtDebugMsg:
        std::fprintf(stdout, "Debug: %s\n", text.constData());
        std::fflush(stdout);
        break;
    case QtWarningMsg:
        std::fprintf(stdout, "Warning: %s\n", text.constData());
        std::fflush(stdout);
        break;
    case QtCriticalMsg:
        std::fprintf(stderr, "Critical: %s\n", text.constData());
        break;
    case QtFatalMsg:
        std::fprintf(stderr, "Fatal: %s\n", text.constData());
        std::abort();
    default:
        break;
    }
}

} // namespace

GlobalApplicationData *GlobalApplicationData::m_pInstance = nullptr;

// --- Creation, folders, build string, features blob -----------------------

void GlobalApplicationData::InitInstance()
{
    if (m_pInstance)
        return;
    m_pInstance = new GlobalApplicationData;
    const QString dataFolder = m_pInstance->GetAppDataFolderPath();
    VLExportResolutions::CreateInstance();
    VLExportResolutions::LoadInstance(dataFolder + QStringLiteral("ExportAndShareResolution.ini"));
    VLExportSizes::CreateInstance();
    VLExportSizes::LoadInstance(dataFolder + QStringLiteral("ExportAndShareSize.ini"));
}

GlobalApplicationData *GlobalApplicationData::Instance()
{
    return m_pInstance;
}

void GlobalApplicationData::ReleaseInstance()
{
    if (!m_pInstance)
        return;
    VLExportResolutions::DeleteInstance();
    VLExportSizes::DeleteInstance();
    delete m_pInstance;
    // Cleared only now, so that the destructor's own lines reach the log.
    m_pInstance = nullptr;
}

GlobalApplicationData::GlobalApplicationData()
    : QObject(nullptr)
    , m_log(new VLLogFile)
    , d_ptr(new GlobalApplicationDataPrivate)
{
    Q_D(GlobalApplicationData);
    d->crashHandler.reset(new VLCrashHandler);
    d->languageCodes << QStringLiteral("sv_SE") << QStringLiteral("en_UK")
                     << QStringLiteral("de_DE") << QStringLiteral("ru_RU");

    if (!IsAppDataFolderExists())
        MakeAppDataFolder(QString());

    VLApplicationSettings::SetFileName(GetAppDataFolderPath() + QStringLiteral("kelvane.ini"));

    // The installer writes the language chosen during set-up; it becomes the
    // user's choice on the first run only.
    const QString languageKey = QStringLiteral("Language/Index");
    if (!VLApplicationSettings::Contains(languageKey)) {
        const QSettings installSettings(GetAppFolderPath() + QDir::separator()
                                            + QStringLiteral("settings") + QDir::separator()
                                            + QStringLiteral("installsettings.ini"),
                                        QSettings::IniFormat);
        VLApplicationSettings::SetValue(languageKey, installSettings.value(languageKey));
    }

    // The theme and the language of this run are fixed now; later changes
    // are stored for the next start.
    d->currentThemeSearchPath = GetThemeSearchPath();
    d->currentLanguageIndex = GetLanguageIndex();

    const QString versionKey = QStringLiteral("Version");
    if (VLApplicationSettings::GetValue(versionKey, QString()).toString()
        != QLatin1String(settingsVersion))
        VLApplicationSettings::SetValue(versionKey, QString::fromLatin1(settingsVersion));

    QFile features(GetAppFolderPath() + QDir::separator() + QStringLiteral("AppFeatures.dll"));
    if (features.open(QIODevice::ReadOnly)) {
        d->featuresData = features.readAll();
        features.close();
    }
}

GlobalApplicationData::~GlobalApplicationData()
{
    Q_D(GlobalApplicationData);
    VL_LOG(QStringLiteral("Destroy"));
    if (d->preferences) {
        VL_LOG(QStringLiteral("Pre Destroy xml"));
        d->preferences->clear();
        VL_LOG(QStringLiteral("Destroy xml"));
        d->preferences.reset();
    }
    VL_LOG(QStringLiteral("Destroyed xml"));

    d_ptr.reset();
    VL_LOG(QStringLiteral("Destroyed"));

    // Whatever is logged from here on goes to the standard streams; the log
    // file closes when m_log goes.
    qInstallMessageHandler(VelaFinishOutput);
}

QString GlobalApplicationData::GetAppFolderPath() const
{
    if (!QCoreApplication::instance())
        return QString();

    QDir folder(QCoreApplication::applicationDirPath());
    const QString last = folder.dirName().toLower();
    if (last == QLatin1String("debug") || last == QLatin1String("release"))
        folder.cdUp();
    return folder.absolutePath();
}

QString GlobalApplicationData::GetAppDataFolderPath() const
{
    Q_D(const GlobalApplicationData);
    // The crash handler asks from a thread that may have failed while holding
    // the data mutex: the wait is bounded, and the path, fixed at start-up,
    // is read as it is.
    if (!d->dataMutex.tryLock(dataMutexCrashWaitMs))
        return d->appDataFolderPath;
    const QString path = d->appDataFolderPath;
    d->dataMutex.unlock();
    return path;
}

bool GlobalApplicationData::IsAppDataFolderExists() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    if (!d->appDataFolderPath.isEmpty())
        return QFileInfo::exists(d->appDataFolderPath);

    const AppDataLocation location = appDataLocation();
    if (!QDir(location.base).exists(appDataFolderBelowBase(location)))
        return false;
    d->appDataFolderPath = location.FoundPath();
    return true;
}

QString VLExpectedAppDataFolderPath()
{
    return appDataLocation().FoundPath();
}

bool GlobalApplicationData::MakeAppDataFolder(const QString &path)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        d->appDataFolderPath = path;
    }
    if (IsAppDataFolderExists())
        return true;

    QMutexLocker locker(&d->dataMutex);
    if (d->appDataFolderPath.isEmpty()) {
        const AppDataLocation location = appDataLocation();
        const QString folder = appDataFolderBelowBase(location);
        QDir base(location.base);
        if (!VLSaveFile::MakeFolder(base.filePath(folder))) {
            VL_LOG(QStringLiteral("Failed to create dir: %1").arg(location.base));
            return false;
        }
        // Created: the suffix comes with native separators.
        d->appDataFolderPath = location.base + QDir::toNativeSeparators(location.suffix);
        return true;
    }
    locker.unlock();
    return makePathStepByStep(path);
}

QString GlobalApplicationData::GetBuildString() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->buildString;
}

void GlobalApplicationData::SetBuildString(const QString &buildString)
{
    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->buildString = buildString;
}

QByteArray GlobalApplicationData::GetFeaturesData()
{
    return m_pInstance ? m_pInstance->d_func()->featuresData : QByteArray();
}

// --- Log output -------------------------------------------------------------

void GlobalApplicationData::RegisterLogOutput(const QString &subFolder)
{
    // Without a per-user data folder the log folder is the bare name,
    // relative to the working directory, like every other per-user file.
    const QString dataFolder = GetAppDataFolderPath();
    if (!m_log->IsOpen())
        m_log->Open(dataFolder.isEmpty() ? subFolder : dataFolder + QDir::separator() + subFolder);
    qInstallMessageHandler(VelaMessageOutput);
}

QString GlobalApplicationData::GetLogFileName() const
{
    return m_log->FileName();
}

void GlobalApplicationData::VelaMessageOutput(QtMsgType type, const QMessageLogContext &,
                                              const QString &message)
{
    // The instance pointer is read without a lock: the application data
    // object outlives every thread that logs.
    if (GlobalApplicationData *self = m_pInstance) {
        if (self->m_log->Write(message))
            return;
    }
    writeToStandardStreams(type, message);
}

void GlobalApplicationData::VelaFinishOutput(QtMsgType type, const QMessageLogContext &,
                                             const QString &message)
{
    writeToStandardStreams(type, message);
}

// --- Preferences document ---------------------------------------------------

namespace {

const QString pageTag = QStringLiteral("page");
const QString groupTag = QStringLiteral("group");
const QString parameterTag = QStringLiteral("parameter");
const QString nameAttribute = QStringLiteral("name");
const QString valueAttribute = QStringLiteral("value");
const QString preferencesFileName = QStringLiteral("properties.xml");
const QString customUnitsFileName = QStringLiteral("units_user.ini");

// Visits the direct children of parent with the tag, in document order.
template<typename Visit>
void forEachChildElement(const QDomElement &parent, const QString &tag, Visit visit)
{
    for (QDomElement child = parent.firstChildElement(tag); !child.isNull();
         child = child.nextSiblingElement(tag))
        visit(child);
}

QString parameterKey(const QString &pageName, const QString &groupName,
                     const QDomElement &parameter)
{
    return pageName + QLatin1Char('.') + groupName + QLatin1Char('.')
           + parameter.attribute(nameAttribute);
}

// "AARRGGBB", either letter case; characters after the eighth are ignored.
// Read as the editor always has, with sscanf, so that odd texts keep their
// old answers.
QColor colorFromText(const QString &text)
{
    if (text.size() < 8)
        return QColor();
    const QByteArray bytes = text.toLatin1();
    unsigned int alpha = 0, red = 0, green = 0, blue = 0;
    if (std::sscanf(bytes.constData(), "%02X%02X%02X%02X", &alpha, &red, &green, &blue) < 4)
        return QColor();
    return QColor(int(red), int(green), int(blue), int(alpha));
}

} // namespace

void GlobalApplicationData::InitUserPreferences()
{
    Q_D(GlobalApplicationData);
    // The brush pattern scan runs first.
    LoadPatternFiles();

    QFile defaultDocument(GetAppFolderPath() + QStringLiteral("/settings/") + preferencesFileName);
    if (!IsAppDataFolderExists())
        MakeAppDataFolder(QString());
    const QString userPath = GetAppDataFolderPath() + preferencesFileName;

    // Each document is parsed once: the load walks the parse of whichever
    // of the two the per-user file holds afterwards.
    d->preferences.reset(new QDomDocument);
    const QString defaultVersion = GetDomDocumentVersion(defaultDocument);
    const QDomDocument shippedDocument = *d->preferences;
    const bool defaultReadable = !shippedDocument.documentElement().isNull();

    QFile userDocument(userPath);
    d->preferences.reset(new QDomDocument);
    const QString userVersion = GetDomDocumentVersion(userDocument);
    const QDomDocument usersDocument = *d->preferences;
    userDocument.close();

    // An unreadable default would leave the user with no document at all, so
    // the user's own is kept then. The copy replaces the old document in one
    // step: until it is complete, the old one stays whole.
    bool replaced = false;
    if (defaultReadable && (!userDocument.exists() || userVersion != defaultVersion)
        && defaultDocument.seek(0)) {
        const QByteArray content = defaultDocument.read(VLXmlFile::MaxFileSize);
        replaced =
            VLSaveFile::Write(userPath, [&content](QIODevice &device) { device.write(content); });
    }
    defaultDocument.close();

    d->preferences.reset(new QDomDocument(replaced ? shippedDocument : usersDocument));
    LoadDomDocument();

    LoadUnits(d->standardUnits, GetAppFolderPath() + QStringLiteral("/settings/units.ini"), true);
    LoadUnits(d->customUnits, GetAppDataFolderPath() + customUnitsFileName, false);

    LoadProxySettings();
}

void GlobalApplicationData::SaveUserPreferences()
{
    QFile file(GetAppDataFolderPath() + preferencesFileName);
    SaveDomDocument(file);
}

QString GlobalApplicationData::GetDomDocumentVersion(QFile &file)
{
    Q_D(GlobalApplicationData);
    if (!VLXmlFile::Parse(file, *d->preferences, true))
        return QString();
    return VLPreferenceMap::DocumentVersion(*d->preferences);
}

void GlobalApplicationData::LoadDomDocument()
{
    Q_D(GlobalApplicationData);
    forEachChildElement(d->preferences->documentElement(), pageTag,
                        [this](QDomElement &page) { InitPage(page); });
}

void GlobalApplicationData::InitPage(QDomElement &page)
{
    QString pageName = page.attribute(nameAttribute);
    forEachChildElement(page, groupTag, [&](QDomElement &group) { InitGroup(pageName, group); });
}

void GlobalApplicationData::InitGroup(QString &pageName, QDomElement &group)
{
    QString groupName = group.attribute(nameAttribute);
    forEachChildElement(group, parameterTag, [&](QDomElement &parameter) {
        InitParameter(pageName, groupName, parameter);
    });
}

void GlobalApplicationData::InitParameter(QString &pageName, QString &groupName,
                                          QDomElement &parameter)
{
    Q_D(GlobalApplicationData);
    d->parameters.insert(parameterKey(pageName, groupName, parameter),
                         parameter.attribute(valueAttribute));
}

void GlobalApplicationData::SaveDomDocument(QFile &file)
{
    Q_D(GlobalApplicationData);
    // A document that failed to load has nothing to write: the file on disk
    // is left as it is rather than emptied.
    if (!d->preferences || d->preferences->documentElement().isNull())
        return;
    forEachChildElement(d->preferences->documentElement(), pageTag,
                        [this](QDomElement &page) { SavePage(page); });
    const QDomDocument &document = *d->preferences;
    VLSaveFile::Write(file.fileName(), [&document](QIODevice &device) {
        VLXmlFile::WriteDocument(document, device);
    });
}

void GlobalApplicationData::SavePage(QDomElement &page)
{
    QString pageName = page.attribute(nameAttribute);
    forEachChildElement(page, groupTag, [&](QDomElement &group) { SaveGroup(pageName, group); });
}

void GlobalApplicationData::SaveGroup(QString &pageName, QDomElement &group)
{
    QString groupName = group.attribute(nameAttribute);
    forEachChildElement(group, parameterTag, [&](QDomElement &parameter) {
        SaveParameter(pageName, groupName, parameter);
    });
}

void GlobalApplicationData::SaveParameter(QString &pageName, QString &groupName,
                                          QDomElement &parameter)
{
    Q_D(GlobalApplicationData);
    parameter.setAttribute(valueAttribute,
                           d->parameters.value(parameterKey(pageName, groupName, parameter)));
}

QString GlobalApplicationData::DefImageType() const
{
    Q_D(const GlobalApplicationData);
    return d->parameters.value(VelaUserParams::Directories::Settings::DefImageType());
}

void GlobalApplicationData::SetDefImageType(const QString &type)
{
    Q_D(GlobalApplicationData);
    d->parameters.insert(VelaUserParams::Directories::Settings::DefImageType(), type);
}

QString GlobalApplicationData::LastVisitedFolder() const
{
    Q_D(const GlobalApplicationData);
    return d->parameters.value(VelaUserParams::Directories::Settings::LastVisitedFolder());
}

void GlobalApplicationData::SetLastVisitedFolder(const QString &folder)
{
    Q_D(GlobalApplicationData);
    d->parameters.insert(VelaUserParams::Directories::Settings::LastVisitedFolder(), folder);
}

bool GlobalApplicationData::RememberLastVisitedFolder() const
{
    Q_D(const GlobalApplicationData);
    return d->parameters.value(VelaUserParams::Directories::Settings::RememberLastVisitedFolder())
           == QLatin1String("true");
}

int GlobalApplicationData::GetWorkingSpaceRGB() const
{
    Q_D(const GlobalApplicationData);
    return d->parameters.value(VelaUserParams::ColorManagement::WorkingSpaces::RGB2())
        .toInt(nullptr, 10);
}

int GlobalApplicationData::GetRGBManagementPolicy() const
{
    Q_D(const GlobalApplicationData);
    return d->parameters.value(VelaUserParams::ColorManagement::ManagementPolicies::RGB1())
        .toInt(nullptr, 10);
}

int GlobalApplicationData::GetTextAntialiasing() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->parameters.value(VelaUserParams::Editing::Text::Antialiasing()).toInt(nullptr, 10)
           + 1;
}

void GlobalApplicationData::SetTextAntialiasing(int value)
{
    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->parameters.insert(VelaUserParams::Editing::Text::Antialiasing(),
                         QString::number(value - 1, 10));
}

QColor GlobalApplicationData::UserColor(const QString &key) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    const QString text = d->parameters.value(key);
    locker.unlock();
    return colorFromText(text);
}

QColor GlobalApplicationData::GetUserBackgroundColor() const
{
    return UserColor(VelaUserParams::Editing::Colors::Background());
}

QColor GlobalApplicationData::GetUserColor1Color() const
{
    return UserColor(VelaUserParams::Editing::Colors::Color1());
}

QColor GlobalApplicationData::GetUserColor2Color() const
{
    return UserColor(VelaUserParams::Editing::Colors::Color2());
}

bool GlobalApplicationData::IsOpenCLEnabled() const
{
    Q_D(const GlobalApplicationData);
    return d->openCLEnabled;
}

bool GlobalApplicationData::IsColorManagementEnabled() const
{
    return true;
}

bool GlobalApplicationData::DoNotUseSystemDlg() const
{
    return false;
}

// --- Languages ----------------------------------------------------------------

namespace {

// A copy of one field of the private data, taken under the data mutex.
template<typename T>
T copyLocked(const GlobalApplicationDataPrivate *d, T GlobalApplicationDataPrivate::*field)
{
    QMutexLocker locker(&d->dataMutex);
    return d->*field;
}

} // namespace

void GlobalApplicationData::CreateLanguageMap()
{
    // Translated before the lock is taken: a translator is foreign code.
    const QString english = tr("English");
    const QString russian = tr("Russian");
    const QString german = tr("German");
    const QString swedish = tr("Swedish");

    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->languageNames.insert(QStringLiteral("en_UK"), english);
    d->languageNames.insert(QStringLiteral("ru_RU"), russian);
    d->languageNames.insert(QStringLiteral("de_DE"), german);
    d->languageNames.insert(QStringLiteral("sv_SE"), swedish);
}

QStringList GlobalApplicationData::GetLanguageList() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::languageCodes);
}

QString GlobalApplicationData::GetLanguage(int index) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->languageCodes.value(index);
}

QString GlobalApplicationData::GetLanguage() const
{
    return GetLanguage(GetLanguageIndex());
}

QString GlobalApplicationData::GetCurrentLanguage() const
{
    // Set once by the constructor, so read without the lock.
    return GetLanguage(d_func()->currentLanguageIndex);
}

QString GlobalApplicationData::GetLanguageBase(int index) const
{
    return GetLanguage(index).section(QLatin1Char('_'), 0, 0);
}

QString GlobalApplicationData::GetLanguageBase() const
{
    return GetLanguageBase(GetLanguageIndex());
}

QString GlobalApplicationData::GetLanguageName(const QString &code) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->languageNames.value(code, QStringLiteral("Unknown"));
}

QString GlobalApplicationData::GetLanguageName(int index) const
{
    return GetLanguageName(GetLanguage(index));
}

int GlobalApplicationData::GetLanguageIndex() const
{
    // The key holds a language code despite its name. A value copied from a
    // missing installer entry reads as an empty code, hence as index 0.
    const QString code =
        VLApplicationSettings::GetValue(QStringLiteral("Language/Index"), QStringLiteral("en_UK"))
            .toString();
    return qMax(FindLanguageIndex(code), 0);
}

void GlobalApplicationData::SetLanguageIndex(int index)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (index < 0 || index >= d->languageCodes.size()) {
            VL_LOG(QStringLiteral("Wrong language index:%1").arg(index));
            return;
        }
    }
    VLApplicationSettings::SetValue(QStringLiteral("Language/Index"), GetLanguage(index));
}

int GlobalApplicationData::FindLanguageIndex(QString code) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->languageCodes.indexOf(code);
}

// --- Ini-backed preferences -------------------------------------------------

namespace {

// Nothing is cached: every read goes to the settings file.
QString storedString(const char *key, const QString &fallback)
{
    return VLApplicationSettings::GetValue(QLatin1String(key), fallback).toString();
}

bool storedFlag(const char *key, bool fallback)
{
    return VLApplicationSettings::GetValue(QLatin1String(key), fallback).toBool();
}

int storedNumber(const char *key, int fallback)
{
    return VLApplicationSettings::GetValue(QLatin1String(key), fallback).toInt();
}

void store(const char *key, const QVariant &value)
{
    VLApplicationSettings::SetValue(QLatin1String(key), value);
}

const char pathOpenKey[] = "Save/PathOpen";
const char pathExportKey[] = "Save/PathExport";
const char batchOpenKey[] = "Batch/Path/Open";
const char batchInputKey[] = "Batch/Path/Input";
const char batchOutputKey[] = "Batch/Path/Output";
const char gridVisibleKey[] = "GridSettings/Visible";
const char snapToGridKey[] = "GridSettings/SnapToGrid";
const char guidesVisibleKey[] = "GuidesSettings/Visible";
const char snapToGuidesKey[] = "GuidesSettings/SnapToGuides";
const char jpgCompressionKey[] = "MessagesAndConfirmationsSettings/ShowJPGCompressionSettings";
const char pngCompressionKey[] = "MessagesAndConfirmationsSettings/ShowPNGCompressionSettings";
const char tiffCompressionKey[] = "MessagesAndConfirmationsSettings/ShowTIFFCompressionSettings";
const char missingPolicyKey[] = "ColorManagement/MissingPolicy";
const char equalPolicyKey[] = "ColorManagement/EqualPolicy";
const char notEqualPolicyKey[] = "ColorManagement/NotEqualPolicy";
const char mismatchPolicyKey[] = "ColorManagement/ColorSpaceMismatchPolicy";
const char themePathKey[] = "Theme/Path";

} // namespace

QString GlobalApplicationData::GetPathOpen() const
{
    return storedString(pathOpenKey, QString());
}

void GlobalApplicationData::SetPathOpen(const QString &path)
{
    store(pathOpenKey, path);
}

QString GlobalApplicationData::GetExportPath() const
{
    return storedString(pathExportKey, GetPathOpen());
}

void GlobalApplicationData::SetExportPath(const QString &path)
{
    store(pathExportKey, path);
}

QString GlobalApplicationData::GetBatchOpenPath() const
{
    return storedString(batchOpenKey, GetPathOpen());
}

void GlobalApplicationData::SetBatchOpenPath(const QString &path)
{
    store(batchOpenKey, path);
}

QString GlobalApplicationData::GetBatchInputPath() const
{
    return storedString(batchInputKey, GetPathOpen());
}

void GlobalApplicationData::SetBatchInputPath(const QString &path)
{
    store(batchInputKey, path);
}

QString GlobalApplicationData::GetBatchOutputPath() const
{
    return storedString(batchOutputKey, GetBatchInputPath());
}

void GlobalApplicationData::SetBatchOutputPath(const QString &path)
{
    store(batchOutputKey, path);
}

bool GlobalApplicationData::IsGridVisible() const
{
    return storedFlag(gridVisibleKey, false);
}

void GlobalApplicationData::SetGridVisible(bool visible)
{
    store(gridVisibleKey, visible);
}

bool GlobalApplicationData::IsSnapToGrid() const
{
    return storedFlag(snapToGridKey, false);
}

void GlobalApplicationData::SetSnapToGrid(bool snap)
{
    store(snapToGridKey, snap);
}

bool GlobalApplicationData::IsGuidesVisible() const
{
    return storedFlag(guidesVisibleKey, false);
}

void GlobalApplicationData::SetGuidesVisible(bool visible)
{
    store(guidesVisibleKey, visible);
}

bool GlobalApplicationData::IsSnapToGuides() const
{
    return storedFlag(snapToGuidesKey, false);
}

void GlobalApplicationData::SetSnapToGuides(bool snap)
{
    store(snapToGuidesKey, snap);
}

bool GlobalApplicationData::IsJPGCompressionVisible()
{
    return storedFlag(jpgCompressionKey, true);
}

void GlobalApplicationData::SetJPGCompressionVisible(bool visible)
{
    store(jpgCompressionKey, visible);
}

bool GlobalApplicationData::IsPNGCompressionVisible()
{
    return storedFlag(pngCompressionKey, true);
}

void GlobalApplicationData::SetPNGCompressionVisible(bool visible)
{
    store(pngCompressionKey, visible);
}

bool GlobalApplicationData::IsTIFFCompressionVisible()
{
    return storedFlag(tiffCompressionKey, true);
}

void GlobalApplicationData::SetTIFFCompressionVisible(bool visible)
{
    store(tiffCompressionKey, visible);
}

// A stored policy comes back as stored, even outside the enumeration.
GlobalApplicationData::ColorManagementMissingPolicies
GlobalApplicationData::GetColorManagementMissingPolicy() const
{
    return ColorManagementMissingPolicies(
        storedNumber(missingPolicyKey, MissingPolicyLeaveUnmanaged));
}

void GlobalApplicationData::SetColorManagementMissingPolicy(ColorManagementMissingPolicies policy)
{
    store(missingPolicyKey, int(policy));
}

GlobalApplicationData::ColorManagementEqualPolicies
GlobalApplicationData::GetColorManagementEqualPolicy() const
{
    return ColorManagementEqualPolicies(storedNumber(equalPolicyKey, EqualPolicyKeepEmbedded));
}

void GlobalApplicationData::SetColorManagementEqualPolicy(ColorManagementEqualPolicies policy)
{
    store(equalPolicyKey, int(policy));
}

GlobalApplicationData::ColorManagementNotEqualPolicies
GlobalApplicationData::GetColorManagementNotEqualPolicy() const
{
    return ColorManagementNotEqualPolicies(
        storedNumber(notEqualPolicyKey, NotEqualPolicyConvertToWorkingSpace));
}

void GlobalApplicationData::SetColorManagementNotEqualPolicy(ColorManagementNotEqualPolicies policy)
{
    store(notEqualPolicyKey, int(policy));
}

GlobalApplicationData::ColorManagementColorSpaceMismatchPolicies
GlobalApplicationData::GetColorManagementColorSpaceMismatchPolicy() const
{
    return ColorManagementColorSpaceMismatchPolicies(
        storedNumber(mismatchPolicyKey, ColorSpaceMismatchPolicyConvert));
}

void GlobalApplicationData::SetColorManagementColorSpaceMismatchPolicy(
    ColorManagementColorSpaceMismatchPolicies policy)
{
    store(mismatchPolicyKey, int(policy));
}

QString GlobalApplicationData::GetThemeSearchPath() const
{
    // The dark theme is compiled into the editor's resources.
    return storedString(themePathKey, QStringLiteral(":/Dark"));
}

void GlobalApplicationData::SetThemeSearchPath(const QString &path)
{
    store(themePathKey, path);
}

QString GlobalApplicationData::GetCurrentThemeSearchPath() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::currentThemeSearchPath);
}

// --- Editing state ------------------------------------------------------------

QColor GlobalApplicationData::GetBackgroundColor() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::backgroundColor);
}

QColor GlobalApplicationData::GetForegroundColor() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::foregroundColor);
}

QColor GlobalApplicationData::GetMaskModeBackgroundColor() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::maskModeBackgroundColor);
}

QColor GlobalApplicationData::GetMaskModeForegroundColor() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::maskModeForegroundColor);
}

void GlobalApplicationData::SetBackgroundColor(const QColor &color)
{
    SetColor(&GlobalApplicationDataPrivate::backgroundColor, color,
             &GlobalApplicationData::BackgroundColorChanged);
}

void GlobalApplicationData::SetForegroundColor(const QColor &color)
{
    SetColor(&GlobalApplicationDataPrivate::foregroundColor, color,
             &GlobalApplicationData::ForegroundColorChanged);
}

void GlobalApplicationData::SetMaskModeBackgroundColor(const QColor &color)
{
    SetColor(&GlobalApplicationDataPrivate::maskModeBackgroundColor, color,
             &GlobalApplicationData::MaskModeBackgroundColorChanged);
}

void GlobalApplicationData::SetMaskModeForegroundColor(const QColor &color)
{
    SetColor(&GlobalApplicationDataPrivate::maskModeForegroundColor, color,
             &GlobalApplicationData::MaskModeForegroundColorChanged);
}

void GlobalApplicationData::SetColor(QColor GlobalApplicationDataPrivate::*field,
                                     const QColor &color, void (GlobalApplicationData::*changed)())
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        // The same colour in another colour model counts as a change.
        if (!(d->*field != color))
            return;
        d->*field = color;
    }
    Q_EMIT(this->*changed)();
}

QList<QColor> GlobalApplicationData::GetPredefinedColorList()
{
    QList<QColor> colors;
    colors.reserve(80);
    for (int v = 0; v <= 240; v += 16)
        colors << QColor(v, v, v);
    for (int v = 0; v <= 240; v += 16)
        colors << QColor(0, v, 255);
    for (int v = 0; v <= 240; v += 16)
        colors << QColor(255, v, 0);
    for (int v = 175; v >= 0; v -= 25)
        colors << QColor(v, 80, 0);
    for (int v = 25; v <= 200; v += 25)
        colors << QColor(v, v + 55, 0);
    for (int k = 0; k < 8; ++k)
        colors << QColor(255, 175 + 10 * k, 32 * k);
    for (int v = 165; v >= 95; v -= 10)
        colors << QColor(0, v, 175);
    return colors;
}

const QGradient *GlobalApplicationData::GetGradient() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->gradient.gradient();
}

void GlobalApplicationData::SetGradient(const QGradient &gradient)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        d->gradient = QBrush(gradient);
    }
    Q_EMIT GradientChanged();
}

QStringList GlobalApplicationData::GetPatternsFileList() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::patternFiles);
}

int GlobalApplicationData::GetPatternsCount() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->patternFiles.size();
}

QString GlobalApplicationData::GetPatternFile(int index) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->patternFiles.value(index);
}

int GlobalApplicationData::GetCurrentPatternIndex() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::currentPatternIndex);
}

bool GlobalApplicationData::SetPatternIndex(int index)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (index < 0 || index >= d->patternFiles.size())
            return false;
        if (index == d->currentPatternIndex)
            return true;
        d->currentPatternIndex = index;
    }
    Q_EMIT PatternIndexChanged(index);
    return true;
}

void GlobalApplicationData::LoadPatternFiles()
{
    // An installation may keep its patterns elsewhere, named by the settings
    // file of the working directory; otherwise they live beside the program.
    const QSettings localSettings(QStringLiteral("settings/kelvane.ini"), QSettings::IniFormat);
    QString base = localSettings.value(QStringLiteral("Plugins/PATH")).toString();
    if (base.isEmpty() && QCoreApplication::instance())
        base = QCoreApplication::applicationDirPath();

    // Without a "brushpatterns" folder there are no patterns: the images of
    // the base folder itself are not patterns.
    QStringList found;
    QDir folder(base);
    if (folder.cd(QStringLiteral("brushpatterns"))) {
        const QStringList masks = {QStringLiteral("*.jpg"), QStringLiteral("*.png"),
                                   QStringLiteral("*.bmp")};
        // The folder's default filter and order: all entries, by name
        // ignoring case.
        const QFileInfoList entries = folder.entryInfoList(masks);
        for (const QFileInfo &entry : entries)
            found << QDir::toNativeSeparators(entry.absoluteFilePath());
    }

    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->patternFiles << found;
    d->currentPatternIndex = 0;
}

QString GlobalApplicationData::RegisterBrushTool(IBrushTool *tool)
{
    if (!tool)
        return QString();

    Q_D(GlobalApplicationData);
    QString id;
    {
        QMutexLocker locker(&d->dataMutex);
        for (auto it = d->brushTools.cbegin(); it != d->brushTools.cend(); ++it) {
            if (it.value() == tool)
                return it.key();
        }
        do {
            // The braced form in lower case: "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
            id = QUuid::createUuid().toString();
        } while (d->brushTools.contains(id));
        d->brushTools.insert(id, tool);
    }
    Q_EMIT BrushToolRegistered(id, tool);
    return id;
}

bool GlobalApplicationData::UnregisterBrushTool(const QString &id)
{
    Q_D(GlobalApplicationData);
    IBrushTool *tool = nullptr;
    {
        QMutexLocker locker(&d->dataMutex);
        const auto it = d->brushTools.find(id);
        if (it == d->brushTools.end())
            return false;
        tool = it.value();
        d->brushTools.erase(it);
        if (d->brushToolId == id)
            d->brushToolId = QString();
    }
    Q_EMIT BrushToolUnregistered(id, tool);
    return true;
}

IBrushTool *GlobalApplicationData::GetBrushTool(const QString &id) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->brushTools.value(id, nullptr);
}

QStringList GlobalApplicationData::GetRegistredBrushTools() const
{
    Q_D(const GlobalApplicationData);
    // The names are taken under the lock: a tool stays alive while it is
    // registered, and its owner cannot unregister it meanwhile.
    std::vector<std::pair<QString, QString>> named; // (name, id)
    {
        QMutexLocker locker(&d->dataMutex);
        named.reserve(size_t(d->brushTools.size()));
        for (auto it = d->brushTools.cbegin(); it != d->brushTools.cend(); ++it)
            named.emplace_back(it.value()->GetName(), it.key());
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList ids;
    ids.reserve(int(named.size()));
    for (const auto &entry : named)
        ids << entry.second;
    return ids;
}

void GlobalApplicationData::SetBrushToolID(const QString &id)
{
    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->brushToolId = id;
}

QString GlobalApplicationData::GetBrushToolID() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::brushToolId);
}

// --- Network proxy ------------------------------------------------------------

// The stored type is the index into the type names itself, in the loader,
// the setter and the shipped document alike, so that a chosen type comes
// back unchanged at the next start.

void GlobalApplicationData::LoadProxySettings()
{
    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->proxyHostName = d->parameters.value(VelaUserParams::ProxySettings::Proxy::PROXYHOSTNAME());
    // Absent, it is empty, not null, as at construction.
    if (d->proxyHostName.isNull())
        d->proxyHostName = QString::fromLatin1("");
    d->proxyPort =
        d->parameters.value(VelaUserParams::ProxySettings::Proxy::PROXYPORT()).toInt(nullptr, 10);
    const int storedType =
        d->parameters.value(VelaUserParams::ProxySettings::Proxy::PROXYTYPE()).toInt(nullptr, 10);
    locker.unlock();

    // An unknown number names the current type, which thus stays.
    const int index = FindProxyTypeIndex(GetProxyTypeLabel(storedType));
    locker.relock();
    d->proxyTypeIndex = index;
}

QStringList GlobalApplicationData::GetProxyTypeList() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->proxyTypeNames;
}

QString GlobalApplicationData::GetProxyTypeLabel(int index) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    if (index < 0 || index >= d->proxyTypeNames.size())
        index = d->proxyTypeIndex;
    return d->proxyTypeNames.value(index);
}

int GlobalApplicationData::GetProxyTypeIndex() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->proxyTypeIndex;
}

void GlobalApplicationData::SetProxyTypeIndex(int index)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (index < 0 || index >= d->proxyTypeNames.size())
            return;
        d->proxyTypeIndex = index;
        d->parameters.insert(VelaUserParams::ProxySettings::Proxy::PROXYTYPE(),
                             QString::number(index, 10));
    }
    SaveProxyChange();
}

int GlobalApplicationData::FindProxyTypeIndex(const QString &name) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return qMax(0, int(d->proxyTypeNames.indexOf(name)));
}

QNetworkProxy::ProxyType GlobalApplicationData::GetProxyType() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    const QString name = d->proxyTypeNames.value(d->proxyTypeIndex);
    if (name == QLatin1String("NoProxy"))
        return QNetworkProxy::NoProxy;
    if (name == QLatin1String("HttpProxy"))
        return QNetworkProxy::HttpProxy;
    if (name == QLatin1String("Socks5Proxy"))
        return QNetworkProxy::Socks5Proxy;
    return QNetworkProxy::DefaultProxy;
}

QString GlobalApplicationData::GetProxyHostName() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->proxyHostName;
}

void GlobalApplicationData::SetProxyHostName(const QString &hostName)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (d->proxyHostName == hostName)
            return;
        d->proxyHostName = hostName;
        d->parameters.insert(VelaUserParams::ProxySettings::Proxy::PROXYHOSTNAME(), hostName);
    }
    SaveProxyChange();
}

int GlobalApplicationData::GetProxyPortNumber() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->proxyPort;
}

void GlobalApplicationData::SetProxyPortNumber(int port)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (d->proxyPort == port)
            return;
        d->proxyPort = port;
        d->parameters.insert(VelaUserParams::ProxySettings::Proxy::PROXYPORT(),
                             QString::number(port, 10));
    }
    SaveProxyChange();
}

// Called without the data mutex: saving and the slots may take it.
void GlobalApplicationData::SaveProxyChange()
{
    SaveUserPreferences();
    Q_EMIT ProxyChanged();
}

// --- Measurement units --------------------------------------------------------

void GlobalApplicationData::GetStandardUnitList(QList<UnitItem> &out) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    out.append(d->standardUnits);
}

void GlobalApplicationData::GetCustomUnitList(QList<UnitItem> &out) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    out.append(d->customUnits);
}

void GlobalApplicationData::GetUnitList(QList<UnitItem> &out) const
{
    GetStandardUnitList(out);
    GetCustomUnitList(out);
}

void GlobalApplicationData::SetCustomUnitList(const QList<UnitItem> &list)
{
    Q_D(GlobalApplicationData);
    const QString path = GetAppDataFolderPath() + customUnitsFileName;
    // Readers wait for the write, so they never see a list the file lacks.
    QMutexLocker locker(&d->dataMutex);
    d->customUnits = list;
    SaveUnits(list, path);
}

// --- Stroke geometry and fixed values ---------------------------------------

QPointF GlobalApplicationData::GetLineDirectionForShiftModifier(const QPointF &start,
                                                                const QPointF &end)
{
    // Counter-clockwise on screen, in (-180, 180]. The left-pointing
    // diagonals are narrower than the others (35 degrees instead of 45) and
    // a boundary angle belongs to the sector farther from the x axis.
    qreal angle = QLineF(start, end).angle();
    if (angle > 180)
        angle -= 360;

    if (angle >= 0) {
        if (angle < 22.5)
            return QPointF(1, 0);
        if (angle < 67.5)
            return QPointF(1, -1);
        if (angle < 112.5)
            return QPointF(0, -1);
        if (angle < 147.5)
            return QPointF(-1, -1);
        return QPointF(-1, 0);
    }
    if (angle > -22.5)
        return QPointF(1, 0);
    if (angle > -67.5)
        return QPointF(1, 1);
    if (angle > -112.5)
        return QPointF(0, 1);
    if (angle > -147.5)
        return QPointF(-1, 1);
    return QPointF(-1, 0);
}

QPointF GlobalApplicationData::ProjectOnLine(const QPointF &point, const QPointF &direction,
                                             const QPointF &linePoint)
{
    const qreal dx = direction.x();
    const qreal dy = direction.y();
    if (dx == 0 && dy == 0) {
        VL_LOG(QStringLiteral("Arithmetic error."));
        return linePoint;
    }
    const qreal t =
        ((point.x() - linePoint.x()) * dx + (point.y() - linePoint.y()) * dy) / (dx * dx + dy * dy);
    return QPointF(linePoint.x() + t * dx, linePoint.y() + t * dy);
}

int GlobalApplicationData::GetProgressTimeout()
{
    return 2000;
}

QRect GlobalApplicationData::GetMinBrushRectForOpenCL() const
{
    return QRect(0, 0, 640, 640);
}

// --- Crash handling -----------------------------------------------------------

void GlobalApplicationData::InstallProcessExceptionHandler()
{
    Q_D(GlobalApplicationData);
    const QMutexLocker locker(&d->dataMutex);
    VLCrashHandler::PrepareCrashPath(d->appDataFolderPath);
    VLCrashHandler::InstallProcessHandlers();
}

void GlobalApplicationData::InstallThreadExceptionHandler()
{
    Q_D(GlobalApplicationData);
    const QMutexLocker locker(&d->dataMutex);
    VLCrashHandler::PrepareCrashPath(d->appDataFolderPath);
    VLCrashHandler::InstallThreadHandlers();
}
