// The shared ports and presence clients against kestrel-service itself.

#include "monitor/presenceclient.h"
#include "shared/sharedportsclient.h"
#include "tools/serviceprocess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

// Starts a request and returns the (success, error) its result signal ends with.
template<typename Signal, typename Start>
std::pair<bool, QString> await(SharedPortsClient &client, Signal signal, Start start)
{
    QSignalSpy spy(&client, signal);
    start();
    if (!spy.wait(20000))
        return {false, QStringLiteral("no answer")};
    const QList<QVariant> arguments = spy.takeFirst();
    return {arguments.at(arguments.size() - 2).toBool(), arguments.last().toString()};
}

// A valid publication with one member changed (removed when value is null).
QByteArray publication(const char *key, const QJsonValue &value)
{
    QJsonObject body {{QStringLiteral("user_name"), QStringLiteral("A")}, {QStringLiteral("port"), 9001},
        {QStringLiteral("description"), QStringLiteral("d")}, {QStringLiteral("status"), 0}};
    if (value.isNull())
        body.remove(QLatin1String(key));
    else
        body.insert(QLatin1String(key), value);
    return QJsonDocument(body).toJson();
}

// Asks for the online count; -2 when no count arrives.
int onlineCount(PresenceClient &presence)
{
    QSignalSpy counts(&presence, &PresenceClient::onlineCountChanged);
    presence.requestOnlineCount();
    return counts.wait(5000) ? counts.first().at(0).toInt() : -2;
}

// Writes raw bytes to the service and collects everything until it closes the connection.
QByteArray exchange(const QString &baseUrl, const QByteArray &bytes)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(QUrl(baseUrl).port()));
    socket.waitForConnected(10000);
    socket.write(bytes);
    socket.waitForDisconnected(20000);
    return socket.readAll();
}

QByteArray post(const QString &baseUrl, const QByteArray &endpoint, const QByteArray &body)
{
    return exchange(baseUrl,
        "POST /" + endpoint + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

} // namespace

class TestKestrelService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void publishAndList();
    void commentsAreListedOldestFirst();
    void onlyTheOwnerWithdraws();
    void refusedRequestWritesNothing_data();
    void refusedRequestWritesNothing();
    void oversizedRequestIsRefused();
    void heartbeatCountsUntilStale();
    void staticFilesStayInTheirFolder_data();
    void staticFilesStayInTheirFolder();

private:
    QList<SharedPort> fetch(const QString &userName = QStringLiteral("viewer"));
    int publish(const QString &user, quint16 port, const QString &description, const QString &comment = {});

    QTemporaryDir m_files;
    ServiceProcess m_service;
    SharedPortsClient *m_client = nullptr;
};

