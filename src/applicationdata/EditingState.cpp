// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/GlobalApplicationDataParts_p.h"
#include "private/VLIniFile_p.h"

#include "IBrushTool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGradient>
#include <QMutexLocker>
#include <QUuid>

#include <algorithm>
#include <utility>
#include <vector>

QColor GlobalApplicationData::GetBackgroundColor() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::backgroundColor);
}

QColor GlobalApplicationData::GetForegroundColor() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::foregroundColor);
}

QColor GlobalApplicationData::GetMaskModeBackgroundColor() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::maskModeBackgroundColor);
}

QColor GlobalApplicationData::GetMaskModeForegroundColor() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::maskModeForegroundColor);
}

void GlobalApplicationData::SetBackgroundColor(const QColor &color)
{
    SetColor(&GlobalApplicationDataPrivate::backgroundColor, color,
             &GlobalApplicationData::BackgroundColorChanged);
}

void GlobalApplicationData::SetForegroundColor(const QColor &color)
{
    SetColor(&GlobalApplicationDataPrivate::foregroundColor, color,
             &GlobalApplicationData::ForegroundColorChanged);
}

void GlobalApplicationData::SetMaskModeBackgroundColor(const QColor &color)
{
    SetColor(&GlobalApplicationDataPrivate::maskModeBackgroundColor, color,
             &GlobalApplicationData::MaskModeBackgroundColorChanged);
}

void GlobalApplicationData::SetMaskModeForegroundColor(const QColor &color)
{
    SetColor(&GlobalApplicationDataPrivate::maskModeForegroundColor, color,
             &GlobalApplicationData::MaskModeForegroundColorChanged);
}

void GlobalApplicationData::SetColor(QColor GlobalApplicationDataPrivate::*field,
                                     const QColor &color, void (GlobalApplicationData::*changed)())
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        // The same colour in another colour model counts as a change.
        if (!(d->*field != color))
            return;
        d->*field = color;
    }
    Q_EMIT(this->*changed)();
}

QList<QColor> GlobalApplicationData::GetPredefinedColorList()
{
    QList<QColor> colors;
    for (int v = 0; v <= 240; v += 16)
        colors << QColor(v, v, v);
    for (int v = 0; v <= 240; v += 16)
        colors << QColor(0, v, 255);
    for (int v = 0; v <= 240; v += 16)
        colors << QColor(255, v, 0);
    for (int v = 175; v >= 0; v -= 25)
        colors << QColor(v, 80, 0);
    for (int v = 25; v <= 200; v += 25)
        colors << QColor(v, v + 55, 0);
    for (int k = 0; k < 8; ++k)
        colors << QColor(255, 175 + 10 * k, 32 * k);
    for (int v = 165; v >= 95; v -= 10)
        colors << QColor(0, v, 175);
    return colors;
}

const QGradient *GlobalApplicationData::GetGradient() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->gradient.gradient();
}

void GlobalApplicationData::SetGradient(const QGradient &gradient)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        d->gradient = QBrush(gradient);
    }
    Q_EMIT GradientChanged();
}

QStringList GlobalApplicationData::GetPatternsFileList() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::patternFiles);
}

int GlobalApplicationData::GetPatternsCount() const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->patternFiles.size();
}

QString GlobalApplicationData::GetPatternFile(int index) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->patternFiles.value(index);
}

int GlobalApplicationData::GetCurrentPatternIndex() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::currentPatternIndex);
}

bool GlobalApplicationData::SetPatternIndex(int index)
{
    Q_D(GlobalApplicationData);
    {
        QMutexLocker locker(&d->dataMutex);
        if (index < 0 || index >= d->patternFiles.size())
            return false;
        if (index == d->currentPatternIndex)
            return true;
        d->currentPatternIndex = index;
    }
    Q_EMIT PatternIndexChanged(index);
    return true;
}

void GlobalApplicationData::LoadPatternFiles()
{
    // An installation may keep its patterns elsewhere, named by the settings
    // file of the working directory; otherwise they live beside the program.
    const VLIniFile localSettings(QStringLiteral("settings/kelvane.ini"));
    QString base = localSettings.value(QStringLiteral("Plugins/PATH")).toString();
    if (base.isEmpty() && QCoreApplication::instance())
        base = QCoreApplication::applicationDirPath();

    // Without a "brushpatterns" folder there are no patterns: the images of
    // the base folder itself are not patterns.
    QStringList found;
    QDir folder(base);
    if (folder.cd(QStringLiteral("brushpatterns"))) {
        const QStringList masks = {QStringLiteral("*.jpg"), QStringLiteral("*.png"),
                                   QStringLiteral("*.bmp")};
        // The folder's default filter and order: all entries, by name
        // ignoring case.
        const QFileInfoList entries = folder.entryInfoList(masks);
        for (const QFileInfo &entry : entries)
            found << QDir::toNativeSeparators(entry.absoluteFilePath());
    }

    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->patternFiles << found;
    d->currentPatternIndex = 0;
}

QString GlobalApplicationData::RegisterBrushTool(IBrushTool *tool)
{
    if (!tool)
        return QString();

    Q_D(GlobalApplicationData);
    QString id;
    {
        QMutexLocker locker(&d->dataMutex);
        for (auto it = d->brushTools.cbegin(); it != d->brushTools.cend(); ++it) {
            if (it.value() == tool)
                return it.key();
        }
        do {
            // The braced form in lower case: "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
            id = QUuid::createUuid().toString();
        } while (d->brushTools.contains(id));
        d->brushTools.insert(id, tool);
    }
    Q_EMIT BrushToolRegistered(id, tool);
    return id;
}

bool GlobalApplicationData::UnregisterBrushTool(const QString &id)
{
    Q_D(GlobalApplicationData);
    IBrushTool *tool = nullptr;
    {
        QMutexLocker locker(&d->dataMutex);
        const auto it = d->brushTools.find(id);
        if (it == d->brushTools.end())
            return false;
        tool = it.value();
        d->brushTools.erase(it);
        if (d->brushToolId == id)
            d->brushToolId = QString();
    }
    Q_EMIT BrushToolUnregistered(id, tool);
    return true;
}

IBrushTool *GlobalApplicationData::GetBrushTool(const QString &id) const
{
    Q_D(const GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    return d->brushTools.value(id, nullptr);
}

QStringList GlobalApplicationData::GetRegistredBrushTools() const
{
    Q_D(const GlobalApplicationData);
    // The names are taken under the lock: a tool stays alive while it is
    // registered, and its owner cannot unregister it meanwhile.
    std::vector<std::pair<QString, QString>> named; // (name, id)
    {
        QMutexLocker locker(&d->dataMutex);
        named.reserve(size_t(d->brushTools.size()));
        for (auto it = d->brushTools.cbegin(); it != d->brushTools.cend(); ++it)
            named.emplace_back(it.value()->GetName(), it.key());
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList ids;
    for (const auto &entry : named)
        ids << entry.second;
    return ids;
}

void GlobalApplicationData::SetBrushToolID(const QString &id)
{
    Q_D(GlobalApplicationData);
    QMutexLocker locker(&d->dataMutex);
    d->brushToolId = id;
}

QString GlobalApplicationData::GetBrushToolID() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::brushToolId);
}
