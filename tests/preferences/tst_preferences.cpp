// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The editing environment and the user's preferences: ini-backed settings,
// shared editing state, stroke geometry and the locks under threads; then
// units, the preferences document and the proxy. The thread-sanitizer run
// checks the locks by this program's name.
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "IBrushTool.h"
#include "UnitConverter.h"
#include "VLApplicationSettings.h"
#include "VelaUserParams.h"

#include <QColor>
#include <QDomDocument>
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

const auto UserDocumentPath = [] {
    return Sandbox::Current()->LocalAppData() + "/Kelvane/properties.xml";
};
const auto DefaultDocument = [] { return ReadFile(AppFolder() + "/settings/properties.xml"); };

//! The value of a "page.group.parameter" key in the user's document on disk.
QString StoredValue(const QString &key)
{
    QDomDocument document;
    document.setContent(ReadFile(UserDocumentPath()));
    const QDomNodeList parameters = document.elementsByTagName("parameter");
    for (int i = 0; i < parameters.size(); ++i) {
        const QDomElement p = parameters.at(i).toElement(), g = p.parentNode().toElement();
        const QString page = g.parentNode().toElement().attribute("name");
        if (page + '.' + g.attribute("name") + '.' + p.attribute("name") == key)
            return p.attribute("value");
    }
    return QString();
}

const auto DefaultVersion = [] {
    return QString(DefaultDocument()).section("<file_version value=\"", 1).section('"', 0, 0);
};

//! A document of the given version (none when null), one page and group per
//! "page.group.parameter" value; a null value leaves out the attribute.
QByteArray Document(const QList<QPair<QString, QString>> &values,
                    const QString &version = DefaultVersion())
{
    QString text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<properties>\n";
    if (!version.isNull())
        text += "    <file_version value=\"" + version + "\"/>\n";
    for (const auto &value : values)
        text += QStringLiteral("    <page name=\"%1\"><group name=\"%2\"><parameter name=\"%3\"%4/>"
                               "</group></page>\n")
                    .arg(value.first.section('.', 0, 0), value.first.section('.', 1, 1),
                         value.first.section('.', 2),
                         value.second.isNull() ? "" : " value=\"" + value.second + '"');
    return (text + "</properties>\n").toUtf8();
}

//! Starts the library anew, as the editor does, up to the preferences; with
//! a fresh user's folder holding only the given document (none when null).
GlobalApplicationData *Restart(bool fresh = false, const QByteArray &userDocument = QByteArray())
{
    GlobalApplicationData::ReleaseInstance();
    if (fresh)
        QDir(QFileInfo(UserDocumentPath()).path()).removeRecursively();
    if (!userDocument.isNull())
        WriteFile(UserDocumentPath(), userDocument);
    GlobalApplicationData::InitInstance();
    GlobalApplicationData::Instance()->InitUserPreferences();
    return GlobalApplicationData::Instance();
}

using P = VelaUserParams;
const QString lastDirKey = P::Directories::Settings::LastVisitedFolder();
const QString typeKey = P::Directories::Settings::DefImageType();
const QString rememberKey = P::Directories::Settings::RememberLastVisitedFolder();
const QString textKey = P::Editing::Text::Antialiasing();
const QString spaceKey = P::ColorManagement::WorkingSpaces::RGB2();
const QString policyKey = P::ColorManagement::ManagementPolicies::RGB1();
const QString backgroundKey = P::Editing::Colors::Background();
const QString portKey = P::ProxySettings::Proxy::PROXYPORT();
const QString proxyTypeKey = P::ProxySettings::Proxy::PROXYTYPE();
const QString hostKey = P::ProxySettings::Proxy::PROXYHOSTNAME();

// "name|abbr|factor|standard" per unit, for comparing whole lists at once.
QStringList describe(const QList<UnitItem> &units)
{
    QStringList text;
    for (const UnitItem &u : units)
        text << u.name + '|' + u.abbr + '|' + QString::number(u.factor, 'g', 9) + '|'
                    + QString::number(u.isStandard);
    return text;
}

// A units file with one unit "u" beside the given markup.
const auto units = [](const QByteArray &markup, const QByteArray &prologue = QByteArray()) {
    return prologue + "<units><unit name=\"u\" abbr=\"u\" factor=\"1\"/>" + markup + "</units>";
};
const auto nested = [](int depth, const QByteArray &open = "<a>", const QByteArray &inner = "") {
    return open.repeated(depth) + inner + QByteArray("</a>").repeated(depth);
};

} // namespace

