// Geolocation lookups against a local server, the tile texts, and the network type rule.

#include "monitor/geolocator.h"
#include "monitor/networktype.h"
#include "tools/cannedhttpserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

Q_DECLARE_METATYPE(std::vector<platform::Adapter>)

namespace {

QByteArray success(const QString &country, const QString &city, const QString &region = QString(),
    const QString &isp = QString())
{
    QJsonObject object {{QStringLiteral("status"), QStringLiteral("success")},
        {QStringLiteral("country"), country}, {QStringLiteral("countryCode"), QStringLiteral("RU")},
        {QStringLiteral("city"), city}, {QStringLiteral("region"), region}, {QStringLiteral("isp"), isp},
        {QStringLiteral("lat"), 55.75}, {QStringLiteral("lon"), 37.62}};
    return QJsonDocument(object).toJson();
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
    void display_data();
    void display();
    void lookupShowsServerAnswer();
    void failureText_data();
    void failureText();
    void oneRequestPerAddress();
    void cachedAddressNeedsNoRequest();
    void overlappingAddressesKeepTheirOwnAnswers();
    void blankAddresses_data();
    void blankAddresses();
    void networkType_data();
    void networkType();
};

void TestGeoLocation::display_data()
{
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("city");
    QTest::addColumn<QString>("region");
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("complete")
        << QStringLiteral("Россия") << QStringLiteral("Москва") << QStringLiteral("Московская обл.")
        << QStringLiteral("Selectel") << QStringLiteral("Россия · Москва")
        << QStringLiteral("Страна: Россия\nГород: Москва\nРегион: Московская обл.\nПровайдер: Selectel");
    QTest::newRow("country only") << QStringLiteral("Germany") << QString() << QString() << QString()
                                  << QStringLiteral("Germany") << QStringLiteral("Страна: Germany");
    QTest::newRow("country with provider")
        << QStringLiteral("Germany") << QString() << QStringLiteral("Hesse") << QStringLiteral("Hetzner")
        << QStringLiteral("Germany") << QStringLiteral("Страна: Germany\nРегион: Hesse\nПровайдер: Hetzner");
    QTest::newRow("region equals city")
        << QStringLiteral("Россия") << QStringLiteral("Москва") << QStringLiteral("Москва") << QString()
        << QStringLiteral("Россия · Москва") << QStringLiteral("Страна: Россия\nГород: Москва");
    QTest::newRow("nothing known") << QString() << QString() << QString() << QString() << QStringLiteral("—")
                                   << QString();
}

void TestGeoLocation::display()
{
    QFETCH(QString, country);
    QFETCH(QString, city);
    QFETCH(QString, region);
    QFETCH(QString, provider);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);

    GeoLocation location;
    location.valid = true;
    location.country = country;
    location.city = city;
    location.region = region;
    location.provider = provider;
    QCOMPARE(Geo::tileText(location), text);
    QCOMPARE(Geo::toolTip(location), toolTip);
    location.valid = false;
    QCOMPARE(Geo::tileText(location), QStringLiteral("—"));
    QCOMPARE(Geo::toolTip(location), QString());
}

void TestGeoLocation::lookupShowsServerAnswer()
{
    CannedHttpServer server;
    server.setReply(200,
        success(QStringLiteral("Россия"), QStringLiteral("Москва"), QStringLiteral("Москва"),
            QStringLiteral("Selectel")));
    GeoLocator locator;
    locator.setBaseUrl(server.baseUrl());
    QSignalSpy display(&locator, &GeoLocator::displayChanged);
    locator.lookupGeoLocation(QStringLiteral("95.213.1.2"));
    QCOMPARE(locator.tileText(), QStringLiteral("🔍 Определение..."));
    QVERIFY(QTest::qWaitFor([&] { return locator.current().valid; }, 20000));

    QCOMPARE(locator.tileText(), QStringLiteral("Россия · Москва"));
    QCOMPARE(locator.toolTip(), QStringLiteral("Страна: Россия\nГород: Москва\nПровайдер: Selectel"));
    QCOMPARE(display.last().at(0).toString(), locator.tileText());
    QCOMPARE(locator.current().countryCode, QStringLiteral("RU"));
    QCOMPARE(locator.current().latitude, 55.75);

    QCOMPARE(server.requests().size(), 1);
    const CannedRequest &request = server.requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target,
        QByteArray("/json/95.213.1.2?fields=status,country,countryCode,city,region,isp,lat,lon"));
    QCOMPARE(request.headers.value("user-agent"), QByteArray("TORVAL-NETWORK-MONITOR/1.0"));
}

