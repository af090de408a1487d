// SharedPortsClient against a local server that answers recorded replies.

#include "shared/sharedportsclient.h"
#include "tools/cannedhttpserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

namespace {

enum Operation
{
    Fetch,
    Publish,
    Unpublish,
    FetchComments,
    AddComment
};

struct Result
{
    bool received = false;
    bool success = false;
    QString error;
    QList<SharedPort> ports;
    QList<Comment> comments;
};

// Starts one operation and waits for its result signal.
Result run(SharedPortsClient &client, Operation operation)
{
    Result result;
    auto capture = [&result](bool success, const QString &error) {
        result.received = true;
        result.success = success;
        result.error = error;
    };
    QMetaObject::Connection connection;
    switch (operation) {
    case Fetch:
        connection = QObject::connect(&client, &SharedPortsClient::portsReceived,
            [&](const QList<SharedPort> &ports, bool success, const QString &error) {
                result.ports = ports;
                capture(success, error);
            });
        client.fetchPorts(QStringLiteral("Рыбак"));
        break;
    case Publish:
        connection = QObject::connect(&client, &SharedPortsClient::publishFinished, capture);
        client.publishPort(
            QStringLiteral("Рыбак"), 9123, QStringLiteral("Ахтуба"), 1, QStringLiteral("клюёт"));
        break;
    case Unpublish:
        connection = QObject::connect(&client, &SharedPortsClient::unpublishFinished, capture);
        client.unpublishPort(QStringLiteral("Рыбак"), 17);
        break;
    case FetchComments:
        connection = QObject::connect(&client, &SharedPortsClient::commentsReceived,
            [&](const QList<Comment> &comments, bool success, const QString &error) {
                result.comments = comments;
                capture(success, error);
            });
        client.fetchComments(17);
        break;
    case AddComment:
        connection = QObject::connect(&client, &SharedPortsClient::commentAdded, capture);
        client.addComment(17, QStringLiteral("Рыбак"), QStringLiteral("спасибо"));
        break;
    }
    (void)QTest::qWaitFor([&result] { return result.received; }, 20000);
    QObject::disconnect(connection);
    return result;
}

QJsonObject bodyOf(const CannedRequest &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class TestSharedPortsClient : public QObject
{
    Q_OBJECT

private slots:
    void replyOutcome_data();
    void replyOutcome();
    void portRecord_data();
    void portRecord();
    void commentRecord_data();
    void commentRecord();
    void requestShape_data();
    void requestShape();
    void baseUrlSlash_data();
    void baseUrlSlash();
    void transferTimeout();
    void overlappingRequestsEachReportTheirOwn();
    void nextRequestFromInsideResultSlot();
    void cancelledRequestReportsNothing();
    void resultsReachTheReceiverThatAsked();
    void goneOrCancelledReceiverGetsNothing();
};

void TestSharedPortsClient::replyOutcome_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("error");

    const QList<QPair<const char *, Operation>> operations = {{"fetch", Fetch}, {"publish", Publish},
        {"unpublish", Unpublish}, {"comments", FetchComments}, {"addComment", AddComment}};
    for (const auto &op : operations) {
        const QByteArray name = op.first;
        QTest::newRow(QByteArray(name + ": empty array").constData())
            << int(op.second) << 200 << QByteArray("[]") << false << QStringLiteral("Invalid JSON");
        QTest::newRow(QByteArray(name + ": array").constData())
            << int(op.second) << 200 << QByteArray("[{\"success\":true}]") << false
            << QStringLiteral("Invalid JSON");
        QTest::newRow(QByteArray(name + ": not json").constData())
            << int(op.second) << 200 << QByteArray("<html>oops</html>") << false
            << QStringLiteral("Invalid JSON");
        QTest::newRow(QByteArray(name + ": empty object").constData())
            << int(op.second) << 200 << QByteArray("{}") << false << QString();
        QTest::newRow(QByteArray(name + ": refusal").constData())
            << int(op.second) << 200 << QByteArray(R"({"success":false,"error":"Порт занят"})") << false
            << QStringLiteral("Порт занят");
        QTest::newRow(QByteArray(name + ": success as text").constData())
            << int(op.second) << 200 << QByteArray(R"({"success":"true","error":"x"})") << false
            << QStringLiteral("x");
        QTest::newRow(QByteArray(name + ": success only").constData())
            << int(op.second) << 200 << QByteArray(R"({"success":true})") << true << QString();
    }
}

void TestSharedPortsClient::replyOutcome()
{
    QFETCH(int, operation);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, success);
    QFETCH(QString, error);

