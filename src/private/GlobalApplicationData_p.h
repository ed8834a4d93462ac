// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef GLOBALAPPLICATIONDATA_P_H
#define GLOBALAPPLICATIONDATA_P_H

#include "GlobalApplicationData.h"
#include "UnitConverter.h"
#include "VLCrashHandler.h"

#include <QBrush>
#include <QByteArray>
#include <QColor>
#include <QDomDocument>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>

class IBrushTool;

/*
    The state of GlobalApplicationData. The data mutex guards the fields
    below it wherever an accessor says so; it is not recursive, so nothing
    that takes it may be called while it is held, and no signal is emitted
    while it is held.
*/
class GlobalApplicationDataPrivate
{
public:
    mutable QMutex dataMutex;

    // Editing state
    QColor backgroundColor = Qt::white;
    QColor foregroundColor = Qt::black;
    QColor maskModeBackgroundColor = Qt::black;
    QColor maskModeForegroundColor = Qt::white;
    QBrush gradient;

    // Resolved lazily, also by the const check of the folder.
    mutable QString appDataFolderPath;

    QStringList patternFiles;
    int currentPatternIndex = 0;
    QMap<QString, IBrushTool *> brushTools;

    // Measurement units
    QList<UnitItem> standardUnits;
    QList<UnitItem> customUnits;

    // Languages
    QStringList languageCodes;
    QMap<QString, QString> languageNames;
    int currentLanguageIndex = 0;

    bool openCLEnabled = false;

    std::unique_ptr<VLCrashHandler> crashHandler;

    // Network proxy
    QString proxyHostName = QStringLiteral("");
    int proxyPort = 3128;
    const QStringList proxyTypeNames = {QStringLiteral("Default"), QStringLiteral("NoProxy"),
                                        QStringLiteral("HttpProxy"), QStringLiteral("Socks5Proxy")};
    int proxyTypeIndex = 0;

    QString brushToolId;
    QString currentThemeSearchPath;
    QString buildString;
    QByteArray featuresData;

    // Preferences document: "page.group.parameter" -> value, and the
    // document it was loaded from (null until the preferences are loaded).
    QMap<QString, QString> parameters;
    std::unique_ptr<QDomDocument> preferences;
};

//! The per-user data folder that IsAppDataFolderExists() looks for, named as
//! it names a found one. Nothing is checked or created: for tools that must
//! leave a user's folder as it is.
VELAGLOBAL_EXPORT QString VLExpectedAppDataFolderPath();

#endif // GLOBALAPPLICATIONDATA_P_H