void TestGeoLocation::failureText_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("service says fail") << 200 << QByteArray(R"({"status":"fail","message":"private range"})");
    QTest::newRow("no status") << 200 << QByteArray(R"({"country":"Россия"})");
    QTest::newRow("not json") << 200 << QByteArray("<html></html>");
    QTest::newRow("http error") << 500 << success(QStringLiteral("Россия"), QStringLiteral("Москва"));
}

void TestGeoLocation::failureText()
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
    QVERIFY(!locator.isPending(QStringLiteral("203.0.113.5")));

    // A failed address is asked again, and a later success is shown.
    server.setReply(200, success(QStringLiteral("Россия"), QString()));
    locator.lookupGeoLocation(QStringLiteral("203.0.113.5"));
    QVERIFY(received.wait(20000));
    QCOMPARE(server.requests().size(), 2);
    QCOMPARE(locator.tileText(), QStringLiteral("Россия"));
}

void TestGeoLocation::oneRequestPerAddress()
{
    CannedHttpServer server;
    server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
    GeoLocator locator;
    locator.setBaseUrl(server.baseUrl());
    locator.lookupGeoLocation(QStringLiteral("1.2.3.4"));
    locator.lookupGeoLocation(QStringLiteral("1.2.3.4"));
    QVERIFY(QTest::qWaitFor([&] { return server.heldCount() == 1; }, 20000));
    QCOMPARE(locator.requestsSent(), 1);
    QCOMPARE(locator.tileText(), QStringLiteral("🔍 Определение..."));

    QSignalSpy received(&locator, &GeoLocator::geoLocationReceived);
    server.answer(0, 200, success(QStringLiteral("Finland"), QStringLiteral("Helsinki")));
    QVERIFY(received.wait(20000));
    QCOMPARE(received.size(), 1);
    QCOMPARE(locator.tileText(), QStringLiteral("Finland · Helsinki"));
    QCOMPARE(server.requests().size(), 1);
}

void TestGeoLocation::cachedAddressNeedsNoRequest()
{
    CannedHttpServer server;
    server.setReply(200, success(QStringLiteral("Finland"), QStringLiteral("Helsinki")));
    QNetworkAccessManager shared;
    GeoLocator locator(&shared);
    locator.setBaseUrl(server.baseUrl() + QStringLiteral("/"));
    QSignalSpy received(&locator, &GeoLocator::geoLocationReceived);
    locator.lookupGeoLocation(QStringLiteral("5.6.7.8"));
    QVERIFY(received.wait(20000));
    QVERIFY(locator.isCached(QStringLiteral("5.6.7.8")));
    QCOMPARE(QByteArray(server.requests().first().target.left(14)), QByteArray("/json/5.6.7.8?"));

    // Connection lost, then the same server again: shown at once, nothing sent.
    locator.clearCurrent();
    QCOMPARE(locator.tileText(), QStringLiteral("—"));
    QVERIFY(!locator.current().valid);
    locator.lookupGeoLocation(QStringLiteral("5.6.7.8"));
    QCOMPARE(locator.tileText(), QStringLiteral("Finland · Helsinki"));
    QCOMPARE(locator.toolTip(), QStringLiteral("Страна: Finland\nГород: Helsinki"));
    QCOMPARE(locator.requestsSent(), 1);
    QVERIFY(!locator.isPending(QStringLiteral("5.6.7.8")));
    QCOMPARE(server.requests().size(), 1);
}

