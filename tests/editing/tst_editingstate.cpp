// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "NamedBrushTool.h"

#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QRegularExpression>
#include <QSignalSpy>

namespace {

// The getter, setter and signal of one of the four colours.
struct ColorAccess
{
    QColor (GlobalApplicationData::*get)() const;
    void (GlobalApplicationData::*set)(const QColor &);
    void (GlobalApplicationData::*changed)();
};

const ColorAccess colorAccess[] = {
    {&GlobalApplicationData::GetBackgroundColor, &GlobalApplicationData::SetBackgroundColor,
     &GlobalApplicationData::BackgroundColorChanged},
    {&GlobalApplicationData::GetForegroundColor, &GlobalApplicationData::SetForegroundColor,
     &GlobalApplicationData::ForegroundColorChanged},
    {&GlobalApplicationData::GetMaskModeBackgroundColor,
     &GlobalApplicationData::SetMaskModeBackgroundColor,
     &GlobalApplicationData::MaskModeBackgroundColorChanged},
    {&GlobalApplicationData::GetMaskModeForegroundColor,
     &GlobalApplicationData::SetMaskModeForegroundColor,
     &GlobalApplicationData::MaskModeForegroundColorChanged},
};

// The settings file of the working directory that may move the patterns.
QString localSettingsFile()
{
    return QDir::current().filePath(QStringLiteral("settings/kelvane.ini"));
}

QString nativeAbsolute(const QString &folder, const QString &name)
{
    return QDir::toNativeSeparators(QDir(folder).absoluteFilePath(name));
}

} // namespace

class TestEditingState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void colors_data();
    void colors();
    void predefinedColors_data();
    void predefinedColors();
    void gradient();

    void noPatternsBeforeTheScan();
    void patternsBesideTheProgram();
    void patternsAtStartUp();
    void patternsInTheConfiguredFolder_data();
    void patternsInTheConfiguredFolder();
    void noPatternFolderMeansNoPatterns();
    void patternIndex();

    void registerBrushTools();
    void brushToolsListedByName();
    void unregisterBrushTools();

private:
    QString makePatternBase();

    GlobalApplicationData *m_data = nullptr;
};

void TestEditingState::initTestCase()
{
    qRegisterMetaType<IBrushTool *>();
}

void TestEditingState::init()
{
    // Every test starts from a fresh application data object.
    GlobalApplicationData::ReleaseInstance();
    QFile::remove(localSettingsFile());
    GlobalApplicationData::InitInstance();
    m_data = GlobalApplicationData::Instance();
    QVERIFY(m_data);
}

void TestEditingState::cleanupTestCase()
{
    GlobalApplicationData::ReleaseInstance();
}

// A base folder whose "brushpatterns" holds images of every kind, in mixed
// case, next to files and a folder that are not patterns.
QString TestEditingState::makePatternBase()
{
    const QString base = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("patternbase"));
    const QString folder = base + QStringLiteral("/brushpatterns/");
    for (const char *name : {"b.PNG", "A.jpg", "c.bmp", "Z.JPG", "d.gif", "e.txt", "png"})
        VelaTest::WriteFile(folder + QLatin1String(name), "image");
    QDir(folder).mkdir(QStringLiteral("folder.png"));
    VelaTest::WriteFile(base + QStringLiteral("/base.png"), "image");
    return base;
}

void TestEditingState::colors_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QColor>("initial");

    QTest::newRow("background") << 0 << QColor(Qt::white);
    QTest::newRow("foreground") << 1 << QColor(Qt::black);
    QTest::newRow("mask-mode background") << 2 << QColor(Qt::black);
    QTest::newRow("mask-mode foreground") << 3 << QColor(Qt::white);
}

void TestEditingState::colors()
{
    QFETCH(int, which);
    QFETCH(QColor, initial);
    const ColorAccess &access = colorAccess[which];
    GlobalApplicationData *data = m_data;

    QCOMPARE((data->*access.get)(), initial);

    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const ColorAccess &each : colorAccess)
        spies.emplace_back(new QSignalSpy(data, each.changed));
    // A slot may read the new colour back: the lock is free by then.
    QColor seen;
    connect(
        data, access.changed, this, [&] { seen = (data->*access.get)(); }, Qt::DirectConnection);

    (data->*access.set)(initial);
    for (const auto &spy : spies)
        QCOMPARE(spy->count(), 0);

    const QColor red(Qt::red);
    (data->*access.set)(red);
    QCOMPARE((data->*access.get)(), red);
    QCOMPARE(seen, red);
    for (int i = 0; i < int(spies.size()); ++i)
        QCOMPARE(spies[i]->count(), i == which ? 1 : 0);

    (data->*access.set)(red);
    QCOMPARE(spies[which]->count(), 1);

    // The same colour in another model is a change.
    const QColor hsvRed = red.toHsv();
    (data->*access.set)(hsvRed);
    QCOMPARE(spies[which]->count(), 2);
    QCOMPARE((data->*access.get)().spec(), QColor::Hsv);
    QCOMPARE(seen.spec(), QColor::Hsv);
}

