// Presence: user id, heartbeat and online count against a local server, and the indicator.

#include "core/settingskeys.h"
#include "monitor/geolocator.h"
#include "monitor/presenceclient.h"
#include "tools/cannedhttpserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

using Interfaces = QList<NetworkInterfaceInfo>;

class TestPresence : public QObject
{
    Q_OBJECT

private slots:
    void init() { openSettings().clear(); }

    void display_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("colours"); // the label's, then the indicator's on two blink ticks
        QTest::newRow("online") << 5 << true << "5"
                                << "#4ade80 #4ade80 #22c55e";
        QTest::newRow("nobody") << 0 << true << "0"
                                << "#94a3b8 #94a3b8 #94a3b8";
        QTest::newRow("no answer") << 0 << false << "?"
                                   << "#ef4444 #ef4444 #7f1d1d";
        QTest::newRow("negative") << -1 << true << "?"
                                  << "#ef4444 #ef4444 #7f1d1d";
    }

    void display()
    {
        QFETCH(int, count);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QFETCH(QString, colours);
        const QStringList colour = colours.split(QLatin1Char(' '));
        PresenceClient client;
        QSignalSpy changed(&client, &PresenceClient::onlineCountChanged);
        QSignalSpy blinked(&client, &PresenceClient::indicatorStyleChanged);
        client.setOnlineCount(count, ok);
        QCOMPARE(changed.first().at(0).toInt(), ok ? count : -1);
        QCOMPARE(client.display().text, text);
        QVERIFY(client.display().labelStyle.contains(colour.at(0)));
        for (const int tick : {1, 2, 1}) {
            client.blinkOnlineIndicator();
            QVERIFY2(blinked.last().at(0).toString().contains(colour.at(tick)), qPrintable(colour.at(tick)));
        }
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

    void heartbeatRequest()
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
        QCOMPARE(request.method + ' ' + request.target, QByteArray("POST /heartbeat.php"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(QJsonDocument::fromJson(request.body).object(),
            (QJsonObject {
                {QStringLiteral("user_id"), id}, {QStringLiteral("app_version"), QStringLiteral("1.6.3")}}));
    }

    // Both clients share one network manager, as in the main window: a heartbeat's reply is not
    // a failed lookup.
    void heartbeatReplyLeavesGeolocationAlone()
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
        presence.ensureUserId();
        presence.sendHeartbeat();
        QVERIFY(QTest::qWaitFor([&] { return presenceServer.heldCount() == 1; }, 20000));
        locator.lookupGeoLocation(QStringLiteral("9.9.9.9"));
        QSignalSpy beats(&presence, &PresenceClient::heartbeatFinished);
        QSignalSpy display(&locator, &GeoLocator::displayChanged);
        presenceServer.answer(0, 200, R"({"success":true})");
        QVERIFY(beats.wait(20000));
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
        const auto provider = [&asked] {
            ++asked;
            return Interfaces {{QStringLiteral("00:00:00:00:00:00"), false}};
        };
        QString first;
        {
            PresenceClient client;
            client.setInterfaceProvider(provider);
            first = client.ensureUserId();
        }
        QCOMPARE(first.size(), 64);
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kUserId)).toString(), first);
        PresenceClient second;
        second.setInterfaceProvider(provider);
        QCOMPARE(second.ensureUserId(), first);
        QCOMPARE(asked, 1);

        // Two fresh profiles on a machine without hardware addresses still get different ids.
        openSettings().remove(QLatin1String(SettingsKeys::kUserId));
        PresenceClient third;
        third.setInterfaceProvider(provider);
        QVERIFY(third.ensureUserId() != first);
    }
};

QTEST_MAIN(TestPresence)
#include "tst_presence.moc"