    CannedHttpServer server;
    server.setReply(status, body);
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    const Result result = run(client, Operation(operation));
    QVERIFY(result.received);
    QCOMPARE(result.success, success);
    QCOMPARE(result.error, error);
    QVERIFY(result.ports.isEmpty());
    QVERIFY(result.comments.isEmpty());
    QVERIFY(!client.isBusy());
}

void TestSharedPortsClient::portRecord_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("port");
    QTest::addColumn<QDateTime>("createdAt");

    const QDateTime stamp(QDate(2024, 3, 5), QTime(9, 7, 0));
    QTest::newRow("numbers") << QByteArray(R"({"id":5,"port":9100,"created_at":"2024-03-05 09:07:00"})") << 5
                             << 9100 << stamp;
    QTest::newRow("string id") << QByteArray(R"({"id":"42","port":9100})") << 42 << 9100 << QDateTime();
    QTest::newRow("negative string id") << QByteArray(R"({"id":"-3"})") << -3 << 0 << QDateTime();
    QTest::newRow("non-decimal string id") << QByteArray(R"({"id":"4x2"})") << 0 << 0 << QDateTime();
    QTest::newRow("string id beyond 32 bits")
        << QByteArray(R"({"id":"4294967296"})") << 0 << 0 << QDateTime();
    QTest::newRow("fractional id") << QByteArray(R"({"id":2.5})") << 0 << 0 << QDateTime();
    QTest::newRow("port above 16 bits")
        << QByteArray(R"({"id":1,"port":70000})") << 1 << (70000 & 0xffff) << QDateTime();
    QTest::newRow("port as text") << QByteArray(R"({"id":1,"port":"9100"})") << 1 << 0 << QDateTime();
    QTest::newRow("ISO time") << QByteArray(R"({"id":1,"created_at":"2024-03-05T09:07:00"})") << 1 << 0
                              << QDateTime();
    QTest::newRow("empty object") << QByteArray("{}") << 0 << 0 << QDateTime();
}

void TestSharedPortsClient::portRecord()
{
    QFETCH(QByteArray, entry);
    QFETCH(int, id);
    QFETCH(int, port);
    QFETCH(QDateTime, createdAt);

    CannedHttpServer server;
    server.setReply(200, R"({"success":true,"ports":[)" + entry + R"(,{"id":99,"user_name":"Second"}]})");
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    const Result result = run(client, Fetch);
    QVERIFY(result.success);
    QCOMPARE(result.ports.size(), 2);
    const SharedPort &first = result.ports.at(0);
    QCOMPARE(first.id, id);
    QCOMPARE(int(first.port), port);
    QCOMPARE(first.createdAt.isValid(), createdAt.isValid());
    if (createdAt.isValid())
        QCOMPARE(first.createdAt, createdAt);
    // Array order is kept.
    QCOMPARE(result.ports.at(1).id, 99);
    QCOMPARE(result.ports.at(1).userName, QStringLiteral("Second"));
}

void TestSharedPortsClient::commentRecord_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("timeValid");

    QTest::newRow("complete") << QByteArray(
        R"({"id":7,"user_name":"A","comment":"<b>&","created_at":"2024-03-05 09:07:00"})")
                              << 7 << QStringLiteral("<b>&") << true;
    QTest::newRow("string id reads as 0")
        << QByteArray(R"({"id":"42","comment":"x"})") << 0 << QStringLiteral("x") << false;
    QTest::newRow("ISO time") << QByteArray(R"({"id":1,"created_at":"2024-03-05T09:07:00"})") << 1
                              << QString() << false;
}

void TestSharedPortsClient::commentRecord()
{
    QFETCH(QByteArray, entry);
    QFETCH(int, id);
    QFETCH(QString, text);
    QFETCH(bool, timeValid);

    CannedHttpServer server;
    server.setReply(200, R"({"success":true,"comments":[)" + entry + "]}");
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    const Result result = run(client, FetchComments);
    QVERIFY(result.success);
    QCOMPARE(result.comments.size(), 1);
    QCOMPARE(result.comments.at(0).id, id);
    QCOMPARE(result.comments.at(0).comment, text);
    QCOMPARE(result.comments.at(0).createdAt.isValid(), timeValid);
}

