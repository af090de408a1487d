// The monitor's web clients against local servers: geolocation with its tile texts, and presence
// (user id, heartbeat, online count); and the network type rule.

#include "core/settingskeys.h"
#include "monitor/geolocator.h"
#include "monitor/networktype.h"
#include "monitor/presenceclient.h"
#include "tools/cannedhttpserver.h"

#include <QtNetwork>
#include <QtTest>

using Interfaces = QList<NetworkInterfaceInfo>;

namespace {

const QString kSearching = QStringLiteral("🔍 Определение...");

QByteArray success(const char *country, const char *city, const char *region = "", const char *isp = "")
{
    return QJsonDocument(QJsonObject {{QStringLiteral("status"), QStringLiteral("success")},
                             {QStringLiteral("country"), QString::fromUtf8(country)},
                             {QStringLiteral("countryCode"), QStringLiteral("RU")},
                             {QStringLiteral("city"), QString::fromUtf8(city)},
                             {QStringLiteral("region"), QString::fromUtf8(region)},
                             {QStringLiteral("isp"), QString::fromUtf8(isp)}, {QStringLiteral("lat"), 55.75}})
        .toJson();
}

platform::Adapter adapter(platform::AdapterType type, unsigned hwLength, const char *ipv4)
{
    platform::Adapter a;
    a.type = type;
    a.hardwareAddressLength = hwLength;
    a.firstIpv4 = ipv4;
    return a;
}

} // namespace

class TestMonitorClients : public QObject
{
    Q_OBJECT

private slots:
    void init() { openSettings().clear(); }

