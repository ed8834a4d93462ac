// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PreferencesTestSupport.h"

#include "VelaUserParams.h"

#include <QSignalSpy>

using namespace PreferencesTest;

namespace {

using Values = QList<QPair<QString, QString>>;

const QString hostKey = VelaUserParams::ProxySettings::Proxy::PROXYHOSTNAME();
const QString portKey = VelaUserParams::ProxySettings::Proxy::PROXYPORT();
const QString typeKey = VelaUserParams::ProxySettings::Proxy::PROXYTYPE();
// A parameter no proxy setter touches: changed in memory only, it shows
// whether a setter saved the document.
const QString witnessKey = VelaUserParams::Directories::Settings::DefImageType();

Values proxyValues(const QString &host, const QString &port, const QString &type)
{
    return {{hostKey, host}, {portKey, port}, {typeKey, type}, {witnessKey, QStringLiteral("png")}};
}

} // namespace

class TestProxy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { GlobalApplicationData::ReleaseInstance(); }

    void load_data()
    {
        QTest::addColumn<QByteArray>("userDocument");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("index");

        const QString version = DefaultVersion();
        QTest::newRow("all three")
            << Document(version, proxyValues(QStringLiteral("proxy.example"),
                                             QStringLiteral("8080"), QStringLiteral("3")))
            << "proxy.example" << 8080 << 3;
        QTest::newRow("none of them")
            << Document(version, {{witnessKey, QStringLiteral("png")}}) << "" << 0 << 0;
        QTest::newRow("unparsable numbers") << Document(
            version, proxyValues(QStringLiteral("h"), QStringLiteral("80a"), QStringLiteral("two")))
                                            << "h" << 0 << 0;
        QTest::newRow("type out of range") << Document(
            version, proxyValues(QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("4")))
                                           << "h" << 1 << 0;
        QTest::newRow("negative type") << Document(
            version, proxyValues(QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("-1")))
                                       << "h" << 1 << 0;
    }

    void load()
    {
        QFETCH(QByteArray, userDocument);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, index);

        ResetUserFolder(userDocument);
        GlobalApplicationData::InitInstance();
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        QSignalSpy changed(data, &GlobalApplicationData::ProxyChanged);
        data->InitUserPreferences();
        QCOMPARE(data->GetProxyHostName(), host);
        QCOMPARE(data->GetProxyPortNumber(), port);
        QCOMPARE(data->GetProxyTypeIndex(), index);
        QCOMPARE(changed.count(), 0);
    }

    void settersSaveAndSignal()
    {
        ResetUserFolder(
            Document(DefaultVersion(), proxyValues(QStringLiteral("old.example"),
                                                   QStringLiteral("3128"), QStringLiteral("1"))));
        GlobalApplicationData *data = StartLibrary();
        QSignalSpy changed(data, &GlobalApplicationData::ProxyChanged);
        // Slots may call back into the object: the data mutex is free then.
        QString hostSeenBySlot;
        connect(data, &GlobalApplicationData::ProxyChanged, this,
                [&] { hostSeenBySlot = data->GetProxyHostName(); });

        data->SetDefImageType(QStringLiteral("jpg"));
        data->SetProxyHostName(QStringLiteral("old.example"));
        data->SetProxyPortNumber(3128);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(StoredValue(witnessKey), QStringLiteral("png"));

        data->SetProxyHostName(QStringLiteral("new.example"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(hostSeenBySlot, QStringLiteral("new.example"));
        QCOMPARE(StoredValue(hostKey), QStringLiteral("new.example"));
        QCOMPARE(StoredValue(witnessKey), QStringLiteral("jpg"));

        data->SetDefImageType(QStringLiteral("tif"));
        data->SetProxyPortNumber(8080);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(StoredValue(portKey), QStringLiteral("8080"));
        QCOMPARE(StoredValue(witnessKey), QStringLiteral("tif"));

        // The type is saved and announced even when it does not change...
        data->SetDefImageType(QStringLiteral("bmp"));
        data->SetProxyTypeIndex(data->GetProxyTypeIndex());
        QCOMPARE(changed.count(), 3);
        QCOMPARE(StoredValue(witnessKey), QStringLiteral("bmp"));

        // ... but an index outside the list changes nothing.
        data->SetDefImageType(QStringLiteral("gif"));
        data->SetProxyTypeIndex(4);
        data->SetProxyTypeIndex(-1);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(data->GetProxyTypeIndex(), 1);
        QCOMPARE(StoredValue(witnessKey), QStringLiteral("bmp"));
    }

    void typeNamesAndQtTypes_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("qtType");

        QTest::newRow("Default") << 0 << "Default" << int(QNetworkProxy::DefaultProxy);
        QTest::newRow("NoProxy") << 1 << "NoProxy" << int(QNetworkProxy::NoProxy);
        QTest::newRow("HttpProxy") << 2 << "HttpProxy" << int(QNetworkProxy::HttpProxy);
        QTest::newRow("Socks5Proxy") << 3 << "Socks5Proxy" << int(QNetworkProxy::Socks5Proxy);
    }

    void typeNamesAndQtTypes()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(int, qtType);

        ResetUserFolder();
        GlobalApplicationData *data = StartLibrary();
        data->SetProxyTypeIndex(index);
        QCOMPARE(int(data->GetProxyType()), qtType);
        QCOMPARE(data->GetProxyTypeLabel(index), name);
        QCOMPARE(data->GetProxyTypeLabel(4), name);
        QCOMPARE(data->GetProxyTypeLabel(-1), name);
        QCOMPARE(data->FindProxyTypeIndex(name), index);
        // Names match exactly: "httpproxy" is no type, and no type is 0.
        QCOMPARE(data->FindProxyTypeIndex(name.toLower()), 0);
        QCOMPARE(data->FindProxyTypeIndex(QStringLiteral("Ftp")), 0);
    }

    void settingsComeBackAfterARestart_data()
    {
        QTest::addColumn<int>("index");
        for (int index = 0; index < 4; ++index)
            QTest::addRow("type %d", index) << index;
    }

    void settingsComeBackAfterARestart()
    {
        QFETCH(int, index);

        ResetUserFolder();
        GlobalApplicationData *data = StartLibrary();
        // Start from another type, so that the restart must restore this one.
        data->SetProxyTypeIndex((index + 1) % 4);
        data->SetProxyTypeIndex(index);
        data->SetProxyHostName(QStringLiteral("host-%1.example").arg(index));
        data->SetProxyPortNumber(1000 + index);

        GlobalApplicationData::ReleaseInstance();
        data = StartLibrary();
        QCOMPARE(data->GetProxyTypeIndex(), index);
        QCOMPARE(data->GetProxyHostName(), QStringLiteral("host-%1.example").arg(index));
        QCOMPARE(data->GetProxyPortNumber(), 1000 + index);
    }
};

VELA_TEST_MAIN(TestProxy)
#include "tst_proxy.moc"
