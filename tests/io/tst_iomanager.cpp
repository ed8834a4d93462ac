// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "IInput.h"
#include "IOutput.h"
#include "IToolContainer.h"
#include "VLIOManager.h"
#include "VLPluginLoader.h"
#include "VelaTestSupport.h"

#include <QImage>

class TestIOManager : public QObject
{
    Q_OBJECT

    QStringList m_loaded;

    // The manager of a start with exactly these plug-ins loaded, in order.
    VLIOManager *startWith(const QStringList &files)
    {
        VLIOManager::ReleaseInstance();
        VLPluginLoader *loader = VLPluginLoader::Instance();
        loader->UnloadPlugins(loader->GetLoadList());
        m_loaded = loader->LoadPlugins(files);
        VLIOManager::InitInstance();
        return m_loaded.size() == files.size() ? VLIOManager::Instance() : nullptr;
    }

    template<typename Interface>
    Interface *tool(int plugin, int index) const
    {
        auto *container = qobject_cast<IToolContainer *>(
            VLPluginLoader::Instance()->GetPlugin(m_loaded.at(plugin)));
        return qobject_cast<Interface *>(container->GetTools().at(index));
    }

private Q_SLOTS:
    void initTestCase()
    {
        GlobalApplicationData::InitInstance();
        VLPluginLoader::InitInstance();
    }

    // The registry points into the plug-ins: it goes before they do.
    void cleanup() { startWith({}); }

    void cleanupTestCase()
    {
        VLIOManager::ReleaseInstance();
        VLPluginLoader::ReleaseInstance();
        GlobalApplicationData::ReleaseInstance();
    }

    void scan()
    {
        VLIOManager *manager = startWith({});
        QVERIFY(manager->GetInputs().isEmpty() && manager->GetOutputs().isEmpty());

        // A plug-in container and a container of brush factories are passed over.
        manager = startWith(
            {VELA_TEST_IO_TOOLS_1, VELA_PLUGIN_CONTAINER, VELA_BRUSH_TOOLS, VELA_TEST_IO_TOOLS_2});
        QVERIFY(manager);
        QCOMPARE(manager->GetInputs(), QStringList({"Alpha", "BothIn", "Same"}));
        QCOMPARE(manager->GetOutputs(), QStringList({"BothOut", "OnlyOut"}));
        QCOMPARE(manager->GetInput(QStringLiteral("BothIn")), tool<IInput>(0, 4));
        QCOMPARE(manager->GetOutput(QStringLiteral("BothOut")), tool<IOutput>(0, 4));
        QCOMPARE(manager->GetOutput(QStringLiteral("OnlyOut")), tool<IOutput>(0, 3));
        // Names are exact: a writer's name finds no reader, case counts.
        QVERIFY(!manager->GetInput("BothOut"));
        QVERIFY(!manager->GetInput("same"));

        // Plug-ins loaded later are not seen, not even by a second InitInstance.
        QCOMPARE(VLPluginLoader::Instance()->LoadPlugins({VELA_IMAGE_IO_PLUGIN}).size(), 1);
        VLIOManager::InitInstance();
        QCOMPARE(VLIOManager::Instance(), manager);
        QVERIFY(!manager->GetInput("PNG"));
    }

    // Plug-in order first, then the order of the tools.
    void sameNameLastMetWins()
    {
        QVERIFY(startWith({VELA_TEST_IO_TOOLS_1, VELA_TEST_IO_TOOLS_2}));
        QCOMPARE(VLIOManager::Instance()->GetInput(QStringLiteral("Same")), tool<IInput>(1, 1));
        QVERIFY(startWith({VELA_TEST_IO_TOOLS_2, VELA_TEST_IO_TOOLS_1}));
        QCOMPARE(VLIOManager::Instance()->GetInput(QStringLiteral("Same")), tool<IInput>(1, 0));
    }

    void sampleImagePlugin()
    {
        VLIOManager *manager = startWith({VELA_IMAGE_IO_PLUGIN});
        QVERIFY(manager);
        const QStringList formats = {"BMP", "JPEG", "PNG"};
        QCOMPARE(manager->GetInputs(), formats);
        QCOMPARE(manager->GetOutputs(), formats);

        QImage image(5, 3, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(40 * x, 80 * y, 200));
        for (const QString &format : formats) {
            QBuffer buffer;
            QVERIFY(buffer.open(QIODevice::ReadWrite));
            QVERIFY(manager->GetOutput(format)->Write(image, &buffer));
            buffer.seek(0);
            const QImage read = manager->GetInput(format)->Read(&buffer);
            QCOMPARE(read.size(), image.size());
            if (format != QLatin1String("JPEG"))
                QCOMPARE(read.convertToFormat(QImage::Format_RGB32), image);
            // Each reader keeps to its own format.
            buffer.seek(0);
            const QString other = format == QLatin1String("BMP") ? "PNG" : "BMP";
            QVERIFY(manager->GetInput(other)->Read(&buffer).isNull());
        }
    }
};

VELA_TEST_MAIN(TestIOManager)
#include "tst_iomanager.moc"
