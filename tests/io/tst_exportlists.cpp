// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "VelaTestSupport.h"

#include <QFile>
#include <QMap>
#include <QPointer>
#include <QSignalSpy>
#include <QSize>
#include <QTextStream>

#include <functional>
#include <stdexcept>

namespace {

QString dataFolder()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + QStringLiteral("/Kelvane/");
}

QString resolutionFile()
{
    return dataFolder() + QStringLiteral("ExportAndShareResolution.ini");
}

QString sizeFile()
{
    return dataFolder() + QStringLiteral("ExportAndShareSize.ini");
}

// The application data object is restarted on the given user files: a null
// array means "no file".
void restart(const QByteArray &resolutions = QByteArray(), const QByteArray &sizes = QByteArray())
{
    GlobalApplicationData::ReleaseInstance();
    QFile::remove(resolutionFile());
    QFile::remove(sizeFile());
    if (!resolutions.isNull())
        QVERIFY(VelaTest::WriteFile(resolutionFile(), resolutions));
    if (!sizes.isNull())
        QVERIFY(VelaTest::WriteFile(sizeFile(), sizes));
    GlobalApplicationData::InitInstance();
}

// A user file written by hand, in the way a user's text editor might leave it.
QByteArray userFile(const char *group, const QStringList &values)
{
    QByteArray text = "[General]\nVersion = 0.9\n\n[";
    text += group;
    text += "]\n";
    for (int i = 0; i < values.size(); ++i)
        text += QByteArray::number(i) + " = " + values.at(i).toUtf8() + '\n';
    return text;
}

// The "key=value" lines of each section of an ini file, in file order.
QMap<QString, QStringList> iniSections(const QString &path)
{
    QMap<QString, QStringList> sections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return sections;
    QString section;
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('[')))
            section = line.mid(1, line.size() - 2);
        else
            sections[section] << line;
    }
    return sections;
}

QString exceptionText(const std::function<void()> &call)
{
    try {
        call();
    } catch (const std::out_of_range &error) {
        return QString::fromLatin1(error.what());
    }
    return QString();
}

} // namespace

class TestExportLists : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutInstance();
    void firstStartSeedsFromDefaults();
    void userFileWithVersionIsTakenAsIs();
    void userFileWithoutEntries();
    void parseResolution_data();
    void parseResolution();
    void parseSize_data();
    void parseSize();
    void sortedInsert();
    void indexedInsertIsClamped();
    void setAndRemove();
    void setWithEqualValueWritesNothing();
    void getOutOfRange();
    void valuesAreKeptUnchecked();
    void releasedWithApplicationData();
    void cleanupTestCase();
};

void TestExportLists::withoutInstance()
{
    QVERIFY(!VLExportResolutions::GetInstance());
    QCOMPARE(VLExportResolutions::GetSize(), -1);
    QCOMPARE(VLExportResolutions::Get(0), QSize(-1, -1));
    QCOMPARE(VLExportResolutions::Add(QSize(10, 10)), -1);
    QVERIFY(VLExportResolutions::GetList().isEmpty());
    VLExportResolutions::Add(0, QSize(10, 10));
    VLExportResolutions::Set(0, QSize(10, 10));
    VLExportResolutions::Remove(0);

    QVERIFY(!VLExportSizes::GetInstance());
    QCOMPARE(VLExportSizes::GetSize(), -1);
    QCOMPARE(VLExportSizes::Get(0), qint64(-1));
    QCOMPARE(VLExportSizes::Add(10), -1);
    QVERIFY(VLExportSizes::GetList().isEmpty());
    VLExportSizes::Add(0, 10);
    VLExportSizes::Set(0, 10);
    VLExportSizes::Remove(0);

    QVERIFY(!QFile::exists(resolutionFile()));
    QVERIFY(!QFile::exists(sizeFile()));
}