void TestEditingState::predefinedColors_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QColor>("color");

    QTest::newRow("first grey") << 0 << QColor(0, 0, 0);
    QTest::newRow("last grey") << 15 << QColor(240, 240, 240);
    QTest::newRow("blues") << 16 << QColor(0, 0, 255);
    QTest::newRow("last blue") << 31 << QColor(0, 240, 255);
    QTest::newRow("reds") << 32 << QColor(255, 0, 0);
    QTest::newRow("last red") << 47 << QColor(255, 240, 0);
    QTest::newRow("browns") << 48 << QColor(175, 80, 0);
    QTest::newRow("last brown") << 55 << QColor(0, 80, 0);
    QTest::newRow("olives") << 56 << QColor(25, 80, 0);
    QTest::newRow("last olive") << 63 << QColor(200, 255, 0);
    QTest::newRow("oranges") << 64 << QColor(255, 175, 0);
    QTest::newRow("last orange") << 71 << QColor(255, 245, 224);
    QTest::newRow("teals") << 72 << QColor(0, 165, 175);
    QTest::newRow("last") << 79 << QColor(0, 95, 175);
}

void TestEditingState::predefinedColors()
{
    QFETCH(int, index);
    QFETCH(QColor, color);

    const QList<QColor> palette = GlobalApplicationData::GetPredefinedColorList();
    QCOMPARE(palette.size(), 80);
    QCOMPARE(palette.at(index), color);
    for (const QColor &each : palette)
        QCOMPARE(each.alpha(), 255);
    QVERIFY(!palette.contains(QColor(Qt::white)));
}

void TestEditingState::gradient()
{
    QCOMPARE(m_data->GetGradient(), nullptr);

    QSignalSpy changed(m_data, &GlobalApplicationData::GradientChanged);
    GlobalApplicationData *data = m_data;
    QGradient seen;
    connect(
        data, &GlobalApplicationData::GradientChanged, this, [&] { seen = *data->GetGradient(); },
        Qt::DirectConnection);

    QLinearGradient gradient(0, 0, 100, 0);
    gradient.setColorAt(0, Qt::red);
    gradient.setColorAt(1, Qt::blue);
    m_data->SetGradient(gradient);
    QCOMPARE(changed.count(), 1);
    QVERIFY(m_data->GetGradient());
    QVERIFY(*m_data->GetGradient() == gradient);
    QVERIFY(seen == gradient);

    // Announced even when unchanged.
    m_data->SetGradient(gradient);
    QCOMPARE(changed.count(), 2);
}

void TestEditingState::noPatternsBeforeTheScan()
{
    QSignalSpy changed(m_data, &GlobalApplicationData::PatternIndexChanged);
    QCOMPARE(m_data->GetPatternsCount(), 0);
    QCOMPARE(m_data->GetPatternsFileList(), QStringList());
    QCOMPARE(m_data->GetCurrentPatternIndex(), 0);
    QVERIFY(m_data->GetPatternFile(0).isNull());
    QCOMPARE(m_data->SetPatternIndex(0), false);
    QCOMPARE(changed.count(), 0);
}

void TestEditingState::patternsBesideTheProgram()
{
    // Loading the preferences scans the patterns first. Without a settings
    // file in the working directory the shipped patterns are found, ordered
    // by name ignoring case.
    const QString folder = VelaTest::AppFolder() + QStringLiteral("/brushpatterns");
    m_data->InitUserPreferences();
    QCOMPARE(m_data->GetPatternsFileList(),
             QStringList({nativeAbsolute(folder, QStringLiteral("canvas.jpg")),
                          nativeAbsolute(folder, QStringLiteral("checkers.png")),
                          nativeAbsolute(folder, QStringLiteral("Crosshatch.bmp"))}));
    QCOMPARE(m_data->GetCurrentPatternIndex(), 0);
}

