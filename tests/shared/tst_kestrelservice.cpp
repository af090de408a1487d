// The shared ports and presence clients against kestrel-service itself, and the
// service's limits. Runs on SQLite, or with KESTREL_TEST_POSTGRES=1 on a PostgreSQL
// cluster of its own.

#include "monitor/presenceclient.h"
#include "shared/sharedportsclient.h"
#include "tools/postgresserver.h"
#include "tools/serviceprocess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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
QByteArray publication(const char *key, const QJsonValue &value, const QString &user = QStringLiteral("A"))
{
    QJsonObject body {{QStringLiteral("user_name"), user}, {QStringLiteral("port"), 9001},
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

struct Answer
{
    QByteArray raw;
    int status() const { return raw.mid(9, 3).toInt(); }
    QJsonObject json() const
    {
        return QJsonDocument::fromJson(raw.mid(raw.indexOf("\r\n\r\n") + 4)).object();
    }
    QString error() const { return json().value(QLatin1String("error")).toString(); }
    qint64 id() const { return json().value(QLatin1String("id")).toInteger(); }
};

// Writes raw bytes to the service from a loopback source address (each address has
// limits of its own) and collects everything until the service closes the connection.
std::unique_ptr<QTcpSocket> connectFrom(const ServiceProcess &service, const char *source)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(QLatin1String(source)));
    socket->connectToHost(QHostAddress::LocalHost, quint16(QUrl(service.baseUrl()).port()));
    socket->waitForConnected(10000);
    return socket;
}

Answer exchange(const ServiceProcess &service, const QByteArray &bytes, const char *source = "127.0.0.1")
{
    const auto socket = connectFrom(service, source);
    socket->write(bytes);
    socket->waitForDisconnected(20000);
    return {socket->readAll()};
}

Answer post(const ServiceProcess &service, const QByteArray &endpoint, const QByteArray &body,
    const char *source = "127.0.0.1", const QByteArray &header = "Host: x")
{
    return exchange(service,
        "POST /" + endpoint + " HTTP/1.1\r\n" + header + "\r\nConnection: close\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body,
        source);
}

