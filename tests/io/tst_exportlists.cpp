// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "VelaTestSupport.h"

#include <functional>
#include <stdexcept>

using Sizes = QList<QSize>;
using Bytes = QList<qint64>;

namespace {

QString resolutionFile()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/ExportAndShareResolution.ini";
}

QString sizeFile()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/ExportAndShareSize.ini";
}

// Restarts the application data on these user files; a null array: no file.
void restart(const QByteArray &resolutions = QByteArray(), const QByteArray &sizes = QByteArray())
{
    GlobalApplicationData::ReleaseInstance();
    QFile::remove(resolutionFile());
    QFile::remove(sizeFile());
    if (!resolutions.isNull())
        VelaTest::WriteFile(resolutionFile(), resolutions);
    if (!sizes.isNull())
        VelaTest::WriteFile(sizeFile(), sizes);
    GlobalApplicationData::InitInstance();
}

// A user file the way a user's text editor might leave it.
QByteArray userFile(const char *group, const QStringList &values)
{
    QByteArray text = QByteArray("[General]\nVersion = 0.9\n\n[") + group + "]\n";
    for (int i = 0; i < values.size(); ++i)
        text += QByteArray::number(i) + " = " + values.at(i).toUtf8() + '\n';
    return text;
}

// The "key=value" lines of each section of an ini file, in file order.
QMap<QString, QStringList> iniSections(const QString &path)
{
    QMap<QString, QStringList> sections;
    QString section;
    const QList<QByteArray> lines = VelaTest::ReadFile(path).split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('['))
            section = line.mid(1, line.size() - 2);
        else if (!line.isEmpty())
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
    void cleanupTestCase() { GlobalApplicationData::ReleaseInstance(); }

    void createdAndReleasedWithApplicationData()
    {
        restart();
        const QPointer<VLExportResolutions> resolutions = VLExportResolutions::GetInstance();
        const QPointer<VLExportSizes> sizes = VLExportSizes::GetInstance();
        QVERIFY(resolutions && sizes);
        GlobalApplicationData::InitInstance();
        QCOMPARE(VLExportResolutions::GetInstance(), resolutions.data());
        GlobalApplicationData::ReleaseInstance();
        QVERIFY(!resolutions && !sizes);

        // Without the lists the static calls answer -1 and touch nothing.
        QFile::remove(resolutionFile());
        QFile::remove(sizeFile());
        QCOMPARE(VLExportResolutions::GetSize(), -1);
        QCOMPARE(VLExportResolutions::Get(0), QSize(-1, -1));
        QCOMPARE(VLExportResolutions::Add(QSize(10, 10)), -1);
        VLExportResolutions::Set(0, QSize(10, 10));
        QCOMPARE(VLExportSizes::GetSize(), -1);
        QCOMPARE(VLExportSizes::Get(0), qint64(-1));
        QCOMPARE(VLExportSizes::Add(10), -1);
        VLExportSizes::Remove(0);
        QVERIFY(!QFile::exists(resolutionFile()) && !QFile::exists(sizeFile()));
    }

    void firstStartSeedsFromDefaults()
    {
        // The defaults hold refused entries and one after a gap, all gone.
        restart();
        QCOMPARE(VLExportResolutions::GetList(),
                 Sizes({QSize(800, 600), QSize(1920, 1080), QSize(1024, 768)}));
        QCOMPARE(VLExportSizes::GetList(), Bytes({1048576, 5242880}));

        const QMap<QString, QStringList> resolutions = iniSections(resolutionFile());
        QCOMPARE(resolutions.keys(), QStringList({"General", "Resolutions"}));
        QCOMPARE(resolutions.value("General"), QStringList({"Version=2.3.0"}));
        QCOMPARE(resolutions.value("Resolutions"),
                 QStringList({"0=800x600", "1=1920x1080", "2=1024x768"}));
        const QMap<QString, QStringList> sizes = iniSections(sizeFile());
        QCOMPARE(sizes.keys(), QStringList({"General", "Sizes"}));
        QCOMPARE(sizes.value("General"), QStringList({"Version=2.3.0"}));
        QCOMPARE(sizes.value("Sizes"), QStringList({"0=1048576", "1=5242880"}));
    }

    void userFileWithVersionIsTakenAsIs()
    {
        // Entries 0, 1 and 3: the gap ends the list. A file without
        // entries is an empty list, not a reason to seed.
        const QByteArray noEntries = "[General]\nVersion=7\n";
        restart("[General]\nVersion=1\n[Resolutions]\n0=640x480\n1=800x400\n3=1024x768\n",
                noEntries);
        QCOMPARE(VLExportResolutions::GetList(), Sizes({QSize(640, 480), QSize(800, 400)}));
        QCOMPARE(VLExportSizes::GetSize(), 0);
        QCOMPARE(VelaTest::ReadFile(sizeFile()), noEntries);

        // The save counts three keys and removes key 2 only: key 3 stays.
        VLExportResolutions::Remove(0);
        QCOMPARE(iniSections(resolutionFile()).value("Resolutions"),
                 QStringList({"0=800x400", "3=1024x768"}));
        QCOMPARE(iniSections(resolutionFile()).value("General"), QStringList({"Version=2.3.0"}));
    }

    // Each stored value is followed by a valid one, which loads either way;
    // a refused value disappears at the next save.
    void parseResolution_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QSize>("parsed"); // invalid: refused
        QTest::newRow("spaces") << "1920 x 1080" << QSize(1920, 1080);
        QTest::newRow("smallest") << "1x1" << QSize(1, 1);
        QTest::newRow("largest") << "10000x10000" << QSize(10000, 10000);
        QTest::newRow("plus sign") << "+5x10" << QSize(5, 10);
        QTest::newRow("capital X") << "1920X1080" << QSize();
        QTest::newRow("zero width") << "0x100" << QSize();
        QTest::newRow("too wide") << "10001x5" << QSize();
        QTest::newRow("too high") << "5x10001" << QSize();
        QTest::newRow("three parts") << "1x2x3" << QSize();
        QTest::newRow("fraction") << "100.5x100" << QSize();
        QTest::newRow("empty") << "" << QSize();
    }

    void parseResolution()
    {
        QFETCH(QString, value);
        QFETCH(QSize, parsed);
        restart(userFile("Resolutions", {value, "7x7"}));
        const Sizes loaded = parsed.isValid() ? Sizes({parsed, QSize(7, 7)}) : Sizes({QSize(7, 7)});
        QCOMPARE(VLExportResolutions::GetList(), loaded);

        VLExportResolutions::Set(loaded.size() - 1, QSize(8, 8));
        QCOMPARE(iniSections(resolutionFile()).value("Resolutions").size(), loaded.size());
    }

    void parseSize_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<qint64>("parsed"); // 0: refused
        QTest::newRow("spaces") << " 42 " << Q_INT64_C(42);
        QTest::newRow("largest") << "9223372036854775807" << Q_INT64_C(9223372036854775807);
        QTest::newRow("zero") << "0" << Q_INT64_C(0);
        QTest::newRow("fraction") << "12.5" << Q_INT64_C(0);
        QTest::newRow("too large") << "9223372036854775808" << Q_INT64_C(0);
        QTest::newRow("hexadecimal") << "0x10" << Q_INT64_C(0);
    }

    void parseSize()
    {
        QFETCH(QString, value);
        QFETCH(qint64, parsed);
        restart(QByteArray(), userFile("Sizes", {value, "7"}));
        QCOMPARE(VLExportSizes::GetList(), parsed ? Bytes({parsed, 7}) : Bytes({7}));
    }

    void sortedInsert()
    {
        restart(userFile("Resolutions", {"640x480", "800x400", "1024x768"}),
                userFile("Sizes", {"100", "200", "300"}));
        QSignalSpy inserted(VLExportResolutions::GetInstance(), &VLExportResolutions::Inserted);

        // After the entry of equal width, and saved there.
        QCOMPARE(VLExportResolutions::Add(QSize(800, 600)), 2);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(0).toInt(), 2);
        QCOMPARE(iniSections(resolutionFile()).value("Resolutions"),
                 QStringList({"0=640x480", "1=800x400", "2=800x600", "3=1024x768"}));
        QCOMPARE(VLExportResolutions::Add(QSize(4000, 1)), 4);
        QCOMPARE(VLExportSizes::Add(200), 2);
        // A 64-bit value compares as a whole.
        QCOMPARE(VLExportSizes::Add(Q_INT64_C(0x100000064)), 4);

        // An unsorted list: the search stops at the first greater entry.
        restart(userFile("Resolutions", {"1024x768", "640x480"}));
        QCOMPARE(VLExportResolutions::Add(QSize(800, 600)), 0);
    }

    void indexedInsertSetRemove()
    {
        restart(userFile("Resolutions", {"640x480", "800x600"}), userFile("Sizes", {"100", "200"}));
        VLExportResolutions *list = VLExportResolutions::GetInstance();
        QSignalSpy inserted(list, &VLExportResolutions::Inserted);
        QSignalSpy changed(list, &VLExportResolutions::Changhed);
        QSignalSpy removed(list, &VLExportResolutions::Removed);

        // Indexes are clamped; values are kept unchecked.
        VLExportResolutions::Add(-5, QSize(1, 1));
        VLExportResolutions::Add(1000, QSize(0, 20000));
        VLExportResolutions::Set(1, QSize(640, 481));
        VLExportResolutions::Remove(2);
        // Indexes outside the list are ignored.
        VLExportResolutions::Set(3, QSize(1, 1));
        VLExportResolutions::Remove(-1);
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(1).at(0).toInt(), 3);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 1);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toInt(), 2);
        QCOMPARE(iniSections(resolutionFile()).value("Resolutions"),
                 QStringList({"0=1x1", "1=640x481", "2=0x20000"}));

        QSignalSpy sizeChanged(VLExportSizes::GetInstance(), &VLExportSizes::Changhed);
        VLExportSizes::Add(1000, -3);
        VLExportSizes::Set(0, 101);
        VLExportSizes::Remove(1);
        QCOMPARE(sizeChanged.count(), 1);
        QCOMPARE(iniSections(sizeFile()).value("Sizes"), QStringList({"0=101", "1=-3"}));

        // The next start loads every change, and refuses the unchecked values.
        GlobalApplicationData::ReleaseInstance();
        GlobalApplicationData::InitInstance();
        QCOMPARE(VLExportResolutions::GetList(), Sizes({QSize(1, 1), QSize(640, 481)}));
        QCOMPARE(VLExportSizes::GetList(), Bytes({101}));
    }

    void equalSetWritesNothingGetThrows()
    {
        // Hand-written files: any save by QSettings would reformat them.
        const QByteArray resolutions = userFile("Resolutions", {"640 x 480"});
        const QByteArray sizes = userFile("Sizes", {"100"});
        restart(resolutions, sizes);
        QSignalSpy changed(VLExportResolutions::GetInstance(), &VLExportResolutions::Changhed);
        QSignalSpy sizeChanged(VLExportSizes::GetInstance(), &VLExportSizes::Changhed);
        VLExportResolutions::Set(0, QSize(640, 480));
        VLExportSizes::Set(0, 100);
        QCOMPARE(changed.count() + sizeChanged.count(), 0);
        QCOMPARE(VelaTest::ReadFile(resolutionFile()), resolutions);
        QCOMPARE(VelaTest::ReadFile(sizeFile()), sizes);

        const QString resolutionText = QStringLiteral("resolution index is out of range");
        QCOMPARE(exceptionText([] { VLExportResolutions::Get(1); }), resolutionText);
        QCOMPARE(exceptionText([] { VLExportResolutions::Get(-1); }), resolutionText);
        const QString sizeText = QStringLiteral("size index is out of range");
        QCOMPARE(exceptionText([] { VLExportSizes::Get(1); }), sizeText);
        QCOMPARE(exceptionText([] { VLExportSizes::Get(-1); }), sizeText);
    }
};

VELA_TEST_MAIN(TestExportLists)
#include "tst_exportlists.moc"