void TestExportLists::firstStartSeedsFromDefaults()
{
    restart();
    QCOMPARE(VLExportResolutions::GetList(),
             QList<QSize>() << QSize(800, 600) << QSize(1920, 1080) << QSize(1024, 768));
    QCOMPARE(VLExportSizes::GetList(), QList<qint64>() << 1048576 << 5242880);

    // Version in the section for keys outside any group, the numbered keys
    // in the list's own section; the defaults' refused and unread entries
    // are gone.
    const QMap<QString, QStringList> resolutions = iniSections(resolutionFile());
    QCOMPARE(resolutions.keys(), QStringList({"General", "Resolutions"}));
    QCOMPARE(resolutions.value("General"), QStringList({"Version=2.3.0"}));
    QCOMPARE(resolutions.value("Resolutions"),
             QStringList({"0=800x600", "1=1920x1080", "2=1024x768"}));

    const QMap<QString, QStringList> sizes = iniSections(sizeFile());
    QCOMPARE(sizes.keys(), QStringList({"General", "Sizes"}));
    QCOMPARE(sizes.value("General"), QStringList({"Version=2.3.0"}));
    QCOMPARE(sizes.value("Sizes"), QStringList({"0=1048576", "1=5242880"}));

    // The next start takes the user's file, not the defaults again.
    const QByteArray written = VelaTest::ReadFile(resolutionFile());
    GlobalApplicationData::ReleaseInstance();
    GlobalApplicationData::InitInstance();
    QCOMPARE(VLExportResolutions::GetSize(), 3);
    QCOMPARE(VelaTest::ReadFile(resolutionFile()), written);
}

void TestExportLists::userFileWithVersionIsTakenAsIs()
{
    // Entries 0, 1 and 3: the gap ends the list.
    restart("[General]\nVersion=1\n[Resolutions]\n0=640x480\n1=800x400\n3=1024x768\n",
            "[General]\nVersion=1\n[Sizes]\n0=100\n1=200\n3=300\n");
    QCOMPARE(VLExportResolutions::GetList(), QList<QSize>() << QSize(640, 480) << QSize(800, 400));
    QCOMPARE(VLExportSizes::GetList(), QList<qint64>() << 100 << 200);

    // The save counts three keys and removes key 2 only: key 3 stays,
    // unread.
    VLExportResolutions::Set(1, QSize(800, 450));
    QCOMPARE(iniSections(resolutionFile()).value("Resolutions"),
             QStringList({"0=640x480", "1=800x450", "3=1024x768"}));
    QCOMPARE(iniSections(resolutionFile()).value("General"), QStringList({"Version=2.3.0"}));
    VLExportResolutions::Remove(0);
    QCOMPARE(iniSections(resolutionFile()).value("Resolutions"),
             QStringList({"0=800x450", "3=1024x768"}));

    VLExportSizes::Remove(0);
    QCOMPARE(iniSections(sizeFile()).value("Sizes"), QStringList({"0=200", "3=300"}));
}

void TestExportLists::userFileWithoutEntries()
{
    const QByteArray resolutions = "[General]\nVersion=7\n";
    const QByteArray sizes = "[General]\nVersion=7\n[Sizes]\n1=100\n";
    restart(resolutions, sizes);
    QCOMPARE(VLExportResolutions::GetSize(), 0);
    QCOMPARE(VLExportSizes::GetSize(), 0);
    QCOMPARE(VelaTest::ReadFile(resolutionFile()), resolutions);
    QCOMPARE(VelaTest::ReadFile(sizeFile()), sizes);
}

// Each stored value is followed by a valid one, which must load whether or
// not the first is refused.
void TestExportLists::parseResolution_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QSize>("parsed"); // invalid: refused

    QTest::newRow("plain") << "1920x1080" << QSize(1920, 1080);
    QTest::newRow("spaces") << "1920 x 1080" << QSize(1920, 1080);
    QTest::newRow("smallest") << "1x1" << QSize(1, 1);
    QTest::newRow("largest") << "10000x10000" << QSize(10000, 10000);
    QTest::newRow("plus sign") << "+5x10" << QSize(5, 10);
    QTest::newRow("capital X") << "1920X1080" << QSize();
    QTest::newRow("zero width") << "0x100" << QSize();
    QTest::newRow("too wide") << "10001x5" << QSize();
    QTest::newRow("too high") << "5x10001" << QSize();
    QTest::newRow("negative") << "-5x10" << QSize();
    QTest::newRow("three parts") << "1x2x3" << QSize();
    QTest::newRow("empty width") << "x100" << QSize();
    QTest::newRow("empty height") << "100x" << QSize();
    QTest::newRow("fraction") << "100.5x100" << QSize();
    QTest::newRow("text") << "wide" << QSize();
    QTest::newRow("empty") << "" << QSize();
    QTest::newRow("list") << "100x100, 200x200" << QSize();
}

