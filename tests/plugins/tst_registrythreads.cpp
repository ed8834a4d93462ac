// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BrushFactoryManager.h"
#include "BrushPresetManager.h"
#include "IBrush.h"
#include "PluginTestSupport.h"
#include "VLPluginLoader.h"

#include <atomic>

class TestRegistryThreads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every thread keeps tables of its own, as an editor window does; the
    // registry, its route caches and the plug-in factories are shared. Each
    // pass starts a new registry and sets the threads off together, so that
    // they learn the routes at once.
    void tablesOnManyThreadsShareTheRegistry()
    {
        VLPluginLoader::InitInstance();
        VLPluginLoader::Instance()->LoadPlugins(
            {VELA_PLUGIN(SampleBrushes), VELA_PLUGIN(TestBrushes)});
        const QStringList types{"Vela.RoundBrush", "Vela.Airbrush", "Test.Number"};
        const int threadCount = 6;
        std::atomic<int> wrong{0}, started{0};
        for (int pass = 0; pass < 40 && !wrong; ++pass) {
            BrushFactoryManager::InitInstance();
            BrushFactoryManager *registry = BrushFactoryManager::instance();
            started = 0;
            const bool ended = VelaTest::RunThreads(threadCount, [&](int) {
                for (++started; started < threadCount;)
                    QThread::yieldCurrentThread();
                BrushPresetManager presets;
                for (int round = 0; round < 20; ++round) {
                    const QString type = types.at(round % types.size());
                    IBrush *brush = registry->create(type);
                    const QUuid id = presets.CreatePreset(brush);
                    const IBrush *preset = presets.GetBrush(id);
                    wrong += !brush || !preset || preset == brush || preset->typeId() != type;
                    wrong += !registry->release(brush) || registry->enumerate().size() != 3;
                    if (round % 3 == 0)
                        presets.RemovePreset(id);
                }
            });
            QVERIFY2(ended, "a thread is stuck: deadlock");
            BrushFactoryManager::ReleaseInstance();
        }
        QCOMPARE(wrong.load(), 0);
        VLPluginLoader::ReleaseInstance();
    }
};

VELA_TEST_MAIN(TestRegistryThreads)
#include "tst_registrythreads.moc"
