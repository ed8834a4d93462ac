// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/GlobalApplicationDataParts_p.h"

#include "VLApplicationSettings.h"

#include <QMutexLocker>

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
