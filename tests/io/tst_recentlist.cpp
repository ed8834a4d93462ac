// SPDX-License-Identifier: LGPL-2.1-or-later
#include "AllocationProbe.h"
#include "GlobalApplicationData.h"
#include "VLIOManager.h"
#include "VelaTestSupport.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>

#include <utility>

using Record = VLIOManager::RecentRecord;

namespace {

QString settingsFile()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + QStringLiteral("/Kelvane/")
           + QDir::separator() + QStringLiteral("settings.ini");
}

// The stored form, built byte by byte.
QByteArray int32(quint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += char((value >> shift) & 0xff);
    return bytes;
}

QByteArray string(const QString &text)
{
    if (text.isNull())
        return int32(0xffffffff);
    QByteArray bytes = int32(quint32(text.size() * 2));
    for (const QChar c : text)
        bytes += char(c.unicode() >> 8) + QByteArray(1, char(c.unicode() & 0xff));
    return bytes;
}

QByteArray record(const QString &first, const QString &second)
{
    return string(first) + string(second);
}

// A record as text, telling a null string from an empty one: null strings
// are written back with the null marker.
QString describe(const Record &record)
{
    const auto text = [](const QString &s) {
        return s.isNull() ? QStringLiteral("null") : QLatin1Char('"') + s + QLatin1Char('"');
    };
    return text(record.first) + QLatin1Char(' ') + text(record.second);
}

QStringList describe(const QList<Record> &records)
{
    QStringList list;
    for (const Record &r : records)
        list << describe(r);
    return list;
}

void storeRecentValue(const QVariant &value, int limit = 15)
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Recent/RecentFiles"), value);
    settings.setValue(QStringLiteral("Recent/RecentLimit"), limit);
}

QByteArray storedRecentBytes()
{
    const QSettings settings(settingsFile(), QSettings::IniFormat);
    return settings.value(QStringLiteral("Recent/RecentFiles")).toByteArray();
}

QStringList s_messages;

void collectMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    s_messages << message;
}

Record numbered(int i)
{
    return {QStringLiteral("/images/%1.png").arg(i), QStringLiteral("PNG")};
}

} // namespace

class TestRecentList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void storedLayout();
    void loadsAtMostFifteen();
    void malformedValue_data();
    void malformedValue();
    void addRules();
    void limitRules();
    void noChangeWritesNothing();
    void restartKeepsEntriesAndResetsLimit();
    void lifecycle();

private:
    void restart();
    void restartWith(const QVariant &stored, int limit = 15);
};

void TestRecentList::init()
{
    GlobalApplicationData::InitInstance();
    QFile::remove(settingsFile());
    VLIOManager::InitInstance();
}

void TestRecentList::cleanup()
{
    VLIOManager::ReleaseInstance();
    GlobalApplicationData::ReleaseInstance();
}

void TestRecentList::restart()
{
    VLIOManager::ReleaseInstance();
    VLIOManager::InitInstance();
}

// The manager saves when it goes: the value is stored between the two.
void TestRecentList::restartWith(const QVariant &stored, int limit)
{
    VLIOManager::ReleaseInstance();
    storeRecentValue(stored, limit);
    VLIOManager::InitInstance();
}

void TestRecentList::storedLayout()
{
    VLIOManager *manager = VLIOManager::Instance();
    QVERIFY(manager);
    QVERIFY(manager->GetRecent().isEmpty());
    QCOMPARE(manager->GetRecentLimit(), 15);

    manager->AddToRecent({QStringLiteral("C:/a.png"), QStringLiteral("PNG")});
    manager->AddToRecent({QString(), QStringLiteral("")});
    manager->AddToRecent({QString::fromUtf8("\xc3\xa9t\xc3\xa9"), QStringLiteral("x")});

    const QByteArray expected = int32(3) + record(QString::fromUtf8("\xc3\xa9t\xc3\xa9"), "x")
                                + record(QString(), QStringLiteral("")) + record("C:/a.png", "PNG");
    QCOMPARE(storedRecentBytes(), expected);
    // The three strings by hand, to be sure of the helper itself.
    QCOMPARE(expected.left(18).toHex(), QByteArray("00000003"
                                                   "00000006"
                                                   "00e9007400e9"
                                                   "00000002"));

    QSettings settings(settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.childGroups(), QStringList({"Recent"}));
    settings.beginGroup(QStringLiteral("Recent"));
    QCOMPARE(settings.childKeys(), QStringList({"RecentFiles", "RecentLimit"}));
    QCOMPARE(settings.value(QStringLiteral("RecentLimit")).toInt(), 15);
}

void TestRecentList::loadsAtMostFifteen()
{
    QByteArray stored = int32(20);
    for (int i = 0; i < 20; ++i)
        stored += record(numbered(i).first, numbered(i).second);
    restartWith(stored, 20);

    QList<Record> expected;
    for (int i = 0; i < 15; ++i)
        expected << numbered(i);
    QCOMPARE(VLIOManager::Instance()->GetRecent(), expected);
    QCOMPARE(VLIOManager::Instance()->GetRecentLimit(), 15);
}

