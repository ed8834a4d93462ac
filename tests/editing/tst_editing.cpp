// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "IBrushTool.h"
#include "VLApplicationSettings.h"

#include <QLinearGradient>

#include <atomic>
#include <cmath>
#include <functional>
#include <tuple>

namespace {

using Data = GlobalApplicationData;

Data *data()
{
    return Data::Instance();
}

// Slots run on the emitting thread and may call back in: a signal emitted
// with the data mutex held deadlocks there.
template<typename Signal, typename Slot>
void onSignal(Signal signal, Slot slot)
{
    QObject::connect(data(), signal, data(), slot, Qt::DirectConnection);
}

// One stored preference, read and written as a QVariant.
struct Preference
{
    std::function<QVariant()> get;
    std::function<void(const QVariant &)> set;
};

// A row: the key, the value type, the getter's prefix ("Get" or "Is") and the
// name that follows it and "Set", the default, another value and the keys read
// when nothing is stored, the farthest first.
#define ROW(key, Type, Is, Name, byDefault, other, ...)                                            \
    QTest::newRow(key) << Preference{                                                              \
        [] { return QVariant(Type(data()->Is##Name())); },                                         \
        [](const QVariant &v) {                                                                    \
            data()->Set##Name(decltype(data()->Is##Name())(v.value<Type>()));                      \
        }} << QVariant(byDefault)                                                                  \
                       << QVariant(other) << QStringList({__VA_ARGS__})

// The name, getter, setter, signal and initial value of each of the four
// colours.
#define COLOUR(Name, initial)                                                                      \
    {                                                                                              \
#Name, &Data::Get##Name##Color, &Data::Set##Name##Color, &Data::Name##ColorChanged,        \
            initial                                                                                \
    }
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

        QCOMPARE(preference.get(), byDefault);
        // The nearest stored fallback is looked up at every call.
        for (const QString &key : fallbacks) {
            VLApplicationSettings::SetValue(key, key);
            QCOMPARE(preference.get(), QVariant(key));
        }
        preference.set(value);
        QCOMPARE(preference.get(), value);
        // Stored under its key as text ("true", "2").
        const QString key = QString::fromLatin1(QTest::currentDataTag());
        const QSettings file(VLApplicationSettings::GetFileName(), QSettings::IniFormat);
        QCOMPARE(file.allKeys().size(), fallbacks.size() + 1);
        QCOMPARE(file.value(key, QStringLiteral("absent")).toString(), value.toString());
        // Kept for the next start; the theme takes effect only then.
        QCOMPARE(data()->GetCurrentThemeSearchPath(), QStringLiteral(":/Dark"));
        Data::ReleaseInstance();
        Data::InitInstance();
        QCOMPARE(preference.get(), value);
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
        const QColor initial = colour.initial;
        QCOMPARE((data()->*colour.get)(), initial);
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const auto &each : colours)
            spies.emplace_back(new QSignalSpy(data(), each.changed));
        QColor seen;
        onSignal(colour.changed, [&] { seen = (data()->*colour.get)(); });

        // An equal colour is no change; the same colour in another model is
        // (QColor equality includes the model).
        const QColor hsvRed = QColor(Qt::red).toHsv();
        for (const QColor &color : {initial, QColor(Qt::red), QColor(Qt::red), hsvRed})
            (data()->*colour.set)(color);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(spies[i]->count(), i == which ? 2 : 0);
        QCOMPARE(seen, hsvRed);
    }

    void gradient()
    {
        QCOMPARE(data()->GetGradient(), nullptr);
        QSignalSpy changed(data(), &Data::GradientChanged);
        QGradient seen;
        onSignal(&Data::GradientChanged, [&] { seen = *data()->GetGradient(); });
        QLinearGradient gradient(0, 0, 100, 0);
        gradient.setColorAt(1, Qt::blue);
        data()->SetGradient(gradient);
        QVERIFY(seen == gradient);
        // Announced even when unchanged.
        data()->SetGradient(gradient);
        QCOMPARE(changed.count(), 2);
    }

    void patternScan_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("names");

        // Images of every kind in mixed case beside files and a folder that
        // are not patterns; the base folder has an image of its own.
        const QString base = VelaTest::Sandbox::Current()->MakeFolder("base");
        for (const char *name :
             {"b.PNG", "A.jpg", "c.bmp", "Z.JPG", "d.gif", "e.txt", "png", "folder.png/x.png"})
            VelaTest::WriteFile(base + "/brushpatterns/" + name, "image");
        VelaTest::WriteFile(base + "/base.png", "image");

        // Without a settings file in the working directory: the shipped ones.
        QTest::newRow("shipped") << QString() << VelaTest::AppFolder() + "/brushpatterns"
                                 << QStringList{"canvas.jpg", "checkers.png", "Crosshatch.bmp"};
        const QStringList mine = {"A.jpg", "b.PNG", "c.bmp", "folder.png", "Z.JPG"};
        QTest::newRow("absolute") << base << base + "/brushpatterns" << mine;
        QTest::newRow("relative") << "../base" << base + "/brushpatterns" << mine;
    }

