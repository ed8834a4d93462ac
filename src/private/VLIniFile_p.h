// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLINIFILE_P_H
#define VLINIFILE_P_H

#include <QSettings>

/*
    An ini file read as a whole. QSettings parses a file's sections only as
    their keys are asked for, and finds the section of a key by its name's
    place among the others: a key of "[Recent]" is not found when a section
    such as "[Recent\0]" sorts between the two, though a list of the keys
    has it and a write copies it. Every section is parsed here first, so
    that a read answers what the file holds, as a write keeps it.
*/
class VLIniFile : public QSettings
{
public:
    explicit VLIniFile(const QString &path)
        : QSettings(path, QSettings::IniFormat)
    {
        childGroups();
    }
};

#endif // VLINIFILE_P_H
