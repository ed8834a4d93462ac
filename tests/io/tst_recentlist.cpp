// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "VLIOManager.h"
#include "VelaAllocationProbe.h"
#include "VelaTestSupport.h"

using Record = VLIOManager::RecentRecord;

namespace {

QString settingsFile()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/" + QDir::separator()
           + "settings.ini";
}

QVariant stored(const QString &key)
{
    return QSettings(settingsFile(), QSettings::IniFormat).value("Recent/" + key);
}

// The stored form: big-endian counts, UTF-16BE text.
using VelaTest::BigEndian;
using VelaTest::StreamString;

QByteArray record(const QString &first, const QString &second)
{
    return StreamString(first) + StreamString(second);
}

Record numbered(int i)
{
    return {QStringLiteral("/images/%1.png").arg(i), QStringLiteral("PNG")};
}

QByteArray numberedRecords(int from, int count)
{
    QByteArray bytes;
    for (int i = from; i < from + count; ++i)
        bytes += record(numbered(i).first, numbered(i).second);
    return bytes;
}

} // namespace

class TestRecentList : public QObject
{
    Q_OBJECT

    VLIOManager *filled(int count)
    {
        for (int i = 0; i < count; ++i)
            VLIOManager::Instance()->AddToRecent(numbered(i));
        return VLIOManager::Instance();
    }

private Q_SLOTS:
    void init()
    {
        GlobalApplicationData::InitInstance();
        QFile::remove(settingsFile());
        VLIOManager::InitInstance();
    }

    void cleanup()
    {
        VLIOManager::ReleaseInstance();
        GlobalApplicationData::ReleaseInstance();
    }

    void storedLayout()
    {
        VLIOManager *manager = VLIOManager::Instance();
        manager->AddToRecent({"C:/a.png", "PNG"});
        manager->AddToRecent({QString(), ""});
        manager->AddToRecent({QString::fromUtf8("\xc3\xa9t\xc3\xa9"), "x"});

        // Count, then each record's two strings; null strings keep their marker.
        const QByteArray expected = QByteArray::fromHex("00000003"
                                                        "00000006 00e9007400e9 00000002 0078"
                                                        "ffffffff 00000000"
                                                        "00000010 0043003a002f0061002e0070006e0067"
                                                        "00000006 0050004e0047");
        QCOMPARE(stored("RecentFiles").toByteArray(), expected);
        QCOMPARE(stored("RecentLimit").toInt(), 15);
    }

    // Each row is stored with limit 20 and read by a fresh start.
    void load_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("saved"); // what the next save writes
        const QByteArray empty15 = [] {
            QByteArray bytes;
            for (int i = 1; i < 15; ++i)
                bytes += record("", "");
            return bytes;
        }();

