// The shared ports and presence clients against kestrel-service itself.

#include "app/appconfig.h"
#include "monitor/presenceclient.h"
#include "shared/sharedportsclient.h"
#include "tools/serviceprocess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

struct Outcome
{
    bool success = false;
    QString error;
};

template<typename Signal, typename Start> Outcome await(SharedPortsClient &client, Signal signal, Start start)
{
    QSignalSpy spy(&client, signal);
    start();
    if (!spy.wait(20000))
        return {false, QStringLiteral("no answer")};
    const QList<QVariant> arguments = spy.takeFirst();
    // Result signals end with (bool success, QString error).
    return {arguments.at(arguments.size() - 2).toBool(), arguments.last().toString()};
}

} // namespace

class TestKestrelService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void publishAndList();
    void republishReplacesOwnEntry();
    void commentsAreListedOldestFirst();
    void onlyTheOwnerWithdraws();
    void invalidPublicationIsRefused_data();
    void invalidPublicationIsRefused();
    void malformedBodyIsRefused_data();
    void malformedBodyIsRefused();
    void oversizedBodyIsRefused();
    void invalidCommentRequests();
    void heartbeatCountsUserOnline();
    void staleHeartbeatIsNotOnline();
    void pipelinedRequestsOnOneConnection();
    void staticFilesStayInTheirFolder_data();
    void staticFilesStayInTheirFolder();

private:
    QList<SharedPort> fetch(const QString &userName = QStringLiteral("viewer"));
    QPair<int, QJsonObject> postRaw(const QString &endpoint, const QByteArray &body);

    ServiceProcess m_service;
    SharedPortsClient *m_client = nullptr;
};

void TestKestrelService::initTestCase()
{
    if (!QFileInfo(ServiceProcess::binary()).isExecutable())
        QSKIP("kestrel-service was not built (KESTREL_BUILD_SERVICE=OFF)");
    QVERIFY2(m_service.start(), m_service.log().constData());
    m_client = new SharedPortsClient(this);
    m_client->setBaseUrl(m_service.baseUrl());
}

QList<SharedPort> TestKestrelService::fetch(const QString &userName)
{
    QSignalSpy spy(m_client, &SharedPortsClient::portsReceived);
    m_client->fetchPorts(userName);
    if (!spy.wait(20000) || !spy.first().at(1).toBool())
        return {};
    return spy.first().at(0).value<QList<SharedPort>>();
}

QPair<int, QJsonObject> TestKestrelService::postRaw(const QString &endpoint, const QByteArray &body)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(m_service.baseUrl() + endpoint));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = manager.post(request, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!finished.wait(20000))
        return {0, {}};
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QJsonObject object = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    return {status, object};
}

void TestKestrelService::publishAndList()
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    const Outcome published = await(*m_client, &SharedPortsClient::publishFinished, [this] {
        m_client->publishPort(QStringLiteral("Сом"), 9321, QStringLiteral("Ладога, \"трофеи\"\\\tночь"), 1,
            QStringLiteral("ночью <лучше> & тише"));
    });
    QVERIFY2(published.success, qPrintable(published.error));
    QVERIFY(published.error.isEmpty());

    const QList<SharedPort> ports = fetch(QStringLiteral("Сом"));
    auto it = std::find_if(ports.cbegin(), ports.cend(), [](const SharedPort &p) { return p.port == 9321; });
    QVERIFY(it != ports.cend());
    QVERIFY(it->id > 0);
    QCOMPARE(it->userName, QStringLiteral("Сом"));
    QCOMPARE(it->status, 1);
    QCOMPARE(it->description, QStringLiteral("Ладога, \"трофеи\"\\\tночь\n📝 ночью <лучше> & тише"));
    const QString comment = it->description.section(SharedPorts::commentSeparator(), 1);
    QCOMPARE(comment, QStringLiteral("ночью <лучше> & тише"));
    QVERIFY(it->createdAt.isValid());
    QVERIFY(it->createdAt >= before && it->createdAt <= QDateTime::currentDateTime().addSecs(2));

    // Without a comment there is no separator.
    QVERIFY(await(*m_client, &SharedPortsClient::publishFinished, [this] {
        m_client->publishPort(QStringLiteral("Сом"), 9322, QStringLiteral("Без комментария"), 0, QString());
    }).success);
    const QList<SharedPort> again = fetch();
    it = std::find_if(again.cbegin(), again.cend(), [](const SharedPort &p) { return p.port == 9322; });
    QVERIFY(it != again.cend());
    QCOMPARE(it->description, QStringLiteral("Без комментария"));
}