    void patternScan()
    {
        QFETCH(QString, configured);
        QFETCH(QString, folder);
        QFETCH(QStringList, names);
        if (!configured.isNull())
            VelaTest::WriteFile(localSettingsFile, "[Plugins]\nPATH=" + configured.toUtf8());
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
        const QRegularExpression braced("^\\{[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\\}$");
        QVERIFY2(braced.match(gammaId).hasMatch(), qPrintable(gammaId));
        // Once registered, a tool keeps its id.
        QCOMPARE(data()->RegisterBrushTool(&gamma), gammaId);
        QCOMPARE(registered.count(), 3);
        // Listed by name; upper case sorts before lower case.
        QCOMPARE(data()->GetRegistredBrushTools(), QStringList({alphaId, gammaId, betaId}));

        data()->SetBrushToolID(alphaId);
        QVERIFY(data()->UnregisterBrushTool(betaId));
        QVERIFY(!data()->UnregisterBrushTool(betaId));
        QCOMPARE(unregistered.count(), 1);
        QCOMPARE(unregistered.at(0).at(0).toString(), betaId);
        QCOMPARE(qvariant_cast<IBrushTool *>(unregistered.at(0).at(1)), &beta);
        QCOMPARE(data()->GetBrushToolID(), alphaId);
        // The current tool's id goes with the tool.
        QVERIFY(data()->UnregisterBrushTool(alphaId));
        QVERIFY(data()->GetBrushToolID().isNull());
    }

    void direction_data()
    {
        QTest::addColumn<QPointF>("start");
        QTest::addColumn<QPointF>("end");
        QTest::addColumn<QPointF>("direction");

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
            QTest::addRow("%g", angle) << QPointF() << pointAtAngle(angle) << outer;
            QTest::addRow("%g inside", angle)
                << QPointF() << pointAtAngle(angle > 0 ? angle - 0.001 : angle + 0.001) << inner;
        }
        QTest::newRow("no length") << QPointF(7, 3) << QPointF(7, 3) << right;
        QTest::newRow("away from origin") << QPointF(100, 200) << QPointF(90, 205) << left;
    }
    void direction()
    {
        QFETCH(QPointF, start);
        QFETCH(QPointF, end);
        QFETCH(QPointF, direction);
        QCOMPARE(Data::GetLineDirectionForShiftModifier(start, end), direction);
    }
    void projection_data()
    {
        QTest::addColumn<QPointF>("direction");
        QTest::addColumn<QPointF>("linePoint");
        QTest::addColumn<QPointF>("projected");

        // The point projected is always (3, 4).
        QTest::newRow("diagonal") << QPointF(1, 1) << QPointF(0, 0) << QPointF(3.5, 3.5);
        QTest::newRow("shifted") << QPointF(0, -2) << QPointF(1, 1) << QPointF(1, 4);
        // No direction gives the line point and a log line.
        QTest::newRow("zero") << QPointF(0, 0) << QPointF(2, 7) << QPointF(2, 7);
    }
    void projection()
    {
        QFETCH(QPointF, direction);
        QFETCH(QPointF, linePoint);
        QFETCH(QPointF, projected);

        data()->RegisterLogOutput("logs");
        const QByteArray line =
            VelaTest::LogLine("src\\GlobalApplicationData.cpp", "Arithmetic error.");
        const int before = VelaTest::ReadFile(data()->GetLogFileName()).count(line);
        QCOMPARE(Data::ProjectOnLine(QPointF(3, 4), direction, linePoint), projected);
        QCOMPARE(VelaTest::ReadFile(data()->GetLogFileName()).count(line),
                 before + (direction.isNull() ? 1 : 0));
    }
    // Eight threads on the colours, the patterns and the registry while the
    // slots call back in: neither a deadlock nor a wrong value, and slots see
    // each change made.
    void threadsWithSlotsCallingBack()
    {
        data()->InitUserPreferences();
        const QList<QColor> palette = Data::GetPredefinedColorList();
        QCOMPARE(palette.size(), 80);
        QCOMPARE(palette.first(), QColor(Qt::black));
        QCOMPARE(palette.at(15), QColor(240, 240, 240));
        QCOMPARE(palette.last(), QColor(0, 95, 175));
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

        const int threadCount = 8, rounds = 300;
        // A deadlock shows as threads that never end; the bound is generous.
        const bool ended = VelaTest::RunThreads(threadCount, [&](int thread) {
            NamedBrushTool tool(QString::number(thread));
            for (int round = 0; round < rounds; ++round) {
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
