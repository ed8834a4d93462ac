// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PreferencesTestSupport.h"

#include "UnitConverter.h"

#include <QRegularExpression>

using namespace PreferencesTest;

namespace {

UnitItem unit(const QString &name, const QString &abbr, float factor, bool isStandard = false)
{
    UnitItem item;
    item.name = name;
    item.abbr = abbr;
    item.factor = factor;
    item.isStandard = isStandard;
    return item;
}

// "name|abbr|factor|standard" per unit, for comparing whole lists at once.
QStringList describe(const QList<UnitItem> &units)
{
    QStringList text;
    for (const UnitItem &item : units)
        text << QStringLiteral("%1|%2|%3|%4")
                    .arg(item.name, item.abbr, QString::number(double(item.factor), 'g', 9),
                         item.isStandard ? QStringLiteral("std") : QStringLiteral("custom"));
    return text;
}

QStringList s_messages;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    s_messages << message;
}

} // namespace

class TestUnits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { GlobalApplicationData::ReleaseInstance(); }

    void loadUnits_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QStringList>("units");

        const QStringList old = {QStringLiteral("old|o|1|custom")};
        QTest::newRow("any root name, direct unit children only")
            << QByteArray("<whatever><unit name=\"inch\" abbr=\"in\" factor=\"1\"/>"
                          "<Unit name=\"capital\" abbr=\"C\" factor=\"2\"/>"
                          "<unit name=\"cm\" abbr=\"cm\" factor=\"2.54\">"
                          "<unit name=\"nested\" abbr=\"n\" factor=\"3\"/></unit>"
                          "<group><unit name=\"deeper\" abbr=\"d\" factor=\"4\"/></group>"
                          "<!-- unit --></whatever>")
            << true
            << (old
                + QStringList{QStringLiteral("inch|in|1|std"),
                              QStringLiteral("cm|cm|2.53999996|std")});
        QTest::newRow("missing or unusable factor is a pixel unit")
            << QByteArray("<units><unit name=\"a\"/><unit name=\"b\" abbr=\"b\" factor=\"px\"/>"
                          "<unit name=\"c\" abbr=\"c\" factor=\"1e40\"/>"
                          "<unit name=\"d\" abbr=\"d\" factor=\"-2\"/></units>")
            << true
            << (old
                + QStringList{QStringLiteral("a||0|std"), QStringLiteral("b|b|0|std"),
                              QStringLiteral("c|c|0|std"), QStringLiteral("d|d|-2|std")});
        QTest::newRow("duplicates stay")
            << QByteArray("<units><unit name=\"x\" factor=\"1\"/>"
                          "<unit name=\"x\" factor=\"1\"/></units>")
            << true << (old + QStringList{QStringLiteral("x||1|std"), QStringLiteral("x||1|std")});
        QTest::newRow("empty root") << QByteArray("<units/>") << true << old;
        QTest::newRow("malformed")
            << QByteArray("<units><unit name=\"x\" factor=\"1\"></units>") << false << old;
        QTest::newRow("empty file") << QByteArray("") << false << old;
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe\x01<units>\x00", 10) << false << old;
        QTest::newRow("deeply nested")
            << (QByteArray("<units>") + QByteArray("<a>").repeated(50000)
                + QByteArray("</a>").repeated(50000) + QByteArray("</units>"))
            << false << old;
    }

    void loadUnits()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, loaded);
        QFETCH(QStringList, units);

        const QString path = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("units"))
                             + QStringLiteral("/units.ini");
        QVERIFY(VelaTest::WriteFile(path, content));
        QList<UnitItem> list = {unit(QStringLiteral("old"), QStringLiteral("o"), 1)};
        QCOMPARE(LoadUnits(list, path, true), loaded);
        QCOMPARE(describe(list), units);
    }

    void loadRefusesMissingAndEnormousFiles()
    {
        const QString folder = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("big"));
        QList<UnitItem> list;
        QVERIFY(!LoadUnits(list, folder + QStringLiteral("/missing.ini"), false));

        // Valid XML at the start, then far more than any units file holds.
        QFile enormous(folder + QStringLiteral("/enormous.ini"));
        QVERIFY(enormous.open(QIODevice::WriteOnly));
        enormous.write("<units><unit name=\"inch\" factor=\"1\"/>");
        QVERIFY(enormous.resize(64 * 1024 * 1024));
        enormous.close();
        QVERIFY(!LoadUnits(list, enormous.fileName(), false));
        QVERIFY(list.isEmpty());
    }

    void saveUnitsWritesTheDocumentedText()
    {
        const QString path = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("save"))
                             + QStringLiteral("/units_user.ini");
        const QList<UnitItem> units = {
            unit(QStringLiteral("inch"), QStringLiteral("in"), 1, true),
            unit(QStringLiteral("centimetre"), QStringLiteral("cm"), 2.54f),
            unit(QStringLiteral("per mm \"&<"), QStringLiteral("µ"), float(1 / 25.4)),
            unit(QStringLiteral("pixel"), QStringLiteral("px"), 0),
            unit(QStringLiteral("large"), QStringLiteral("L"), 1234567.0f),
        };
        QVERIFY(SaveUnits(units, path));
        QCOMPARE(VelaTest::ReadFile(path),
                 QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<units>\n"
                            "    <unit name=\"inch\" abbr=\"in\" factor=\"1\"/>\n"
                            "    <unit name=\"centimetre\" abbr=\"cm\" factor=\"2.54\"/>\n"
                            "    <unit name=\"per mm &quot;&amp;&lt;\" abbr=\"\xc2\xb5\" "
                            "factor=\"0.0393701\"/>\n"
                            "    <unit name=\"pixel\" abbr=\"px\" factor=\"0\"/>\n"
                            "    <unit name=\"large\" abbr=\"L\" factor=\"1.23457e+06\"/>\n"
                            "</units>\n"));

        // Round trip: names, abbreviations and order kept, factors to 6
        // significant digits, the flag taken from the loader's argument.
        QList<UnitItem> loaded;
        QVERIFY(LoadUnits(loaded, path, false));
        QCOMPARE(loaded.size(), units.size());
        for (int i = 0; i < units.size(); ++i) {
            QCOMPARE(loaded[i].name, units[i].name);
            QCOMPARE(loaded[i].abbr, units[i].abbr);
            QCOMPARE(loaded[i].factor, QString::number(double(units[i].factor), 'g', 6).toFloat());
            QCOMPARE(loaded[i].isStandard, false);
        }

        QVERIFY(SaveUnits({}, path));
        QCOMPARE(VelaTest::ReadFile(path),
                 QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<units/>\n"));
        loaded.clear();
        QVERIFY(LoadUnits(loaded, path, true));
        QVERIFY(loaded.isEmpty());
    }

    void saveUnitsFailsOnAnUnwritablePath()
    {
        const QString folder = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("nowrite"));
        const QList<UnitItem> units = {unit(QStringLiteral("inch"), QStringLiteral("in"), 1)};
        QVERIFY(!SaveUnits(units, folder + QStringLiteral("/missing/units.ini")));
        // A folder in the file's place stays what it is.
        QVERIFY(!SaveUnits(units, folder));
        QVERIFY(QFileInfo(folder).isDir());
    }

    void convert_data()
    {
        QTest::addColumn<float>("from");
        QTest::addColumn<float>("to");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("warns");

        const double cm = double(2.54f);
        QTest::newRow("inch to cm") << 1.0f << 2.54f << 0.0 << 3.0 << cm * 3.0 << false;
        QTest::newRow("cm to inch") << 2.54f << 1.0f << 300.0 << 5.08 << 5.08 / cm << false;
        QTest::newRow("cm to pixels")
            << 2.54f << 0.0f << 300.0 << 10.0 << 300.0 * 10.0 / cm << false;
        QTest::newRow("unit to pixels at 0 dpi") << 1.0f << 0.0f << 0.0 << 7.0 << 0.0 << false;
        QTest::newRow("pixels to point")
            << 0.0f << 72.0f << 96.0 << 48.0 << 72.0 * 48.0 / 96.0 << false;
        QTest::newRow("negative factor counts as pixels")
            << -1.0f << 1.0f << 200.0 << 100.0 << 0.5 << false;
        QTest::newRow("pixels to unit at 0 dpi") << 0.0f << 1.0f << 0.0 << 42.0 << 42.0 << true;
        QTest::newRow("pixels to unit at -0 dpi") << 0.0f << 1.0f << -0.0 << 42.0 << 42.0 << true;
        QTest::newRow("pixels to pixels") << 0.0f << -3.0f << 0.0 << 9.5 << 9.5 << false;
    }

    void convert()
    {
        QFETCH(float, from);
        QFETCH(float, to);
        QFETCH(double, dpi);
        QFETCH(double, value);
        QFETCH(double, expected);
        QFETCH(bool, warns);

        const ConvertUnit original(unit(QStringLiteral("a"), QStringLiteral("a"), from),
                                   unit(QStringLiteral("b"), QStringLiteral("b"), to), dpi);
        // Copies convert alike.
        ConvertUnit convert(unit(QString(), QString(), 5), unit(QString(), QString(), 7), 1);
        convert = ConvertUnit(original);

        s_messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        const double result = convert(value);
        qInstallMessageHandler(previous);

        QCOMPARE(result, expected);
        const QStringList warnings = s_messages.filter(QRegularExpression(QStringLiteral(
            "file=\"src\\\\UnitConverter\\.cpp\"\\. Warning! Conversion dpi is NULL\\.")));
        QCOMPARE(warnings.size(), warns ? 1 : 0);
    }

    void unitListsOfTheApplicationData()
    {
        ResetUserFolder();
        GlobalApplicationData *data = StartLibrary();

        QList<UnitItem> standard;
        LoadUnits(standard, VelaTest::AppFolder() + QStringLiteral("/settings/units.ini"), true);
        QVERIFY(standard.size() >= 6);
        QList<UnitItem> list;
        data->GetStandardUnitList(list);
        QCOMPARE(describe(list), describe(standard));
        list.clear();
        data->GetCustomUnitList(list);
        QVERIFY(list.isEmpty());

        const QList<UnitItem> custom = {
            unit(QStringLiteral("hand"), QStringLiteral("h"), 0.25f),
            unit(QStringLiteral("foot"), QStringLiteral("ft"), 1 / 12.f)};
        data->SetCustomUnitList(custom);
        const UnitItem front = unit(QStringLiteral("front"), QStringLiteral("f"), 1);
        list = {front};
        data->GetUnitList(list);
        QCOMPARE(describe(list), describe(QList<UnitItem>{front} + standard + custom));

        // The custom list comes back, as custom units, at the next start.
        GlobalApplicationData::ReleaseInstance();
        data = StartLibrary();
        list.clear();
        data->GetCustomUnitList(list);
        QCOMPARE(describe(list), QStringList({QStringLiteral("hand|h|0.25|custom"),
                                              QStringLiteral("foot|ft|0.0833332986|custom")}));
    }
};

VELA_TEST_MAIN(TestUnits)
#include "tst_units.moc"
