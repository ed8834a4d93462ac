// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "IInput.h"
#include "IOutput.h"
#include "IToolContainer.h"
#include "VLIOManager.h"
#include "VLPluginLoader.h"
#include "VelaTestSupport.h"

#include <QBuffer>
#include <QImage>

namespace {

// The tools of a loaded plug-in, in its own order.
QList<QObject *> toolsOf(const QString &loadedFileName)
{
    IToolContainer *container =
        qobject_cast<IToolContainer *>(VLPluginLoader::Instance()->GetPlugin(loadedFileName));
    return container ? container->GetTools() : QList<QObject *>();
}

QImage sampleImage()
{
    QImage image(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(40 * x, 80 * y, 200));
    return image;
}

} // namespace

class TestIOManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void emptyRegistry();
    void scanFilesEveryReaderAndWriter();
    void sameNameLastMetWins();
    void scanRunsOnce();
    void sampleImagePlugin_data();
    void sampleImagePlugin();

private:
    //! Loads exactly these plug-ins, in this order; returns their loaded names.
    QStringList loadOnly(const QStringList &files);
    //! The manager of a start with exactly these plug-ins loaded.
    VLIOManager *startWith(const QStringList &files, QStringList *loaded = nullptr);
};

void TestIOManager::initTestCase()
{
    GlobalApplicationData::InitInstance();
    VLPluginLoader::InitInstance();
}

void TestIOManager::cleanup()
{
    // The registry points into the plug-ins: it goes before they do.
    VLIOManager::ReleaseInstance();
    loadOnly(QStringList());
}

void TestIOManager::cleanupTestCase()
{
    VLPluginLoader::ReleaseInstance();
    GlobalApplicationData::ReleaseInstance();
}

QStringList TestIOManager::loadOnly(const QStringList &files)
{
    VLPluginLoader *loader = VLPluginLoader::Instance();
    // Names that are not loaded are ignored.
    loader->UnloadPlugins(loader->GetLoadList());
    const QStringList names = loader->LoadPlugins(files);
    if (names.size() != files.size())
        qWarning("loaded %d of %d plug-ins", int(names.size()), int(files.size()));
    return names;
}

VLIOManager *TestIOManager::startWith(const QStringList &files, QStringList *loaded)
{
    const QStringList names = loadOnly(files);
    if (loaded)
        *loaded = names;
    VLIOManager::InitInstance();
    return VLIOManager::Instance();
}

void TestIOManager::emptyRegistry()
{
    VLIOManager::InitInstance();
    VLIOManager *manager = VLIOManager::Instance();
    QVERIFY(manager->GetInputs().isEmpty());
    QVERIFY(manager->GetOutputs().isEmpty());
    QVERIFY(!manager->GetInput(QStringLiteral("PNG")));
    QVERIFY(!manager->GetOutput(QString()));
}

void TestIOManager::scanFilesEveryReaderAndWriter()
{
    // Among them a plug-in container and a tool container of brush
    // factories: the scan passes over both.
    QStringList loaded;
    VLIOManager *manager = startWith(
        {VELA_TEST_IO_TOOLS_1, VELA_PLUGIN_CONTAINER, VELA_BRUSH_TOOLS, VELA_TEST_IO_TOOLS_2},
        &loaded);
    QCOMPARE(loaded.size(), 4);

    QCOMPARE(manager->GetInputs(), QStringList({"Alpha", "BothIn", "Same"}));
    QCOMPARE(manager->GetOutputs(), QStringList({"BothOut", "OnlyOut"}));

    const QList<QObject *> first = toolsOf(loaded.at(0));
    QCOMPARE(first.size(), 5);
    QVERIFY(manager->GetInput(QStringLiteral("BothIn")));
    QCOMPARE(manager->GetInput(QStringLiteral("BothIn")), qobject_cast<IInput *>(first.at(4)));
    QCOMPARE(manager->GetOutput(QStringLiteral("BothOut")), qobject_cast<IOutput *>(first.at(4)));
    QCOMPARE(manager->GetOutput(QStringLiteral("OnlyOut")), qobject_cast<IOutput *>(first.at(3)));

    // Names are exact: a writer's name finds no reader, case counts.
    QVERIFY(!manager->GetInput(QStringLiteral("OnlyOut")));
    QVERIFY(!manager->GetInput(QStringLiteral("BothOut")));
    QVERIFY(!manager->GetOutput(QStringLiteral("BothIn")));
    QVERIFY(!manager->GetInput(QStringLiteral("same")));
}