void TestKestrelService::initTestCase()
{
    if (!QFileInfo(ServiceProcess::binary()).isExecutable())
        QSKIP("kestrel-service was not built (KESTREL_BUILD_SERVICE=OFF)");
    // A folder of static files beside a secret one, and a short online window so that a
    // heartbeat goes stale within the test.
    QVERIFY(QDir(m_files.path()).mkdir(QStringLiteral("www")));
    for (const auto &[path, content] :
        {std::pair {"secret.txt", "TOP-SECRET-CONTENT"}, {"www/ping.json", "{\"pong\":1}"}}) {
        QFile file(m_files.filePath(QLatin1String(path)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) > 0);
    }
    QVERIFY2(m_service.start({QStringLiteral("--online-seconds"), QStringLiteral("3"),
                 QStringLiteral("--static-dir"), m_files.filePath(QStringLiteral("www"))}),
        m_service.log().constData());
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

// Publishes with status 1 and returns the listed id (0 on failure).
int TestKestrelService::publish(
    const QString &user, quint16 port, const QString &description, const QString &comment)
{
    if (!await(*m_client, &SharedPortsClient::publishFinished, [&] {
            m_client->publishPort(user, port, description, 1, comment);
        }).first)
        return 0;
    for (const SharedPort &p : fetch()) {
        if (p.userName == user && p.port == port)
            return p.id;
    }
    return 0;
}

void TestKestrelService::publishAndList()
{
    const QString description = QStringLiteral("Ладога, \"трофеи\"\\\tночь");
    const QString comment = QStringLiteral("ночью <лучше> & тише");
    QVERIFY(publish(QStringLiteral("Сом"), 9321, QStringLiteral("первое")) > 0);
    QVERIFY(publish(QStringLiteral("Сом"), 9321, description, comment) > 0); // replaces the first
    QVERIFY(publish(QStringLiteral("Сом"), 9322, QStringLiteral("Без комментария")) > 0);
    QVERIFY(publish(QStringLiteral("Окунь"), 9321, QStringLiteral("чужое")) > 0); // another's entry
    // An entry copied from the listing comes back with its comment inside the description.
    const QString copied = description + SharedPorts::commentSeparator() + comment;
    QVERIFY(publish(QStringLiteral("Окунь"), 9323, copied, QStringLiteral("ещё")) > 0);

    // Listed to their owner too; a comment follows the separator, no comment means no separator.
    QStringList seen;
    for (const SharedPort &p : fetch(QStringLiteral("Сом"))) {
        QVERIFY(p.id > 0 && p.status == 1 && p.createdAt.isValid());
        seen << p.userName + QString::number(p.port) + QLatin1Char(':') + p.description;
    }
    QCOMPARE(seen,
        (QStringList {QStringLiteral("Сом9321:") + description + SharedPorts::commentSeparator() + comment,
            QStringLiteral("Сом9322:Без комментария"), QStringLiteral("Окунь9321:чужое"),
            QStringLiteral("Окунь9323:") + copied + SharedPorts::commentSeparator()
                + QStringLiteral("ещё")}));

    // The comment member may be left out altogether.
    QVERIFY(post(m_service.baseUrl(), "publish_port.php", publication("comment", QJsonValue()))
                .contains(R"("success":true)"));
    QCOMPARE(fetch().constLast().description, QStringLiteral("d"));
}

void TestKestrelService::commentsAreListedOldestFirst()
{
    const int id = publish(QStringLiteral("Лещ"), 9500, QStringLiteral("Озеро"));
    QVERIFY(id > 0);
    for (const QString &text : {QStringLiteral("первый"), QStringLiteral("второй <b>")}) {
        const auto [added, error] = await(*m_client, &SharedPortsClient::commentAdded,
            [&] { m_client->addComment(id, QStringLiteral("Карась"), text); });
        QVERIFY2(added, qPrintable(error));
    }
    QSignalSpy spy(m_client, &SharedPortsClient::commentsReceived);
    m_client->fetchComments(id);
    QVERIFY(spy.wait(20000) && spy.first().at(1).toBool());
    QStringList seen;
    for (const Comment &comment : spy.first().at(0).value<QList<Comment>>()) {
        QVERIFY(comment.id > 0 && comment.createdAt.isValid());
        seen << comment.userName + QLatin1Char(':') + comment.comment;
    }
    QCOMPARE(seen, (QStringList {QStringLiteral("Карась:первый"), QStringLiteral("Карась:второй <b>")}));
}

void TestKestrelService::onlyTheOwnerWithdraws()
{
    const int id = publish(QStringLiteral("Судак"), 9600, QStringLiteral("Волга"), QStringLiteral("к"));
    QVERIFY(id > 0);
    const auto unpublish = [this, id](const QString &user) {
        return await(
            *m_client, &SharedPortsClient::unpublishFinished, [&] { m_client->unpublishPort(user, id); });
    };
    const auto listed = [this, id] {
        const QList<SharedPort> ports = fetch();
        return std::any_of(ports.cbegin(), ports.cend(), [id](const SharedPort &p) { return p.id == id; });
    };
    // Ownership is by exact name, case included.
    for (const QString &stranger : {QStringLiteral("Ёрш"), QStringLiteral("судак")}) {
        QCOMPARE(unpublish(stranger), std::pair(false, QStringLiteral("Можно удалить только свои порты")));
    }
    QVERIFY(listed());

    QCOMPARE(unpublish(QStringLiteral("Судак")), std::pair(true, QString()));
    QVERIFY(!listed());
}

void TestKestrelService::refusedRequestWritesNothing_data()
{
    QTest::addColumn<QByteArray>("endpoint");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("errorPart");

    const auto row = [](const char *name, const QByteArray &body, const char *errorPart,
                         const char *endpoint = "publish_port.php") {
        QTest::newRow(name) << QByteArray(endpoint) << body << QString::fromUtf8(errorPart);
    };
    row("port below range", publication("port", 8999), "9000-9999");
    row("port above range", publication("port", 10000), "9000-9999");
    row("copied comment too long",
        publication("description", QString(QStringLiteral("a\n📝 ") + QString(501, QLatin1Char('c')))),
        "Комментарий");
    row("long comment", publication("comment", QString(501, QLatin1Char('c'))), "Комментарий");
    row("control character", publication("user_name", QStringLiteral("A\x01")), "недопустимые");
    row("port as text", publication("port", QStringLiteral("9001")), "port");
    row("missing status", publication("status", QJsonValue()), "status");
    row("not json", "user_name=A&port=9001", "JSON");
    row("array", R"([{"user_name":"A"}])", "объектом JSON");
    row("comment on missing entry", R"({"port_id":987654,"user_name":"A","comment":"c"})", "не найден",
        "add_comment.php");
    row("heartbeat bad id", R"({"user_id":"abc","app_version":"1.6.3"})", "user_id", "heartbeat.php");
}

void TestKestrelService::refusedRequestWritesNothing()
{
    QFETCH(QByteArray, endpoint);
    QFETCH(QByteArray, body);
    QFETCH(QString, errorPart);

    const int before = int(fetch().size());
    const QByteArray answer = post(m_service.baseUrl(), endpoint, body);
    QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
    const QJsonObject object = QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
    QCOMPARE(object.value(QLatin1String("success")), QJsonValue(false));
    QVERIFY2(object.value(QLatin1String("error")).toString().contains(errorPart), answer.constData());
    QCOMPARE(int(fetch().size()), before);
}

void TestKestrelService::oversizedRequestIsRefused()
{
    const int before = int(fetch().size());
    const QByteArray answer = post(m_service.baseUrl(), "publish_port.php",
        publication("description", QString(70 * 1024, QLatin1Char('x'))));
    QVERIFY2(answer.startsWith("HTTP/1.1 413") && answer.contains("too large"), answer.constData());
    // A header that never ends is cut off too.
    const QByteArray header = exchange(
        m_service.baseUrl(), "GET /get_ports.php HTTP/1.1\r\nX-Filler: " + QByteArray(20 * 1024, 'a'));
    QVERIFY2(header.startsWith("HTTP/1.1 431"), header.constData());
    QCOMPARE(int(fetch().size()), before);
}

void TestKestrelService::heartbeatCountsUntilStale()
{
    PresenceClient presence;
    presence.setBaseUrl(m_service.baseUrl());
    QVERIFY(!presence.ensureUserId().isEmpty());
    QCOMPARE(onlineCount(presence), 0);
    // Two heartbeats from one user count once, until the online window has passed.
    QSignalSpy beats(&presence, &PresenceClient::heartbeatFinished);
    presence.sendHeartbeat();
    presence.sendHeartbeat();
    QVERIFY(QTest::qWaitFor([&beats] { return beats.size() == 2; }, 20000));
    const QDateTime sent = QDateTime::currentDateTime();
    QVERIFY(beats.at(0).at(0).toBool() && beats.at(1).at(0).toBool());
    QCOMPARE(onlineCount(presence), 1);
    QVERIFY(QTest::qWaitFor([&presence] { return onlineCount(presence) == 0; }, 20000));
    QVERIFY(sent.msecsTo(QDateTime::currentDateTime()) >= 2900);
}

void TestKestrelService::staticFilesStayInTheirFolder_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::newRow("file") << QByteArray("/ping.json") << QByteArray("HTTP/1.1 200");
    QTest::newRow("parent") << QByteArray("/../secret.txt") << QByteArray("HTTP/1.1 404");
    QTest::newRow("encoded parent") << QByteArray("/%2e%2e/secret.txt") << QByteArray("HTTP/1.1 404");
    QTest::newRow("folder") << QByteArray("/") << QByteArray("HTTP/1.1 404");
}

void TestKestrelService::staticFilesStayInTheirFolder()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, statusLine);

    const QByteArray answer = exchange(
        m_service.baseUrl(), "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QVERIFY2(answer.startsWith(statusLine), answer.constData());
    QVERIFY(!answer.contains("TOP-SECRET-CONTENT"));
    QCOMPARE(answer.endsWith("{\"pong\":1}"), statusLine.endsWith("200"));
}

QTEST_MAIN(TestKestrelService)
#include "tst_kestrelservice.moc"
