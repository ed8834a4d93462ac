// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"

#include "UnitConverter.h"
#include "VLApplicationSettings.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "VelaUserParams.h"
#include "private/GlobalApplicationData_p.h"
#include "private/VLLogFile_p.h"
#include "private/VLLogLine_p.h"
#include "private/VLXmlFile_p.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QProcessEnvironment>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

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
        if (!current.exists(part) && !current.mkdir(part))
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
    // Found: the suffix stays as written, with forward slashes.
    d->appDataFolderPath = location.base + location.suffix;
    return true;
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
        if (!base.exists(folder) && !base.mkpath(folder)) {
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
    if (!m_log->IsOpen())
        m_log->Open(GetAppDataFolderPath() + QDir::separator() + subFolder);
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

    QFile defaultDocument(GetAppFolderPath() + QStringLiteral("/settings/") + preferencesFileName);
    if (!IsAppDataFolderExists())
        MakeAppDataFolder(QString());
    const QString userPath = GetAppDataFolderPath() + preferencesFileName;

    d->preferences.reset(new QDomDocument);
    const QString defaultVersion = GetDomDocumentVersion(defaultDocument);
    const bool defaultReadable = !d->preferences->documentElement().isNull();
    d->preferences->clear();

    QFile userDocument(userPath);
    d->preferences.reset(new QDomDocument);
    const QString userVersion = GetDomDocumentVersion(userDocument);
    d->preferences->clear();
    d->preferences.reset();
    userDocument.close();

    // An unreadable default would leave the user with no document at all, so
    // the user's own is kept then. The copy replaces the old document in one
    // step: until it is complete, the old one stays whole.
    if (defaultReadable && (!userDocument.exists() || userVersion != defaultVersion)
        && defaultDocument.seek(0)) {
        const QByteArray content = defaultDocument.read(VLXmlFile::MaxFileSize);
        VLXmlFile::WriteAtomically(userPath,
                                   [&content](QIODevice &device) { device.write(content); });
    }
    defaultDocument.close();

    d->preferences.reset(new QDomDocument);
    LoadDomDocument(userDocument);

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
    return d->preferences->documentElement()
        .firstChildElement(QStringLiteral("file_version"))
        .attribute(valueAttribute);
}

void GlobalApplicationData::LoadDomDocument(QFile &file)
{
    Q_D(GlobalApplicationData);
    if (!VLXmlFile::Parse(file, *d->preferences, true))
        return;
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
    VLXmlFile::WriteAtomically(file.fileName(), [&document](QIODevice &device) {
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

// --- Ini-backed preferences -------------------------------------------------

// --- Editing state ------------------------------------------------------------

// --- Network proxy ------------------------------------------------------------

// The stored type is the index into the type names itself, in the loader,
// the setter and the shipped document alike, so that a chosen type comes
// back unchanged at the next start.

void GlobalApplicationData::LoadProxySettings()
{
    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->proxyHostName = d->parameters.value(VelaUserParams::ProxySettings::Proxy::PROXYHOSTNAME());
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

// --- Crash handling -----------------------------------------------------------

void GlobalApplicationData::InstallProcessExceptionHandler()
{
    Q_D(GlobalApplicationData);
    const QMutexLocker locker(&d->dataMutex);
    VLCrashHandler::InstallProcessHandlers();
}

void GlobalApplicationData::InstallThreadExceptionHandler()
{
    Q_D(GlobalApplicationData);
    const QMutexLocker locker(&d->dataMutex);
    VLCrashHandler::InstallThreadHandlers();
}