    void lookupShowsServerAnswer()
    {
        CannedHttpServer server;
        server.setReply(200, success("Россия", "Москва", "Москва", "Selectel"));
        GeoLocator locator;
        locator.setBaseUrl(server.baseUrl().chopped(1));
        locator.lookupGeoLocation(QStringLiteral("95.213.1.2"));
        QCOMPARE(locator.tileText(), kSearching);
        QVERIFY(QTest::qWaitFor([&] { return locator.current().valid; }, 20000));
        QCOMPARE(locator.tileText(), QStringLiteral("Россия · Москва"));
        QCOMPARE(locator.toolTip(), QStringLiteral("Страна: Россия\nГород: Москва\nПровайдер: Selectel"));
        QCOMPARE(locator.current().countryCode, QStringLiteral("RU"));
        QCOMPARE(locator.current().latitude, 55.75);
        const CannedRequest &request = server.requests().first();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.target,
            QByteArray("/json/95.213.1.2?fields=status,country,countryCode,city,region,isp,lat,lon"));
        QCOMPARE(request.headers.value("user-agent"), QByteArray("TORVAL-NETWORK-MONITOR/1.0"));
    }

    void failureText_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("service says fail") << 200 << QByteArray(R"({"status":"fail","message":"private"})");
        QTest::newRow("no status") << 200 << QByteArray(R"({"country":"Россия"})");
        QTest::newRow("not json") << 200 << QByteArray("<html></html>");
        QTest::newRow("http error") << 500 << success("Россия", "Москва");
    }

    // A failure is shown, not cached: the address is asked again, and a later success is shown.
    void failureText()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        CannedHttpServer server;
        server.setReply(status, body);
        GeoLocator locator;
        locator.setBaseUrl(server.baseUrl());
        QSignalSpy received(&locator, &GeoLocator::geoLocationReceived);
        locator.lookupGeoLocation(QStringLiteral("203.0.113.5"));
        QVERIFY(received.wait(20000));
        QCOMPARE(locator.tileText(), QStringLiteral("🔎 Ожидания подключение к игре"));
        QVERIFY(!locator.isCached(QStringLiteral("203.0.113.5")));
        server.setReply(200, success("Россия", ""));
        locator.lookupGeoLocation(QStringLiteral("203.0.113.5"));
        QVERIFY(received.wait(20000));
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(locator.tileText(), QStringLiteral("Россия"));
    }

    // One request per address: a pending one is not asked twice, a known one is shown at once,
    // and an older server's late answer does not replace the newer one on the tile.
    void overlappingAddressesKeepTheirOwnAnswers()
    {
        CannedHttpServer server;
        server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
        GeoLocator locator;
        locator.setBaseUrl(server.baseUrl() + QStringLiteral("/"));
        locator.lookupGeoLocation(QStringLiteral("1.1.1.1"));
        locator.lookupGeoLocation(QStringLiteral("1.1.1.1"));
        locator.lookupGeoLocation(QStringLiteral("2.2.2.2"));
        QVERIFY(QTest::qWaitFor([&] { return server.heldCount() == 2; }, 20000));
        const int first = server.requests().at(0).target.contains("1.1.1.1") ? 0 : 1;
        QVERIFY(server.requests().at(first).target.startsWith("/json/1.1.1.1?"));

        QSignalSpy received(&locator, &GeoLocator::geoLocationReceived);
        server.answer(first, 200, success("Sweden", "Stockholm"));
        QVERIFY(received.wait(20000));
        QCOMPARE(locator.tileText(), kSearching);
        QVERIFY(locator.isCached(QStringLiteral("1.1.1.1")));
        locator.lookupGeoLocation(QStringLiteral("2.2.2.2"));
        QCOMPARE(locator.requestsSent(), 2);

        server.answer(0, 200, success("Norway", "Oslo"));
        QVERIFY(received.wait(20000));
        QCOMPARE(locator.tileText(), QStringLiteral("Norway · Oslo"));
        // Connection lost, then the first server again: shown at once, nothing sent.
        locator.clearCurrent();
        QCOMPARE(locator.tileText(), QStringLiteral("—"));
        locator.lookupGeoLocation(QStringLiteral("1.1.1.1"));
        QCOMPARE(locator.tileText(), QStringLiteral("Sweden · Stockholm"));
        QCOMPARE(locator.toolTip(), QStringLiteral("Страна: Sweden\nГород: Stockholm"));
        QCOMPARE(server.requests().size(), 2);
    }

    // Private, local and blank addresses are never sent to the service.
    void blankAddresses()
    {
        CannedHttpServer server;
        server.setReply(200, success("X", "Y"));
        GeoLocator locator;
        locator.setBaseUrl(server.baseUrl());
        for (const char *address : {"", "—", "0.0.0.0", "127.0.0.1", "127.0.0.2", "10.1.2.3", "172.31.255.1",
                 "192.168.0.10", "169.254.3.4", "100.127.0.1", "::1"}) {
            locator.lookupGeoLocation(QString::fromUtf8(address));
            QVERIFY2(locator.tileText() == QStringLiteral("—"), address);
        }
        QCOMPARE(locator.requestsSent(), 0);
        QTest::qWait(50);
        QVERIFY(server.requests().isEmpty());
    }

    // The first active Wi-Fi or Ethernet adapter; inactive: another type, no hardware address, no address.
    void networkType()
    {
        using T = platform::AdapterType;
        const auto wifi = adapter(T::Wireless, 6, "192.168.1.5");
        const auto ethernet = adapter(T::Ethernet, 6, "10.0.0.7");
        const std::vector<platform::Adapter> inactive {adapter(T::Other, 6, "172.16.0.1"),
            adapter(T::Ethernet, 0, "10.0.0.8"), adapter(T::Ethernet, 6, "0.0.0.0"),
            adapter(T::Ethernet, 6, "")};
        QCOMPARE(NetworkType::fromAdapters({}), QStringLiteral("UNKNOWN"));
        QCOMPARE(NetworkType::fromAdapters({wifi, ethernet}), QStringLiteral("WI-FI"));
        QCOMPARE(NetworkType::fromAdapters({ethernet, wifi}), QStringLiteral("ETHERNET"));
        QCOMPARE(NetworkType::fromAdapters(inactive), QStringLiteral("UNKNOWN"));
        QCOMPARE(NetworkType::fromAdapters({inactive[0], inactive[1], inactive[2], inactive[3], wifi}),
            QStringLiteral("WI-FI"));
    }

    void onlineCountReply_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("count");
        QTest::newRow("five") << 200 << QByteArray(R"({"success":true,"online":5})") << 5;
        QTest::newRow("missing member") << 200 << QByteArray("{}") << 0;
        QTest::newRow("count as text") << 200 << QByteArray(R"({"online":"7"})") << 0;
        QTest::newRow("not json") << 200 << QByteArray("online: 5") << -1;
        QTest::newRow("array") << 200 << QByteArray("[5]") << -1;
        QTest::newRow("http error") << 500 << QByteArray(R"({"online":5})") << -1;
    }

    void onlineCountReply()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, count);
        CannedHttpServer server;
        server.setReply(status, body);
        PresenceClient client;
        client.setBaseUrl(server.baseUrl().chopped(1)); // the missing slash is added
        QSignalSpy changed(&client, &PresenceClient::onlineCountChanged);
        client.requestOnlineCount();
        QVERIFY(changed.wait(20000));
        QCOMPARE(changed.first().at(0).toInt(), count);
        QCOMPARE(client.display().text, count < 0 ? QStringLiteral("?") : QString::number(count));
        QCOMPARE(server.requests().first().method, QByteArray("GET"));
        QCOMPARE(server.requests().first().target, QByteArray("/online_count.php"));
    }

    // The heartbeat, with both clients on one network manager as in the main window: its reply is
    // not a failed lookup.
    void heartbeat()
    {
        CannedHttpServer geoServer;
        geoServer.setReply(200, R"({"status":"success","country":"Norway","city":"Oslo"})");
        CannedHttpServer presenceServer;
        presenceServer.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
        QNetworkAccessManager shared;
        GeoLocator locator(&shared);
        locator.setBaseUrl(geoServer.baseUrl());
        PresenceClient presence(&shared);
        presence.setBaseUrl(presenceServer.baseUrl());
        const QString id = presence.ensureUserId();
        presence.sendHeartbeat();
        QVERIFY(QTest::qWaitFor([&] { return presenceServer.heldCount() == 1; }, 20000));
        const CannedRequest &request = presenceServer.requests().first();
        QCOMPARE(request.method + ' ' + request.target, QByteArray("POST /heartbeat.php"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(QJsonDocument::fromJson(request.body).object(),
            (QJsonObject {
                {QStringLiteral("user_id"), id}, {QStringLiteral("app_version"), QStringLiteral("1.6.3")}}));
        locator.lookupGeoLocation(QStringLiteral("9.9.9.9"));
        QSignalSpy beats(&presence, &PresenceClient::heartbeatFinished);
        QSignalSpy display(&locator, &GeoLocator::displayChanged);
        presenceServer.answer(0, 200, R"({"success":true})");
        QVERIFY(beats.wait(20000) && beats.first().at(0).toBool());
        QCOMPARE(display.size(), 0);
        QCOMPARE(locator.tileText(), QStringLiteral("🔍 Определение..."));
        QVERIFY(QTest::qWaitFor([&] { return locator.current().valid; }, 20000));
        QCOMPARE(locator.tileText(), QStringLiteral("Norway · Oslo"));
    }

    void userIdSeed()
    {
        const QString zero = QStringLiteral("00:00:00:00:00:00");
        const QString a = QStringLiteral("AA:BB:CC:DD:EE:01");
        const QString b = QStringLiteral("AA:BB:CC:DD:EE:02");
        const QUuid uuid = QUuid::fromString(QStringLiteral("{12345678-1234-1234-1234-123456789abc}"));
        const QList<std::pair<Interfaces, QString>> cases {
            {{{zero, true}, {zero, false}, {a, false}, {b, false}}, a}, // the first real address
            {{{a, true}, {b, false}}, b}, // loopback skipped
            {{{zero, true}, {zero, false}}, uuid.toString()}, // no hardware address at all
            {{}, uuid.toString()},
            {{{QString(), false}, {a, false}}, QString()}, // an empty address is used as it is
        };
        for (const auto &[interfaces, first] : cases)
            QCOMPARE(Presence::userIdSeed(interfaces, 1700000000123, -42, uuid),
                first + QStringLiteral("|1700000000123|-42"));
        QCOMPARE(Presence::userIdFromSeed(a + QStringLiteral("|1700000000123|-42")),
            QStringLiteral("001475ef58f587ccb7cb1f37a190338ac2763b63199ee19ba9432a165d1a9595"));
    }

    void userIdStableAcrossStarts()
    {
        int asked = 0;
        const auto startedId = [&asked] {
            PresenceClient client;
            client.setInterfaceProvider([&asked] {
                ++asked;
                return Interfaces {{QStringLiteral("00:00:00:00:00:00"), false}};
            });
            return client.ensureUserId();
        };
        const QString first = startedId();
        QCOMPARE(first.size(), 64);
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kUserId)).toString(), first);
        QCOMPARE(startedId(), first);
        QCOMPARE(asked, 1);
        // Two fresh profiles on a machine without hardware addresses still get different ids.
        openSettings().remove(QLatin1String(SettingsKeys::kUserId));
        QVERIFY(startedId() != first);
    }
};

QTEST_MAIN(TestMonitorClients)
#include "tst_monitorclients.moc"
