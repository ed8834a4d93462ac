// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "IToolContainer.h"
#include "KVImageFileManager.h"
#include "KVImageFilePlugin.h"
#include "PluginTestSupport.h"
#include "VLPluginLoader.h"

#include <QPluginLoader>
#include <QSignalSpy>

namespace {

QStringList firstArguments(const QSignalSpy &spy)
{
    QStringList names;
    for (const QList<QVariant> &arguments : spy)
        names << arguments.at(0).toString();
    return names;
}

// The same file under another path text.
QString aliasPath(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/./") + info.fileName();
}

QStringList loaderLines(const LogCapture &log)
{
    return log.Messages(QStringLiteral("src\\private\\VLPluginLoader_p.cpp"));
}

QString unloadedLine(const QString &path)
{
    return QStringLiteral("Plugin: \"%1\" is unloaded successfully.").arg(path);
}

} // namespace

class TestVLPluginLoader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        VLPluginLoader::InitInstance();
        loader = VLPluginLoader::Instance();
    }

    void cleanup()
    {
        VLPluginLoader::ReleaseInstance();
        KVImageFileManager::ReleaseInstance();
    }

    void loadsToolContainer()
    {
        const QString path = VELA_PLUGIN(TestBrushes);
        QList<int> statesSeen; // by slots run while the signals go out
        const auto seeState = [&](const QString &name) { statesSeen << loader->GetState(name); };
        connect(loader, &VLPluginLoader::LoadBegin, this, seeState);
        connect(loader, &VLPluginLoader::LoadComplete, this, seeState);
        QSignalSpy begin(loader, &VLPluginLoader::LoadBegin);
        QSignalSpy complete(loader, &VLPluginLoader::LoadComplete);
        LogCapture log;

        QCOMPARE(loader->LoadPlugins({path}), QStringList{path});

        QCOMPARE(statesSeen,
                 (QList<int>{VLPluginLoader::PluginLoading, VLPluginLoader::PluginLoaded}));
        QCOMPARE(firstArguments(begin) + firstArguments(complete), (QStringList{path, path}));
        QCOMPARE(loader->GetPlugin(path)->property("loadedCalls").toInt(), 1);
        const QStringList lines = loaderLines(log);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(QRegularExpression(
                     QStringLiteral("^Plugin: \"%1\" loaded successfully\\. Loading time is "
                                    "[0-9]+(\\.[0-9]{1,5})? sec\\.$")
                         .arg(QRegularExpression::escape(path)))
                     .match(lines.first())
                     .hasMatch(),
                 qPrintable(lines.first()));
    }

    void refusedPlugins_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        const QString notAPlugin = VELA_PLUGIN(NotAPlugin);
        QPluginLoader probe(notAPlugin);
        probe.load();
        QTest::newRow("no Qt plug-in") << notAPlugin << probe.errorString();
        QTest::newRow("neither interface")
            << VELA_PLUGIN(Stranger) << QStringLiteral("Is not an kelvane plugin.");
        QTest::newRow("empty container")
            << VELA_PLUGIN(EmptyContainer) << QStringLiteral("Empty container.");
        QTest::newRow("missing file")
            << VelaTest::Sandbox::Current()->Root() + "/none.so" << QStringLiteral("Missing file");
    }

    void refusedPlugins()
    {
        QFETCH(QString, path);
        QFETCH(QString, error);
        const bool missing = !QFile::exists(path);
        QSignalSpy errors(loader, &VLPluginLoader::LoadError);
        LogCapture log;

        QCOMPARE(loader->LoadPlugin(path), QString());

        QCOMPARE(errors, (QList<QList<QVariant>>{{path, error}}));
        QCOMPARE(loader->GetState(path),
                 missing ? VLPluginLoader::PluginMissingFile : VLPluginLoader::PluginLoadError);
        QCOMPARE(loader->GetStateInfo(path), missing ? QString() : error);
        QVERIFY(loader->GetPlugins().isEmpty());
        // A missing file is not logged.
        const QString line = QStringLiteral("^Plugin: \"%1\" loading error\\. Loading time is "
                                            "[0-9.]+ sec\\. Error message is \"%2\"\\.$");
        const QStringList lines = loaderLines(log);
        QCOMPARE(lines.size(), missing ? 0 : 1);
        QVERIFY(missing
                || QRegularExpression(line.arg(QRegularExpression::escape(path),
                                               QRegularExpression::escape(error)))
                       .match(lines.first())
                       .hasMatch());
    }

    void loadsAList()
    {
        const QString root = VelaTest::Sandbox::Current()->Root();
        const QString stranger = VELA_PLUGIN(Stranger);
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString brushes = VELA_PLUGIN(TestBrushes);
        QSignalSpy begin(loader, &VLPluginLoader::LoadBegin);
        QVERIFY(loader->LoadPlugins({}).isEmpty());
        QCOMPARE(loader->GetState(root + "/never.so"), VLPluginLoader::PluginUnknown);

        // Failures do not stop the list; a name given twice is tried twice.
        const QStringList input{brushes, root + "/b.so", stranger,
                                sample,  stranger,       root + "/B.so"};
        QCOMPARE(loader->LoadPlugins(input), (QStringList{brushes, sample}));
        QCOMPARE(firstArguments(begin), input);
        QCOMPARE(loader->GetPlugins(),
                 (QList<QObject *>{loader->GetPlugin(brushes), loader->GetPlugin(sample)}));
        // Keys in UTF-16 code-unit order: upper case before lower case.
        QStringList keys = input.mid(0, 4) + input.mid(5);
        std::sort(keys.begin(), keys.end());
        QCOMPARE(loader->GetLoadList(), keys);

        // Names already loaded are dropped silently; another text for the
        // same file is a name of its own and is tried.
        begin.clear();
        LogCapture log;
        QVERIFY(loader->LoadPlugins({sample, sample}).isEmpty());
        QVERIFY(begin.isEmpty() && log.lines.isEmpty());
        QCOMPARE(loader->LoadPlugin(aliasPath(sample)), sample);
        QCOMPARE(loader->GetState(aliasPath(sample)), VLPluginLoader::PluginLoaded);

        // A refusal text goes with a later successful load of the path.
        const QString later = root + QStringLiteral("/libLater.so");
        QVERIFY(VelaTest::WriteFile(later, "not yet a library\n"));
        QVERIFY(loader->LoadPlugin(later).isEmpty() && !loader->GetStateInfo(later).isEmpty());
        QVERIFY(QFile::remove(later) && QFile::copy(VELA_PLUGIN(TestBrushes), later));
        QCOMPARE(loader->LoadPlugin(later), later);
        QCOMPARE(loader->GetStateInfo(later), QString());
    }

    void pluginContainers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("withManager");
        QTest::addColumn<QStringList>("registered");
        QTest::newRow("image files")
            << VELA_PLUGIN(ImageFileContainer) << true << QStringList{QStringLiteral("png")};
        QTest::newRow("no manager") << VELA_PLUGIN(ImageFileContainer) << false << QStringList();
        // Both kinds of container: taken as a tool container only.
        QTest::newRow("tool container first") << VELA_PLUGIN(TwoFactories) << true << QStringList();
    }

    void pluginContainers()
    {
        QFETCH(QString, path);
        QFETCH(bool, withManager);
        QFETCH(QStringList, registered);
        if (withManager)
            KVImageFileManager::CreateInstance();

        QCOMPARE(loader->LoadPlugin(path), path);

        QCOMPARE(loader->GetPlugin(path)->property("loadedCalls").toInt(), 1);
        QStringList names;
        if (KVImageFileManager *manager = KVImageFileManager::GetInstance()) {
            for (const KVImageFilePlugin *plugin : manager->GetPlugins())
                names << plugin->objectName();
        }
        QCOMPARE(names, registered);
    }

    void unloadsInLoadOrder()
    {
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString brushes = VELA_PLUGIN(TestBrushes);
        const QString flaky = VELA_PLUGIN(FlakyBrushes);
        loader->LoadPlugins({sample, brushes, flaky});
        QSignalSpy complete(loader, &VLPluginLoader::UnloadComplete);
        QSignalSpy error(loader, &VLPluginLoader::UnloadError);
        LogCapture log;

        loader->UnloadPlugins({flaky, QStringLiteral("not loaded"), sample});
        // Names not loaded (any more) change nothing.
        loader->UnloadPlugins({sample});

        QCOMPARE(firstArguments(complete), (QStringList{sample, flaky}));
        QCOMPARE(error.count(), 0);
        QCOMPARE(loader->GetState(sample), VLPluginLoader::PluginUnloaded);
        QCOMPARE(loader->GetState(QStringLiteral("not loaded")), VLPluginLoader::PluginUnknown);
        QCOMPARE(loader->GetPlugins(), QList<QObject *>{loader->GetPlugin(brushes)});
        QCOMPARE(loaderLines(log), (QStringList{unloadedLine(sample), unloadedLine(flaky)}));

        // An unloaded plug-in loads again; destruction unloads in load order.
        QCOMPARE(loader->LoadPlugin(sample), sample);
        complete.clear();
        log.lines.clear();
        VLPluginLoader::ReleaseInstance();
        QCOMPARE(firstArguments(complete), (QStringList{brushes, sample}));
        QCOMPARE(loaderLines(log), (QStringList{unloadedLine(brushes), unloadedLine(sample)}));
    }

    void failedUnloadMovesToTheEnd()
    {
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString brushes = VELA_PLUGIN(TestBrushes);
        QCOMPARE(loader->LoadPlugins({sample, brushes, aliasPath(sample)}),
                 (QStringList{sample, brushes, sample}));
        const QList<QObject *> roots = loader->GetPlugins();
        QSignalSpy complete(loader, &VLPluginLoader::UnloadComplete);
        QSignalSpy error(loader, &VLPluginLoader::UnloadError);
        LogCapture log;

        // Both loaders report the same name. The first holds the library and
        // unloads it; the second found it already loaded and holds nothing of
        // its own, so Qt refuses to unload through it.
        loader->UnloadPlugin(sample);

        QCOMPARE(firstArguments(complete) + firstArguments(error), (QStringList{sample, sample}));
        QCOMPARE(loader->GetState(sample), VLPluginLoader::PluginUnloadError);
        QCOMPARE(loaderLines(log),
                 (QStringList{unloadedLine(sample),
                              QStringLiteral("Plugin: \"%1\" unloading error.").arg(sample)}));
        QCOMPARE(loader->GetPlugins(), (QList<QObject *>{roots.at(1), roots.at(2)}));
    }

private:
    VLPluginLoader *loader = nullptr;
};

VELA_TEST_MAIN(TestVLPluginLoader)
#include "tst_vlpluginloader.moc"