Q_DECLARE_METATYPE(Preference)

class TestPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { CaptureTestMessageHandler(); }

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
        // Released application data leaves its own message handler installed.
        RestoreTestMessageHandler();
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

    void userDocumentKeptOrReplaced_data()
    {
        QTest::addColumn<QByteArray>("userDocument");
        QTest::addColumn<bool>("kept");
        const QByteArray equal = Document({{lastDirKey, "/kept"}});
        QTest::newRow("first run") << QByteArray() << false;
        QTest::newRow("equal versions") << equal << true;
        QTest::newRow("older version") << Document({}, DefaultVersion() + "-old") << false;
        QTest::newRow("no version") << Document({{lastDirKey, "/kept"}}, QString()) << false;
        // Read all or nothing: the version before the cut does not count.
        QTest::newRow("malformed") << equal.chopped(3) << false;
        QTest::newRow("50,000 levels") << "<properties>" + nested(50000) + "</properties>" << false;
    }

    void userDocumentKeptOrReplaced()
    {
        QFETCH(QByteArray, userDocument);
        QFETCH(bool, kept);

        const GlobalApplicationData *data = Restart(true, userDocument);
        if (kept) {
            QCOMPARE(ReadFile(UserDocumentPath()), userDocument);
            QCOMPARE(data->LastVisitedFolder(), QStringLiteral("/kept"));
            QVERIFY(data->DefImageType().isEmpty());
        } else {
            QCOMPARE(ReadFile(UserDocumentPath()), DefaultDocument());
            QCOMPARE(data->DefImageType(), StoredValue(typeKey));
            // The shipped text antialiasing, stored one lower.
            QCOMPARE(StoredValue("GUI_options_and_effects.group1.TextAl"), QStringLiteral("1"));
            QCOMPARE(data->GetTextAntialiasing(), 2);
        }
        // A data folder gone since the start is made again.
        QDir(QFileInfo(UserDocumentPath()).path()).removeRecursively();
        GlobalApplicationData::Instance()->InitUserPreferences();
        QCOMPARE(ReadFile(UserDocumentPath()), DefaultDocument());
    }

    // The document's own declaration stays true to what is written, whatever
    // encoding it names (here in single quotes), through two saves. (Which
    // encodings Qt can write differs between Qt 5 and 6.)
    void settersChangeTheMapAndSaveOnlyWhatTheDocumentHas_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        for (const char *encoding : {"UTF-8", "ISO-8859-1", "UTF-7"})
            QTest::newRow(encoding) << QByteArray(encoding);
    }

    void settersChangeTheMapAndSaveOnlyWhatTheDocumentHas()
    {
        QFETCH(QByteArray, encoding);
        const QString type = QStringLiteral("Bilder/\u00dcbersicht");
        GlobalApplicationData *data =
            Restart(true, Document({{typeKey, "png"}, {textKey, "1"}})
                              .replace("\"UTF-8\"", '\'' + encoding + '\'')
                              .replace("/>", " hint=\"kept\"/>"));
        data->SetDefImageType(type);
        data->SetLastVisitedFolder("/this/run");
        data->SetTextAntialiasing(12);
        QCOMPARE(data->LastVisitedFolder(), QStringLiteral("/this/run"));
        QCOMPARE(StoredValue(typeKey), QStringLiteral("png"));

        // The save writes the values, the text offset by one, into the
        // elements the document has, and adds none; four spaces a level.
        data->SaveUserPreferences();
        QCOMPARE(StoredValue(textKey), QStringLiteral("11"));
        const QByteArray saved = ReadFile(UserDocumentPath());
        QVERIFY(saved.count("hint=\"kept\"") == 3 && saved.contains("\n    <"));
        // Qt 6 has no UTF-7 writer: the text then goes out in UTF-8, declared so.
        const bool writable = encoding != "UTF-7" || QT_VERSION_MAJOR == 5;
        QCOMPARE(saved.contains("encoding='" + encoding + '\''), writable);
        Restart()->SaveUserPreferences();
        data = Restart();
        QCOMPARE(data->DefImageType(), type);
        QCOMPARE(data->GetTextAntialiasing(), 12);
        QVERIFY(data->LastVisitedFolder().isEmpty());
    }

    void typedAnswers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("answer");

        QTest::newRow("remember true") << "true" << rememberKey << "1";
        QTest::newRow("remember True") << "True" << rememberKey << "0";
        QTest::newRow("antialiasing -4") << "-4" << textKey << "-3";
        QTest::newRow("antialiasing in hex") << "a" << textKey << "1";
        QTest::newRow("antialiasing, no value") << QString() << textKey << "1";
        QTest::newRow("working space") << "15" << spaceKey << "15";
        QTest::newRow("working space, no value") << QString() << spaceKey << "0";
        QTest::newRow("policy") << "2" << policyKey << "2";
        QTest::newRow("proxy host, no value") << QString() << hostKey << "\"\"";
        QTest::newRow("proxy port") << "8080" << portKey << "8080";
        QTest::newRow("proxy port not a number") << "80a" << portKey << "0";
        QTest::newRow("proxy type above the list") << "4" << proxyTypeKey << "0";
        QTest::newRow("colour rest ignored") << "FF102030 and more" << backgroundKey << "#ff102030";
        QTest::newRow("colour seven characters") << "FF10203" << backgroundKey << "invalid";
        QTest::newRow("colour half hex") << "FF1020ZZ" << backgroundKey << "invalid";
        QTest::newRow("colour 1, lower case")
            << "0a0b0c0d" << P::Editing::Colors::Color1() << "#0a0b0c0d";
        QTest::newRow("colour 2") << "05060708" << P::Editing::Colors::Color2() << "#05060708";
        // Fixed answers, whatever the document stores.
        QTest::newRow("OpenCL") << "true" << P::Performance::OpenCL::OPENCL() << "0";
        QTest::newRow("CM") << "false" << P::ColorManagement::EnableColorManagement() << "1";
        QTest::newRow("dlg") << "true" << P::PlatformSpecificSetting::DoNotUseSystemDlg() << "0";
    }

    // Through the user's document, as the editor starts.
    void typedAnswers()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, answer);

        const GlobalApplicationData &data = *Restart(true, Document({{key, text}}));
        const auto name = [](const QColor &color) {
            return color.isValid() ? color.name(QColor::HexArgb) : QStringLiteral("invalid");
        };
        const QMap<QString, QString> answers = {
            {rememberKey, QString::number(data.RememberLastVisitedFolder())},
            {textKey, QString::number(data.GetTextAntialiasing())},
            {spaceKey, QString::number(data.GetWorkingSpaceRGB())},
            {policyKey, QString::number(data.GetRGBManagementPolicy())},
            {portKey, QString::number(data.GetProxyPortNumber())},
            {hostKey, '"' + data.GetProxyHostName() + '"'},
            {proxyTypeKey, QString::number(data.GetProxyTypeIndex())},
            {backgroundKey, name(data.GetUserBackgroundColor())},
            {P::Editing::Colors::Color1(), name(data.GetUserColor1Color())},
            {P::Editing::Colors::Color2(), name(data.GetUserColor2Color())},
            {P::Performance::OpenCL::OPENCL(), QString::number(data.IsOpenCLEnabled())},
            {P::ColorManagement::EnableColorManagement(),
             QString::number(data.IsColorManagementEnabled())},
            {P::PlatformSpecificSetting::DoNotUseSystemDlg(),
             QString::number(data.DoNotUseSystemDlg())}};
        QCOMPARE(answers.value(key), answer);
    }

    void proxySettersSaveAndSignalOnlyOnChangeAndComeBack()
    {
        GlobalApplicationData *data = Restart(true, Document({{hostKey, "old.example"},
                                                              {portKey, "3128"},
                                                              {proxyTypeKey, "1"},
                                                              {typeKey, "png"}}));
        QSignalSpy changed(data, &GlobalApplicationData::ProxyChanged);
        // Slots may call back into the object: the data lock is free then.
        QString hostSeenBySlot;
        connect(data, &GlobalApplicationData::ProxyChanged, this,
                [&] { hostSeenBySlot = data->GetProxyHostName(); });
        // Each step sets the image type in memory only, then calls proxy
        // setters: the type on disk shows whether they saved.
        const auto step = [&](const char *type, const std::function<void()> &setters) {
            data->SetDefImageType(type);
            setters();
            return QStringLiteral("%1 %2").arg(changed.count()).arg(StoredValue(typeKey));
        };
        QCOMPARE(step("jpg", [&] { data->SetProxyHostName("old.example"); }), "0 png");
        QCOMPARE(step("jpg", [&] { data->SetProxyPortNumber(3128); }), "0 png");
        QCOMPARE(step("jpg", [&] { data->SetProxyHostName("new.example"); }), "1 jpg");
        QCOMPARE(hostSeenBySlot, QStringLiteral("new.example"));
        QCOMPARE(StoredValue(hostKey), QStringLiteral("new.example"));
        QCOMPARE(step("tif", [&] { data->SetProxyPortNumber(8080); }), "2 tif");
        QCOMPARE(StoredValue(portKey), QStringLiteral("8080"));
        // The type is saved and announced even when unchanged, but an index
        // outside the list changes nothing.
        QCOMPARE(step("bmp", [&] { data->SetProxyTypeIndex(1); }), "3 bmp");
        QCOMPARE(step("gif", [&] { data->SetProxyTypeIndex(4); }), "3 bmp");
        QCOMPARE(step("gif", [&] { data->SetProxyTypeIndex(-1); }), "3 bmp");
        QCOMPARE(data->GetProxyTypeIndex(), 1);

        // The type comes back after a restart, each differing from the one before.
        const QStringList names = {"Default", "NoProxy", "HttpProxy", "Socks5Proxy"};
        for (int index : {0, 1, 2, 3, 0}) {
            Restart()->SetProxyTypeIndex(index);
            data = Restart();
            QCOMPARE(data->GetProxyTypeIndex(), index);
            // QNetworkProxy's DefaultProxy, NoProxy, HttpProxy and Socks5Proxy.
            QCOMPARE(int(data->GetProxyType()), QList<int>({0, 2, 3, 1}).at(index));
            // A label out of the list names the current type.
            QCOMPARE(data->GetProxyTypeLabel(4), names[index]);
            QCOMPARE(data->GetProxyTypeLabel(-1), names[index]);
            QCOMPARE(data->GetProxyTypeLabel(0), names[0]);
        }
        QCOMPARE(data->GetProxyTypeList(), names);
        QCOMPARE(data->FindProxyTypeIndex("Socks5Proxy"), 3);
        QCOMPARE(data->FindProxyTypeIndex("httpproxy"), 0);
    }

    void loadUnits_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("added");

        QTest::newRow("direct unit children of any root")
            << QByteArray("<any><unit name=\"inch\" abbr=\"in\" factor=\"1\"/>"
                          "<Unit name=\"capital\"/><unit name=\"cm\" abbr=\"cm\" factor=\"2.54\">"
                          "<unit name=\"nested\"/></unit><g><unit name=\"deeper\"/></g></any>")
            << QStringList{"inch|in|1|1", "cm|cm|2.53999996|1"};
        QTest::newRow("unusable factor reads as 0, the largest float does not")
            << QByteArray("<units><unit name=\"a\"/><unit name=\"b\" abbr=\"b\" factor=\"px\"/>"
                          "<unit name=\"c\" abbr=\"c\" factor=\"1e40\"/><unit name=\"d\" "
                          "abbr=\"d\" factor=\"3.4028234663852886e38\"/></units>")
            << QStringList{"a||0|1", "b|b|0|1", "c|c|0|1", "d|d|3.40282347e+38|1"};
        // Bad input: false and the list unchanged.
        QTest::newRow("missing") << QByteArray() << QStringList();
        QTest::newRow("malformed") << units("<unit factor=\"1\">") << QStringList();
        QTest::newRow("64 MiB") << units(QByteArray((64 << 20) - units("").size(), ' '))
                                << QStringList{"u|u|1|1"};
        QTest::newRow("just over 64 MiB") << units(QByteArray(64 << 20, ' ')) << QStringList();
        // Nesting deeper than 1,000 levels is refused; markup-like text in
        // an attribute value does not hide an element.
        QTest::newRow("1,000 levels") << units(nested(999)) << QStringList{"u|u|1|1"};
        QTest::newRow("1,001 levels") << units(nested(1000)) << QStringList();
        QTest::newRow("1,000 levels, document type")
            << units(nested(999), "<!DOCTYPE units>") << QStringList{"u|u|1|1"};
        QTest::newRow("quoted />, after an empty value")
            << units(nested(1000, "<a e=\"\" x=\"/>\">")) << QStringList();
        // Read without namespace processing: an undeclared prefix is a name.
        QTest::newRow("prefixed element") << units("<x:unit/>") << QStringList{"u|u|1|1"};
        QTest::newRow("end tag in a comment")
            << units(nested(1000, "<a><!--</a>-->")) << QStringList();
        // Entities of a document type can add depth the bytes do not show.
        QTest::newRow("entity") << units(nested(600, "<a>", "&e;"),
                                         "<!DOCTYPE units [<!ENTITY e \"" + nested(600) + "\">]>")
                                << QStringList();
    }

    void loadUnits()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, added);

        const QString path = Sandbox::Current()->MakeFolder(QTest::currentDataTag()) + "/units.ini";
        if (!content.isNull())
            QVERIFY(WriteFile(path, content));
        QList<UnitItem> list = {{"old", "o", 1}};
        QCOMPARE(LoadUnits(list, path, true), !added.isEmpty());
        QCOMPARE(describe(list), QStringList{"old|o|1|0"} + added);
    }

    void saveUnitsWritesTheExactTextAndLoadsBack()
    {
        const QString path = Sandbox::Current()->MakeFolder("save") + "/units_user.ini";
        const QList<UnitItem> units = {{"inch", "in", 1},
                                       {"centimetre", "cm", 2.54f},
                                       {"per mm \"&<", "µ", float(1 / 25.4)},
                                       {"large", "L\U0001F600", 1234567}};
        QVERIFY(!SaveUnits(units, path + "/missing/units.ini"));
        // What the file cannot carry is refused, the file left as it was:
        // characters XML 1.0 has no place for, and a factor that is no number.
        QVERIFY(WriteFile(path, "old"));
        for (const UnitItem &bad : QList<UnitItem>{{"bell\a", "b", 1},
                                                   {"half", QString(QChar(0xd800)), 1},
                                                   {"not a character", QString(QChar(0xffff)), 1},
                                                   {"nan", "n", std::nanf("")}})
            QVERIFY(!SaveUnits({bad}, path));
        QCOMPARE(ReadFile(path), QByteArray("old"));
        QVERIFY(SaveUnits(units, path));
        QCOMPARE(
            ReadFile(path),
            QByteArray(
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<units>\n"
                "    <unit name=\"inch\" abbr=\"in\" factor=\"1\"/>\n"
                "    <unit name=\"centimetre\" abbr=\"cm\" factor=\"2.54\"/>\n"
                "    <unit name=\"per mm &quot;&amp;&lt;\" abbr=\"\xc2\xb5\" "
                "factor=\"0.0393701\"/>\n"
                "    <unit name=\"large\" abbr=\"L\xf0\x9f\x98\x80\" factor=\"1.23457e+06\"/>\n"
                "</units>\n"));
    }

    void convert_data()
    {
        QTest::addColumn<float>("from");
        QTest::addColumn<float>("to");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<double>("tenUnits");
        QTest::addColumn<bool>("warns");

        QTest::newRow("inch to cm") << 1.0f << 2.54f << 0.0 << 10 * double(2.54f) << false;
        QTest::newRow("cm to pixels") << 2.54f << 0.0f << 300.0 << 3000 / double(2.54f) << false;
        QTest::newRow("unit to pixels at 0 dpi") << 1.0f << 0.0f << 0.0 << 0.0 << false;
        QTest::newRow("pixels to point") << 0.0f << 72.0f << 96.0 << 7.5 << false;
        QTest::newRow("negative factor is pixels") << -1.0f << 1.0f << 200.0 << 0.05 << false;
        QTest::newRow("pixels to unit at 0 dpi") << 0.0f << 1.0f << 0.0 << 10.0 << true;
        QTest::newRow("pixels to pixels") << 0.0f << -3.0f << 0.0 << 10.0 << false;
    }

    void convert()
    {
        QFETCH(float, from);
        QFETCH(float, to);
        QFETCH(double, dpi);
        QFETCH(double, tenUnits);
        QFETCH(bool, warns);

        if (warns)
            QTest::ignoreMessage(QtDebugMsg,
                                 QRegularExpression(R"(file="src\\UnitConverter\.cpp"\. )"
                                                    R"(Warning! Conversion dpi is NULL\.)"));
        QCOMPARE(ConvertUnit({"a", "a", from}, {"b", "b", to}, dpi)(10), tenUnits);
    }

    // The custom list is saved and comes back at the next start, after the
    // standard list; the lists are appended to what the caller has.
    void unitListsOfTheApplicationData()
    {
        Restart(true)->SetCustomUnitList({{"hand", "h", 0.25f}});
        const GlobalApplicationData *data = Restart();
        QList<UnitItem> standard, list = {{"front", "f", 1}}, all = list;
        LoadUnits(standard, AppFolder() + "/settings/units.ini", true);
        QVERIFY(standard.size() >= 6);
        data->GetStandardUnitList(list);
        data->GetUnitList(all);
        QCOMPARE(describe(list), QStringList{"front|f|1|0"} + describe(standard));
        QCOMPARE(describe(all), describe(list) + QStringList{"hand|h|0.25|0"});
    }
};

VELA_TEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
