// Presence: user id, heartbeat and online count against a local server, and the
// indicator's texts and styles.

#include "core/settingskeys.h"
#include "monitor/geolocator.h"
#include "monitor/presenceclient.h"
#include "tools/cannedhttpserver.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kGreen = QStringLiteral("color: #4ade80; font-size: 11px; font-weight: bold;");
const QString kGrey = QStringLiteral("color: #94a3b8; font-size: 11px; font-weight: bold;");
const QString kRed = QStringLiteral("color: #ef4444; font-size: 11px; font-weight: bold;");

QString dot(const char *colour)
{
    return QStringLiteral("background-color: %1; border-radius: 5px;").arg(QLatin1String(colour));
}

} // namespace

class TestPresence : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void countDisplay_data();
    void countDisplay();
    void blink_data();
    void blink();
    void onlineCountReply_data();
    void onlineCountReply();
    void heartbeatRequest();
    void heartbeatReplyLeavesGeolocationAlone();
    void userIdSeed_data();
    void userIdSeed();
    void userIdStableAcrossStarts();
};

void TestPresence::init()
{
    QSettings settings = openSettings();
    settings.clear();
    settings.sync();
}

void TestPresence::countDisplay_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("labelStyle");
    QTest::addColumn<QString>("indicatorStyle");

    QTest::newRow("five") << 5 << true << QStringLiteral("5") << kGreen
                          << QStringLiteral("background-color: #4ade80;");
    QTest::newRow("one") << 1 << true << QStringLiteral("1") << kGreen
                         << QStringLiteral("background-color: #4ade80;");
    QTest::newRow("zero") << 0 << true << QStringLiteral("0") << kGrey << dot("#94a3b8");
    QTest::newRow("failure") << 0 << false << QStringLiteral("?") << kRed << dot("#ef4444");
    QTest::newRow("negative") << -1 << true << QStringLiteral("?") << kRed << dot("#ef4444");
}

void TestPresence::countDisplay()
{
    QFETCH(int, count);
    QFETCH(bool, ok);
    QFETCH(QString, text);
    QFETCH(QString, labelStyle);
    QFETCH(QString, indicatorStyle);

    PresenceClient client;
    QSignalSpy changed(&client, &PresenceClient::onlineCountChanged);
    QSignalSpy display(&client, &PresenceClient::onlineDisplayChanged);
    client.setOnlineCount(count, ok);
    QCOMPARE(display.size(), 1);
    QCOMPARE(display.first().at(0).toString(), text);
    QCOMPARE(display.first().at(1).toString(), labelStyle);
    QCOMPARE(display.first().at(2).toString(), indicatorStyle);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().at(0).toInt(), ok ? count : -1);
}

void TestPresence::blink_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("styles"); // four ticks

    QTest::newRow("online") << 5 << true
                            << QStringList {dot("#4ade80"), dot("#22c55e"), dot("#4ade80"), dot("#22c55e")};
    QTest::newRow("nobody") << 0 << true
                            << QStringList {dot("#94a3b8"), dot("#94a3b8"), dot("#94a3b8"), dot("#94a3b8")};
    QTest::newRow("failure") << 0 << false
                             << QStringList {dot("#ef4444"), dot("#7f1d1d"), dot("#ef4444"), dot("#7f1d1d")};
}

void TestPresence::blink()
{
    QFETCH(int, count);
    QFETCH(bool, ok);
    QFETCH(QStringList, styles);

    PresenceClient client;
    client.setOnlineCount(count, ok);
    QSignalSpy spy(&client, &PresenceClient::indicatorStyleChanged);
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        client.blinkOnlineIndicator();
        seen << spy.last().at(0).toString();
    }
    QCOMPARE(seen, styles);
}

void TestPresence::onlineCountReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");

    QTest::newRow("five") << 200 << QByteArray(R"({"success":true,"online":5})") << 5 << QStringLiteral("5");
    QTest::newRow("zero") << 200 << QByteArray(R"({"online":0})") << 0 << QStringLiteral("0");
    QTest::newRow("missing member") << 200 << QByteArray("{}") << 0 << QStringLiteral("0");
    QTest::newRow("count as text") << 200 << QByteArray(R"({"online":"7"})") << 0 << QStringLiteral("0");
    QTest::newRow("not json") << 200 << QByteArray("online: 5") << -1 << QStringLiteral("?");
    QTest::newRow("array") << 200 << QByteArray("[5]") << -1 << QStringLiteral("?");
    QTest::newRow("http error") << 500 << QByteArray(R"({"online":5})") << -1 << QStringLiteral("?");
}

void TestPresence::onlineCountReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, count);
    QFETCH(QString, text);

    CannedHttpServer server;
    server.setReply(status, body);
    PresenceClient client;
    client.setBaseUrl(server.baseUrl().chopped(1));
    QSignalSpy changed(&client, &PresenceClient::onlineCountChanged);
    client.requestOnlineCount();
    QVERIFY(changed.wait(20000));
    QCOMPARE(changed.first().at(0).toInt(), count);
    QCOMPARE(client.onlineCount(), count);
    QCOMPARE(client.display().text, text);

    const CannedRequest &request = server.requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, QByteArray("/online_count.php"));
    QVERIFY(request.body.isEmpty());
}