QStringList arguments(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

// The main service takes requests without rate limits, and forgets heartbeats after 3 s.
constexpr char kUnlimited[]
    = "--online-seconds 3 --publish-limit 0 --publish-limit-address 0 --comment-limit 0 "
      "--comment-limit-address 0 --heartbeat-limit 0 --heartbeat-limit-address 0";

Answer get(const ServiceProcess &service, const QByteArray &target, const char *source = "127.0.0.1")
{
    return exchange(service, "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", source);
}

QJsonArray listing(const ServiceProcess &service)
{
    return get(service, "/get_ports.php?user_name=").json().value(QLatin1String("ports")).toArray();
}

QList<qint64> listedIds(const ServiceProcess &service)
{
    QList<qint64> ids;
    for (const QJsonValue &entry : listing(service))
        ids << entry.toObject().value(QLatin1String("id")).toInteger();
    return ids;
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
    void requestsThatWriteNothing_data();
    void requestsThatWriteNothing();
    void heartbeatCountsUntilStale();
    void rateLimits_data();
    void rateLimits();
    void capsHold();
    void forwardedClientsCountApart();
    void slowClientsAreCut_data();
    void slowClientsAreCut();
    void connectionCaps();
    void twoInstancesShareOneDatabase();

private:
    QList<SharedPort> fetch(const QString &userName = QStringLiteral("viewer"));
    int publish(const QString &user, quint16 port, const QString &description, const QString &comment = {});
    // --driver and --database of a fresh database for one service.
    QStringList database(const QString &name);

    QTemporaryDir m_files;
    PostgresServer m_postgres;
    bool m_onPostgres = false;
    ServiceProcess m_service; // without rate limits
    ServiceProcess m_strict; // small limits, short deadlines
    QStringList m_serviceDatabase;
    SharedPortsClient *m_client = nullptr;
};

QStringList TestKestrelService::database(const QString &name)
{
    if (!m_onPostgres)
        return {QStringLiteral("--database"), m_files.filePath(name + QStringLiteral(".sqlite"))};
    if (!m_postgres.createDatabase(name))
        return {};
    return {QStringLiteral("--driver"), QStringLiteral("QPSQL"), QStringLiteral("--database"),
        m_postgres.connection(name)};
}

void TestKestrelService::initTestCase()
{
    if (!QFileInfo(ServiceProcess::binary()).isExecutable())
        QSKIP("kestrel-service was not built (KESTREL_BUILD_SERVICE=OFF)");
    m_onPostgres = qEnvironmentVariableIntValue("KESTREL_TEST_POSTGRES") == 1;
    if (m_onPostgres)
        QVERIFY2(m_postgres.start(), m_postgres.error().constData());
    // A folder of static files beside a secret one, and a short online window so that a
    // heartbeat goes stale within the test.
    QVERIFY(QDir(m_files.path()).mkdir(QStringLiteral("www")));
    for (const auto &[path, content] :
        {std::pair {"secret.txt", "TOP-SECRET-CONTENT"}, {"www/ping.json", "{\"pong\":1}"}}) {
        QFile file(m_files.filePath(QLatin1String(path)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) > 0);
    }
    m_serviceDatabase = database(QStringLiteral("main"));
    QVERIFY2(
        m_service.start(QStringList {QStringLiteral("--static-dir"), m_files.filePath(QStringLiteral("www"))}
            + arguments(kUnlimited) + m_serviceDatabase),
        m_service.log().constData());
    QVERIFY2(m_strict.start(arguments("--quiet --threads 2 --publish-limit 4 --publish-limit-address 6 "
                                      "--comment-limit 2 --comment-limit-address 3 --heartbeat-limit 2 "
                                      "--heartbeat-limit-address 3 --max-entries-per-name 2 "
                                      "--max-comments-per-entry 2 --max-listed 3 --header-timeout 3 "
                                      "--body-timeout 3 --max-connections-per-address 3 --max-connections 6 "
                                      "--trusted-proxy 127.0.6.1")
                 + database(QStringLiteral("strict"))),
        m_strict.log().constData());
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
    QVERIFY(post(m_service, "publish_port.php", publication("comment", QJsonValue()))
                .raw.contains(R"("success":true)"));
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

void TestKestrelService::requestsThatWriteNothing_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answerPart");

    const auto row = [](const char *name, const QByteArray &body, const char *answerPart,
                         const char *endpoint = "publish_port.php", int status = 200) {
        QTest::newRow(name) << "POST /" + QByteArray(endpoint)
                + " HTTP/1.1\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size())
                + "\r\n\r\n" + body
                            << status << QByteArray(answerPart);
    };
    // Refusals of the application, with their texts.
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
    // Protocol errors.
    row("body too large", publication("description", QString(70 * 1024, QLatin1Char('x'))), "too large",
        "publish_port.php", 413);
    const QByteArray post = "POST /publish_port.php HTTP/1.1\r\nHost: x\r\n";
    QTest::newRow("too large, client waits for 100")
        << post + "Expect: 100-continue\r\nContent-Length: 900000\r\n\r\n"
        << 413 << QByteArray("too large");
    // A header that never ends is cut off too.
    QTest::newRow("header too large")
        << "GET /get_ports.php HTTP/1.1\r\nX-Filler: " + QByteArray(20 * 1024, 'a') << 431 << QByteArray();
    QTest::newRow("chunked body") << post + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"
                                  << 501 << QByteArray("Content-Length");
    QTest::newRow("conflicting lengths")
        << post + "Content-Length: 2\r\nContent-Length: 3\r\n\r\n{}" << 400 << QByteArray("Conflicting");
    row("wrong method", {}, "Allow: GET", "get_ports.php", 405);
    // Static files, and none from outside their folder.
    const auto file = [](const char *name, const char *target, int status, const char *answerPart) {
        QTest::newRow(name) << "GET " + QByteArray(target) + " HTTP/1.1\r\nConnection: close\r\n\r\n"
                            << status << QByteArray(answerPart);
    };
    file("static file", "/ping.json", 200, "\r\n\r\n{\"pong\":1}");
    file("unknown path", "/admin.php", 404, "/admin.php");
    file("parent folder", "/../secret.txt", 404, "/secret.txt");
    file("encoded parent folder", "/%2e%2e/secret.txt", 404, "/secret.txt");
    file("static folder", "/", 404, "\"success\":false");
}

void TestKestrelService::requestsThatWriteNothing()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, answerPart);

    const int before = int(fetch().size());
    const Answer answer = exchange(m_service, request);
    QVERIFY2(answer.status() == status && answer.raw.contains(answerPart)
            && !answer.raw.contains("\"success\":true") && !answer.raw.contains("TOP-SECRET"),
        answer.raw.constData());
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

