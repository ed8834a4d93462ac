// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "IToolContainer.h"
#include "KVImageFileManager.h"
#include "KVImageFilePlugin.h"
#include "PluginTestSupport.h"
#include "VLPluginLoader.h"

#include <QDir>
#include <QFile>
#include <QPluginLoader>
#include <QSignalSpy>

using PluginTest::LogCapture;

namespace {

const QString loaderSource = QStringLiteral("src\\private\\VLPluginLoader_p.cpp");

QStringList firstArguments(const QSignalSpy &spy)
{
    QStringList names;
    for (const QList<QVariant> &arguments : spy)
        names.append(arguments.at(0).toString());
    return names;
}

// The same file under another path text: Qt loads it as the same library.
QString aliasPath(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/./") + info.fileName();
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
        loader = nullptr;
    }

    void singletonLifetime()
    {
        QVERIFY(loader);
        VLPluginLoader::InitInstance();
        QCOMPARE(VLPluginLoader::Instance(), loader);
        VLPluginLoader::ReleaseInstance();
        QVERIFY(!VLPluginLoader::Instance());
        VLPluginLoader::ReleaseInstance();
        QVERIFY(!VLPluginLoader::Instance());
    }

    void emptyListDoesNothing()
    {
        QSignalSpy begin(loader, &VLPluginLoader::LoadBegin);
        QSignalSpy error(loader, &VLPluginLoader::LoadError);
        QVERIFY(loader->LoadPlugins(QStringList()).isEmpty());
        QCOMPARE(begin.count(), 0);
        QCOMPARE(error.count(), 0);
        QVERIFY(loader->GetLoadList().isEmpty());
    }

    void loadsToolContainer()
    {
        const QString path = VELA_PLUGIN(TestBrushes);
        QObject scope; // the slots below go with the test function
        QList<int> statesSeen;
        connect(loader, &VLPluginLoader::LoadBegin, &scope,
                [&](const QString &name) { statesSeen << loader->GetState(name); });
        connect(loader, &VLPluginLoader::LoadComplete, &scope,
                [&](const QString &name) { statesSeen << loader->GetState(name); });
        QSignalSpy begin(loader, &VLPluginLoader::LoadBegin);
        QSignalSpy complete(loader, &VLPluginLoader::LoadComplete);
        QSignalSpy error(loader, &VLPluginLoader::LoadError);
        LogCapture log;

        QCOMPARE(loader->LoadPlugins({path}), QStringList{path});

        QCOMPARE(statesSeen,
                 (QList<int>{VLPluginLoader::PluginLoading, VLPluginLoader::PluginLoaded}));
        QCOMPARE(firstArguments(begin), QStringList{path});
        QCOMPARE(firstArguments(complete), QStringList{path});
        QCOMPARE(error.count(), 0);
        QCOMPARE(loader->GetState(path), VLPluginLoader::PluginLoaded);
        QCOMPARE(loader->GetStateInfo(path), QString());
        QObject *root = loader->GetPlugin(path);
        QVERIFY(qobject_cast<IToolContainer *>(root));
        QCOMPARE(root->property("loadedCalls").toInt(), 1);
        QCOMPARE(loader->GetPlugins(), QList<QObject *>{root});

        const QStringList lines = log.Messages(loaderSource);
        QCOMPARE(lines.size(), 1);
        const QRegularExpression line(
            QStringLiteral("^Plugin: \"%1\" loaded successfully\\. Loading time is "
                           "[0-9]+(\\.[0-9]{1,5})? sec\\.$")
                .arg(QRegularExpression::escape(path)));
        QVERIFY2(line.match(lines.first()).hasMatch(), qPrintable(lines.first()));
    }

    void alreadyLoadedNameIsDropped()
    {
        const QString path = VELA_PLUGIN(SampleBrushes);
        QCOMPARE(loader->LoadPlugin(path), path);
        QSignalSpy begin(loader, &VLPluginLoader::LoadBegin);
        LogCapture log;

        QCOMPARE(loader->LoadPlugin(path), QString());
        QVERIFY(loader->LoadPlugins({path, path}).isEmpty());
        QCOMPARE(begin.count(), 0);
        QVERIFY(log.Lines().isEmpty());
        QCOMPARE(loader->GetPlugins().size(), 1);

        // Another text for the same file is a name of its own and is tried.
        const QString alias = aliasPath(path);
        QCOMPARE(loader->LoadPlugin(alias), path);
        QCOMPARE(firstArguments(begin), QStringList{alias});
        QCOMPARE(loader->GetState(alias), VLPluginLoader::PluginLoaded);
        QCOMPARE(loader->GetPlugins().size(), 2);
    }

