// Geolocation lookups against a local server, the tile texts, and the network type rule.

#include "monitor/geolocator.h"
#include "monitor/networktype.h"
#include "tools/cannedhttpserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

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

class TestGeoLocation : public QObject
{
    Q_OBJECT

private slots:
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

    void networkType()
    {
        using platform::AdapterType;
        using List = std::vector<platform::Adapter>;
        const auto wifi = adapter(AdapterType::Wireless, 6, "192.168.1.5");
        const auto ethernet = adapter(AdapterType::Ethernet, 6, "10.0.0.7");
        const List inactive {adapter(AdapterType::Other, 6, "172.16.0.1"),
            adapter(AdapterType::Ethernet, 0, "10.0.0.8"), adapter(AdapterType::Ethernet, 6, "0.0.0.0"),
            adapter(AdapterType::Ethernet, 6, "")};
        QCOMPARE(NetworkType::fromAdapters({}), QStringLiteral("UNKNOWN"));
        QCOMPARE(NetworkType::fromAdapters({wifi, ethernet}), QStringLiteral("WI-FI"));
        QCOMPARE(NetworkType::fromAdapters({ethernet, wifi}), QStringLiteral("ETHERNET"));
        QCOMPARE(NetworkType::fromAdapters(inactive), QStringLiteral("UNKNOWN"));
        List withWifi = inactive;
        withWifi.push_back(wifi);
        QCOMPARE(NetworkType::fromAdapters(withWifi), QStringLiteral("WI-FI"));
    }
};

QTEST_MAIN(TestGeoLocation)
#include "tst_geolocation.moc"
