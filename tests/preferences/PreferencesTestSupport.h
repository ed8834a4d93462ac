// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef PREFERENCESTESTSUPPORT_H
#define PREFERENCESTESTSUPPORT_H

#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>

// Shared steps of the preference tests: the per-user folder of the sandbox,
// user documents written by hand and the library started as the editor does.
namespace PreferencesTest {

inline QString UserFolder()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + QStringLiteral("/Kelvane/");
}

inline QString UserDocumentPath()
{
    return UserFolder() + QStringLiteral("properties.xml");
}

inline QString DefaultDocumentPath()
{
    return VelaTest::AppFolder() + QStringLiteral("/settings/properties.xml");
}

//! A preferences document of the given version holding the given
//! "page.group.parameter" = value pairs, one page and group per parameter.
inline QByteArray Document(const QString &version, const QList<QPair<QString, QString>> &values)
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<properties>\n";
    if (!version.isNull())
        text += "    <file_version value=\"" + version.toUtf8() + "\"/>\n";
    for (const auto &value : values) {
        const QStringList parts = value.first.split(QLatin1Char('.'));
        text += "    <page name=\"" + parts.value(0).toUtf8() + "\"><group name=\""
                + parts.value(1).toUtf8() + "\"><parameter name=\"" + parts.value(2).toUtf8()
                + "\" value=\"" + value.second.toUtf8() + "\"/></group></page>\n";
    }
    return text + "</properties>\n";
}

//! The version the shipped default document carries.
inline QString DefaultVersion()
{
    QDomDocument document;
    document.setContent(VelaTest::ReadFile(DefaultDocumentPath()));
    return document.documentElement()
        .firstChildElement(QStringLiteral("file_version"))
        .attribute(QStringLiteral("value"));
}

//! The value of a parameter in the document on disk; null when absent.
inline QString StoredValue(const QString &key)
{
    QDomDocument document;
    if (!document.setContent(VelaTest::ReadFile(UserDocumentPath())))
        return QString();
    const QStringList parts = key.split(QLatin1Char('.'));
    const QStringList tags = {QStringLiteral("page"), QStringLiteral("group"),
                              QStringLiteral("parameter")};
    QList<QDomElement> level = {document.documentElement()};
    for (int depth = 0; depth < 3; ++depth) {
        QList<QDomElement> next;
        for (const QDomElement &parent : level) {
            for (QDomElement e = parent.firstChildElement(tags[depth]); !e.isNull();
                 e = e.nextSiblingElement(tags[depth])) {
                if (e.attribute(QStringLiteral("name")) == parts.value(depth))
                    next << e;
            }
        }
        level = next;
    }
    return level.isEmpty() ? QString() : level.last().attribute(QStringLiteral("value"), QString());
}

//! Starts the library as the editor does, up to the preferences.
inline GlobalApplicationData *StartLibrary()
{
    GlobalApplicationData::InitInstance();
    GlobalApplicationData::Instance()->InitUserPreferences();
    return GlobalApplicationData::Instance();
}

//! A fresh per-user folder holding only the given preferences document (none
//! for a null array).
inline void ResetUserFolder(const QByteArray &userDocument = QByteArray())
{
    GlobalApplicationData::ReleaseInstance();
    QDir(UserFolder()).removeRecursively();
    QDir().mkpath(UserFolder());
    if (!userDocument.isNull())
        QVERIFY(VelaTest::WriteFile(UserDocumentPath(), userDocument));
}

} // namespace PreferencesTest

#endif // PREFERENCESTESTSUPPORT_H