void TestExportLists::parseResolution()
{
    QFETCH(QString, stored);
    QFETCH(QSize, parsed);

    restart(userFile("Resolutions", QStringList() << stored << "7x7"));
    QList<QSize> loaded;
    if (parsed.isValid())
        loaded << parsed;
    loaded << QSize(7, 7);
    QCOMPARE(VLExportResolutions::GetList(), loaded);

    // A refused value disappears from the file at the next save.
    VLExportResolutions::Add(VLExportResolutions::GetSize(), QSize(9000, 1));
    QStringList expected;
    for (int i = 0; i < loaded.size(); ++i)
        expected
            << QStringLiteral("%1=%2x%3").arg(i).arg(loaded[i].width()).arg(loaded[i].height());
    expected << QStringLiteral("%1=9000x1").arg(loaded.size());
    QCOMPARE(iniSections(resolutionFile()).value("Resolutions"), expected);
}

void TestExportLists::parseSize_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<qint64>("parsed"); // 0: refused

    QTest::newRow("plain") << "1048576" << Q_INT64_C(1048576);
    QTest::newRow("one") << "1" << Q_INT64_C(1);
    QTest::newRow("spaces") << " 42 " << Q_INT64_C(42);
    QTest::newRow("beyond 32 bits") << "9223372036854775807" << Q_INT64_C(9223372036854775807);
    QTest::newRow("zero") << "0" << Q_INT64_C(0);
    QTest::newRow("negative") << "-5" << Q_INT64_C(0);
    QTest::newRow("text") << "large" << Q_INT64_C(0);
    QTest::newRow("fraction") << "12.5" << Q_INT64_C(0);
    QTest::newRow("too large") << "9223372036854775808" << Q_INT64_C(0);
    QTest::newRow("hexadecimal") << "0x10" << Q_INT64_C(0);
    QTest::newRow("empty") << "" << Q_INT64_C(0);
}

void TestExportLists::parseSize()
{
    QFETCH(QString, stored);
    QFETCH(qint64, parsed);

    restart(QByteArray(), userFile("Sizes", QStringList() << stored << "7"));
    QList<qint64> loaded;
    if (parsed != 0)
        loaded << parsed;
    loaded << 7;
    QCOMPARE(VLExportSizes::GetList(), loaded);
}

void TestExportLists::sortedInsert()
{
    restart(userFile("Resolutions", {"640x480", "800x400", "1024x768"}),
            userFile("Sizes", {"100", "200", "200", "300"}));
    QSignalSpy inserted(VLExportResolutions::GetInstance(), &VLExportResolutions::Inserted);

    // After the entry of equal width.
    QCOMPARE(VLExportResolutions::Add(QSize(800, 600)), 2);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(0).toInt(), 2);
    QCOMPARE(VLExportResolutions::GetList(), QList<QSize>() << QSize(640, 480) << QSize(800, 400)
                                                            << QSize(800, 600) << QSize(1024, 768));
    QCOMPARE(iniSections(resolutionFile()).value("Resolutions"),
             QStringList({"0=640x480", "1=800x400", "2=800x600", "3=1024x768"}));

    // Wider than all: at the end.
    QCOMPARE(VLExportResolutions::Add(QSize(4000, 1)), 4);
    QCOMPARE(inserted.at(1).at(0).toInt(), 4);

    QSignalSpy sizeInserted(VLExportSizes::GetInstance(), &VLExportSizes::Inserted);
    QCOMPARE(VLExportSizes::Add(200), 3);
    QCOMPARE(sizeInserted.count(), 1);
    QCOMPARE(sizeInserted.at(0).at(0).toInt(), 3);
    QCOMPARE(VLExportSizes::GetList(), QList<qint64>() << 100 << 200 << 200 << 200 << 300);
    // A 64-bit value compares as a whole.
    QCOMPARE(VLExportSizes::Add(Q_INT64_C(0x100000064)), 5);

    // An unsorted list: the search stops at the first greater entry.
    restart(userFile("Resolutions", {"1024x768", "640x480"}));
    QCOMPARE(VLExportResolutions::Add(QSize(800, 600)), 0);
    QCOMPARE(VLExportResolutions::GetList(),
             QList<QSize>() << QSize(800, 600) << QSize(1024, 768) << QSize(640, 480));
}