void TestRecentList::malformedValue_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QByteArray>("saved");

    const QString empty = QStringLiteral("\"\" \"\"");
    const QByteArray emptyRecord = record("", "");

    QTest::newRow("empty") << QVariant(QByteArray()) << QStringList() << int32(0);
    QTest::newRow("count cut short")
        << QVariant(QByteArray("\0\0", 2)) << QStringList() << int32(0);
    QTest::newRow("negative count")
        << QVariant(int32(0x80000000) + record("a", "b")) << QStringList() << int32(0);
    QTest::newRow("zero count") << QVariant(int32(0) + record("a", "b")) << QStringList()
                                << int32(0);

    // A count beyond the data: 15 records, those past the end read as empty.
    const auto fifteen = [&](const QString &first, const QByteArray &firstSaved) {
        QStringList loaded = QStringList({first});
        QByteArray saved = int32(15) + firstSaved;
        for (int i = 1; i < 15; ++i) {
            loaded << empty;
            saved += emptyRecord;
        }
        return std::make_pair(loaded, saved);
    };
    const auto huge = fifteen(QStringLiteral("\"a\" \"b\""), record("a", "b"));
    QTest::newRow("huge count") << QVariant(int32(0x7fffffff) + record("a", "b")) << huge.first
                                << huge.second;

    QTest::newRow("second record cut") << QVariant(int32(2) + record("a", "b") + int32(10) + "xy")
                                       << QStringList({"\"a\" \"b\"", "null \"\""})
                                       << int32(2) + record("a", "b") + record(QString(), "");
    QTest::newRow("string claims 4 GB")
        << QVariant(int32(1) + int32(0xfffffffe) + QByteArray(64, 'z'))
        << QStringList({"null \"\""}) << int32(1) + record(QString(), "");
    QTest::newRow("string claims 2 GB")
        << QVariant(int32(1) + int32(0x80000000) + QByteArray(64, 'z'))
        << QStringList({"null \"\""}) << int32(1) + record(QString(), "");
    // An odd length spoils only that string: the next one is read from the
    // bytes that follow the length.
    QTest::newRow("odd length") << QVariant(int32(1) + int32(3) + string("A"))
                                << QStringList({"null \"A\""}) << int32(1) + record(QString(), "A");
    QTest::newRow("null strings") << QVariant(int32(1) + record(QString(), QString()))
                                  << QStringList({"null null"})
                                  << int32(1) + record(QString(), QString());
    // Text put into the file by hand is read as bytes: "hell" is a count.
    const auto garbage = fifteen(QStringLiteral("null \"\""), record(QString(), ""));
    QTest::newRow("text") << QVariant(QStringLiteral("hello world")) << garbage.first
                          << garbage.second;
}

void TestRecentList::malformedValue()
{
    QFETCH(QVariant, stored);
    QFETCH(QStringList, loaded);
    QFETCH(QByteArray, saved);

    VLIOManager::ReleaseInstance();
    storeRecentValue(stored);
    // A claimed length is never allocated ahead of the data: nothing near
    // the megabyte that a string read grows by.
    AllocationProbe::Start();
    VLIOManager::InitInstance();
    const std::size_t largest = AllocationProbe::Stop();
    if (AllocationProbe::IsAvailable())
        QVERIFY2(largest < 64 * 1024, qPrintable(QString::number(largest)));
    QCOMPARE(describe(VLIOManager::Instance()->GetRecent()), loaded);

    // Whatever was read is what the next save writes.
    VLIOManager::ReleaseInstance();
    QCOMPARE(storedRecentBytes(), saved);
}

void TestRecentList::addRules()
{
    VLIOManager *manager = VLIOManager::Instance();
    QSignalSpy changed(manager, &VLIOManager::RecentListChanged);

    for (int i = 0; i < 15; ++i)
        manager->AddToRecent(numbered(i));
    QCOMPARE(changed.count(), 15);
    QCOMPARE(manager->GetRecent().first(), numbered(14));

    // An equal older entry moves to the front; the length stays.
    manager->AddToRecent(numbered(3));
    QCOMPARE(changed.count(), 16);
    QCOMPARE(manager->GetRecent().size(), 15);
    QCOMPARE(manager->GetRecent().first(), numbered(3));
    QCOMPARE(manager->GetRecent().count(numbered(3)), 1);
    QCOMPARE(manager->GetRecent().last(), numbered(0));

    // Same first, other second: a new entry, and the oldest goes.
    manager->AddToRecent({numbered(3).first, QStringLiteral("JPEG")});
    QCOMPARE(changed.count(), 17);
    QCOMPARE(manager->GetRecent().size(), 15);
    QCOMPARE(manager->GetRecent().at(1), numbered(3));
    QCOMPARE(manager->GetRecent().last(), numbered(1));

    // Strings compare exactly.
    manager->AddToRecent({numbered(3).first.toUpper(), QStringLiteral("JPEG")});
    QCOMPARE(changed.count(), 18);
    QCOMPARE(manager->GetRecent().last(), numbered(2));
}