void TestKestrelService::republishReplacesOwnEntry()
{
    const auto publish = [this](const QString &user, const QString &description) {
        return await(*m_client, &SharedPortsClient::publishFinished,
            [&] { m_client->publishPort(user, 9400, description, 2, QString()); });
    };
    QVERIFY(publish(QStringLiteral("Щука"), QStringLiteral("первое")).success);
    QVERIFY(publish(QStringLiteral("Щука"), QStringLiteral("второе")).success);
    QVERIFY(publish(QStringLiteral("Окунь"), QStringLiteral("чужое")).success);
    const QList<SharedPort> ports = fetch();
    QStringList seen;
    for (const SharedPort &port : ports) {
        if (port.port == 9400)
            seen << port.userName + QLatin1Char(':') + port.description;
    }
    QCOMPARE(seen, (QStringList {QStringLiteral("Щука:второе"), QStringLiteral("Окунь:чужое")}));
}

void TestKestrelService::commentsAreListedOldestFirst()
{
    QVERIFY(await(*m_client, &SharedPortsClient::publishFinished, [this] {
        m_client->publishPort(QStringLiteral("Лещ"), 9500, QStringLiteral("Озеро"), 0, QString());
    }).success);
    const QList<SharedPort> ports = fetch();
    auto it = std::find_if(ports.cbegin(), ports.cend(), [](const SharedPort &p) { return p.port == 9500; });
    QVERIFY(it != ports.cend());
    const int id = it->id;

    for (const QString &text : {QStringLiteral("первый"), QStringLiteral("второй <b>")}) {
        const Outcome added = await(*m_client, &SharedPortsClient::commentAdded,
            [&] { m_client->addComment(id, QStringLiteral("Карась"), text); });
        QVERIFY2(added.success, qPrintable(added.error));
    }
    QSignalSpy spy(m_client, &SharedPortsClient::commentsReceived);
    m_client->fetchComments(id);
    QVERIFY(spy.wait(20000));
    QVERIFY(spy.first().at(1).toBool());
    const QList<Comment> comments = spy.first().at(0).value<QList<Comment>>();
    QCOMPARE(comments.size(), 2);
    QCOMPARE(comments.at(0).comment, QStringLiteral("первый"));
    QCOMPARE(comments.at(1).comment, QStringLiteral("второй <b>"));
    QCOMPARE(comments.at(1).userName, QStringLiteral("Карась"));
    QVERIFY(comments.at(0).id > 0 && comments.at(1).id > comments.at(0).id);
    QVERIFY(comments.at(1).createdAt.isValid());
}

void TestKestrelService::onlyTheOwnerWithdraws()
{
    QVERIFY(await(*m_client, &SharedPortsClient::publishFinished, [this] {
        m_client->publishPort(QStringLiteral("Судак"), 9600, QStringLiteral("Волга"), 1, QStringLiteral("к"));
    }).success);
    QList<SharedPort> ports = fetch();
    auto it = std::find_if(ports.cbegin(), ports.cend(), [](const SharedPort &p) { return p.port == 9600; });
    QVERIFY(it != ports.cend());
    const int id = it->id;
    QVERIFY(await(*m_client, &SharedPortsClient::commentAdded, [&] {
        m_client->addComment(id, QStringLiteral("Ёрш"), QStringLiteral("спасибо"));
    }).success);

    for (const QString &stranger : {QStringLiteral("Ёрш"), QStringLiteral("судак")}) {
        const Outcome refused = await(
            *m_client, &SharedPortsClient::unpublishFinished, [&] { m_client->unpublishPort(stranger, id); });
        QVERIFY(!refused.success);
        QCOMPARE(refused.error, QStringLiteral("Можно удалить только свои порты"));
    }
    ports = fetch();
    QVERIFY(std::any_of(ports.cbegin(), ports.cend(), [id](const SharedPort &p) { return p.id == id; }));

    const Outcome accepted = await(*m_client, &SharedPortsClient::unpublishFinished,
        [&] { m_client->unpublishPort(QStringLiteral("Судак"), id); });
    QVERIFY2(accepted.success, qPrintable(accepted.error));
    ports = fetch();
    QVERIFY(std::none_of(ports.cbegin(), ports.cend(), [id](const SharedPort &p) { return p.id == id; }));

    // Its comments went with it, and a second withdrawal finds nothing.
    QSignalSpy comments(m_client, &SharedPortsClient::commentsReceived);
    m_client->fetchComments(id);
    QVERIFY(comments.wait(20000));
    QVERIFY(comments.first().at(1).toBool());
    QVERIFY(comments.first().at(0).value<QList<Comment>>().isEmpty());
    const Outcome again = await(*m_client, &SharedPortsClient::unpublishFinished,
        [&] { m_client->unpublishPort(QStringLiteral("Судак"), id); });
    QVERIFY(!again.success);
    QVERIFY(again.error.contains(QStringLiteral("не найден")));
}

