// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef PREFERENCESTESTSUPPORT_H
#define PREFERENCESTESTSUPPORT_H

#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "VelaUserParams.h"

#include <QDomDocument>

// Shared steps of the preference tests: the user's document in the sandbox,
// documents written by hand and the library started as the editor does.
namespace PreferencesTest {

using Values = QList<QPair<QString, QString>>;

inline QString UserDocumentPath()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/properties.xml";
}

inline QByteArray DefaultDocument()
{
    return VelaTest::ReadFile(VelaTest::AppFolder() + "/settings/properties.xml");
}

//! The value of a "page.group.parameter" key in the user's document on disk;
//! null when absent.
inline QString StoredValue(const QString &key)
{
    QDomDocument document;
    document.setContent(VelaTest::ReadFile(UserDocumentPath()));
    const QDomNodeList parameters = document.elementsByTagName("parameter");
    for (int i = 0; i < parameters.size(); ++i) {
        const QDomElement parameter = parameters.at(i).toElement();
        const QDomElement group = parameter.parentNode().toElement();
        const QString name = QStringList{group.parentNode().toElement().attribute("name"),
                                         group.attribute("name"), parameter.attribute("name")}
                                 .join(QLatin1Char('.'));
        if (name == key)
            return parameter.attribute("value", QString());
    }
    return QString();
}

//! The version the shipped default document carries.
inline QString DefaultVersion()
{
    return QRegularExpression("<file_version value=\"([^\"]*)\"")
        .match(DefaultDocument())
        .captured(1);
}

//! A document of the given version (none when null), one page and group per
//! "page.group.parameter" value.
inline QByteArray Document(const QString &version, const Values &values)
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<properties>\n";
    if (!version.isNull())
        text += "    <file_version value=\"" + version.toUtf8() + "\"/>\n";
    for (const auto &value : values) {
        const QStringList parts = value.first.split(QLatin1Char('.'));
        text += QStringLiteral("    <page name=\"%1\"><group name=\"%2\"><parameter name=\"%3\" "
                               "value=\"%4\"/></group></page>\n")
                    .arg(parts.value(0), parts.value(1), parts.value(2), value.second)
                    .toUtf8();
    }
    return text + "</properties>\n";
}

//! A fresh user's folder holding only the given document (none when null).
inline void ResetUserFolder(const QByteArray &userDocument = QByteArray())
{
    GlobalApplicationData::ReleaseInstance();
    QDir(QFileInfo(UserDocumentPath()).path()).removeRecursively();
    QDir().mkpath(QFileInfo(UserDocumentPath()).path());
    if (!userDocument.isNull())
        QVERIFY(VelaTest::WriteFile(UserDocumentPath(), userDocument));
}

//! Starts the library anew, as the editor does, up to the preferences.
inline GlobalApplicationData *Restart()
{
    GlobalApplicationData::ReleaseInstance();
    GlobalApplicationData::InitInstance();
    GlobalApplicationData::Instance()->InitUserPreferences();
    return GlobalApplicationData::Instance();
}

} // namespace PreferencesTest

#endif // PREFERENCESTESTSUPPORT_H