void TestKestrelService::rateLimits_data()
{
    QTest::addColumn<QByteArray>("endpoint");
    QTest::addColumn<int>("perName");
    QTest::addColumn<int>("perAddress");
    QTest::addColumn<QByteArray>("source");
    QTest::newRow("publish") << QByteArray("publish_port.php") << 4 << 6 << QByteArray("127.0.1.1");
    QTest::newRow("withdraw") << QByteArray("unpublish_port.php") << 4 << 6 << QByteArray("127.0.1.2");
    QTest::newRow("comment") << QByteArray("add_comment.php") << 2 << 3 << QByteArray("127.0.1.3");
    QTest::newRow("heartbeat") << QByteArray("heartbeat.php") << 2 << 3 << QByteArray("127.0.1.4");
}

void TestKestrelService::rateLimits()
{
    QFETCH(QByteArray, endpoint);
    QFETCH(int, perName);
    QFETCH(int, perAddress);
    QFETCH(QByteArray, source);

    const auto send = [&](char who, const char *from, const QString &description = QStringLiteral("d")) {
        const QString body = QStringLiteral(R"({"user_name":"%1","port":9001,"description":"%2","status":0,)"
                                            R"("port_id":987654,"comment":"c","user_id":"%3"})")
                                 .arg(QChar::fromLatin1(who) + QLatin1String(QTest::currentDataTag()),
                                     description, QString(64, QChar::fromLatin1(who)));
        return post(m_strict, endpoint, body.toUtf8(), from);
    };
    for (int i = 0; i < perName; ++i)
        QCOMPARE_NE(send('a', source).status(), 429);
    // One name over its allowance: refused with the wait, and nothing is written.
    const Answer refused = send('a', source, QStringLiteral("late"));
    QVERIFY2(refused.status() == 429 && refused.error().startsWith(QStringLiteral("Слишком много запросов")),
        refused.raw.constData());
    const int retryAfter = refused.raw.mid(refused.raw.indexOf("Retry-After: ") + 13, 3).trimmed().toInt();
    QVERIFY2(retryAfter >= 1 && retryAfter <= 60, refused.raw.constData());
    QVERIFY(!QJsonDocument(listing(m_strict)).toJson().contains("late"));
    // Other names from the address until the address's allowance is spent too.
    for (int i = perName; i < perAddress; ++i)
        QCOMPARE_NE(send(char('b' + i), source).status(), 429);
    QCOMPARE(send('f', source).status(), 429);
    // A refusal charges nothing: the same name from elsewhere goes ahead.
    QCOMPARE_NE(send('f', "127.0.2.1").status(), 429);
}

void TestKestrelService::capsHold()
{
    const auto publishAs = [this](const QString &name, int port, const char *source) {
        return post(m_strict, "publish_port.php", publication("port", port, name), source);
    };
    // Two entries per name; replacing one of them is still allowed.
    const qint64 id = publishAs(QStringLiteral("Cap"), 9101, "127.0.3.1").id();
    QVERIFY(id > 0 && publishAs(QStringLiteral("Cap"), 9102, "127.0.3.1").id() > 0);
    QVERIFY(
        publishAs(QStringLiteral("Cap"), 9103, "127.0.3.1").error().contains(QStringLiteral("не больше 2")));
    QCOMPARE(publishAs(QStringLiteral("Cap"), 9101, "127.0.3.1").id(), id);

    // Two comments per entry.
    QStringList errors;
    for (const char *name : {"K1", "K2", "K3"}) {
        const QByteArray comment
            = R"({"comment":"c","port_id":)" + QByteArray::number(id) + R"(,"user_name":")" + name + "\"}";
        errors << post(m_strict, "add_comment.php", comment, "127.0.3.2").error();
    }
    QCOMPARE(errors.mid(0, 2), QStringList({QString(), QString()}));
    QVERIFY2(errors.last().contains(QStringLiteral("уже 2 комментариев")), qPrintable(errors.last()));

    // The listing holds the three newest entries, ordered by id.
    QList<qint64> newest;
    for (int i = 0; i < 4; ++i)
        newest << publishAs(QStringLiteral("L%1").arg(i), 9200,
            QByteArray("127.0.3." + QByteArray::number(10 + i)).constData())
                      .id();
    QCOMPARE(listedIds(m_strict), newest.mid(1));
}