void TestKestrelService::invalidPublicationIsRefused_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("errorPart");

    const QString ok = QStringLiteral("описание");
    QTest::newRow("port below range")
        << QStringLiteral("A") << 8999 << ok << 0 << QString() << QStringLiteral("9000-9999");
    QTest::newRow("port above range")
        << QStringLiteral("A") << 10000 << ok << 0 << QString() << QStringLiteral("9000-9999");
    QTest::newRow("status 3") << QStringLiteral("A") << 9001 << ok << 3 << QString()
                              << QStringLiteral("Статус");
    QTest::newRow("status -1") << QStringLiteral("A") << 9001 << ok << -1 << QString()
                               << QStringLiteral("Статус");
    QTest::newRow("empty name") << QString() << 9001 << ok << 0 << QString() << QStringLiteral("Имя");
    QTest::newRow("blank name") << QStringLiteral("   ") << 9001 << ok << 0 << QString()
                                << QStringLiteral("Имя");
    QTest::newRow("long name") << QString(33, QLatin1Char('n')) << 9001 << ok << 0 << QString()
                               << QStringLiteral("Имя");
    QTest::newRow("empty description")
        << QStringLiteral("A") << 9001 << QString() << 0 << QString() << QStringLiteral("Описание");
    QTest::newRow("long description") << QStringLiteral("A") << 9001 << QString(201, QLatin1Char('d')) << 0
                                      << QString() << QStringLiteral("Описание");
    QTest::newRow("separator in description")
        << QStringLiteral("A") << 9001 << QStringLiteral("a\n📝 b") << 0 << QString() << QStringLiteral("📝");
    QTest::newRow("long comment") << QStringLiteral("A") << 9001 << ok << 0 << QString(501, QLatin1Char('c'))
                                  << QStringLiteral("Комментарий");
    QTest::newRow("control character")
        << QStringLiteral("A\x01") << 9001 << ok << 0 << QString() << QStringLiteral("недопустимые");
}

void TestKestrelService::invalidPublicationIsRefused()
{
    QFETCH(QString, userName);
    QFETCH(int, port);
    QFETCH(QString, description);
    QFETCH(int, status);
    QFETCH(QString, comment);
    QFETCH(QString, errorPart);

    const int before = int(fetch().size());
    const Outcome outcome = await(*m_client, &SharedPortsClient::publishFinished,
        [&] { m_client->publishPort(userName, quint16(port), description, status, comment); });
    QVERIFY(!outcome.success);
    QVERIFY2(outcome.error.contains(errorPart), qPrintable(outcome.error));
    QCOMPARE(int(fetch().size()), before);
}

void TestKestrelService::malformedBodyIsRefused_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("not json") << QStringLiteral("publish_port.php") << QByteArray("user_name=A&port=9001")
                              << QStringLiteral("JSON");
    QTest::newRow("array") << QStringLiteral("publish_port.php") << QByteArray(R"([{"user_name":"A"}])")
                           << QStringLiteral("объектом JSON");
    QTest::newRow("empty body") << QStringLiteral("publish_port.php") << QByteArray()
                                << QStringLiteral("JSON");
    QTest::newRow("port as text") << QStringLiteral(
        "publish_port.php") << QByteArray(R"({"user_name":"A","port":"9001","description":"d","status":0})")
                                  << QStringLiteral("port");
    QTest::newRow("fractional port") << QStringLiteral(
        "publish_port.php") << QByteArray(R"({"user_name":"A","port":9001.5,"description":"d","status":0})")
                                     << QStringLiteral("port");
    QTest::newRow("missing status") << QStringLiteral("publish_port.php")
                                    << QByteArray(R"({"user_name":"A","port":9001,"description":"d"})")
                                    << QStringLiteral("status");
    QTest::newRow("name as number") << QStringLiteral(
        "publish_port.php") << QByteArray(R"({"user_name":5,"port":9001,"description":"d","status":0})")
                                    << QStringLiteral("user_name");
    QTest::newRow("comment id as text")
        << QStringLiteral("add_comment.php") << QByteArray(R"({"port_id":"1","user_name":"A","comment":"c"})")
        << QStringLiteral("port_id");
    QTest::newRow("heartbeat bad id")
        << QStringLiteral("heartbeat.php") << QByteArray(R"({"user_id":"abc","app_version":"1.6.3"})")
        << QStringLiteral("user_id");
}