void TestEditingState::patternsAtStartUp()
{
    // The editor's start-up, played by the host, scans the patterns.
    const VelaTest::ChildResult run = VelaTest::RunChild(
        VelaTest::AppFolder() + QStringLiteral("/velahost"), {QStringLiteral("report")});
    QCOMPARE(run.exitCode, 0);
    const QString report = QString::fromUtf8(run.standardOutput);
    QVERIFY2(report.contains(QStringLiteral("Pattern files:         3\n")), qPrintable(report));
    const QString folder = VelaTest::AppFolder() + QStringLiteral("/brushpatterns");
    QVERIFY(report.contains(nativeAbsolute(folder, QStringLiteral("Crosshatch.bmp"))));
}

void TestEditingState::patternsInTheConfiguredFolder_data()
{
    QTest::addColumn<QString>("configuredPath");

    const QString base = VelaTest::Sandbox::Current()->Root() + QStringLiteral("/patternbase");
    QTest::newRow("absolute") << base;
    // Relative to the working directory.
    QTest::newRow("relative") << QStringLiteral("../patternbase");
}

void TestEditingState::patternsInTheConfiguredFolder()
{
    QFETCH(QString, configuredPath);

    const QString base = makePatternBase();
    VelaTest::WriteFile(localSettingsFile(), "[Plugins]\nPATH=" + configuredPath.toUtf8() + "\n");
    const QString workingDirectory = QDir::currentPath();

    m_data->InitUserPreferences();
    const QString folder = base + QStringLiteral("/brushpatterns");
    const QStringList expected = {
        nativeAbsolute(folder, QStringLiteral("A.jpg")),
        nativeAbsolute(folder, QStringLiteral("b.PNG")),
        nativeAbsolute(folder, QStringLiteral("c.bmp")),
        nativeAbsolute(folder, QStringLiteral("folder.png")),
        nativeAbsolute(folder, QStringLiteral("Z.JPG")),
    };
    QCOMPARE(m_data->GetPatternsFileList(), expected);
    QCOMPARE(m_data->GetPatternsCount(), expected.size());
    QCOMPARE(m_data->GetPatternFile(4), expected.at(4));
    QVERIFY(m_data->GetPatternFile(5).isNull());
    QVERIFY(m_data->GetPatternFile(-1).isNull());
    QCOMPARE(QDir::currentPath(), workingDirectory);

    // Another scan appends and starts again at the first pattern.
    QVERIFY(m_data->SetPatternIndex(2));
    m_data->InitUserPreferences();
    QCOMPARE(m_data->GetPatternsFileList(), expected + expected);
    QCOMPARE(m_data->GetCurrentPatternIndex(), 0);
}

void TestEditingState::noPatternFolderMeansNoPatterns()
{
    // The base folder has images of its own, but no "brushpatterns".
    const QString base = makePatternBase();
    QVERIFY(QDir(base + QStringLiteral("/brushpatterns")).removeRecursively());
    VelaTest::WriteFile(localSettingsFile(), "[Plugins]\nPATH=" + base.toUtf8() + "\n");

    m_data->InitUserPreferences();
    QCOMPARE(m_data->GetPatternsFileList(), QStringList());
    QCOMPARE(m_data->GetCurrentPatternIndex(), 0);
}

void TestEditingState::patternIndex()
{
    makePatternBase();
    VelaTest::WriteFile(localSettingsFile(), "[Plugins]\nPATH=../patternbase\n");
    m_data->InitUserPreferences();
    QCOMPARE(m_data->GetPatternsCount(), 5);

    QSignalSpy changed(m_data, &GlobalApplicationData::PatternIndexChanged);
    GlobalApplicationData *data = m_data;
    QString seenFile;
    connect(
        data, &GlobalApplicationData::PatternIndexChanged, this,
        [&](int index) {
            QCOMPARE(data->GetCurrentPatternIndex(), index);
            seenFile = data->GetPatternFile(index);
        },
        Qt::DirectConnection);

    QCOMPARE(m_data->SetPatternIndex(0), true);
    QCOMPARE(changed.count(), 0);

    QCOMPARE(m_data->SetPatternIndex(3), true);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 3);
    QCOMPARE(seenFile, m_data->GetPatternFile(3));

    QCOMPARE(m_data->SetPatternIndex(3), true);
    QCOMPARE(m_data->SetPatternIndex(-1), false);
    QCOMPARE(m_data->SetPatternIndex(5), false);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_data->GetCurrentPatternIndex(), 3);
}

