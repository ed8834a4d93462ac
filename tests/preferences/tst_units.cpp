// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PreferencesTestSupport.h"

#include "UnitConverter.h"

using namespace PreferencesTest;

namespace {

// "name|abbr|factor|standard" per unit, for comparing whole lists at once.
QStringList describe(const QList<UnitItem> &units)
{
    QStringList text;
    for (const UnitItem &item : units)
        text << QStringLiteral("%1|%2|%3|%4")
                    .arg(item.name, item.abbr)
                    .arg(item.factor, 0, 'g', 9)
                    .arg(int(item.isStandard));
    return text;
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
        QTest::addColumn<QStringList>("added");

        QTest::newRow("direct unit children of any root")
            << QByteArray("<any><unit name=\"inch\" abbr=\"in\" factor=\"1\"/>"
                          "<Unit name=\"capital\"/><unit name=\"cm\" abbr=\"cm\" factor=\"2.54\">"
                          "<unit name=\"nested\"/></unit><g><unit name=\"deeper\"/></g></any>")
            << QStringList{"inch|in|1|1", "cm|cm|2.53999996|1"};
        QTest::newRow("unusable factor reads as 0")
            << QByteArray("<units><unit name=\"a\"/><unit name=\"b\" abbr=\"b\" factor=\"px\"/>"
                          "<unit name=\"c\" abbr=\"c\" factor=\"1e40\"/></units>")
            << QStringList{"a||0|1", "b|b|0|1", "c|c|0|1"};
        // Bad input: false and the list unchanged.
        QTest::newRow("missing") << QByteArray() << QStringList();
        QTest::newRow("malformed")
            << QByteArray("<units><unit factor=\"1\"></units>") << QStringList();
        QTest::newRow("empty") << QByteArray("") << QStringList();
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe\x01<units>\x00", 10) << QStringList();
        QTest::newRow("deeply nested")
            << QByteArray("<units>" + QByteArray("<a>").repeated(50000)
                          + QByteArray("</a>").repeated(50000) + "</units>")
            << QStringList();
        QTest::newRow("enormous") << QByteArray("<units><unit name=\"inch\" factor=\"1\"/>"
                                                + QByteArray(17 << 20, ' ') + "</units>")
                                  << QStringList();
    }

    void loadUnits()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, added);

        const QString path =
            VelaTest::Sandbox::Current()->MakeFolder(QTest::currentDataTag()) + "/units.ini";
        if (!content.isNull())
            QVERIFY(VelaTest::WriteFile(path, content));
        QList<UnitItem> list = {{"old", "o", 1}};
        QCOMPARE(LoadUnits(list, path, true), !added.isEmpty());
        QCOMPARE(describe(list), QStringList{"old|o|1|0"} + added);
    }

    void saveUnitsWritesTheExactTextAndLoadsBack()
    {
        const QString path = VelaTest::Sandbox::Current()->MakeFolder("save") + "/units_user.ini";
        const QList<UnitItem> units = {{"inch", "in", 1},
                                       {"centimetre", "cm", 2.54f},
                                       {"per mm \"&<", "µ", float(1 / 25.4)},
                                       {"pixel", "px", 0},
                                       {"large", "L", 1234567}};
        QVERIFY(!SaveUnits(units, path + "/missing/units.ini"));
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

        QList<UnitItem> loaded;
        QVERIFY(LoadUnits(loaded, path, false));
        QCOMPARE(describe(loaded), QStringList({"inch|in|1|0", "centimetre|cm|2.53999996|0",
                                                "per mm \"&<|µ|0.0393701009|0", "pixel|px|0|0",
                                                "large|L|1234570|0"}));
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
            QTest::ignoreMessage(
                QtDebugMsg,
                QRegularExpression(QRegularExpression::escape(
                    "file=\"src\\UnitConverter.cpp\". Warning! Conversion dpi is NULL.")));
        QCOMPARE(ConvertUnit({"a", "a", from}, {"b", "b", to}, dpi)(10), tenUnits);
    }

    void unitListsOfTheApplicationData()
    {
        ResetUserFolder();
        GlobalApplicationData *data = Restart();
        QList<UnitItem> standard, list;
        LoadUnits(standard, VelaTest::AppFolder() + "/settings/units.ini", true);
        QVERIFY(standard.size() >= 6);
        data->GetStandardUnitList(list);
        QCOMPARE(describe(list), describe(standard));

        // The custom list is saved and comes back, as custom units after the
        // standard ones, at the next start.
        data->SetCustomUnitList({{"hand", "h", 0.25f}});
        data = Restart();
        list = {{"front", "f", 1}};
        data->GetUnitList(list);
        QCOMPARE(describe(list),
                 QStringList{"front|f|1|0"} + describe(standard) + QStringList{"hand|h|0.25|0"});
    }
};

VELA_TEST_MAIN(TestUnits)
#include "tst_units.moc"
