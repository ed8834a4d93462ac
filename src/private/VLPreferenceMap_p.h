// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLPREFERENCEMAP_P_H
#define VLPREFERENCEMAP_P_H

#include "VelaGlobalExport.h"

#include <QMap>
#include <QString>

class GlobalApplicationData;
class QDomDocument;

/*
    Untyped access to the preference parameter map, for the host tool and
    the tests; the editor itself goes through the typed accessors.
*/
class VELAGLOBAL_EXPORT VLPreferenceMap
{
public:
    static QMap<QString, QString> Parameters(const GlobalApplicationData &data);
    //! Changes the map only, as the typed setters do.
    static void SetParameter(GlobalApplicationData &data, const QString &key, const QString &value);
    //! Empties the map, as before the first load.
    static void Clear(GlobalApplicationData &data);
    //! The "file_version" value of a preferences document, or an empty string.
    static QString DocumentVersion(const QDomDocument &document);
};

#endif // VLPREFERENCEMAP_P_H
