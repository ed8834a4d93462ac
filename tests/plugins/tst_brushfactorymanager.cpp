// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "BrushFactoryManager.h"
#include "PluginTestSupport.h"
#include "TestPlugin.h"
#include "VLPluginLoader.h"
#include "private/BrushFactoryManager_p.h"

// A brush class that no plug-in knows.
VELA_TEST_BRUSH(StrangerBrush, "Test.Stranger")

class TestBrushFactoryManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { VLPluginLoader::InitInstance(); }

    void cleanup()
    {
        BrushFactoryManager::ReleaseInstance();
        VLPluginLoader::ReleaseInstance();
    }

    void scan()
    {
        // A plug-in container gives no factory; of two factories in one
        // container (behind a null entry and a plain object) only the first.
        const QString sample = VELA_PLUGIN(SampleBrushes);
        BrushFactoryManager *registry =
            scanned({VELA_PLUGIN(ImageFileContainer), sample, VELA_PLUGIN(TestBrushes),
                     VELA_PLUGIN(TwoFactories)});
        const QSet<QString> types{"Vela.RoundBrush", "Vela.Airbrush", "Test.Number", "Test.First"};
        QCOMPARE(registry->enumerate(), types);
        // The plug-in loaded first makes the type, and only the factory that
        // made a brush can release it.
        IBrush *brush = registry->create("Vela.RoundBrush");
        QVERIFY(brush);
        QVERIFY(FirstBrushFactory(VLPluginLoader::Instance()->GetPlugin(sample))->release(brush));
        for (const char *unknown : {"No.Such", "vela.roundbrush", "", "Test.Second"})
            QVERIFY2(!registry->create(unknown), unknown);
        // Plug-ins loaded later are not seen.
        VLPluginLoader::Instance()->LoadPlugin(VELA_PLUGIN(FlakyBrushes));
        QVERIFY(!registry->create("Test.Flaky"));
        StrangerBrush stranger;
        QVERIFY(!registry->copy(&stranger));
        QVERIFY(!registry->release(&stranger));
    }

    void learnedRoutesAreFinal()
    {
        // The flaky factory copies and releases once each; the catch-all
        // factory, behind it, would accept anything it is asked.
        BrushFactoryManager *registry =
            scanned({VELA_PLUGIN(FlakyBrushes), VELA_PLUGIN(CatchAllBrushes)});
        QVERIFY(!registry->copy(nullptr));
        QVERIFY(!registry->release(nullptr));
        IBrush *flaky = registry->create("Test.Flaky");
        IBrush *copied = registry->copy(flaky);
        QVERIFY(copied && copied != flaky);
        QCOMPARE(copied->typeId(), QStringLiteral("Test.Flaky"));
        QVERIFY(!registry->copy(flaky));
        QVERIFY(registry->release(copied));
        QVERIFY(!registry->release(flaky));

        // A class without a route still reaches the catch-all factory.
        StrangerBrush stranger;
        IBrush *caught = registry->copy(&stranger);
        QVERIFY(caught);
        QCOMPARE(caught->typeId(), QStringLiteral("Test.CatchAll"));
        QVERIFY(registry->release(caught));

        BrushFactoryManager::ReleaseInstance();
        QVERIFY(!BrushFactoryManager::instance());
    }

private:
    static BrushFactoryManager *scanned(const QStringList &plugins)
    {
        VLPluginLoader::Instance()->LoadPlugins(plugins);
        BrushFactoryManager::InitInstance();
        return BrushFactoryManager::instance();
    }
};

VELA_TEST_MAIN(TestBrushFactoryManager)
#include "tst_brushfactorymanager.moc"