    void refusedPlugins_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expectedError");

        const QString notAPlugin = VELA_PLUGIN(NotAPlugin);
        QTest::newRow("shared library, no plug-in") << notAPlugin << qtLoaderError(notAPlugin);
        const QString textFile = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("text"))
                                 + QStringLiteral("/libtext.so");
        VelaTest::WriteFile(textFile, "not a library\n");
        QTest::newRow("text file") << textFile << qtLoaderError(textFile);
        QTest::newRow("neither interface")
            << VELA_PLUGIN(Stranger) << QStringLiteral("Is not an kelvane plugin.");
        QTest::newRow("empty container")
            << VELA_PLUGIN(EmptyContainer) << QStringLiteral("Empty container.");
    }

    void refusedPlugins()
    {
        QFETCH(QString, path);
        QFETCH(QString, expectedError);
        QVERIFY(!expectedError.isEmpty());
        QObject scope; // the slots below go with the test function
        QList<int> statesSeen;
        connect(loader, &VLPluginLoader::LoadError, &scope,
                [&](const QString &name) { statesSeen << loader->GetState(name); });
        QSignalSpy error(loader, &VLPluginLoader::LoadError);
        QSignalSpy complete(loader, &VLPluginLoader::LoadComplete);
        LogCapture log;

        QCOMPARE(loader->LoadPlugin(path), QString());

        QCOMPARE(error.count(), 1);
        QCOMPARE(error.first(), (QList<QVariant>{path, expectedError}));
        QCOMPARE(complete.count(), 0);
        QCOMPARE(statesSeen, QList<int>{VLPluginLoader::PluginLoadError});
        QCOMPARE(loader->GetState(path), VLPluginLoader::PluginLoadError);
        QCOMPARE(loader->GetStateInfo(path), expectedError);
        QVERIFY(loader->GetPlugins().isEmpty());
        QVERIFY(!loader->GetPlugin(path));
        const QStringList lines = log.Messages(loaderSource);
        QCOMPARE(lines.size(), 1);
        const QRegularExpression line(
            QStringLiteral("^Plugin: \"%1\" loading error\\. Loading time is [0-9.]+ sec\\. "
                           "Error message is \"%2\"\\.$")
                .arg(QRegularExpression::escape(path), QRegularExpression::escape(expectedError)));
        QVERIFY2(line.match(lines.first()).hasMatch(), qPrintable(lines.first()));
    }

    void missingFile()
    {
        const QString path = VelaTest::Sandbox::Current()->Root() + QStringLiteral("/none.so");
        QSignalSpy error(loader, &VLPluginLoader::LoadError);
        LogCapture log;

        QCOMPARE(loader->LoadPlugin(path), QString());

        QCOMPARE(error.count(), 1);
        QCOMPARE(error.first(), (QList<QVariant>{path, QStringLiteral("Missing file")}));
        QCOMPARE(loader->GetState(path), VLPluginLoader::PluginMissingFile);
        QCOMPARE(loader->GetStateInfo(path), QString());
        QVERIFY(log.Lines().isEmpty());
    }

    void failuresDoNotStopTheList()
    {
        const QString missing = VelaTest::Sandbox::Current()->Root() + QStringLiteral("/gone.so");
        const QString stranger = VELA_PLUGIN(Stranger);
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString brushes = VELA_PLUGIN(TestBrushes);
        QSignalSpy begin(loader, &VLPluginLoader::LoadBegin);

        // A name given twice in one call is tried twice.
        const QStringList input{brushes, missing, stranger, sample, stranger};
        QCOMPARE(loader->LoadPlugins(input), (QStringList{brushes, sample}));

        QCOMPARE(firstArguments(begin), input);
        QCOMPARE(loader->GetPlugins(),
                 (QList<QObject *>{loader->GetPlugin(brushes), loader->GetPlugin(sample)}));
        QStringList sorted{missing, stranger, sample, brushes};
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(loader->GetLoadList(), sorted);
    }

    void stateRecords()
    {
        const QString root = VelaTest::Sandbox::Current()->Root();
        QCOMPARE(loader->GetState(root + QStringLiteral("/never.so")),
                 VLPluginLoader::PluginUnknown);
        QCOMPARE(loader->GetStateInfo(root + QStringLiteral("/never.so")), QString());

        // Upper case sorts before lower case: keys compare as UTF-16 code units.
        loader->LoadPlugins({root + QStringLiteral("/b.so"), root + QStringLiteral("/B.so"),
                             root + QStringLiteral("/a.so")});
        QCOMPARE(loader->GetLoadList(),
                 (QStringList{root + QStringLiteral("/B.so"), root + QStringLiteral("/a.so"),
                              root + QStringLiteral("/b.so")}));
    }

    void refusalTextGoesWithALaterSuccess()
    {
        const QString path = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("later"))
                             + QStringLiteral("/libLater.so");
        QVERIFY(VelaTest::WriteFile(path, "not yet a library\n"));
        loader->LoadPlugin(path);
        QCOMPARE(loader->GetState(path), VLPluginLoader::PluginLoadError);
        QVERIFY(!loader->GetStateInfo(path).isEmpty());

        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::copy(VELA_PLUGIN(SampleBrushes), path));
        QCOMPARE(loader->LoadPlugin(path), path);
        QCOMPARE(loader->GetState(path), VLPluginLoader::PluginLoaded);
        QCOMPARE(loader->GetStateInfo(path), QString());
    }

    void pluginContainerRegistersImageFiles()
    {
        KVImageFileManager::CreateInstance();
        const QString path = VELA_PLUGIN(ImageFileContainer);

        QCOMPARE(loader->LoadPlugin(path), path);

        QStringList registered;
        const QList<KVImageFilePlugin *> plugins = KVImageFileManager::GetInstance()->GetPlugins();
        for (const KVImageFilePlugin *plugin : plugins)
            registered << plugin->objectName();
        QCOMPARE(registered, (QStringList{QStringLiteral("png"), QStringLiteral("tiff")}));
        QCOMPARE(loader->GetPlugin(path)->property("loadedCalls").toInt(), 1);
    }

    void pluginContainerWithoutImageFileManager()
    {
        QVERIFY(!KVImageFileManager::GetInstance());
        const QString path = VELA_PLUGIN(ImageFileContainer);
        QCOMPARE(loader->LoadPlugin(path), path);
        QCOMPARE(loader->GetState(path), VLPluginLoader::PluginLoaded);
    }

    void toolContainerComesFirst()
    {
        // The root is both kinds of container: taken as a tool container,
        // its image-file plug-in is never registered.
        KVImageFileManager::CreateInstance();
        const QString path = VELA_PLUGIN(TwoFactories);
        QCOMPARE(loader->LoadPlugin(path), path);
        QVERIFY(KVImageFileManager::GetInstance()->GetPlugins().isEmpty());
        QCOMPARE(loader->GetPlugin(path)->property("loadedCalls").toInt(), 1);
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

        QCOMPARE(firstArguments(complete), (QStringList{sample, flaky}));
        QCOMPARE(error.count(), 0);
        QCOMPARE(loader->GetState(sample), VLPluginLoader::PluginUnloaded);
        QCOMPARE(loader->GetState(flaky), VLPluginLoader::PluginUnloaded);
        QCOMPARE(loader->GetState(QStringLiteral("not loaded")), VLPluginLoader::PluginUnknown);
        QCOMPARE(loader->GetPlugins(), QList<QObject *>{loader->GetPlugin(brushes)});
        QCOMPARE(
            log.Messages(loaderSource),
            (QStringList{QStringLiteral("Plugin: \"%1\" is unloaded successfully.").arg(sample),
                         QStringLiteral("Plugin: \"%1\" is unloaded successfully.").arg(flaky)}));

        // Names that are not loaded (any more) change nothing.
        log.Clear();
        loader->UnloadPlugins({sample, QStringLiteral("not loaded")});
        QCOMPARE(complete.count(), 2);
        QVERIFY(log.Lines().isEmpty());

        // An unloaded plug-in loads again.
        QCOMPARE(loader->LoadPlugin(sample), sample);
        QCOMPARE(loader->GetState(sample), VLPluginLoader::PluginLoaded);
    }

    void unloadReleasesTheFile()
    {
        const QFileInfo maps(QStringLiteral("/proc/self/maps"));
        if (!maps.exists())
            QSKIP("needs /proc/self/maps to see what is mapped");
        // A copy of its own, so that nothing else of the test holds it.
        const QString path = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("released"))
                             + QStringLiteral("/libReleased.so");
        QVERIFY(QFile::copy(VELA_PLUGIN(SampleBrushes), path));
        QCOMPARE(loader->LoadPlugin(path), path);
        QVERIFY(VelaTest::ReadFile(maps.filePath()).contains(QFile::encodeName(path)));

        loader->UnloadPlugin(path);

        QCOMPARE(loader->GetState(path), VLPluginLoader::PluginUnloaded);
        QVERIFY(!VelaTest::ReadFile(maps.filePath()).contains(QFile::encodeName(path)));
    }

    void failedUnloadMovesToTheEnd()
    {
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString brushes = VELA_PLUGIN(TestBrushes);
        QCOMPARE(loader->LoadPlugins({sample, brushes, aliasPath(sample)}),
                 (QStringList{sample, brushes, sample}));
        QObject *brushesRoot = loader->GetPlugin(brushes);
        QSignalSpy complete(loader, &VLPluginLoader::UnloadComplete);
        QSignalSpy error(loader, &VLPluginLoader::UnloadError);
        QObject scope; // the slots below go with the test function
        QList<int> statesSeen;
        connect(loader, &VLPluginLoader::UnloadError, &scope,
                [&](const QString &name) { statesSeen << loader->GetState(name); });
        LogCapture log;

        // Both loaders report the same name. The first one holds the library
        // and unloads it; the second found the library already loaded and
        // holds nothing of its own, so Qt refuses to unload through it: that
        // plug-in stays in the list and moves behind the others.
        loader->UnloadPlugin(sample);

        QCOMPARE(firstArguments(complete), QStringList{sample});
        QCOMPARE(firstArguments(error), QStringList{sample});
        QCOMPARE(statesSeen, QList<int>{VLPluginLoader::PluginUnloadError});
        QCOMPARE(loader->GetState(sample), VLPluginLoader::PluginUnloadError);
        QCOMPARE(
            log.Messages(loaderSource),
            (QStringList{QStringLiteral("Plugin: \"%1\" is unloaded successfully.").arg(sample),
                         QStringLiteral("Plugin: \"%1\" unloading error.").arg(sample)}));
        const QList<QObject *> plugins = loader->GetPlugins();
        QCOMPARE(plugins.size(), 2);
        QCOMPARE(plugins.first(), brushesRoot);
        QVERIFY(qobject_cast<IToolContainer *>(plugins.last()));
    }

    void failedUnloadWhileAnotherLoaderHoldsTheLibrary()
    {
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString brushes = VELA_PLUGIN(TestBrushes);
        loader->LoadPlugins({sample, brushes});
        QObject *sampleRoot = loader->GetPlugin(sample);
        QPluginLoader holder(sample);
        QVERIFY(holder.load());
        QSignalSpy error(loader, &VLPluginLoader::UnloadError);

        loader->UnloadPlugin(sample);

        QCOMPARE(firstArguments(error), QStringList{sample});
        QCOMPARE(loader->GetState(sample), VLPluginLoader::PluginUnloadError);
        QCOMPARE(loader->GetPlugins(), (QList<QObject *>{loader->GetPlugin(brushes), sampleRoot}));
        QCOMPARE(loader->GetPlugin(sample), sampleRoot);
        // Let go, so that later tests find the library unloaded.
        QVERIFY(holder.unload());
    }

    void destructionUnloadsEverything()
    {
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString brushes = VELA_PLUGIN(TestBrushes);
        loader->LoadPlugins({brushes, sample});
        QSignalSpy complete(loader, &VLPluginLoader::UnloadComplete);
        LogCapture log;

        VLPluginLoader::ReleaseInstance();

        QCOMPARE(firstArguments(complete), (QStringList{brushes, sample}));
        QCOMPARE(
            log.Messages(loaderSource),
            (QStringList{QStringLiteral("Plugin: \"%1\" is unloaded successfully.").arg(brushes),
                         QStringLiteral("Plugin: \"%1\" is unloaded successfully.").arg(sample)}));
    }

private:
    static QString qtLoaderError(const QString &path)
    {
        QPluginLoader probe(path);
        probe.load();
        return probe.errorString();
    }

    VLPluginLoader *loader = nullptr;
};

VELA_TEST_MAIN(TestVLPluginLoader)
#include "tst_vlpluginloader.moc"