void TestPresence::heartbeatRequest()
{
    CannedHttpServer server;
    server.setReply(200, R"({"success":true})");
    PresenceClient client;
    client.setBaseUrl(server.baseUrl());
    const QString id = client.ensureUserId();
    QSignalSpy beats(&client, &PresenceClient::heartbeatFinished);
    client.sendHeartbeat();
    QVERIFY(beats.wait(20000));
    QVERIFY(beats.first().at(0).toBool());

    const CannedRequest &request = server.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/heartbeat.php"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
    QVERIFY(request.body.contains('\n'));
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    QCOMPARE(body,
        (QJsonObject {
            {QStringLiteral("user_id"), id}, {QStringLiteral("app_version"), QStringLiteral("1.6.3")}}));
}

void TestPresence::heartbeatReplyLeavesGeolocationAlone()
{
    // Both clients on one network manager, as in the main window: a heartbeat's reply
    // is not a failed lookup.
    CannedHttpServer geoServer;
    geoServer.setReply(200, R"({"status":"success","country":"Norway","city":"Oslo"})");
    CannedHttpServer presenceServer;
    presenceServer.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
    QNetworkAccessManager shared;
    GeoLocator locator(&shared);
    locator.setBaseUrl(geoServer.baseUrl());
    PresenceClient presence(&shared);
    presence.setBaseUrl(presenceServer.baseUrl());
    presence.ensureUserId();

    presence.sendHeartbeat();
    QVERIFY(QTest::qWaitFor([&] { return presenceServer.heldCount() == 1; }, 20000));
    locator.lookupGeoLocation(QStringLiteral("9.9.9.9"));
    QCOMPARE(locator.tileText(), QStringLiteral("🔍 Определение..."));
    QSignalSpy beats(&presence, &PresenceClient::heartbeatFinished);
    QSignalSpy display(&locator, &GeoLocator::displayChanged);
    presenceServer.answer(0, 200, R"({"success":true})");
    QVERIFY(beats.wait(20000));
    QCOMPARE(display.size(), 0);
    QCOMPARE(locator.tileText(), QStringLiteral("🔍 Определение..."));
    QVERIFY(locator.isPending(QStringLiteral("9.9.9.9")));
    QVERIFY(QTest::qWaitFor([&] { return locator.current().valid; }, 20000));
    QCOMPARE(locator.tileText(), QStringLiteral("Norway · Oslo"));
}

void TestPresence::userIdSeed_data()
{
    QTest::addColumn<QList<NetworkInterfaceInfo>>("interfaces");
    QTest::addColumn<QString>("firstPart");

    QTest::newRow("first real address")
        << QList<NetworkInterfaceInfo> {{QStringLiteral("00:00:00:00:00:00"), true},
               {QStringLiteral("00:00:00:00:00:00"), false}, {QStringLiteral("AA:BB:CC:DD:EE:01"), false},
               {QStringLiteral("AA:BB:CC:DD:EE:02"), false}}
        << QStringLiteral("AA:BB:CC:DD:EE:01");
    QTest::newRow("loopback skipped")
        << QList<NetworkInterfaceInfo> {{QStringLiteral("AA:BB:CC:DD:EE:03"), true},
               {QStringLiteral("AA:BB:CC:DD:EE:04"), false}}
        << QStringLiteral("AA:BB:CC:DD:EE:04");
    QTest::newRow("no hardware address at all")
        << QList<NetworkInterfaceInfo> {{QStringLiteral("00:00:00:00:00:00"), true},
               {QStringLiteral("00:00:00:00:00:00"), false}}
        << QStringLiteral("{12345678-1234-1234-1234-123456789abc}");
    QTest::newRow("no interfaces") << QList<NetworkInterfaceInfo> {}
                                   << QStringLiteral("{12345678-1234-1234-1234-123456789abc}");
    QTest::newRow("empty address is used as it is")
        << QList<NetworkInterfaceInfo> {{QString(), false}, {QStringLiteral("AA:BB:CC:DD:EE:05"), false}}
        << QString();
}

void TestPresence::userIdSeed()
{
    QFETCH(QList<NetworkInterfaceInfo>, interfaces);
    QFETCH(QString, firstPart);

    const QUuid uuid = QUuid::fromString(QStringLiteral("{12345678-1234-1234-1234-123456789abc}"));
    const QString seed = Presence::userIdSeed(interfaces, 1700000000123, -42, uuid);
    QCOMPARE(seed, firstPart + QStringLiteral("|1700000000123|-42"));
    const QString id = Presence::userIdFromSeed(seed);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{64}$")).match(id).hasMatch());
    QCOMPARE(
        id, QString::fromLatin1(QCryptographicHash::hash(seed.toUtf8(), QCryptographicHash::Sha256).toHex()));
}

void TestPresence::userIdStableAcrossStarts()
{
    int asked = 0;
    QString first;
    {
        PresenceClient client;
        client.setInterfaceProvider([&asked] {
            ++asked;
            return QList<NetworkInterfaceInfo> {{QStringLiteral("00:00:00:00:00:00"), false}};
        });
        first = client.ensureUserId();
    }
    QCOMPARE(asked, 1);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{64}$")).match(first).hasMatch());
    QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kUserId)).toString(), first);

    PresenceClient second;
    second.setInterfaceProvider([&asked] {
        ++asked;
        return QList<NetworkInterfaceInfo> {};
    });
    QCOMPARE(second.ensureUserId(), first);
    QCOMPARE(second.userId(), first);
    QCOMPARE(asked, 1);

    // Two fresh profiles on a machine without hardware addresses still get different ids.
    QSettings settings = openSettings();
    settings.remove(QLatin1String(SettingsKeys::kUserId));
    settings.sync();
    PresenceClient third;
    third.setInterfaceProvider([] { return QList<NetworkInterfaceInfo> {}; });
    QVERIFY(third.ensureUserId() != first);
}

QTEST_MAIN(TestPresence)
#include "tst_presence.moc"
