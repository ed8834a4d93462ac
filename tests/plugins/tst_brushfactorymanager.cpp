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

    void scan_data()
    {
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<QString>("winner");
        QTest::addColumn<QStringList>("types");
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString duplicate = VELA_PLUGIN(TestBrushes);
        const QStringList sampleTypes{QStringLiteral("Vela.RoundBrush"),
                                      QStringLiteral("Vela.Airbrush"),
                                      QStringLiteral("Test.Number")};
        // Plug-in containers give no factory; of two factories in one
        // container (behind a null entry and a plain object) only the first.
        QTest::newRow("sample first")
            << QStringList{VELA_PLUGIN(ImageFileContainer), sample, duplicate,
                           VELA_PLUGIN(TwoFactories)}
            << sample << sampleTypes + QStringList{QStringLiteral("Test.First")};
        QTest::newRow("duplicate first")
            << QStringList{duplicate, sample} << duplicate << sampleTypes;
    }

    void scan()
    {
        QFETCH(QStringList, plugins);
        QFETCH(QString, winner);
        QFETCH(QStringList, types);
        BrushFactoryManager *registry = scanned(plugins);

        QCOMPARE(registry->enumerate(), QSet<QString>(types.begin(), types.end()));
        // The plug-in loaded first makes the type, and only the factory that
        // made a brush can release it.
        IBrush *brush = registry->create(QStringLiteral("Vela.RoundBrush"));
        QVERIFY(brush);
        QVERIFY(FirstBrushFactory(VLPluginLoader::Instance()->GetPlugin(winner))->release(brush));
        for (const QString &unknown : {QStringLiteral("No.Such"), QStringLiteral("vela.roundbrush"),
                                       QString(), QStringLiteral("Test.Second")})
            QVERIFY2(!registry->create(unknown), qPrintable(unknown));
        // Plug-ins loaded later are not seen.
        VLPluginLoader::Instance()->LoadPlugin(VELA_PLUGIN(FlakyBrushes));
        QVERIFY(!registry->create(QStringLiteral("Test.Flaky")));
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
        IBrush *flaky = registry->create(QStringLiteral("Test.Flaky"));
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

        LogCapture log;
        BrushFactoryManager::ReleaseInstance();
        QVERIFY(!BrushFactoryManager::instance());
        QCOMPARE(log.Messages(QStringLiteral("src\\factorymanagers\\BrushFactoryManager.cpp")),
                 (QStringList{QStringLiteral("Destroy"), QStringLiteral("Destroyed")}));
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