void TestRecentList::limitRules()
{
    VLIOManager *manager = VLIOManager::Instance();
    for (int i = 0; i < 15; ++i)
        manager->AddToRecent(numbered(i));
    QSignalSpy changed(manager, &VLIOManager::RecentListChanged);

    // A decrease cuts to the newest entries and is announced.
    manager->SetRecentListLimit(4);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(manager->GetRecentLimit(), 4);
    QCOMPARE(manager->GetRecent(),
             QList<Record>() << numbered(14) << numbered(13) << numbered(12) << numbered(11));

    // The same limit or a negative one changes nothing.
    manager->SetRecentListLimit(4);
    manager->SetRecentListLimit(-1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(manager->GetRecentLimit(), 4);

    // A full list drops its oldest entry for a new one.
    manager->AddToRecent(numbered(20));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(manager->GetRecent(),
             QList<Record>() << numbered(20) << numbered(14) << numbered(13) << numbered(12));

    // Raising is silent and keeps the list; a decrease that drops nothing
    // is still announced.
    manager->SetRecentListLimit(10);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(manager->GetRecent().size(), 4);
    manager->SetRecentListLimit(8);
    QCOMPARE(changed.count(), 3);
    QCOMPARE(manager->GetRecent().size(), 4);

    // The limit reaches the file only with the next save.
    const QSettings before(settingsFile(), QSettings::IniFormat);
    QCOMPARE(before.value(QStringLiteral("Recent/RecentLimit")).toInt(), 4);
    manager->AddToRecent(numbered(21));
    const QSettings after(settingsFile(), QSettings::IniFormat);
    QCOMPARE(after.value(QStringLiteral("Recent/RecentLimit")).toInt(), 8);

    // Limit 0: the list empties and takes nothing new.
    manager->SetRecentListLimit(0);
    QCOMPARE(changed.count(), 5);
    QVERIFY(manager->GetRecent().isEmpty());
    manager->AddToRecent(numbered(22));
    QCOMPARE(changed.count(), 5);
    QVERIFY(manager->GetRecent().isEmpty());
}

void TestRecentList::noChangeWritesNothing()
{
    VLIOManager *manager = VLIOManager::Instance();
    manager->AddToRecent(numbered(1));
    manager->AddToRecent(numbered(2));

    // A comment of the user's: any save by QSettings would drop it.
    QByteArray text = VelaTest::ReadFile(settingsFile());
    QVERIFY(!text.isEmpty());
    text.prepend("; kept by hand\n");
    QVERIFY(VelaTest::WriteFile(settingsFile(), text));

    QSignalSpy changed(manager, &VLIOManager::RecentListChanged);
    manager->AddToRecent(numbered(2));
    manager->SetRecentListLimit(20);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(VelaTest::ReadFile(settingsFile()), text);

    manager->SetRecentListLimit(0);
    QCOMPARE(changed.count(), 1);
    manager->AddToRecent(numbered(3));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(VelaTest::ReadFile(settingsFile()), text);
}

void TestRecentList::restartKeepsEntriesAndResetsLimit()
{
    VLIOManager *manager = VLIOManager::Instance();
    for (int i = 0; i < 6; ++i)
        manager->AddToRecent(numbered(i));
    manager->SetRecentListLimit(5);
    restart();

    // The file holds limit 5 from the save at shut-down; the run starts
    // with 15 all the same.
    const QSettings settings(settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Recent/RecentLimit")).toInt(), 5);
    manager = VLIOManager::Instance();
    QCOMPARE(manager->GetRecentLimit(), 15);
    QCOMPARE(manager->GetRecent(), QList<Record>() << numbered(5) << numbered(4) << numbered(3)
                                                   << numbered(2) << numbered(1));
}

void TestRecentList::lifecycle()
{
    VLIOManager *first = VLIOManager::Instance();
    VLIOManager::InitInstance();
    QCOMPARE(VLIOManager::Instance(), first);

    s_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    VLIOManager::ReleaseInstance();
    qInstallMessageHandler(previous);
    QCOMPARE(s_messages.size(), 2);
    QVERIFY2(s_messages.at(0).contains(QStringLiteral("file=\"src\\VLIOManager.cpp\". Destroy\"")),
             qPrintable(s_messages.at(0)));
    QVERIFY2(
        s_messages.at(1).contains(QStringLiteral("file=\"src\\VLIOManager.cpp\". Destroyed\"")),
        qPrintable(s_messages.at(1)));
    QVERIFY(!VLIOManager::Instance());
    VLIOManager::ReleaseInstance();
    QVERIFY(!VLIOManager::Instance());

    // Without a settings file: empty, limit 15.
    QFile::remove(settingsFile());
    VLIOManager::InitInstance();
    QVERIFY(VLIOManager::Instance()->GetRecent().isEmpty());
    QCOMPARE(VLIOManager::Instance()->GetRecentLimit(), 15);
}

VELA_TEST_MAIN(TestRecentList)
#include "tst_recentlist.moc"