void TestIOManager::sameNameLastMetWins()
{
    // Plug-in order first, then the order of the tools.
    QStringList loaded;
    VLIOManager *manager = startWith({VELA_TEST_IO_TOOLS_1, VELA_TEST_IO_TOOLS_2}, &loaded);
    IInput *expected = qobject_cast<IInput *>(toolsOf(loaded.at(1)).at(1));
    QVERIFY(expected);
    QCOMPARE(manager->GetInput(QStringLiteral("Same")), expected);
    QVERIFY(expected != qobject_cast<IInput *>(toolsOf(loaded.at(1)).at(0)));
    VLIOManager::ReleaseInstance();

    manager = startWith({VELA_TEST_IO_TOOLS_2, VELA_TEST_IO_TOOLS_1}, &loaded);
    expected = qobject_cast<IInput *>(toolsOf(loaded.at(1)).at(0));
    QVERIFY(expected);
    QCOMPARE(manager->GetInput(QStringLiteral("Same")), expected);
}

void TestIOManager::scanRunsOnce()
{
    VLIOManager *manager = startWith({VELA_TEST_IO_TOOLS_1});

    // Plug-ins loaded later are not seen, not even by a second InitInstance.
    QCOMPARE(VLPluginLoader::Instance()->LoadPlugins({VELA_TEST_IO_TOOLS_2}).size(), 1);
    VLIOManager::InitInstance();
    QCOMPARE(VLIOManager::Instance(), manager);
    QVERIFY(!manager->GetInput(QStringLiteral("Alpha")));

    VLIOManager::ReleaseInstance();
    VLIOManager::InitInstance();
    QVERIFY(VLIOManager::Instance()->GetInput(QStringLiteral("Alpha")));
}

void TestIOManager::sampleImagePlugin_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("lossless");
    QTest::newRow("PNG") << "PNG" << true;
    QTest::newRow("BMP") << "BMP" << true;
    QTest::newRow("JPEG") << "JPEG" << false;
}

void TestIOManager::sampleImagePlugin()
{
    QFETCH(QString, format);
    QFETCH(bool, lossless);

    VLIOManager *manager = startWith({VELA_IMAGE_IO_PLUGIN});
    QCOMPARE(manager->GetInputs(), QStringList({"BMP", "JPEG", "PNG"}));
    QCOMPARE(manager->GetOutputs(), QStringList({"BMP", "JPEG", "PNG"}));

    IOutput *writer = manager->GetOutput(format);
    IInput *reader = manager->GetInput(format);
    QVERIFY(writer);
    QVERIFY(reader);
    QCOMPARE(writer->GetName(), format);
    QCOMPARE(reader->GetName(), format);

    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::ReadWrite));
    QVERIFY(writer->Write(sampleImage(), &buffer));
    QVERIFY(buffer.size() > 0);
    buffer.seek(0);
    const QImage read = reader->Read(&buffer);
    QCOMPARE(read.size(), sampleImage().size());
    if (lossless)
        QCOMPARE(read.convertToFormat(QImage::Format_RGB32), sampleImage());

    // Each reader keeps to its own format.
    const QString other =
        format == QLatin1String("BMP") ? QStringLiteral("PNG") : QStringLiteral("BMP");
    buffer.seek(0);
    QVERIFY(manager->GetInput(other)->Read(&buffer).isNull());
}

VELA_TEST_MAIN(TestIOManager)
#include "tst_iomanager.moc"
