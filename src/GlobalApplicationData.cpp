// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"

#include "VLApplicationSettings.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "private/GlobalApplicationData_p.h"
#include "private/VLIniFile_p.h"
#include "private/VLLogFile_p.h"
#include "private/VLLogLine_p.h"
#include "private/VLSaveFile_p.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QProcessEnvironment>

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
        const VLIniFile installSettings(GetAppFolderPath() + QDir::separator()
                                        + QStringLiteral("settings") + QDir::separator()
                                        + QStringLiteral("installsettings.ini"));
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
