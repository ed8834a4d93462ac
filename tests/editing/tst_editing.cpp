// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "IBrushTool.h"
#include "VLApplicationSettings.h"

#include <QLinearGradient>

#include <atomic>
#include <cmath>
#include <tuple>

namespace {

using namespace VelaTest;
using Data = GlobalApplicationData;

const auto data = &Data::Instance;

// Slots run on the emitting thread and may call back in: a signal emitted
// with the data mutex held deadlocks there.
const auto onSignal = [](auto signal, auto slot) {
    QObject::connect(data(), signal, data(), slot, Qt::DirectConnection);
};

// One stored preference as a QVariant: stores a valid argument, then reads.
using Preference = std::function<QVariant(const QVariant &)>;

// A row: the key, the value type, the getter's prefix ("Get" or "Is") and the
// name that follows it and "Set", the default, another value and the keys read
// when nothing is stored, the farthest first.
// clang-format off
#define ROW(key, Type, Is, Name, byDefault, other, ...)                                            \
    QTest::newRow(key) << Preference([](const QVariant &v) {                                       \
        if (v.isValid()) data()->Set##Name(decltype(data()->Is##Name())(v.value<Type>()));         \
        return QVariant(Type(data()->Is##Name())); })                                              \
        << QVariant(byDefault) << QVariant(other) << QStringList({__VA_ARGS__})

// The name, getter, setter, signal and initial value of each of the four
// colours.
#define COLOUR(N, c) {#N, &Data::Get##N##Color, &Data::Set##N##Color, &Data::N##ColorChanged, c}
// clang-format on
const struct
{
    const char *name;
    QColor (Data::*get)() const;
    void (Data::*set)(const QColor &);
    void (Data::*changed)();
    Qt::GlobalColor initial;
} colours[] = {COLOUR(Background, Qt::white), COLOUR(Foreground, Qt::black),
               COLOUR(MaskModeBackground, Qt::black), COLOUR(MaskModeForeground, Qt::white)};

// The settings file of the working directory, which may move the patterns.
const QString localSettingsFile = "settings/kelvane.ini";

// A brush tool that is nothing but its name, as the registry lists it.
struct NamedBrushTool : IBrushTool
{
    explicit NamedBrushTool(const QString &toolName) { name = toolName; }
    void OnActivate() override {}
    void OnDeactivate() override {}
    QString GetName() const override { return name; }
    QString name;
};

// An end point at exactly this angle from the origin, as QLineF measures it
// (counter-clockwise, y downwards): polar coordinates miss by an ulp now and
// then, so the neighbouring points are tried, nearest first.
QPointF pointAtAngle(qreal degrees)
{
    QPointF point = QLineF::fromPolar(100, degrees).p2();
    const qreal target = degrees < 0 ? degrees + 360 : degrees;
    const qreal ulp = std::nextafter(point.y(), HUGE_VAL) - point.y();
    for (int step = 1; step < 4096 && QLineF(QPointF(), point).angle() != target; ++step)
        point.ry() += (step % 2 ? step : -step) * ulp;
    return point;
}

} // namespace

Q_DECLARE_METATYPE(Preference)

class TestEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every test starts from a fresh application data object and no settings.
    void init()
    {
        qRegisterMetaType<IBrushTool *>();
        Data::ReleaseInstance();
        QFile::remove(localSettingsFile);
        QFile::remove(VLApplicationSettings::GetFileName());
        Data::InitInstance();
        // A first start stores the installer's language: start empty.
        QFile::remove(VLApplicationSettings::GetFileName());
    }
    void cleanupTestCase() { Data::ReleaseInstance(); }

    void keysDefaultsAndFallbacks_data()
    {
        QTest::addColumn<Preference>("preference");
        QTest::addColumn<QVariant>("byDefault");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QStringList>("fallbacks");

        // An empty path is a value, not an absence: it hides the fallbacks.
        const QString none, open = QStringLiteral("Save/PathOpen");
        ROW("Save/PathOpen", QString, Get, PathOpen, none, "/p");
        ROW("Save/PathExport", QString, Get, ExportPath, none, none, open);
        ROW("Batch/Path/Open", QString, Get, BatchOpenPath, none, none, open);
        ROW("Batch/Path/Input", QString, Get, BatchInputPath, none, none, open);
        ROW("Batch/Path/Output", QString, Get, BatchOutputPath, none, none, open,
            "Batch/Path/Input");
        ROW("GridSettings/Visible", bool, Is, GridVisible, false, true);
        ROW("GridSettings/SnapToGrid", bool, Is, SnapToGrid, false, true);
        ROW("GuidesSettings/Visible", bool, Is, GuidesVisible, false, true);
        ROW("GuidesSettings/SnapToGuides", bool, Is, SnapToGuides, false, true);
        ROW("MessagesAndConfirmationsSettings/ShowJPGCompressionSettings", bool, Is,
            JPGCompressionVisible, true, false);
        ROW("MessagesAndConfirmationsSettings/ShowPNGCompressionSettings", bool, Is,
            PNGCompressionVisible, true, false);
        ROW("MessagesAndConfirmationsSettings/ShowTIFFCompressionSettings", bool, Is,
            TIFFCompressionVisible, true, false);
        ROW("ColorManagement/MissingPolicy", int, Get, ColorManagementMissingPolicy, 0, 2);
        ROW("ColorManagement/EqualPolicy", int, Get, ColorManagementEqualPolicy, 1, 0);
        // A number outside the enumeration is kept as it is.
        ROW("ColorManagement/NotEqualPolicy", int, Get, ColorManagementNotEqualPolicy, 0, 7);
        ROW("ColorManagement/ColorSpaceMismatchPolicy", int, Get,
            ColorManagementColorSpaceMismatchPolicy, 0, 1);
        ROW("Theme/Path", QString, Get, ThemeSearchPath, ":/Dark", "/p");
    }

    void keysDefaultsAndFallbacks()
    {
        QFETCH(Preference, preference);
        QFETCH(QVariant, byDefault);
        QFETCH(QVariant, value);
        QFETCH(QStringList, fallbacks);

        QCOMPARE(preference({}), byDefault);
        // The nearest stored fallback is looked up at every call.
        for (const QString &key : fallbacks) {
            VLApplicationSettings::SetValue(key, key);
            QCOMPARE(preference({}), QVariant(key));
        }
        QCOMPARE(preference(value), value);
        // Stored under its key as text ("true", "2").
        const QSettings file(VLApplicationSettings::GetFileName(), QSettings::IniFormat);
        QCOMPARE(file.allKeys().size(), fallbacks.size() + 1);
        QCOMPARE(file.value(QTest::currentDataTag(), "absent").toString(), value.toString());
        // Kept for the next start; the theme takes effect only then.
        QCOMPARE(data()->GetCurrentThemeSearchPath(), QStringLiteral(":/Dark"));
        Data::ReleaseInstance();
        Data::InitInstance();
        QCOMPARE(preference({}), value);
        QCOMPARE(data()->GetCurrentThemeSearchPath(), data()->GetThemeSearchPath());
    }

    void colors_data()
    {
        QTest::addColumn<int>("which");
        for (int which = 0; which < 4; ++which)
            QTest::newRow(colours[which].name) << which;
    }

    void colors()
    {
        QFETCH(int, which);
        const auto &colour = colours[which];
        QCOMPARE((data()->*colour.get)(), QColor(colour.initial));
        // Every announcement of a colour, with the value that its slot reads.
        QList<QPair<QString, QColor>> seen;
        for (const auto &each : colours)
            onSignal(each.changed, [&, each] { seen.append({each.name, (data()->*each.get)()}); });

        // An equal colour is no change; the same colour in another model is
        // (QColor equality includes the model).
        const QColor red(Qt::red);
        for (const QColor &color : {QColor(colour.initial), red, red, red.toHsv()})
            (data()->*colour.set)(color);
        QCOMPARE(seen,
                 (QList<QPair<QString, QColor>>{{colour.name, red}, {colour.name, red.toHsv()}}));
    }

    void gradient()
    {
        QCOMPARE(data()->GetGradient(), nullptr);
        QList<QGradient> seen; // what the slots read
        onSignal(&Data::GradientChanged, [&] { seen << *data()->GetGradient(); });
        QLinearGradient gradient(0, 0, 100, 0);
        // Announced even when unchanged.
        data()->SetGradient(gradient);
        data()->SetGradient(gradient);
        QCOMPARE(seen, QList<QGradient>({gradient, gradient}));
    }

    void patternScan_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("names");

        // Images of every kind in mixed case beside files and a folder that
        // are not patterns; the base folder has an image of its own.
        const QString base = Sandbox::Current()->MakeFolder("base");
        for (const char *name :
             {"b.PNG", "A.jpg", "c.bmp", "Z.JPG", "d.gif", "e.txt", "png", "folder.png/x.png"})
            WriteFile(base + "/brushpatterns/" + name, "image");
        WriteFile(base + "/base.png", "image");

        // Without a settings file in the working directory: the shipped ones.
        QTest::newRow("shipped") << QString() << AppFolder() + "/brushpatterns"
                                 << QStringList{"canvas.jpg", "checkers.png", "Crosshatch.bmp"};
        QTest::newRow("relative") << "../base" << base + "/brushpatterns"
                                  << QStringList{"A.jpg", "b.PNG", "c.bmp", "folder.png", "Z.JPG"};
    }

    void patternScan()
    {
        QFETCH(QString, configured);
        QFETCH(QString, folder);
        QFETCH(QStringList, names);
        if (!configured.isNull())
            WriteFile(localSettingsFile, "[Plugins]\nPATH=" + configured.toUtf8());
        // Loading the preferences scans the patterns first.
        data()->InitUserPreferences();
        QStringList expected;
        for (const QString &name : names)
            expected << QDir::toNativeSeparators(QDir(folder).absoluteFilePath(name));
        QCOMPARE(data()->GetPatternsFileList(), expected);
        QCOMPARE(data()->GetPatternsCount(), expected.size());
        QCOMPARE(data()->GetPatternFile(1), expected.value(1));
        QVERIFY(data()->GetPatternFile(expected.size()).isNull());

        // A change of index is announced once; another scan appends and
        // starts again at the first pattern.
        QSignalSpy changed(data(), &Data::PatternIndexChanged);
        for (int index : {1, 1, -1, int(names.size())})
            QCOMPARE(data()->SetPatternIndex(index), index >= 0 && index < names.size());
        QCOMPARE(changed.count(), names.size() > 1 ? 1 : 0);
        data()->InitUserPreferences();
        QCOMPARE(data()->GetPatternsFileList(), expected + expected);
        QCOMPARE(data()->GetCurrentPatternIndex(), 0);
    }

    void brushTools()
    {
        QSignalSpy registered(data(), &Data::BrushToolRegistered);
        QSignalSpy unregistered(data(), &Data::BrushToolUnregistered);
        QVERIFY(data()->RegisterBrushTool(nullptr).isNull());
        NamedBrushTool gamma("Gamma"), beta("beta"), alpha("Alpha");
        const QString gammaId = data()->RegisterBrushTool(&gamma);
        const QString betaId = data()->RegisterBrushTool(&beta);
        const QString alphaId = data()->RegisterBrushTool(&alpha);
        // A braced lower-case UUID.
        QCOMPARE(gammaId, QUuid(gammaId).toString());
        // Once registered, a tool keeps its id.
        QCOMPARE(data()->RegisterBrushTool(&gamma), gammaId);
        QCOMPARE(registered.count(), 3);
        // Listed by name; upper case sorts before lower case.
        QCOMPARE(data()->GetRegistredBrushTools(), QStringList({alphaId, gammaId, betaId}));

        data()->SetBrushToolID(alphaId);
        QVERIFY(data()->UnregisterBrushTool(betaId) && !data()->UnregisterBrushTool(betaId));
        QCOMPARE(unregistered.count(), 1);
        QCOMPARE(unregistered.at(0).at(0).toString(), betaId);
        QCOMPARE(qvariant_cast<IBrushTool *>(unregistered.at(0).at(1)), &beta);
        QCOMPARE(data()->GetBrushToolID(), alphaId);
        // The current tool's id goes with the tool.
        QVERIFY(data()->UnregisterBrushTool(alphaId) && data()->GetBrushToolID().isNull());
    }

    // A direction from a stroke's start and end; a projection of (3, 4) on the
    // line through a point along a direction, which logs a missing direction.
    void geometry_data()
    {
        QTest::addColumn<bool>("projection");
        QTest::addColumn<QPointF>("a");
        QTest::addColumn<QPointF>("b");
        QTest::addColumn<QPointF>("expected");

        const QPointF right(1, 0), upRight(1, -1), up(0, -1), upLeft(-1, -1), left(-1, 0);
        const QPointF downRight(1, 1), down(0, 1), downLeft(-1, 1);
        // A boundary angle belongs to the sector farther from the x axis; the
        // left-pointing diagonals are narrower than the others. Every
        // boundary, and the angle just inside it.
        const std::tuple<qreal, QPointF, QPointF> boundaries[] = {
            {22.5, right, upRight},   {67.5, upRight, up},       {112.5, up, upLeft},
            {147.5, upLeft, left},    {-22.5, right, downRight}, {-67.5, downRight, down},
            {-112.5, down, downLeft}, {-147.5, downLeft, left}};
        for (const auto &[angle, inner, outer] : boundaries) {
            QTest::addRow("%g", angle) << false << QPointF() << pointAtAngle(angle) << outer;
            QTest::addRow("%g inside", angle)
                << false << QPointF() << pointAtAngle(angle - std::copysign(0.001, angle)) << inner;
        }
        QTest::newRow("no length") << false << QPointF(7, 3) << QPointF(7, 3) << right;
        QTest::newRow("away from origin") << false << QPointF(100, 200) << QPointF(90, 205) << left;
        QTest::newRow("onto diagonal") << true << QPointF(1, 1) << QPointF() << QPointF(3.5, 3.5);
        QTest::newRow("onto shifted") << true << QPointF(0, -2) << QPointF(1, 1) << QPointF(1, 4);
        QTest::newRow("onto nothing") << true << QPointF() << QPointF(2, 7) << QPointF(2, 7);
    }
    void geometry()
    {
        QFETCH(bool, projection);
        QFETCH(QPointF, a);
        QFETCH(QPointF, b);
        QFETCH(QPointF, expected);

        data()->RegisterLogOutput("logs");
        const QByteArray line = LogLine("src\\GlobalApplicationData.cpp", "Arithmetic error.");
        const int before = ReadFile(data()->GetLogFileName()).count(line);
        QCOMPARE(projection ? Data::ProjectOnLine(QPointF(3, 4), a, b)
                            : Data::GetLineDirectionForShiftModifier(a, b),
                 expected);
        QCOMPARE(ReadFile(data()->GetLogFileName()).count(line),
                 before + (projection && a.isNull()));
    }
    // Eight threads on the colours, the patterns and the registry while the
    // slots call back in: neither a deadlock nor a wrong value, and slots see
    // each change made.
    void threadsWithSlotsCallingBack()
    {
        data()->InitUserPreferences();
        const QList<QColor> palette = Data::GetPredefinedColorList();
        QCOMPARE(palette.size(), 80);
        // The first and the last colour of each of the seven runs, all opaque.
        QList<QRgb> runEnds;
        for (int index : {0, 15, 16, 31, 32, 47, 48, 55, 56, 63, 64, 71, 72, 79})
            runEnds << palette.at(index).rgba();
        QCOMPARE(runEnds, QList<QRgb>({0xff000000, 0xfff0f0f0, 0xff0000ff, 0xff00f0ff, 0xffff0000,
                                       0xfffff000, 0xffaf5000, 0xff005000, 0xff195000, 0xffc8ff00,
                                       0xffffaf00, 0xfffff5e0, 0xff00a5af, 0xff005faf}));
        QVERIFY(std::all_of(palette.begin(), palette.end(),
                            [](const QColor &c) { return c.alpha() == 255; }));
        std::atomic<int> wrong{0};
        for (const auto &colour : colours)
            onSignal(colour.changed,
                     [&, colour] { wrong += !palette.contains((data()->*colour.get)()); });
        onSignal(&Data::PatternIndexChanged,
                 [&](int index) { wrong += data()->GetPatternFile(index).isNull(); });
        onSignal(&Data::BrushToolRegistered, [&](const QString &id, IBrushTool *tool) {
            wrong += data()->GetBrushTool(id) != tool;
        });
        onSignal(&Data::BrushToolUnregistered,
                 [&](const QString &id) { wrong += data()->GetBrushTool(id) != nullptr; });

        // A deadlock shows as threads that never end; the bound is generous.
        const bool ended = RunThreads(8, [&](int thread) {
            NamedBrushTool tool(QString::number(thread));
            for (int round = 0; round < 300; ++round) {
                for (const auto &colour : colours)
                    (data()->*colour.set)(palette.at((thread * 11 + round) % palette.size()));
                wrong += !data()->SetPatternIndex((thread + round) % 3);
                const QString id = data()->RegisterBrushTool(&tool);
                data()->SetBrushToolID(id);
                wrong += !data()->GetRegistredBrushTools().contains(id);
                wrong += !data()->UnregisterBrushTool(id);
            }
        });
        QVERIFY2(ended, "a thread is stuck: deadlock");
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(data()->GetRegistredBrushTools(), QStringList());
        // The fixed values, whatever the state.
        QCOMPARE(Data::GetProgressTimeout(), 2000);
        QCOMPARE(data()->GetMinBrushRectForOpenCL(), QRect(0, 0, 640, 640));
    }
};

VELA_TEST_MAIN(TestEditing)
#include "tst_editing.moc"