        QTest::newRow("20 records") << QVariant(BigEndian(20) + numberedRecords(0, 20))
                                    << BigEndian(15) + numberedRecords(0, 15);
        QTest::newRow("count cut short") << QVariant(QByteArray("\0\0", 2)) << BigEndian(0);
        QTest::newRow("negative count")
            << QVariant(BigEndian(0x80000000) + record("a", "b")) << BigEndian(0);
        // Records past the end of the data read as empty: 15 at most.
        QTest::newRow("count 2^31-1") << QVariant(BigEndian(0x7fffffff) + record("a", "b"))
                                      << BigEndian(15) + record("a", "b") + empty15;
        QTest::newRow("second record cut")
            << QVariant(BigEndian(2) + record("a", "b") + BigEndian(10) + "xy")
            << BigEndian(2) + record("a", "b") + record(QString(), "");
        QTest::newRow("string claims 4 GB")
            << QVariant(BigEndian(1) + BigEndian(0xfffffffe) + QByteArray(64, 'z'))
            << BigEndian(1) + record(QString(), "");
        // An odd length spoils only that string.
        QTest::newRow("odd length") << QVariant(BigEndian(1) + BigEndian(3) + StreamString("A"))
                                    << BigEndian(1) + record(QString(), "A");
        // Text put into the file by hand is read as bytes: "hell" is a count.
        QTest::newRow("text") << QVariant(QStringLiteral("hello world"))
                              << BigEndian(15) + record(QString(), "") + empty15;
    }

    void load()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, saved);

        VLIOManager::ReleaseInstance();
        {
            QSettings settings(settingsFile(), QSettings::IniFormat);
            settings.setValue("Recent/RecentFiles", value);
            settings.setValue("Recent/RecentLimit", 20);
        }
        // A claimed length is never allocated ahead of the data.
        VelaAllocationProbe::Start();
        VLIOManager::InitInstance();
        const std::size_t largest = VelaAllocationProbe::Stop();
        QVERIFY2(largest < 64 * 1024, qPrintable(QString::number(largest)));
        QCOMPARE(VLIOManager::Instance()->GetRecentLimit(), 15);

        // Whatever was read is what the next save writes.
        VLIOManager::ReleaseInstance();
        QCOMPARE(stored("RecentFiles").toByteArray(), saved);
    }

    void addAndLimitRules()
    {
        VLIOManager *manager = VLIOManager::Instance();
        QSignalSpy changed(manager, &VLIOManager::RecentListChanged);
        filled(15);
        // An equal older entry moves to the front; same first with other
        // second, or other case, is a new entry and the oldest goes.
        manager->AddToRecent(numbered(3));
        QCOMPARE(manager->GetRecent().mid(0, 2), QList<Record>({numbered(3), numbered(14)}));
        QCOMPARE(manager->GetRecent().count(numbered(3)), 1);
        manager->AddToRecent({numbered(3).first, "JPEG"});
        manager->AddToRecent({numbered(3).first.toUpper(), "JPEG"});
        QCOMPARE(changed.count(), 18);
        QCOMPARE(manager->GetRecent().size(), 15);
        QCOMPARE(manager->GetRecent().last(), numbered(2));

        // A decrease cuts to the newest entries and is announced; the same
        // limit or a negative one changes nothing.
        manager->SetRecentListLimit(4);
        manager->SetRecentListLimit(4);
        manager->SetRecentListLimit(-1);
        QCOMPARE(changed.count(), 19);
        QCOMPARE(manager->GetRecentLimit(), 4);
        QCOMPARE(manager->GetRecent().mid(2), QList<Record>({numbered(3), numbered(14)}));

        // A full list drops its oldest entry for a new one.
        manager->AddToRecent(numbered(15));
        QCOMPARE(manager->GetRecent().first(), numbered(15));
        QCOMPARE(manager->GetRecent().last(), numbered(3));

        // Raising is silent; a decrease that drops nothing is announced.
        manager->SetRecentListLimit(10);
        QCOMPARE(changed.count(), 20);
        manager->SetRecentListLimit(8);
        QCOMPARE(changed.count(), 21);
        QCOMPARE(manager->GetRecent().size(), 4);
        // The limit reaches the file only with the next save.
        QCOMPARE(stored("RecentLimit").toInt(), 4);
        manager->AddToRecent(numbered(16));
        QCOMPARE(stored("RecentLimit").toInt(), 8);

        // Limit 0: the list empties and takes nothing new.
        manager->SetRecentListLimit(0);
        manager->AddToRecent(numbered(17));
        QCOMPARE(changed.count(), 23);
        QVERIFY(manager->GetRecent().isEmpty());
    }

    void noChangeWritesNothing()
    {
        VLIOManager *manager = filled(3);
        // A comment of the user's: any save by QSettings would drop it.
        const QByteArray text = "; kept by hand\n" + VelaTest::ReadFile(settingsFile());
        QVERIFY(VelaTest::WriteFile(settingsFile(), text));

        QSignalSpy changed(manager, &VLIOManager::RecentListChanged);
        manager->AddToRecent(numbered(2));
        manager->SetRecentListLimit(20);
        manager->SetRecentListLimit(0);
        manager->AddToRecent(numbered(3));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(VelaTest::ReadFile(settingsFile()), text);
    }
};

VELA_TEST_MAIN(TestRecentList)
#include "tst_recentlist.moc"