void TestKestrelService::malformedBodyIsRefused()
{
    QFETCH(QString, endpoint);
    QFETCH(QByteArray, body);
    QFETCH(QString, errorPart);

    const int before = int(fetch().size());
    const auto [status, object] = postRaw(endpoint, body);
    QCOMPARE(status, 200);
    QCOMPARE(object.value(QLatin1String("success")), QJsonValue(false));
    const QString error = object.value(QLatin1String("error")).toString();
    QVERIFY2(error.contains(errorPart), qPrintable(error));
    QCOMPARE(int(fetch().size()), before);
}

void TestKestrelService::oversizedBodyIsRefused()
{
    const int before = int(fetch().size());
    QJsonObject body {{QStringLiteral("user_name"), QStringLiteral("A")}, {QStringLiteral("port"), 9700},
        {QStringLiteral("description"), QString(70 * 1024, QLatin1Char('x'))}, {QStringLiteral("status"), 0}};
    const auto [status, object] = postRaw(QStringLiteral("publish_port.php"), QJsonDocument(body).toJson());
    QCOMPARE(status, 413);
    QVERIFY(object.value(QLatin1String("error")).toString().contains(QLatin1String("too large")));

    // Through the client the refusal arrives as a failure with the network layer's text.
    const Outcome outcome = await(*m_client, &SharedPortsClient::publishFinished, [this] {
        m_client->publishPort(QStringLiteral("A"), 9700, QString(70 * 1024, QLatin1Char('x')), 0, QString());
    });
    QVERIFY(!outcome.success);
    QVERIFY(!outcome.error.isEmpty());

    // A header that never ends is cut off too.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, QUrl(m_service.baseUrl()).port());
    QVERIFY(socket.waitForConnected(10000));
    socket.write("GET /get_ports.php HTTP/1.1\r\nX-Filler: " + QByteArray(20 * 1024, 'a'));
    QByteArray answer;
    QVERIFY(QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return answer.contains("\r\n\r\n") || socket.state() == QAbstractSocket::UnconnectedState;
        },
        20000));
    QVERIFY2(answer.startsWith("HTTP/1.1 431"), answer.constData());
    QCOMPARE(int(fetch().size()), before);
}

void TestKestrelService::invalidCommentRequests()
{
    const Outcome missingEntry = await(*m_client, &SharedPortsClient::commentAdded,
        [this] { m_client->addComment(987654, QStringLiteral("A"), QStringLiteral("текст")); });
    QVERIFY(!missingEntry.success);
    QVERIFY(missingEntry.error.contains(QStringLiteral("не найден")));

    const Outcome blank = await(*m_client, &SharedPortsClient::commentAdded,
        [this] { m_client->addComment(1, QStringLiteral("A"), QStringLiteral("   ")); });
    QVERIFY(!blank.success);
    QVERIFY(blank.error.contains(QStringLiteral("Комментарий")));

    const Outcome badId
        = await(*m_client, &SharedPortsClient::commentsReceived, [this] { m_client->fetchComments(-5); });
    QVERIFY(!badId.success);
    QVERIFY(badId.error.contains(QLatin1String("port_id")));
}

void TestKestrelService::heartbeatCountsUserOnline()
{
    PresenceClient presence;
    presence.setBaseUrl(m_service.baseUrl());
    QVERIFY(!presence.ensureUserId().isEmpty());

    QSignalSpy counts(&presence, &PresenceClient::onlineCountChanged);
    presence.requestOnlineCount();
    QVERIFY(counts.wait(20000));
    QCOMPARE(counts.takeFirst().at(0).toInt(), 0);

    QSignalSpy beats(&presence, &PresenceClient::heartbeatFinished);
    presence.sendHeartbeat();
    presence.sendHeartbeat();
    QVERIFY(QTest::qWaitFor([&beats] { return beats.size() == 2; }, 20000));
    QVERIFY(beats.at(0).at(0).toBool() && beats.at(1).at(0).toBool());
    presence.requestOnlineCount();
    QVERIFY(counts.wait(20000));
    QCOMPARE(counts.takeFirst().at(0).toInt(), 1);
    QCOMPARE(presence.display().text, QStringLiteral("1"));
}