void TestSharedPortsClient::requestShape_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QJsonObject>("body");

    QTest::newRow("publish") << int(Publish) << QByteArray("POST") << QStringLiteral("/publish_port.php")
                             << QString()
                             << QJsonObject {{QStringLiteral("user_name"), QStringLiteral("Рыбак")},
                                    {QStringLiteral("port"), 9123},
                                    {QStringLiteral("description"), QStringLiteral("Ахтуба")},
                                    {QStringLiteral("status"), 1},
                                    {QStringLiteral("comment"), QStringLiteral("клюёт")}};
    QTest::newRow("fetch") << int(Fetch) << QByteArray("GET") << QStringLiteral("/get_ports.php")
                           << QStringLiteral("user_name=Рыбак") << QJsonObject();
    QTest::newRow("comments") << int(FetchComments) << QByteArray("GET")
                              << QStringLiteral("/get_comments.php") << QStringLiteral("port_id=17")
                              << QJsonObject();
    QTest::newRow("unpublish") << int(Unpublish) << QByteArray("POST")
                               << QStringLiteral("/unpublish_port.php") << QString()
                               << QJsonObject {{QStringLiteral("user_name"), QStringLiteral("Рыбак")},
                                      {QStringLiteral("port_id"), 17}};
    QTest::newRow("add comment") << int(AddComment) << QByteArray("POST")
                                 << QStringLiteral("/add_comment.php") << QString()
                                 << QJsonObject {{QStringLiteral("port_id"), 17},
                                        {QStringLiteral("user_name"), QStringLiteral("Рыбак")},
                                        {QStringLiteral("comment"), QStringLiteral("спасибо")}};
}

void TestSharedPortsClient::requestShape()
{
    QFETCH(int, operation);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, query);
    QFETCH(QJsonObject, body);

    CannedHttpServer server;
    server.setReply(200, R"({"success":true})");
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    QVERIFY(run(client, Operation(operation)).success);
    QCOMPARE(server.requests().size(), 1);
    const CannedRequest &request = server.requests().first();
    QCOMPARE(request.method, method);
    const QUrl url = QUrl::fromEncoded(request.target);
    QCOMPARE(url.path(), path);
    QCOMPARE(url.query(QUrl::FullyDecoded), query);
    if (method == "POST") {
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        QVERIFY2(request.body.contains('\n'), "body is not indented JSON");
        QCOMPARE(bodyOf(request), body);
    } else {
        QVERIFY(request.body.isEmpty());
        QVERIFY(!request.headers.contains("content-type"));
    }
}

void TestSharedPortsClient::baseUrlSlash_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("expectedTarget");

    QTest::newRow("no final slash") << QStringLiteral("api") << QStringLiteral("Рыбак")
                                    << QStringLiteral(
                                           "/api/get_ports.php?user_name=%D0%A0%D1%8B%D0%B1%D0%B0%D0%BA");
    QTest::newRow("final slash") << QStringLiteral("api/") << QStringLiteral("a b&c=d")
                                 << QStringLiteral("/api/get_ports.php?user_name=a%20b%26c%3Dd");
    QTest::newRow("empty user name") << QStringLiteral("api/") << QStringLiteral("")
                                     << QStringLiteral("/api/get_ports.php?user_name=");
}

void TestSharedPortsClient::baseUrlSlash()
{
    QFETCH(QString, suffix);
    QFETCH(QString, userName);
    QFETCH(QString, expectedTarget);

    CannedHttpServer server;
    server.setReply(200, R"({"success":true})");
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl() + suffix);
    QVERIFY(client.baseUrl().endsWith(QLatin1String("api/")));
    QSignalSpy spy(&client, &SharedPortsClient::portsReceived);
    client.fetchPorts(userName);
    QVERIFY(spy.wait(20000));
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(QString::fromLatin1(server.requests().first().target), expectedTarget);
}

