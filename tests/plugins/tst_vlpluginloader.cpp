// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "IToolContainer.h"
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

    void loadOne_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("error");
        const QString root = VelaTest::Sandbox::Current()->Root();
        QVERIFY(VelaTest::WriteFile(root + "/libText.so", "not a library\n"));
        QPluginLoader probe(root + "/libText.so");
        probe.load();
        QTest::newRow("tool container")
            << VELA_PLUGIN(TestBrushes) << int(VLPluginLoader::PluginLoaded) << QString();
        QTest::newRow("no library") << root + "/libText.so" << refused << probe.errorString();
        QTest::newRow("no container")
            << VELA_PLUGIN(Stranger) << refused << "Is not an kelvane plugin.";
        QTest::newRow("empty container")
            << VELA_PLUGIN(EmptyContainer) << refused << "Empty container.";
        QTest::newRow("missing file")
            << root + "/none.so" << int(VLPluginLoader::PluginMissingFile) << "Missing file";
    }

    void loadOne()
    {
        QFETCH(QString, path);
        QFETCH(int, state);
        QFETCH(QString, error);
        const bool loaded = state == VLPluginLoader::PluginLoaded;
        // The signals, each with the state that its slot sees.
        QStringList seen;
        const auto see = [&](const QString &name, const QString &text) {
            seen << QStringLiteral("%1 %2 %3").arg(name).arg(loader->GetState(name)).arg(text);
        };
        connect(loader, &VLPluginLoader::LoadBegin, this, [&](const QString &n) { see(n, ""); });
        connect(loader, &VLPluginLoader::LoadComplete, this, [&](const QString &n) { see(n, ""); });
        connect(loader, &VLPluginLoader::LoadError, this, see);
        LogCapture log;

        QCOMPARE(loader->LoadPlugin(path), loaded ? path : QString());
        QCOMPARE(seen, (QStringList{path + " 1 ",
                                    QStringLiteral("%1 %2 %3").arg(path).arg(state).arg(error)}));
        QCOMPARE(loader->GetStateInfo(path), state == refused ? error : QString());
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
        const QStringList lines = log.lines.value(loaderSource);
        QCOMPARE(lines.size(), state == VLPluginLoader::PluginMissingFile ? 0 : 1);
        QVERIFY2(lines.isEmpty() || QRegularExpression(line).match(lines.first()).hasMatch(),
                 qPrintable(lines.join(QLatin1Char('\n'))));
    }

    void loadsAList()
    {
        const QString root = VelaTest::Sandbox::Current()->Root();
        const QString stranger = VELA_PLUGIN(Stranger), sample = VELA_PLUGIN(SampleBrushes);
        const QString brushes = VELA_PLUGIN(TestBrushes);
        QStringList begun;
        connect(loader, &VLPluginLoader::LoadBegin, this, [&](const QString &n) { begun << n; });
        QVERIFY(loader->LoadPlugins({}).isEmpty() && begun.isEmpty());

        // Failures do not stop the list; a name given twice is tried twice.
        const QStringList input{brushes, root + "/b.so", stranger,
                                sample,  stranger,       root + "/B.so"};
        QCOMPARE(loader->LoadPlugins(input), (QStringList{brushes, sample}));
        QCOMPARE(begun, input);
        QCOMPARE(loader->GetPlugins(),
                 (QList<QObject *>{loader->GetPlugin(brushes), loader->GetPlugin(sample)}));
        // Keys in UTF-16 code-unit order: upper case before lower case.
        QStringList keys = input.mid(0, 4) + input.mid(5);
        std::sort(keys.begin(), keys.end());
        QCOMPARE(loader->GetLoadList(), keys);

        // Names already loaded are dropped silently; another text for the
        // same file is a name of its own and is tried.
        begun.clear();
        LogCapture log;
        QVERIFY(loader->LoadPlugins({sample, sample}).isEmpty());
        QVERIFY(begun.isEmpty() && log.lines.isEmpty());
        const QString alias = sample.section('/', 0, -2) + "/./" + sample.section('/', -1);
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

    // Only kind 2 is registered, and only with the image-file manager there;
    // a root that is both kinds of container is taken as a tool container.
    void pluginContainers()
    {
        const QString images = VELA_PLUGIN(ImageFileContainer);
        QCOMPARE(loader->LoadPlugin(images), images);
        loader->UnloadPlugin(images);
        KVImageFileManager::CreateInstance();
        QCOMPARE(loader->LoadPlugins({images, VELA_PLUGIN(TestBrushes)}).size(), 2);
        QCOMPARE(loader->GetPlugin(images)->property("loadedCalls").toInt(), 1);
        QStringList names;
        for (const KVImageFilePlugin *plugin : KVImageFileManager::GetInstance()->GetPlugins())
            names << plugin->objectName();
        QCOMPARE(names, QStringList{QStringLiteral("png")});
    }

    // Unloads go in load order; slots may call back into the loader, also
    // while it unloads on its way out.
    void unloads()
    {
        const QString sample = VELA_PLUGIN(SampleBrushes), brushes = VELA_PLUGIN(TestBrushes);
        const QString catchAll = VELA_PLUGIN(CatchAllBrushes);
        const QString alias = sample.section('/', 0, -2) + "/./" + sample.section('/', -1);
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
        loader->UnloadPlugins({sample});
        QCOMPARE(loader->GetState(QStringLiteral("not loaded")), VLPluginLoader::PluginUnknown);
        QCOMPARE(loader->GetPlugins(), QList<QObject *>{loader->GetPlugin(brushes)});

        // Held by another loader, a plug-in stays, usable, and goes to the end.
        QCOMPARE(loader->LoadPlugins({sample, alias}).size(), 2);
        QObject *root = loader->GetPlugin(brushes), *sampleRoot = loader->GetPlugin(sample);
        QPluginLoader holder(brushes);
        QVERIFY(holder.load());
        loader->UnloadPlugin(brushes);
        QCOMPARE(loader->GetPlugins(), (QList<QObject *>{sampleRoot, sampleRoot, root}));
        QVERIFY(!qobject_cast<IToolContainer *>(root)->GetTools().isEmpty());
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
    static constexpr int refused = VLPluginLoader::PluginLoadError;
};

VELA_TEST_MAIN(TestVLPluginLoader)
#include "tst_vlpluginloader.moc"