void TestExportLists::indexedInsertIsClamped()
{
    restart(userFile("Resolutions", {"640x480", "800x600", "1024x768"}),
            userFile("Sizes", {"100", "200", "300"}));
    QSignalSpy inserted(VLExportResolutions::GetInstance(), &VLExportResolutions::Inserted);

    VLExportResolutions::Add(-5, QSize(1, 1));
    VLExportResolutions::Add(1000, QSize(2, 2));
    VLExportResolutions::Add(2, QSize(3, 3));
    QCOMPARE(inserted.count(), 3);
    QCOMPARE(inserted.at(0).at(0).toInt(), 0);
    QCOMPARE(inserted.at(1).at(0).toInt(), 4);
    QCOMPARE(inserted.at(2).at(0).toInt(), 2);
    QCOMPARE(VLExportResolutions::GetList(), QList<QSize>() << QSize(1, 1) << QSize(640, 480)
                                                            << QSize(3, 3) << QSize(800, 600)
                                                            << QSize(1024, 768) << QSize(2, 2));
    QCOMPARE(iniSections(resolutionFile()).value("Resolutions").size(), 6);

    QSignalSpy sizeInserted(VLExportSizes::GetInstance(), &VLExportSizes::Inserted);
    VLExportSizes::Add(1000, 1);
    QCOMPARE(sizeInserted.at(0).at(0).toInt(), 3);
    QCOMPARE(VLExportSizes::GetList(), QList<qint64>() << 100 << 200 << 300 << 1);
}

void TestExportLists::setAndRemove()
{
    restart(userFile("Resolutions", {"640x480", "800x600", "1024x768"}),
            userFile("Sizes", {"100", "200", "300"}));
    QSignalSpy changed(VLExportResolutions::GetInstance(), &VLExportResolutions::Changhed);
    QSignalSpy removed(VLExportResolutions::GetInstance(), &VLExportResolutions::Removed);

    VLExportResolutions::Set(1, QSize(800, 601));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 1);
    QCOMPARE(VLExportResolutions::Get(1), QSize(800, 601));

    VLExportResolutions::Remove(0);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).toInt(), 0);
    QCOMPARE(iniSections(resolutionFile()).value("Resolutions"),
             QStringList({"0=800x601", "1=1024x768"}));

    // Indexes outside the list are ignored.
    VLExportResolutions::Remove(2);
    VLExportResolutions::Remove(-1);
    VLExportResolutions::Set(2, QSize(1, 1));
    VLExportResolutions::Set(-1, QSize(1, 1));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(VLExportResolutions::GetSize(), 2);

    QSignalSpy sizeChanged(VLExportSizes::GetInstance(), &VLExportSizes::Changhed);
    QSignalSpy sizeRemoved(VLExportSizes::GetInstance(), &VLExportSizes::Removed);
    VLExportSizes::Set(2, 301);
    VLExportSizes::Remove(1);
    QCOMPARE(sizeChanged.count(), 1);
    QCOMPARE(sizeChanged.at(0).at(0).toInt(), 2);
    QCOMPARE(sizeRemoved.at(0).at(0).toInt(), 1);
    QCOMPARE(iniSections(sizeFile()).value("Sizes"), QStringList({"0=100", "1=301"}));

    // Every change is on disk: the next start loads it.
    GlobalApplicationData::ReleaseInstance();
    GlobalApplicationData::InitInstance();
    QCOMPARE(VLExportResolutions::GetList(), QList<QSize>() << QSize(800, 601) << QSize(1024, 768));
    QCOMPARE(VLExportSizes::GetList(), QList<qint64>() << 100 << 301);
}