void TestSharedPortsClient::transferTimeout()
{
    QCOMPARE(SharedPortsClient().transferTimeout(), SharedPortsClient::kTransferTimeoutMs);

    CannedHttpServer server;
    server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
    SharedPortsClient::setTransferTimeoutForTesting(300);
    SharedPortsClient client;
    SharedPortsClient::setTransferTimeoutForTesting(0);
    client.setBaseUrl(server.baseUrl());
    const Result result = run(client, Publish);
    QVERIFY(result.received);
    QVERIFY(!result.success);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(result.error != QLatin1String("Invalid JSON"));
    QCOMPARE(server.heldCount(), 1);
    QCOMPARE(SharedPortsClient().transferTimeout(), SharedPortsClient::kTransferTimeoutMs);
}

void TestSharedPortsClient::overlappingRequestsEachReportTheirOwn()
{
    CannedHttpServer server;
    server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());

    QSignalSpy ports(&client, &SharedPortsClient::portsReceived);
    QSignalSpy published(&client, &SharedPortsClient::publishFinished);
    client.fetchPorts(QStringLiteral("A"));
    client.fetchPorts(QStringLiteral("B"));
    client.publishPort(QStringLiteral("A"), 9001, QStringLiteral("d"), 0, QString());
    QVERIFY(QTest::qWaitFor([&server] { return server.heldCount() == 3; }, 20000));

    const auto indexOf = [&server](const QByteArray &needle) {
        for (int i = 0; i < server.requests().size(); ++i) {
            if (server.requests().at(i).target.contains(needle))
                return i;
        }
        return -1;
    };
    // Answer in reverse order; each answer must reach its own result.
    const int first = indexOf("user_name=A");
    const int second = indexOf("user_name=B");
    const int publish = indexOf("publish_port.php");
    QVERIFY(first >= 0 && second >= 0 && publish >= 0);
    server.answer(publish, 200, R"({"success":false,"error":"publish refused"})");
    QVERIFY(published.wait(20000));
    QCOMPARE(published.first().at(1).toString(), QStringLiteral("publish refused"));
    QVERIFY(client.isBusy());

    server.answer(second > first ? 1 : 0, 200, R"({"success":true,"ports":[{"id":2},{"id":3}]})");
    QVERIFY(ports.wait(20000));
    server.answer(0, 500, "{}");
    QVERIFY(QTest::qWaitFor([&ports] { return ports.size() == 2; }, 20000));
    QVERIFY(!client.isBusy());

    QCOMPARE(ports.at(0).at(1).toBool(), true);
    QCOMPARE(ports.at(0).at(0).value<QList<SharedPort>>().size(), 2);
    QCOMPARE(ports.at(1).at(1).toBool(), false);
    QVERIFY(ports.at(1).at(0).value<QList<SharedPort>>().isEmpty());
    QVERIFY(ports.at(1).at(2).toString().contains(QLatin1String("Internal Server Error")));
    QCOMPARE(published.size(), 1);
}

void TestSharedPortsClient::nextRequestFromInsideResultSlot()
{
    CannedHttpServer server;
    server.setReply(200, R"({"success":true,"comments":[{"id":1}]})");
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());

    bool busyInSlot = true;
    int results = 0;
    connect(&client, &SharedPortsClient::commentAdded, this, [&](bool success, const QString &) {
        QVERIFY(success);
        busyInSlot = client.isBusy();
        client.fetchComments(17);
    });
    connect(&client, &SharedPortsClient::commentsReceived, this,
        [&](const QList<Comment> &comments, bool success, const QString &) {
            results += success && comments.size() == 1;
        });
    client.addComment(17, QStringLiteral("A"), QStringLiteral("text"));
    QVERIFY(QTest::qWaitFor([&results] { return results == 1; }, 20000));
    QVERIFY(!busyInSlot);
    QCOMPARE(server.requests().size(), 2);
}

void TestSharedPortsClient::cancelledRequestReportsNothing()
{
    CannedHttpServer server;
    server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    QSignalSpy ports(&client, &SharedPortsClient::portsReceived);
    QSignalSpy comments(&client, &SharedPortsClient::commentsReceived);
    client.fetchPorts(QStringLiteral("A"));
    client.fetchComments(3);
    QVERIFY(QTest::qWaitFor([&server] { return server.heldCount() == 2; }, 20000));
    client.cancelRequest();
    QVERIFY(!client.isBusy());
    server.answer(0, 200, R"({"success":true})");
    server.answer(0, 200, R"({"success":true})");
    // Another request on the same client still completes; by then the cancelled ones had their chance.
    server.setReply(200, R"({"success":true})");
    QSignalSpy added(&client, &SharedPortsClient::commentAdded);
    client.addComment(1, QStringLiteral("A"), QStringLiteral("x"));
    QVERIFY(added.wait(20000));
    QCOMPARE(ports.size(), 0);
    QCOMPARE(comments.size(), 0);
}