void TestKestrelService::forwardedClientsCountApart()
{
    // Through the trusted proxy each client it names last has an allowance of its own (what
    // the client itself put before that is ignored); from elsewhere the header means nothing.
    const auto beat = [this](const char *source, const char *client, char who) {
        const QByteArray body = R"({"app_version":"1","user_id":")" + QByteArray(64, who) + "\"}";
        const QByteArray header = "X-Forwarded-For: 192.0.2.9, " + QByteArray(client);
        return post(m_strict, "heartbeat.php", body, source, header).status();
    };
    for (const char *source : {"127.0.6.1", "127.0.6.2"}) {
        for (const char who : {'1', '2', '3'})
            QCOMPARE(beat(source, "10.0.0.1", who), 200);
        QCOMPARE(beat(source, "10.0.0.1", '4'), 429);
        QCOMPARE(beat(source, "10.0.0.2", '5'), qstrcmp(source, "127.0.6.1") == 0 ? 200 : 429);
    }
}

void TestKestrelService::slowClientsAreCut_data()
{
    QTest::addColumn<QByteArray>("opening");
    QTest::addColumn<QByteArray>("trickle"); // sent a byte every 250 ms
    QTest::addColumn<int>("answers");
    const QByteArray get = "GET /get_ports.php HTTP/1.1\r\nHost: x\r\n";
    QTest::newRow("silent") << QByteArray() << QByteArray() << 0;
    QTest::newRow("header trickled") << get << QByteArray("X-Slow: yes\r\n") << 0;
    QTest::newRow("body trickled") << QByteArray(
        "POST /heartbeat.php HTTP/1.1\r\nContent-Length: 900\r\n\r\n")
                                   << QByteArray("{") << 0;
    QTest::newRow("next request trickled") << get + "\r\n" + get << QByteArray("X-Slow: yes\r\n") << 1;
}

void TestKestrelService::slowClientsAreCut()
{
    QFETCH(QByteArray, opening);
    QFETCH(QByteArray, trickle);
    QFETCH(int, answers);

    // Activity must not extend the 3 s deadlines (the library's own idle time-out would).
    const auto socket = connectFrom(m_strict, "127.0.4.1");
    socket->write(opening);
    QElapsedTimer timer;
    timer.start();
    for (int sent = 0; socket->state() == QAbstractSocket::ConnectedState && timer.elapsed() < 10000;
         ++sent) {
        if (!trickle.isEmpty())
            socket->write(trickle.mid(sent % trickle.size(), 1));
        socket->waitForDisconnected(250);
    }
    QVERIFY2(
        timer.elapsed() >= 2500 && timer.elapsed() < 5000, QByteArray::number(timer.elapsed()).constData());
    QCOMPARE(int(socket->readAll().count("HTTP/1.1 200")), answers);
}

void TestKestrelService::connectionCaps()
{
    std::vector<std::unique_ptr<QTcpSocket>> held;
    const auto open = [this, &held](const char *source) {
        held.push_back(connectFrom(m_strict, source));
        return held.back().get();
    };
    // Three per address: a fourth is closed at once, long before the header deadline.
    for (int i = 0; i < 3; ++i)
        open("127.0.5.1");
    QVERIFY(open("127.0.5.1")->waitForDisconnected(1500));
    QCOMPARE(get(m_strict, "/online_count.php", "127.0.5.2").status(), 200);
    // Six in all: a seventh waits unanswered until one of them goes.
    for (int i = 0; i < 3; ++i)
        open("127.0.5.3");
    QTcpSocket *waiting = open("127.0.5.4");
    waiting->write("GET /online_count.php HTTP/1.1\r\nConnection: close\r\n\r\n");
    QVERIFY(!waiting->waitForReadyRead(1000));
    held.at(0)->abort();
    QVERIFY(waiting->waitForReadyRead(1000) && waiting->readAll().startsWith("HTTP/1.1 200"));
}

