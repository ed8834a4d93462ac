// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Start-up: the editor's start-up of the library with a 500-parameter
// preferences document, 50 custom units and 20 plug-in files, against
// parsing the same two files with QDomDocument and loading the same 20 files
// with QPluginLoader.

#include "BenchFigures.h"

#include "GlobalApplicationData.h"
#include "HostSession.h"
#include "UnitConverter.h"
#include "private/VLPreferenceMap_p.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QPluginLoader>
#include <QXmlStreamWriter>

#include <memory>
#include <vector>

namespace {

constexpr int pageCount = 10;
constexpr int groupsPerPage = 5;
constexpr int parametersPerGroup = 10; // 500 parameters in all
constexpr int unitCount = 50;
constexpr int pluginCount = 20;

struct StartupInputs
{
    QString document;
    QString units;
    QStringList plugins;
};

QString shippedDocumentVersion(const QString &appFolder)
{
    QFile file(appFolder + QStringLiteral("/settings/properties.xml"));
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file))
        return QString();
    return VLPreferenceMap::DocumentVersion(document);
}

// The user's document carries the shipped version, so start-up keeps it.
void writeDocument(const QString &path, const QString &version)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("properties"));
    xml.writeEmptyElement(QStringLiteral("file_version"));
    xml.writeAttribute(QStringLiteral("value"), version);
    for (int page = 0; page < pageCount; ++page) {
        xml.writeStartElement(QStringLiteral("page"));
        xml.writeAttribute(QStringLiteral("name"), QStringLiteral("page%1").arg(page));
        for (int group = 0; group < groupsPerPage; ++group) {
            xml.writeStartElement(QStringLiteral("group"));
            xml.writeAttribute(QStringLiteral("name"), QStringLiteral("group%1").arg(group));
            for (int parameter = 0; parameter < parametersPerGroup; ++parameter) {
                xml.writeEmptyElement(QStringLiteral("parameter"));
                xml.writeAttribute(QStringLiteral("name"), QStringLiteral("p%1").arg(parameter));
                xml.writeAttribute(QStringLiteral("value"),
                                   QStringLiteral("value %1").arg(parameter));
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
}

// Written by the library's own units writer.
void writeUnits(const QString &path)
{
    QList<UnitItem> units;
    for (int unit = 0; unit < unitCount; ++unit)
        units.append({QStringLiteral("unit %1").arg(unit), QStringLiteral("u%1").arg(unit),
                      float(1.0 + unit / 8.0), false});
    SaveUnits(units, path);
}

// Copies of the shipped plug-ins, taken in turn, under names of their own.
QStringList copyPlugins(const QString &appFolder, const QString &folder)
{
    const QStringList shipped = HostSession::ShippedPluginFiles(appFolder);
    QDir().mkpath(folder);
    QStringList copies;
    for (int i = 0; !shipped.isEmpty() && i < pluginCount; ++i) {
        const QFileInfo original(shipped.at(i % shipped.size()));
        const QString copy = folder + QStringLiteral("/copy%1-").arg(i) + original.fileName();
        QFile::remove(copy);
        QFile::copy(original.filePath(), copy);
        copies << QFileInfo(copy).canonicalFilePath();
    }
    return copies;
}

const StartupInputs &inputs()
{
    static const StartupInputs made = [] {
        const GlobalApplicationData *data = GlobalApplicationData::Instance();
        const QString userFolder = data->GetAppDataFolderPath();
        StartupInputs in;
        in.document = userFolder + QStringLiteral("properties.xml");
        in.units = userFolder + QStringLiteral("units_user.ini");
        writeDocument(in.document, shippedDocumentVersion(data->GetAppFolderPath()));
        writeUnits(in.units);
        in.plugins =
            copyPlugins(data->GetAppFolderPath(), userFolder + QStringLiteral("bench-plugins"));
        return in;
    }();
    return made;
}

void Startup(benchmark::State &state)
{
    HostSession::Options options;
    options.logFolder = QStringLiteral("startup-logs");
    options.loadShippedPlugins = false;
    options.pluginFiles = inputs().plugins;
    for (auto _ : state) {
        state.PauseTiming();
        BenchSession().reset();
        state.ResumeTiming();
        BenchSession().emplace(options);
    }
    QList<UnitItem> units;
    GlobalApplicationData::Instance()->GetCustomUnitList(units);
    if (units.size() != unitCount)
        state.SkipWithError("the custom units did not load");
    // Back to the session the other benchmarks run in; its log goes beside
    // the start-up logs, so that the earlier log is kept.
    BenchSession().reset();
    HostSession::Options shipped;
    shipped.logFolder = options.logFolder;
    BenchSession().emplace(shipped);
}
BENCHMARK(Startup)->Unit(benchmark::kMillisecond);

void StartupFloor(benchmark::State &state)
{
    const StartupInputs &in = inputs();
    std::vector<std::unique_ptr<QPluginLoader>> loaders;
    bool whole = true;
    for (auto _ : state) {
        for (const QString &path : {in.document, in.units}) {
            QFile file(path);
            QDomDocument document;
            whole = file.open(QIODevice::ReadOnly) && document.setContent(&file) && whole;
        }
        for (const QString &plugin : in.plugins) {
            loaders.push_back(std::make_unique<QPluginLoader>(plugin));
            // As the library's loader does: an unloaded file is really
            // released, so that every round loads the files anew rather than
            // finding them still mapped from the round before.
            loaders.back()->setLoadHints(QLibrary::LoadHints());
            whole = loaders.back()->load() && whole;
        }
        state.PauseTiming();
        for (const auto &loader : loaders)
            loader->unload();
        loaders.clear();
        state.ResumeTiming();
    }
    if (!whole)
        state.SkipWithError("an input does not parse or a plug-in copy does not load");
}
BENCHMARK(StartupFloor)->Unit(benchmark::kMillisecond);

const bool figure =
    FigureRegistry::Add({QStringLiteral("start-up (500 parameters, 50 units, 20 plug-ins)"),
                         "Startup", "StartupFloor", Figure::TimeRatio, QStringLiteral("<= 2")});

} // namespace