void TestSharedPortsClient::resultsReachTheReceiverThatAsked()
{
    CannedHttpServer server;
    server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    QSignalSpy signalled(&client, &SharedPortsClient::commentsReceived);

    QObject first;
    QObject second;
    QStringList firstGot;
    QStringList secondGot;
    const auto collect = [](QStringList &into) {
        return [&into](const QList<Comment> &comments, bool success, const QString &error) {
            into << (success ? comments.value(0).comment : QStringLiteral("error:") + error);
        };
    };
    client.fetchComments(1, &first, collect(firstGot));
    client.fetchComments(2, &second, collect(secondGot));
    bool added = false;
    client.addComment(
        2, QStringLiteral("A"), QStringLiteral("x"), &second, [&added](bool success, const QString &error) {
            added = !success && error == QLatin1String("flood");
        });
    QVERIFY(QTest::qWaitFor([&server] { return server.heldCount() == 3; }, 20000));

    // Answered newest first; each answer reaches only the receiver of its request.
    const auto heldIndexOf = [&server](const QByteArray &needle) {
        for (int i = 0; i < server.requests().size(); ++i) {
            if (server.requests().at(i).target.contains(needle))
                return i;
        }
        return -1;
    };
    QCOMPARE(heldIndexOf("add_comment.php"), 2);
    server.answer(2, 200, R"({"success":false,"error":"flood"})");
    QVERIFY(QTest::qWaitFor([&added] { return added; }, 20000));
    const int secondHeld = heldIndexOf("port_id=2");
    server.answer(secondHeld, 200, R"({"success":true,"comments":[{"comment":"two"}]})");
    QVERIFY(QTest::qWaitFor([&secondGot] { return !secondGot.isEmpty(); }, 20000));
    server.answer(0, 200, R"({"success":true,"comments":[{"comment":"one"}]})");
    QVERIFY(QTest::qWaitFor([&firstGot] { return !firstGot.isEmpty(); }, 20000));

    QCOMPARE(firstGot, QStringList {QStringLiteral("one")});
    QCOMPARE(secondGot, QStringList {QStringLiteral("two")});
    // The result signal still reports every request.
    QCOMPARE(signalled.size(), 2);
    QVERIFY(!client.isBusy());
}

void TestSharedPortsClient::goneOrCancelledReceiverGetsNothing()
{
    CannedHttpServer server;
    server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
    SharedPortsClient client;
    client.setBaseUrl(server.baseUrl());
    QSignalSpy signalled(&client, &SharedPortsClient::commentsReceived);

    int calls = 0;
    auto *gone = new QObject;
    client.fetchComments(1, gone, [&calls](const QList<Comment> &, bool, const QString &) { ++calls; });
    QVERIFY(QTest::qWaitFor([&server] { return server.heldCount() == 1; }, 20000));
    delete gone;
    server.answer(0, 200, R"({"success":true,"comments":[]})");
    QVERIFY(signalled.wait(20000));
    QCOMPARE(calls, 0);

    QObject kept;
    client.addComment(
        1, QStringLiteral("A"), QStringLiteral("x"), &kept, [&calls](bool, const QString &) { ++calls; });
    QVERIFY(QTest::qWaitFor([&server] { return server.heldCount() == 1; }, 20000));
    client.cancelRequest();
    server.answer(0, 200, R"({"success":true})");
    // A later request on the same client completes; the cancelled one had its chance by then.
    server.setReply(200, R"({"success":true,"comments":[]})");
    client.fetchComments(1, &kept, [&calls](const QList<Comment> &, bool, const QString &) { calls += 10; });
    QVERIFY(QTest::qWaitFor([&calls] { return calls != 0; }, 20000));
    QCOMPARE(calls, 10);
}

QTEST_MAIN(TestSharedPortsClient)
#include "tst_sharedportsclient.moc"