void TestKestrelService::twoInstancesShareOneDatabase()
{
    ServiceProcess other;
    QVERIFY2(other.start(arguments(kUnlimited) + m_serviceDatabase), other.log().constData());
    const std::array<const ServiceProcess *, 2> both {&m_service, &other};

    // Presence written through each is counted alike by both.
    for (int i = 0; i < 2; ++i) {
        const QByteArray beat = R"({"app_version":"1","user_id":")" + QByteArray(64, char('d' + i)) + "\"}";
        QVERIFY(post(*both[i], "heartbeat.php", beat).raw.endsWith(R"({"success":true})"));
    }
    const auto online = [](const ServiceProcess *service) {
        return get(*service, "/online_count.php").json().value(QLatin1String("online")).toInt();
    };
    QCOMPARE(online(both[0]), 2);
    QCOMPARE(online(both[1]), 2);

    // Rounds of requests sent at once through both; each reply's JSON in sending order.
    QNetworkAccessManager manager;
    QList<QNetworkReply *> replies;
    const auto send = [&](int instance, const char *endpoint, const QJsonObject &body) {
        QNetworkRequest request(QUrl(both[instance % 2]->baseUrl() + QLatin1String(endpoint)));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        replies << manager.post(request, QJsonDocument(body).toJson());
    };
    const auto settle = [&replies] {
        QList<QJsonObject> answers;
        for (QNetworkReply *reply : std::as_const(replies)) {
            if (reply->isFinished() || QSignalSpy(reply, &QNetworkReply::finished).wait(30000))
                answers << QJsonDocument::fromJson(reply->readAll()).object();
            reply->deleteLater();
        }
        replies.clear();
        return answers;
    };
    const auto comments = [](const ServiceProcess *service, qint64 id) {
        QStringList texts;
        const QByteArray request = "/get_comments.php?port_id=" + QByteArray::number(id);
        for (const QJsonValue &c : get(*service, request).json().value(QLatin1String("comments")).toArray())
            texts << c.toObject().value(QLatin1String("comment")).toString();
        texts.sort();
        return texts.join(QLatin1Char(' '));
    };
    const auto succeeded
        = [](const QJsonObject &answer) { return answer.value(QLatin1String("success")).toBool(); };

    // Every entry published twice at once, once through each: one row, one id. Meanwhile one
    // name publishes 30 ports at once: the cap of 20 holds.
    for (int i = 0; i < 54; ++i) {
        const QByteArray body = i < 24
            ? publication("port", 9710 + i / 2 % 4, QStringLiteral("u%1").arg(i / 8))
            : publication("port", 9776 + i, QStringLiteral("burst"));
        send(i, "publish_port.php", QJsonDocument::fromJson(body).object());
    }
    QList<qint64> ids;
    const QList<QJsonObject> published = settle();
    QCOMPARE(published.size(), 54);
    QCOMPARE(std::count_if(published.cbegin() + 24, published.cend(), succeeded), 20);
    for (int i = 0; i < 24; i += 2) {
        QVERIFY(succeeded(published.at(i)));
        QCOMPARE(published.at(i + 1).value(QLatin1String("id")), published.at(i).value(QLatin1String("id")));
        ids << published.at(i).value(QLatin1String("id")).toInteger();
    }
    // The listing (ordered by id) holds each of them once.
    const auto ours = [&ids](const ServiceProcess *service) {
        QList<qint64> listed = listedIds(*service);
        listed.removeIf([&ids](qint64 id) { return !ids.contains(id); });
        return listed;
    };
    const auto sorted = [](QList<qint64> list) {
        std::sort(list.begin(), list.end());
        return list;
    };
    for (const ServiceProcess *service : both)
        QTRY_COMPARE_WITH_TIMEOUT(ours(service), sorted(ids), 5000);

    // Every other entry withdrawn twice at once, racing with comments on all of them: one
    // withdrawal succeeds, and the kept entries get each comment once.
    const auto key = [](const char *name) { return QString::fromLatin1(name); };
    for (int i = 0; i < 12; ++i)
        send(i / 6, "unpublish_port.php",
            {{key("port_id"), ids.at(i % 6 * 2)},
                {key("user_name"), QStringLiteral("u%1").arg(i % 6 * 2 / 4)}});
    for (int i = 0; i < 48; ++i)
        send(i / 12, "add_comment.php",
            {{key("port_id"), ids.at(i % 12)}, {key("user_name"), key("k")},
                {key("comment"), QStringLiteral("c%1").arg(i / 12)}});
    const QList<QJsonObject> answers = settle();
    QCOMPARE(answers.size(), 60);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(succeeded(answers.at(i)) + succeeded(answers.at(i + 6)), 1);
    QList<qint64> kept;
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(comments(both[i % 2], ids.at(i)), i % 2 ? QStringLiteral("c0 c1 c2 c3") : QString());
        if (i % 2)
            kept << ids.at(i);
    }
    for (const ServiceProcess *service : both)
        QTRY_COMPARE_WITH_TIMEOUT(ours(service), sorted(kept), 5000);
}

QTEST_MAIN(TestKestrelService)
#include "tst_kestrelservice.moc"
