// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "IToolContainer.h"
#include "KVImageFileManager.h"
#include "KVImageFilePlugin.h"
#include "PluginTestSupport.h"
#include "VLPluginLoader.h"

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
    return QFileInfo(path).absolutePath() + "/./" + QFileInfo(path).fileName();
}

QStringList loaderLines(const LogCapture &log)
{
    return log.Messages("src\\private\\VLPluginLoader_p.cpp");
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
        // Refused plug-ins' loaders go with deleteLater(); no event loop runs
        // here to delete them.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void loadOne_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("error");
        QPluginLoader probe(VELA_PLUGIN(NotAPlugin));
        probe.load();
        QTest::newRow("tool container")
            << VELA_PLUGIN(TestBrushes) << int(VLPluginLoader::PluginLoaded) << QString();
        QTest::newRow("no Qt plug-in")
            << VELA_PLUGIN(NotAPlugin) << int(VLPluginLoader::PluginLoadError)
            << probe.errorString();
        QTest::newRow("empty container")
            << VELA_PLUGIN(EmptyContainer) << int(VLPluginLoader::PluginLoadError)
            << "Empty container.";
        QTest::newRow("missing file") << VelaTest::Sandbox::Current()->Root() + "/none.so"
                                      << int(VLPluginLoader::PluginMissingFile) << "Missing file";
    }

    void loadOne()
    {
        QFETCH(QString, path);
        QFETCH(int, state);
        QFETCH(QString, error);
        const bool loaded = state == VLPluginLoader::PluginLoaded;
        QList<int> statesSeen; // by slots run while the signals go out
        const auto seeState = [&](const QString &name) { statesSeen << loader->GetState(name); };
        connect(loader, &VLPluginLoader::LoadBegin, this, seeState);
        connect(loader, &VLPluginLoader::LoadComplete, this, seeState);
        connect(loader, &VLPluginLoader::LoadError, this, seeState);
        QSignalSpy errors(loader, &VLPluginLoader::LoadError);
        LogCapture log;

        QCOMPARE(loader->LoadPlugin(path), loaded ? path : QString());

        QCOMPARE(statesSeen, (QList<int>{VLPluginLoader::PluginLoading, state}));
        QCOMPARE(errors.count(), loaded ? 0 : 1);
        QVERIFY(loaded || errors.first() == (QList<QVariant>{path, error}));
        QCOMPARE(loader->GetStateInfo(path),
                 state == VLPluginLoader::PluginLoadError ? error : QString());
        QCOMPARE(loader->GetPlugins().size(), loaded ? 1 : 0);
        QVERIFY(!loaded || loader->GetPlugin(path)->property("loadedCalls").toInt() == 1);
        // A missing file is not logged. The time is in seconds to the
        // millisecond, as short as it goes: a loaded plug-in takes some.
        QString line =
            QStringLiteral("^Plugin: \"%1\" %2\\. Loading time is "
                           "(0|[1-9][0-9]*)(\\.[0-9]{0,2}[1-9])%3 sec\\.")
                .arg(QRegularExpression::escape(path),
                     loaded ? "loaded successfully" : "loading error", loaded ? "" : "?");
        line +=
            loaded ? "$" : " Error message is \"" + QRegularExpression::escape(error) + "\"\\.$";
        const QStringList lines = loaderLines(log);
        QCOMPARE(lines.size(), state == VLPluginLoader::PluginMissingFile ? 0 : 1);
        QVERIFY2(lines.isEmpty() || QRegularExpression(line).match(lines.first()).hasMatch(),
                 qPrintable(lines.join(QLatin1Char('\n'))));
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

        // A path relative to the working directory names the file there;
        // records and signals keep the text as given.
        const QString relative = "plugins-here/" + QFileInfo(brushes).fileName();
        const QString work = VelaTest::Sandbox::Current()->MakeFolder("relative-work");
        QVERIFY(QDir(work).mkpath("plugins-here"));
        QVERIFY(QFile::copy(brushes, work + '/' + relative));
        const QString startDir = QDir::currentPath();
        QDir::setCurrent(work);
        begin.clear();
        const QString loadedRelative = loader->LoadPlugin(relative);
        QDir::setCurrent(startDir);
        QCOMPARE(loadedRelative, QFileInfo(work + '/' + relative).canonicalFilePath());
        QCOMPARE(loader->GetState(relative), VLPluginLoader::PluginLoaded);
        QCOMPARE(loader->GetStateInfo(relative), QString());
        QCOMPARE(firstArguments(begin), QStringList{relative});

        // A refusal text goes with a later successful load of the path.
        const QString later = root + "/libLater.so";
        QVERIFY(VelaTest::WriteFile(later, "not yet a library\n"));
        QVERIFY(loader->LoadPlugin(later).isEmpty() && !loader->GetStateInfo(later).isEmpty());
        QVERIFY(QFile::remove(later) && QFile::copy(VELA_PLUGIN(TestBrushes), later));
        QCOMPARE(loader->LoadPlugin(later), later);
        QCOMPARE(loader->GetStateInfo(later), QString());
    }

    void pluginContainers()
    {
        // Without the image-file manager there is nothing to register.
        const QString images = VELA_PLUGIN(ImageFileContainer);
        QCOMPARE(loader->LoadPlugin(images), images);
        loader->UnloadPlugin(images);

        // Only kind 2 is registered; a root that is both kinds of container
        // is taken as a tool container, its image-file plug-in left alone.
        KVImageFileManager::CreateInstance();
        QCOMPARE(loader->LoadPlugins({images, VELA_PLUGIN(TwoFactories)}).size(), 2);
        QCOMPARE(loader->GetPlugin(images)->property("loadedCalls").toInt(), 1);
        QStringList names;
        for (const KVImageFilePlugin *plugin : KVImageFileManager::GetInstance()->GetPlugins())
            names << plugin->objectName();
        QCOMPARE(names, QStringList{QStringLiteral("png")});
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

        loader->UnloadPlugins({flaky, "not loaded", sample});
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
        QCOMPARE(loader->LoadPlugins({sample, aliasPath(sample), VELA_PLUGIN(TestBrushes)}).size(),
                 3);
        const QList<QObject *> roots = loader->GetPlugins();
        QSignalSpy complete(loader, &VLPluginLoader::UnloadComplete);
        QSignalSpy error(loader, &VLPluginLoader::UnloadError);
        LogCapture log;
        const auto mapped = [&] {
            return VelaTest::ReadFile("/proc/self/maps").contains(QFile::encodeName(sample));
        };

        // Another holder of the library: both loaders of the file, which
        // report the same name, fail and go to the back, in order. What is
        // still listed is still there, the same objects, and callable.
        auto holder = std::make_unique<QPluginLoader>(sample);
        QVERIFY(holder->load());
        loader->UnloadPlugin(sample);
        QCOMPARE(firstArguments(complete), QStringList());
        QCOMPARE(firstArguments(error), (QStringList{sample, sample}));
        QCOMPARE(loader->GetState(sample), VLPluginLoader::PluginUnloadError);
        const QString failed = QStringLiteral("Plugin: \"%1\" unloading error.").arg(sample);
        QCOMPARE(loaderLines(log), (QStringList{failed, failed}));
        QCOMPARE(loader->GetPlugins(), (QList<QObject *>{roots.at(2), roots.at(0), roots.at(1)}));
        holder->unload();
        holder.reset();
        QVERIFY(mapped());
        for (QObject *root : loader->GetPlugins())
            QVERIFY(!qobject_cast<IToolContainer *>(root)->GetTools().isEmpty());

        // Without it, the file goes: the loader that unloads it last speaks
        // for the other, which held it too.
        log.lines.clear();
        loader->UnloadPlugin(sample);
        QCOMPARE(firstArguments(complete), (QStringList{sample, sample}));
        QCOMPARE(loaderLines(log), (QStringList{unloadedLine(sample), unloadedLine(sample)}));
        QCOMPARE(loader->GetState(sample), VLPluginLoader::PluginUnloaded);
        QCOMPARE(loader->GetPlugins(), QList<QObject *>{roots.at(2)});
        QVERIFY(!mapped());
    }

    // Slots may call back into the loader while it unloads on its way out.
    void slotsSeeTheLoaderWhileItIsReleased()
    {
        const QString sample = VELA_PLUGIN(SampleBrushes);
        QCOMPARE(loader->LoadPlugin(sample), sample);
        QStringList seen;
        connect(loader, &VLPluginLoader::UnloadComplete, this, [&](const QString &name) {
            VLPluginLoader *self = VLPluginLoader::Instance();
            seen << QStringLiteral("%1 %2 %3")
                        .arg(name)
                        .arg(self->GetState(name))
                        .arg(self->GetPlugins().size());
        });
        VLPluginLoader::ReleaseInstance();
        QCOMPARE(seen, QStringList{sample + " 6 0"});
    }

    // The host's plug-in commands, run as child processes on real plug-in files.
    void checkPlugin()
    {
        // A refused file and a broken round trip fail; the shipped plug-in
        // listed after them is still checked. The refusal text is the
        // loader's, whichever it is (the loader's own test has each one).
        const VelaTest::ChildResult result =
            VelaTest::RunHost({"check-plugin", VELA_PLUGIN(Stranger), VELA_PLUGIN(CatchAllBrushes),
                               VELA_PLUGIN(SampleBrushes)});
        const QString out = QString::fromUtf8(result.standardOutput);
        for (const char *text :
             {"Error:       Is not an kelvane plugin.",
              "Test.CatchAll: round trip FAILED: deserialize() left 4 of 8 bytes unread",
              "State:       loaded (3)", "Brush types: Vela.Airbrush, Vela.RoundBrush\n",
              "Vela.Airbrush: round trip ok", "Vela.RoundBrush: round trip ok"})
            QVERIFY2(out.contains(text), qPrintable(out));
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.standardError.contains("2 of 3 plug-in files failed"));
    }

    void presets()
    {
        const QString file = VelaTest::Sandbox::Current()->Root() + "/sample.kvp";
        QCOMPARE(VelaTest::RunHost({"presets", "--create", file}).exitCode, 0);
        // The stream's bytes are the preset table's own test; the run below
        // reads them back.
        // The session's log holds each step's line in the order the editor
        // starts up and shuts down; the registries write Destroy and Destroyed.
        const QString log = QString::fromUtf8(
            VelaTest::RunLog(VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/"));
        const QString sample = VELA_PLUGIN(SampleBrushes);
        int at = 0;
        for (const QString &text : QStringList{
                 sample + "\" loaded successfully", "BrushPresetManager.cpp\". Destroyed",
                 "VLIOManager.cpp\". Destroy\"", "VLIOManager.cpp\". Destroyed",
                 "BrushFactoryManager.cpp\". Destroy\"", "BrushFactoryManager.cpp\". Destroyed",
                 sample + "\" is unloaded successfully",
                 "GlobalApplicationData.cpp\". Destroy\""}) {
            at = log.indexOf(text, at);
            QVERIFY2(at >= 0, qPrintable(text + '\n' + log));
        }

        const VelaTest::ChildResult result = VelaTest::RunHost({"presets", file});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.standardOutput.contains(
                     "{00000000-0000-0000-0000-000000000000}  Vela.Airbrush\n"
                     "  {00000000-0000-0000-0000-000000000001}  Vela.RoundBrush\n"),
                 result.standardOutput.constData());
    }

private:
    VLPluginLoader *loader = nullptr;
};

VELA_TEST_MAIN(TestVLPluginLoader)
#include "tst_vlpluginloader.moc"
