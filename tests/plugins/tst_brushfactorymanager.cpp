// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "BrushFactoryManager.h"
#include "IBrush.h"
#include "PluginTestSupport.h"
#include "TestBrush.h"
#include "VLPluginLoader.h"
#include "private/BrushFactoryManager_p.h"

#include <QBuffer>

using PluginTest::LogCapture;

// A brush class that no plug-in knows.
VELA_TEST_BRUSH(StrangerBrush, "Test.Stranger")

namespace {

const QString registrySource = QStringLiteral("src\\factorymanagers\\BrushFactoryManager.cpp");

QSet<QString> typeSet(const QStringList &types)
{
    return QSet<QString>(types.begin(), types.end());
}

} // namespace

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

    void singletonLifetime()
    {
        QVERIFY(!BrushFactoryManager::instance());
        BrushFactoryManager::InitInstance();
        BrushFactoryManager *registry = BrushFactoryManager::instance();
        QVERIFY(registry);
        BrushFactoryManager::InitInstance();
        QCOMPARE(BrushFactoryManager::instance(), registry);
        QVERIFY(registry->enumerate().isEmpty());

        LogCapture log;
        BrushFactoryManager::ReleaseInstance();
        QVERIFY(!BrushFactoryManager::instance());
        QCOMPARE(log.Messages(registrySource),
                 (QStringList{QStringLiteral("Destroy"), QStringLiteral("Destroyed")}));
        BrushFactoryManager::ReleaseInstance();
    }

    void firstLoadedPluginWinsAType_data()
    {
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<QString>("winner");
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const QString duplicate = VELA_PLUGIN(TestBrushes);
        QTest::newRow("sample first") << QStringList{sample, duplicate} << sample;
        QTest::newRow("duplicate first") << QStringList{duplicate, sample} << duplicate;
    }

    void firstLoadedPluginWinsAType()
    {
        QFETCH(QStringList, plugins);
        QFETCH(QString, winner);
        scan(plugins);
        BrushFactoryManager *registry = BrushFactoryManager::instance();

        QCOMPARE(registry->enumerate(),
                 typeSet({QStringLiteral("Vela.RoundBrush"), QStringLiteral("Vela.Airbrush"),
                          QStringLiteral("Test.Number")}));
        IBrush *brush = registry->create(QStringLiteral("Vela.RoundBrush"));
        QVERIFY(brush);
        QCOMPARE(brush->typeId(), QStringLiteral("Vela.RoundBrush"));
        // Only the factory that made a brush can release it.
        QVERIFY(FirstBrushFactory(VLPluginLoader::Instance()->GetPlugin(winner))->release(brush));
    }

    void unknownTypes_data()
    {
        QTest::addColumn<QString>("typeId");
        QTest::newRow("never announced") << QStringLiteral("No.Such");
        QTest::newRow("other case") << QStringLiteral("vela.roundbrush");
        QTest::newRow("empty") << QString();
        QTest::newRow("second factory's") << QStringLiteral("Test.Second");
    }

    void unknownTypes()
    {
        QFETCH(QString, typeId);
        scan({VELA_PLUGIN(SampleBrushes), VELA_PLUGIN(TwoFactories)});
        QVERIFY(!BrushFactoryManager::instance()->create(typeId));
    }

    void onlyTheFirstFactoryOfAContainer()
    {
        // Its tool list starts with a null entry and a plain object.
        scan({VELA_PLUGIN(TwoFactories)});
        BrushFactoryManager *registry = BrushFactoryManager::instance();
        QCOMPARE(registry->enumerate(), typeSet({QStringLiteral("Test.First")}));
        IBrush *brush = registry->create(QStringLiteral("Test.First"));
        QVERIFY(brush);
        QVERIFY(registry->release(brush));
    }

    void pluginContainersGiveNoFactory()
    {
        scan({VELA_PLUGIN(ImageFileContainer), VELA_PLUGIN(SampleBrushes)});
        QCOMPARE(BrushFactoryManager::instance()->enumerate(),
                 typeSet({QStringLiteral("Vela.RoundBrush"), QStringLiteral("Vela.Airbrush")}));
    }

    void laterPluginsAreNotSeen()
    {
        scan({VELA_PLUGIN(SampleBrushes)});
        VLPluginLoader::Instance()->LoadPlugin(VELA_PLUGIN(TestBrushes));
        QVERIFY(!BrushFactoryManager::instance()->create(QStringLiteral("Test.Number")));
    }

    void copyAndRelease()
    {
        scan({VELA_PLUGIN(SampleBrushes), VELA_PLUGIN(TestBrushes)});
        BrushFactoryManager *registry = BrushFactoryManager::instance();
        QVERIFY(!registry->copy(nullptr));
        QVERIFY(!registry->release(nullptr));

        IBrush *number = registry->create(QStringLiteral("Test.Number"));
        QBuffer settings;
        settings.setData(QByteArray::fromHex("01020304"));
        settings.open(QIODevice::ReadOnly);
        QVERIFY(number->deserialize(&settings));

        IBrush *copied = registry->copy(number);
        QVERIFY(copied);
        QVERIFY(copied != number);
        QCOMPARE(copied->typeId(), QStringLiteral("Test.Number"));
        QCOMPARE(serialized(copied), QByteArray::fromHex("01020304"));
        QVERIFY(registry->release(copied));
        QVERIFY(registry->release(number));

        // A class that no factory handles.
        StrangerBrush stranger;
        QVERIFY(!registry->copy(&stranger));
        QVERIFY(!registry->release(&stranger));
    }

    void learnedRoutesAreFinal()
    {
        // The flaky factory copies and releases once each; the catch-all
        // factory, behind it, would accept anything it is asked.
        scan({VELA_PLUGIN(FlakyBrushes), VELA_PLUGIN(CatchAllBrushes)});
        BrushFactoryManager *registry = BrushFactoryManager::instance();
        IBrush *flaky = registry->create(QStringLiteral("Test.Flaky"));
        QVERIFY(flaky);

        IBrush *copied = registry->copy(flaky);
        QVERIFY(copied);
        QCOMPARE(copied->typeId(), QStringLiteral("Test.Flaky"));
        QVERIFY(!registry->copy(flaky));
        QVERIFY(!registry->copy(copied));

        QVERIFY(registry->release(copied));
        QVERIFY(!registry->release(flaky));

        // A class without a route still reaches the catch-all factory: it
        // was only the routes that kept it out.
        StrangerBrush stranger;
        IBrush *caught = registry->copy(&stranger);
        QVERIFY(caught);
        QCOMPARE(caught->typeId(), QStringLiteral("Test.CatchAll"));
        QVERIFY(registry->release(caught));
        // The flaky brush is left to its factory, which no longer lets it go.
    }

    void routesAreLearnedOnlyFromSuccess()
    {
        // A copy that every factory refuses teaches nothing: the flaky
        // factory's one copy is still there for its own brush afterwards.
        scan({VELA_PLUGIN(FlakyBrushes)});
        BrushFactoryManager *registry = BrushFactoryManager::instance();
        StrangerBrush stranger;
        QVERIFY(!registry->copy(&stranger));
        QVERIFY(!registry->release(&stranger));

        IBrush *flaky = registry->create(QStringLiteral("Test.Flaky"));
        IBrush *copied = registry->copy(flaky);
        QVERIFY(copied);
        QVERIFY(registry->release(copied));
    }

private:
    static void scan(const QStringList &plugins)
    {
        QCOMPARE(VLPluginLoader::Instance()->LoadPlugins(plugins).size(), plugins.size());
        BrushFactoryManager::InitInstance();
    }

    static QByteArray serialized(IBrush *brush)
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        brush->serialize(&buffer);
        return buffer.data();
    }
};

VELA_TEST_MAIN(TestBrushFactoryManager)
#include "tst_brushfactorymanager.moc"