void TestExportLists::setWithEqualValueWritesNothing()
{
    // Hand-written files: any save by QSettings would reformat them.
    const QByteArray resolutions = userFile("Resolutions", {"640 x 480", "800x600"});
    const QByteArray sizes = userFile("Sizes", {"100", "200"});
    restart(resolutions, sizes);
    QSignalSpy changed(VLExportResolutions::GetInstance(), &VLExportResolutions::Changhed);
    QSignalSpy sizeChanged(VLExportSizes::GetInstance(), &VLExportSizes::Changhed);

    VLExportResolutions::Set(0, QSize(640, 480));
    VLExportSizes::Set(1, 200);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(sizeChanged.count(), 0);
    QCOMPARE(VelaTest::ReadFile(resolutionFile()), resolutions);
    QCOMPARE(VelaTest::ReadFile(sizeFile()), sizes);

    // A different height alone is a change.
    VLExportResolutions::Set(0, QSize(640, 481));
    QCOMPARE(changed.count(), 1);
    QVERIFY(VelaTest::ReadFile(resolutionFile()) != resolutions);
}

void TestExportLists::getOutOfRange()
{
    restart(userFile("Resolutions", {"640x480"}), userFile("Sizes", {"100"}));
    QCOMPARE(VLExportResolutions::Get(0), QSize(640, 480));
    QCOMPARE(VLExportSizes::Get(0), qint64(100));

    const QString resolutionText = QStringLiteral("resolution index is out of range");
    QCOMPARE(exceptionText([] { VLExportResolutions::Get(VLExportResolutions::GetSize()); }),
             resolutionText);
    QCOMPARE(exceptionText([] { VLExportResolutions::Get(-1); }), resolutionText);

    const QString sizeText = QStringLiteral("size index is out of range");
    QCOMPARE(exceptionText([] { VLExportSizes::Get(VLExportSizes::GetSize()); }), sizeText);
    QCOMPARE(exceptionText([] { VLExportSizes::Get(-1); }), sizeText);
}

void TestExportLists::valuesAreKeptUnchecked()
{
    restart(userFile("Resolutions", {"640x480"}), userFile("Sizes", {"100"}));
    VLExportResolutions::Add(1, QSize(0, 20000));
    VLExportSizes::Add(1, -3);
    QCOMPARE(VLExportResolutions::Get(1), QSize(0, 20000));
    QCOMPARE(VLExportSizes::Get(1), qint64(-3));
    QCOMPARE(iniSections(resolutionFile()).value("Resolutions"),
             QStringList({"0=640x480", "1=0x20000"}));
    QCOMPARE(iniSections(sizeFile()).value("Sizes"), QStringList({"0=100", "1=-3"}));

    // ... and refused by the next load.
    GlobalApplicationData::ReleaseInstance();
    GlobalApplicationData::InitInstance();
    QCOMPARE(VLExportResolutions::GetList(), QList<QSize>() << QSize(640, 480));
    QCOMPARE(VLExportSizes::GetList(), QList<qint64>() << 100);
}

void TestExportLists::releasedWithApplicationData()
{
    restart();
    const QPointer<VLExportResolutions> resolutions = VLExportResolutions::GetInstance();
    const QPointer<VLExportSizes> sizes = VLExportSizes::GetInstance();
    QVERIFY(resolutions);
    QVERIFY(sizes);

    // A second start leaves the lists in place.
    GlobalApplicationData::InitInstance();
    QCOMPARE(VLExportResolutions::GetInstance(), resolutions.data());

    GlobalApplicationData::ReleaseInstance();
    QVERIFY(!resolutions);
    QVERIFY(!sizes);
    QVERIFY(!VLExportResolutions::GetInstance());
    QVERIFY(!VLExportSizes::GetInstance());
    QCOMPARE(VLExportResolutions::GetSize(), -1);
    GlobalApplicationData::ReleaseInstance();
}

void TestExportLists::cleanupTestCase()
{
    GlobalApplicationData::ReleaseInstance();
}

VELA_TEST_MAIN(TestExportLists)
#include "tst_exportlists.moc"
