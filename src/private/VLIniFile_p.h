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

#include <new>
#include <optional>

/*
    An ini file read as a whole. QSettings parses a file's sections only as
    their keys are asked for, and finds the section of a key by its name's
    place among the others: a key of "[Recent]" is not found when a section
    such as "[Recent\0]" sorts between the two, though a list of the keys
    has it and a write copies it. Every section is parsed here first, so
    that a read answers what the file holds, as a write keeps it.

    A value may give an element count that Qt reserves room for before it
    reads the elements: a few bytes can ask for gigabytes, and where the
    machine refuses them Qt throws. Such a file reads as empty.
*/
class VLIniFile
{
public:
    explicit VLIniFile(const QString &path)
    {
        m_settings.emplace(path, QSettings::IniFormat);
        if (!ReadAll(*m_settings))
            m_settings.reset();
    }

    QVariant value(const QString &key) const
    {
        return m_settings ? m_settings->value(key) : QVariant();
    }
    bool contains(const QString &key) const { return m_settings && m_settings->contains(key); }

    //! Parses every section of \a settings; false when the file asks for
    //! more memory than the machine gives, and its keys must not be read.
    static bool ReadAll(const QSettings &settings)
    {
        try {
            settings.childGroups();
            return true;
        } catch (const std::bad_alloc &) {
            return false;
        }
    }

private:
    std::optional<QSettings> m_settings;
};

#endif // VLINIFILE_P_H