void TestKestrelService::staleHeartbeatIsNotOnline()
{
    ServiceProcess shortWindow;
    QVERIFY2(shortWindow.start({QStringLiteral("--online-seconds"), QStringLiteral("1")}),
        shortWindow.log().constData());
    PresenceClient presence;
    presence.setBaseUrl(shortWindow.baseUrl());
    presence.ensureUserId();
    QSignalSpy beats(&presence, &PresenceClient::heartbeatFinished);
    presence.sendHeartbeat();
    QVERIFY(beats.wait(20000));
    QVERIFY(beats.first().at(0).toBool());

    const QDateTime sent = QDateTime::currentDateTime();
    int lastCount = -2;
    QVERIFY(QTest::qWaitFor(
        [&] {
            QSignalSpy counts(&presence, &PresenceClient::onlineCountChanged);
            presence.requestOnlineCount();
            if (!counts.wait(5000))
                return false;
            lastCount = counts.first().at(0).toInt();
            return lastCount == 0;
        },
        20000));
    // It went offline only once the window had passed.
    QVERIFY(sent.msecsTo(QDateTime::currentDateTime()) >= 900);
}

void TestKestrelService::pipelinedRequestsOnOneConnection()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, QUrl(m_service.baseUrl()).port());
    QVERIFY(socket.waitForConnected(10000));
    // The POST in the middle is refused (no such entry), so nothing is written.
    const QByteArray body = R"({"port_id":987654,"user_name":"A","comment":"c"})";
    socket.write("GET /online_count.php HTTP/1.1\r\nHost: x\r\n\r\n"
                 "POST /add_comment.php HTTP/1.1\r\nHost: x\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body
        + "GET /get_comments.php?port_id=1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    QVERIFY(QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        20000));
    answer += socket.readAll();
    QCOMPARE(answer.count("HTTP/1.1 200 OK"), 3);
    QCOMPARE(answer.count("\"success\":true"), 2);
    QCOMPARE(answer.count("\"success\":false"), 1);
    QVERIFY(answer.contains("\"comments\""));
}

void TestKestrelService::staticFilesStayInTheirFolder_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("file") << QByteArray("/ping.json") << QByteArray("HTTP/1.1 200")
                          << QByteArray("{\"pong\":1}");
    QTest::newRow("parent") << QByteArray("/../secret.txt") << QByteArray("HTTP/1.1 404") << QByteArray();
    QTest::newRow("encoded parent") << QByteArray("/%2e%2e/secret.txt") << QByteArray("HTTP/1.1 404")
                                    << QByteArray();
    QTest::newRow("folder") << QByteArray("/") << QByteArray("HTTP/1.1 404") << QByteArray();
    QTest::newRow("endpoint by wrong method")
        << QByteArray("/heartbeat.php") << QByteArray("HTTP/1.1 405") << QByteArray();
}

void TestKestrelService::staticFilesStayInTheirFolder()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, body);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("www")));
    QFile secret(dir.filePath(QStringLiteral("secret.txt")));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("TOP-SECRET-CONTENT");
    secret.close();
    QFile ping(dir.filePath(QStringLiteral("www/ping.json")));
    QVERIFY(ping.open(QIODevice::WriteOnly));
    ping.write("{\"pong\":1}");
    ping.close();

    ServiceProcess service;
    QVERIFY(service.start({QStringLiteral("--static-dir"), dir.filePath(QStringLiteral("www"))}));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, QUrl(service.baseUrl()).port());
    QVERIFY(socket.waitForConnected(10000));
    socket.write("GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    QVERIFY(QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        20000));
    answer += socket.readAll();
    QVERIFY2(answer.startsWith(statusLine), answer.constData());
    QVERIFY(!answer.contains("TOP-SECRET-CONTENT"));
    if (!body.isEmpty())
        QVERIFY(answer.endsWith(body));
}

QTEST_MAIN(TestKestrelService)
#include "tst_kestrelservice.moc"