void TestEditingState::registerBrushTools()
{
    QSignalSpy registered(m_data, &GlobalApplicationData::BrushToolRegistered);
    GlobalApplicationData *data = m_data;
    IBrushTool *seenTool = nullptr;
    connect(
        data, &GlobalApplicationData::BrushToolRegistered, this,
        [&](const QString &id, IBrushTool *) { seenTool = data->GetBrushTool(id); },
        Qt::DirectConnection);

    QVERIFY(m_data->RegisterBrushTool(nullptr).isNull());
    QCOMPARE(registered.count(), 0);
    QCOMPARE(m_data->GetRegistredBrushTools(), QStringList());

    NamedBrushTool brush(QStringLiteral("Brush"));
    const QString id = m_data->RegisterBrushTool(&brush);
    static const QRegularExpression bracedLowerCaseUuid(
        QStringLiteral("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$"));
    QVERIFY2(bracedLowerCaseUuid.match(id).hasMatch(), qPrintable(id));
    QCOMPARE(registered.count(), 1);
    QCOMPARE(registered.at(0).at(0).toString(), id);
    QCOMPARE(qvariant_cast<IBrushTool *>(registered.at(0).at(1)), &brush);
    QCOMPARE(seenTool, &brush);

    // Once registered, a tool keeps its id.
    QCOMPARE(m_data->RegisterBrushTool(&brush), id);
    QCOMPARE(registered.count(), 1);

    QCOMPARE(m_data->GetBrushTool(id), &brush);
    QCOMPARE(m_data->GetBrushTool(id.toUpper()), nullptr);
    QCOMPARE(m_data->GetBrushTool(QString()), nullptr);

    NamedBrushTool sameName(QStringLiteral("Brush"));
    const QString otherId = m_data->RegisterBrushTool(&sameName);
    QVERIFY(otherId != id);
    QCOMPARE(registered.count(), 2);
    QCOMPARE(m_data->GetRegistredBrushTools().size(), 2);

    QVERIFY(m_data->UnregisterBrushTool(id));
    QVERIFY(m_data->UnregisterBrushTool(otherId));
}

void TestEditingState::brushToolsListedByName()
{
    NamedBrushTool gamma(QStringLiteral("Gamma"));
    NamedBrushTool beta(QStringLiteral("beta"));
    NamedBrushTool alpha(QStringLiteral("Alpha"));
    const QString gammaId = m_data->RegisterBrushTool(&gamma);
    const QString betaId = m_data->RegisterBrushTool(&beta);
    const QString alphaId = m_data->RegisterBrushTool(&alpha);

    // Upper case sorts before lower case.
    QCOMPARE(m_data->GetRegistredBrushTools(), QStringList({alphaId, gammaId, betaId}));

    for (const QString &id : {alphaId, betaId, gammaId})
        QVERIFY(m_data->UnregisterBrushTool(id));
    QCOMPARE(m_data->GetRegistredBrushTools(), QStringList());
}

void TestEditingState::unregisterBrushTools()
{
    NamedBrushTool pencil(QStringLiteral("Pencil"));
    NamedBrushTool eraser(QStringLiteral("Eraser"));
    const QString pencilId = m_data->RegisterBrushTool(&pencil);
    const QString eraserId = m_data->RegisterBrushTool(&eraser);
    QVERIFY(m_data->GetBrushToolID().isNull());
    m_data->SetBrushToolID(pencilId);

    QSignalSpy unregistered(m_data, &GlobalApplicationData::BrushToolUnregistered);
    GlobalApplicationData *data = m_data;
    bool stillThere = true;
    connect(
        data, &GlobalApplicationData::BrushToolUnregistered, this,
        [&](const QString &id, IBrushTool *) { stillThere = data->GetBrushTool(id) != nullptr; },
        Qt::DirectConnection);

    QVERIFY(m_data->UnregisterBrushTool(eraserId));
    QCOMPARE(unregistered.count(), 1);
    QCOMPARE(unregistered.at(0).at(0).toString(), eraserId);
    QCOMPARE(qvariant_cast<IBrushTool *>(unregistered.at(0).at(1)), &eraser);
    QCOMPARE(stillThere, false);
    QCOMPARE(m_data->GetBrushToolID(), pencilId);

    QVERIFY(!m_data->UnregisterBrushTool(eraserId));
    QVERIFY(!m_data->UnregisterBrushTool(pencilId.toUpper()));
    QCOMPARE(unregistered.count(), 1);

    // The current tool's id goes with the tool.
    QVERIFY(m_data->UnregisterBrushTool(pencilId));
    QCOMPARE(unregistered.count(), 2);
    QCOMPARE(qvariant_cast<IBrushTool *>(unregistered.at(1).at(1)), &pencil);
    QVERIFY(m_data->GetBrushToolID().isNull());

    // The id is stored as given, registered or not.
    m_data->SetBrushToolID(QStringLiteral("{not-a-tool}"));
    QCOMPARE(m_data->GetBrushToolID(), QStringLiteral("{not-a-tool}"));
}

VELA_TEST_MAIN(TestEditingState)
#include "tst_editingstate.moc"
