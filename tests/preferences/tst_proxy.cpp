// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PreferencesTestSupport.h"

using namespace PreferencesTest;

namespace {

const QString hostKey = VelaUserParams::ProxySettings::Proxy::PROXYHOSTNAME();
const QString portKey = VelaUserParams::ProxySettings::Proxy::PROXYPORT();
// Changed in memory only, it shows on disk whether a proxy setter saved.
const QString witnessKey = VelaUserParams::Directories::Settings::DefImageType();

} // namespace

class TestProxy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { GlobalApplicationData::ReleaseInstance(); }

    void settersSaveAndSignalOnlyOnChange()
    {
        ResetUserFolder(
            Document(DefaultVersion(), {{hostKey, "old.example"},
                                        {portKey, "3128"},
                                        {VelaUserParams::ProxySettings::Proxy::PROXYTYPE(), "1"},
                                        {witnessKey, "png"}}));
        GlobalApplicationData *data = Restart();
        QSignalSpy changed(data, &GlobalApplicationData::ProxyChanged);
        // Slots may call back into the object: the data lock is free then.
        QString hostSeenBySlot;
        connect(data, &GlobalApplicationData::ProxyChanged, this,
                [&] { hostSeenBySlot = data->GetProxyHostName(); });
        // Signals so far and the witness on disk.
        const auto state = [&] {
            return QStringLiteral("%1 %2").arg(changed.count()).arg(StoredValue(witnessKey));
        };
        data->SetDefImageType("jpg");
        data->SetProxyHostName("old.example");
        data->SetProxyPortNumber(3128);
        QCOMPARE(state(), QStringLiteral("0 png"));
        data->SetProxyHostName("new.example");
        QCOMPARE(state(), QStringLiteral("1 jpg"));
        QCOMPARE(hostSeenBySlot, QStringLiteral("new.example"));
        QCOMPARE(StoredValue(hostKey), QStringLiteral("new.example"));
        data->SetDefImageType("tif");
        data->SetProxyPortNumber(8080);
        QCOMPARE(state(), QStringLiteral("2 tif"));
        QCOMPARE(StoredValue(portKey), QStringLiteral("8080"));
        // The type is saved and announced even when unchanged, but an index
        // outside the list changes nothing.
        data->SetDefImageType("bmp");
        data->SetProxyTypeIndex(1);
        QCOMPARE(state(), QStringLiteral("3 bmp"));
        data->SetDefImageType("gif");
        data->SetProxyTypeIndex(4);
        data->SetProxyTypeIndex(-1);
        QCOMPARE(state(), QStringLiteral("3 bmp"));
        QCOMPARE(data->GetProxyTypeIndex(), 1);
    }

    void typeComesBackAfterARestart()
    {
        const QList<QNetworkProxy::ProxyType> qtTypes = {
            QNetworkProxy::DefaultProxy, QNetworkProxy::NoProxy, QNetworkProxy::HttpProxy,
            QNetworkProxy::Socks5Proxy};
        const QStringList names = {"Default", "NoProxy", "HttpProxy", "Socks5Proxy"};
        ResetUserFolder();
        // Each type differs from the one before, so each must be saved anew.
        for (int index : {0, 1, 2, 3, 0}) {
            Restart()->SetProxyTypeIndex(index);
            const GlobalApplicationData *data = Restart();
            QCOMPARE(data->GetProxyTypeIndex(), index);
            QCOMPARE(data->GetProxyType(), qtTypes[index]);
            // A label out of the list names the current type.
            QCOMPARE(data->GetProxyTypeLabel(4), names[index]);
            QCOMPARE(data->GetProxyTypeLabel(-1), names[index]);
        }
        QCOMPARE(GlobalApplicationData::Instance()->GetProxyTypeList(), names);
        QCOMPARE(GlobalApplicationData::Instance()->FindProxyTypeIndex("Socks5Proxy"), 3);
    }
};

VELA_TEST_MAIN(TestProxy)
#include "tst_proxy.moc"
