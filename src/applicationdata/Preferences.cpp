// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/GlobalApplicationDataParts_p.h"

#include "UnitConverter.h"
#include "VelaUserParams.h"
#include "private/VLPreferenceMap_p.h"
#include "private/VLSaveFile_p.h"
#include "private/VLXmlFile_p.h"

#include <QBuffer>
#include <QColor>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QMutexLocker>

#include <cstdio>

namespace {

const QString pageTag = QStringLiteral("page");
const QString groupTag = QStringLiteral("group");
const QString parameterTag = QStringLiteral("parameter");
const QString nameAttribute = QStringLiteral("name");
const QString valueAttribute = QStringLiteral("value");
const QString preferencesFileName = QStringLiteral("properties.xml");

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
        // Parsed whole above, so within the size limit: read what it holds.
        const QByteArray content = defaultDocument.readAll();
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
    QBuffer text;
    text.open(QIODevice::WriteOnly);
    VLXmlFile::WriteDocument(*d->preferences, text);
    // Qt takes in a few documents that it then writes in a form it refuses
    // (a processing instruction named with a NUL): the user's file is kept
    // rather than replaced by one that the next start could not read.
    if (!VLXmlFile::ReadsBack(text.data(), true))
        return;
    VLSaveFile::Write(file.fileName(), [&text](QIODevice &device) { device.write(text.data()); });
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