void TestGeoLocation::overlappingAddressesKeepTheirOwnAnswers()
{
    CannedHttpServer server;
    server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
    GeoLocator locator;
    locator.setBaseUrl(server.baseUrl());
    locator.lookupGeoLocation(QStringLiteral("1.1.1.1"));
    locator.lookupGeoLocation(QStringLiteral("2.2.2.2"));
    QVERIFY(QTest::qWaitFor([&] { return server.heldCount() == 2; }, 20000));
    const int first = server.requests().at(0).target.contains("1.1.1.1") ? 0 : 1;

    QSignalSpy received(&locator, &GeoLocator::geoLocationReceived);
    // The older server's answer arrives while the newer one is shown.
    server.answer(first, 200, success(QStringLiteral("Sweden"), QStringLiteral("Stockholm")));
    QVERIFY(received.wait(20000));
    QCOMPARE(received.first().at(0).toString(), QStringLiteral("1.1.1.1"));
    QCOMPARE(locator.tileText(), QStringLiteral("🔍 Определение..."));
    QVERIFY(locator.isCached(QStringLiteral("1.1.1.1")));
    QVERIFY(!locator.isCached(QStringLiteral("2.2.2.2")));
    QVERIFY(locator.isPending(QStringLiteral("2.2.2.2")));
    // A second lookup of the still pending address sends nothing new.
    locator.lookupGeoLocation(QStringLiteral("2.2.2.2"));
    QCOMPARE(locator.requestsSent(), 2);

    server.answer(0, 200, success(QStringLiteral("Norway"), QStringLiteral("Oslo")));
    QVERIFY(received.wait(20000));
    QCOMPARE(locator.tileText(), QStringLiteral("Norway · Oslo"));
    locator.lookupGeoLocation(QStringLiteral("1.1.1.1"));
    QCOMPARE(locator.tileText(), QStringLiteral("Sweden · Stockholm"));
    QCOMPARE(locator.requestsSent(), 2);
}

void TestGeoLocation::blankAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("dash") << QStringLiteral("—");
    QTest::newRow("any") << QStringLiteral("0.0.0.0");
    QTest::newRow("loopback") << QStringLiteral("127.0.0.1");
    QTest::newRow("loopback net") << QStringLiteral("127.0.0.2");
    QTest::newRow("private 10/8") << QStringLiteral("10.1.2.3");
    QTest::newRow("private 172.16/12") << QStringLiteral("172.31.255.1");
    QTest::newRow("private 192.168/16") << QStringLiteral("192.168.0.10");
    QTest::newRow("link-local") << QStringLiteral("169.254.3.4");
    QTest::newRow("CGNAT") << QStringLiteral("100.127.0.1");
    QTest::newRow("v6 loopback") << QStringLiteral("::1");
}

void TestGeoLocation::blankAddresses()
{
    QFETCH(QString, address);
    CannedHttpServer server;
    server.setReply(200, success(QStringLiteral("X"), QStringLiteral("Y")));
    GeoLocator locator;
    locator.setBaseUrl(server.baseUrl());
    locator.lookupGeoLocation(address);
    QCOMPARE(locator.tileText(), QStringLiteral("—"));
    QCOMPARE(locator.requestsSent(), 0);
    QTest::qWait(50);
    QVERIFY(server.requests().isEmpty());
}

void TestGeoLocation::networkType_data()
{
    using platform::AdapterType;
    QTest::addColumn<std::vector<platform::Adapter>>("adapters");
    QTest::addColumn<QString>("expected");

    const auto wifi = adapter(AdapterType::Wireless, 6, "192.168.1.5");
    const auto ethernet = adapter(AdapterType::Ethernet, 6, "10.0.0.7");
    QTest::newRow("none") << std::vector<platform::Adapter> {} << QStringLiteral("UNKNOWN");
    QTest::newRow("wifi then ethernet")
        << std::vector<platform::Adapter> {wifi, ethernet} << QStringLiteral("WI-FI");
    QTest::newRow("ethernet then wifi")
        << std::vector<platform::Adapter> {ethernet, wifi} << QStringLiteral("ETHERNET");
    QTest::newRow("inactive ones skipped") << std::vector<platform::Adapter> {
        adapter(AdapterType::Other, 6, "172.16.0.1"), adapter(AdapterType::Ethernet, 0, "10.0.0.8"),
        adapter(AdapterType::Ethernet, 6, "0.0.0.0"), adapter(AdapterType::Ethernet, 6, ""),
        wifi} << QStringLiteral("WI-FI");
    QTest::newRow("only inactive") << std::vector<platform::Adapter> {adapter(AdapterType::Wireless, 6,
        "0.0.0.0")} << QStringLiteral("UNKNOWN");
}

void TestGeoLocation::networkType()
{
    QFETCH(std::vector<platform::Adapter>, adapters);
    QFETCH(QString, expected);
    QCOMPARE(NetworkType::fromAdapters(adapters), expected);
}

QTEST_MAIN(TestGeoLocation)
#include "tst_geolocation.moc"
