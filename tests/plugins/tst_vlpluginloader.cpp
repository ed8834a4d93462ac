// SPDX-License-Identifier: LGPL-2.1-or-later
#include "KVImageFileManager.h"
#include "KVImageFilePlugin.h"
#include "PluginTestSupport.h"
#include "VLPluginLoader.h"

const QString loaderSource = "src\\private\\VLPluginLoader_p.cpp";

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

    // With the image-file manager there: of the image container, only its
    // kind 2 object "png" is registered, and a root that is both kinds of
    // container is taken as a tool container.
    void loadOne_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("error");
        QVERIFY(VelaTest::WriteFile(root + "/libText.so", "not a library\n"));
        QPluginLoader probe(root + "/libText.so");
        probe.load();
        QTest::newRow("tool container") << brushes << accepted << QString();
        QTest::newRow("image container") << imageContainer << accepted << QString();
        QTest::newRow("no library") << root + "/libText.so" << refused << probe.errorString();
        QTest::newRow("no container") << stranger << refused << "Is not an kelvane plugin.";
        QTest::newRow("empty container")
            << VELA_PLUGIN(EmptyContainer) << refused << "Empty container.";
        QTest::newRow("missing file") << root + "/none.so" << missing << "Missing file";
    }

    void loadOne()
    {
        QFETCH(QString, path);
        QFETCH(int, state);
        QFETCH(QString, error);
        KVImageFileManager::CreateInstance();
        const bool loaded = state == accepted;
        // The signals, each with the state that its slot sees; the loader lets
        // events through after each file, so a queued slot runs in time too.
        QStringList seen;
        const auto see = [&](const QString &name, const QString &text) {
            seen << QStringLiteral("%1 %2 %3").arg(name).arg(loader->GetState(name)).arg(text);
        };
        connect(loader, &VLPluginLoader::LoadBegin, this, [&](const QString &n) { see(n, ""); });
        connect(loader, &VLPluginLoader::LoadComplete, this, [&](const QString &n) { see(n, ""); });
        connect(loader, &VLPluginLoader::LoadError, this, see, Qt::QueuedConnection);
        LogCapture log;

        QCOMPARE(loader->LoadPlugin(path), loaded ? path : QString());
        QCOMPARE(seen, (QStringList{path + " 1 ",
                                    QStringLiteral("%1 %2 %3").arg(path).arg(state).arg(error)}));
        QCOMPARE(loader->GetStateInfo(path), state == refused ? error : QString());
        QCOMPARE(loader->GetPlugins().size(), loaded ? 1 : 0);
        // A refused library is unloaded at once: none of its code stays mapped.
        QCOMPARE(VelaTest::ReadFile("/proc/self/maps").contains(QFile::encodeName(path)), loaded);
        QVERIFY(!loaded || loader->GetPlugin(path)->property("loadedCalls").toInt() == 1);
        // A missing file is not logged. The time is in seconds to the
        // millisecond, as short as it goes: the test brushes take some.
        QStringList lines = log.lines.value(loaderSource);
        lines.replaceInStrings(
            QRegularExpression(QStringLiteral(" is (0|[1-9][0-9]*)(\\.[0-9]{0,2}[1-9])%1 sec\\.")
                                   .arg(path == brushes ? "" : "?")),
            " is T sec.");
        const QString line = QStringLiteral("Plugin: \"%1\" %2. Loading time is T sec.%3")
                                 .arg(path, loaded ? "loaded successfully" : "loading error",
                                      loaded ? QString() : " Error message is \"" + error + "\".");
        QCOMPARE(lines, state == missing ? QStringList() : QStringList{line});
        QStringList names;
        for (const KVImageFilePlugin *plugin : KVImageFileManager::GetInstance()->GetPlugins())
            names << plugin->objectName();
        QCOMPARE(names, path == imageContainer ? QStringList{"png"} : QStringList());
    }

    void loadsAList()
    {
        QStringList begun;
        connect(loader, &VLPluginLoader::LoadBegin, this, [&](const QString &n) { begun << n; });
        QVERIFY(loader->LoadPlugins({}).isEmpty() && begun.isEmpty());

        // Failures do not stop the list; a name given twice is tried twice.
        const QStringList input{brushes, root + "/b.so", stranger,
                                sample,  stranger,       root + "/B.so"};
        QCOMPARE(loader->LoadPlugins(input), (QStringList{brushes, sample}));
        // Keys in UTF-16 code-unit order: upper case before lower case.
        QStringList keys = input.mid(0, 4) + input.mid(5);
        std::sort(keys.begin(), keys.end());
        QCOMPARE(loader->GetLoadList(), keys);

        // Names already loaded are dropped silently; another text for the
        // same file is a name of its own and is tried.
        LogCapture log;
        QVERIFY(loader->LoadPlugins({sample, sample}).isEmpty() && log.lines.isEmpty());
        QCOMPARE(begun, input);
        QCOMPARE(loader->LoadPlugin(alias), sample);
        QCOMPARE(loader->GetState(alias), VLPluginLoader::PluginLoaded);

        // A refusal text goes with a later successful load of the path.
        const QString later = root + "/libLater.so";
        QVERIFY(VelaTest::WriteFile(later, "not yet a library\n"));
        QVERIFY(loader->LoadPlugin(later).isEmpty() && !loader->GetStateInfo(later).isEmpty());
        QVERIFY(QFile::remove(later) && QFile::copy(brushes, later));
        QCOMPARE(loader->LoadPlugin(later), later);
        QCOMPARE(loader->GetStateInfo(later), QString());
    }

    // Unloads go in load order; slots may call back into the loader, also
    // while it unloads on its way out.
    void unloads()
    {
        loader->LoadPlugins({sample, brushes, catchAll});
        QStringList seen;
        const auto record = [&](const QString &name) {
            VLPluginLoader *self = VLPluginLoader::Instance();
            seen << name + ' ' + QString::number(self->GetState(name)) + ' '
                        + QString::number(self->GetPlugins().size());
        };
        connect(loader, &VLPluginLoader::UnloadComplete, this, record);
        connect(loader, &VLPluginLoader::UnloadError, this, record);
        LogCapture log;
        loader->UnloadPlugins({catchAll, "not loaded", sample});
        QCOMPARE(loader->GetState(QStringLiteral("not loaded")), VLPluginLoader::PluginUnknown);
        QCOMPARE(loader->GetPlugins(), QList<QObject *>{loader->GetPlugin(brushes)});

        // Held by another loader, a plug-in stays, usable, and goes to the end.
        QCOMPARE(loader->LoadPlugins({sample, alias}).size(), 2);
        QObject *brushesRoot = loader->GetPlugin(brushes), *sampleRoot = loader->GetPlugin(sample);
        QPluginLoader holder(brushes);
        QVERIFY(holder.load());
        loader->UnloadPlugin(brushes);
        QCOMPARE(loader->GetPlugins(), (QList<QObject *>{sampleRoot, sampleRoot, brushesRoot}));
        QCOMPARE(brushesRoot->property("loadedCalls").toInt(), 1);
        holder.unload();
        // The file loaded under two names goes with the last of its loaders.
        VLPluginLoader::ReleaseInstance();
        QCOMPARE(seen, (QStringList{sample + " 6 1", catchAll + " 6 1", brushes + " 5 3",
                                    sample + " 6 0", sample + " 6 0", brushes + " 6 0"}));
        const QString unloaded = "Plugin: \"%1\" is unloaded successfully.";
        QCOMPARE(log.lines.value(loaderSource).filter("unload"),
                 (QStringList{unloaded.arg(sample), unloaded.arg(catchAll),
                              QStringLiteral("Plugin: \"%1\" unloading error.").arg(brushes),
                              unloaded.arg(sample), unloaded.arg(sample), unloaded.arg(brushes)}));
    }

private:
    VLPluginLoader *loader = nullptr;
    static constexpr int accepted = VLPluginLoader::PluginLoaded;
    static constexpr int refused = VLPluginLoader::PluginLoadError;
    static constexpr int missing = VLPluginLoader::PluginMissingFile;
    const QString root = VelaTest::Sandbox::Current()->Root();
    const QString sample = VELA_PLUGIN(SampleBrushes), brushes = VELA_PLUGIN(TestBrushes);
    const QString stranger = VELA_PLUGIN(Stranger), catchAll = VELA_PLUGIN(CatchAllBrushes);
    const QString imageContainer = VELA_PLUGIN(ImageFileContainer);
    // The sample plug-in under another text for the same file.
    const QString alias = sample.section('/', 0, -2) + "/./" + sample.section('/', -1);
};

VELA_TEST_MAIN(TestVLPluginLoader)
#include "tst_vlpluginloader.moc"
