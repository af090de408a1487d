// SharedPortsClient against a local server that answers recorded replies.

#include "shared/sharedportsclient.h"
#include "tools/cannedhttpserver.h"

#include <QtTest>

namespace {

enum Operation
{
    Fetch,
    Publish,
    FetchComments
};

struct Result
{
    bool received = false;
    bool success = false;
    QString error;
    QList<SharedPort> ports;
};

// A client with its own canned server; held: every request waits until the test answers it.
struct Rig
{
    CannedHttpServer server;
    SharedPortsClient client;

    explicit Rig(bool held = false, const QString &suffix = {})
    {
        server.setReply(200, R"({"success":true})");
        if (held)
            server.setResponder([](const CannedRequest &) { return CannedReply {200, {}, true}; });
        client.setBaseUrl(server.baseUrl() + suffix);
    }

    // Starts one operation and waits for its result signal, which ends with (success, error).
    Result run(Operation operation, const QString &userName = QStringLiteral("Рыбак"))
    {
        QSignalSpy fetched(&client, &SharedPortsClient::portsReceived);
        QSignalSpy published(&client, &SharedPortsClient::publishFinished);
        QSignalSpy comments(&client, &SharedPortsClient::commentsReceived);
        if (operation == Fetch)
            client.fetchPorts(userName);
        else if (operation == Publish)
            client.publishPort(userName, 9123, QStringLiteral("Ахтуба"), 1, QStringLiteral("клюёт"));
        else
            client.fetchComments(17);
        QSignalSpy &spy = operation == Fetch ? fetched : operation == Publish ? published : comments;
        if (!spy.wait(20000))
            return {};
        const QList<QVariant> arguments = spy.first();
        return {true, arguments.at(arguments.size() - 2).toBool(), arguments.last().toString(),
            operation == Fetch ? arguments.at(0).value<QList<SharedPort>>() : QList<SharedPort>()};
    }
};

} // namespace

class TestSharedPortsClient : public QObject
{
    Q_OBJECT

private slots:
    void replyOutcome_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("error"); // contained in the error; empty: the error is empty
        const auto row = [](const char *name, Operation op, int status, const QByteArray &body, bool success,
                             const char *error) {
            QTest::newRow(name) << int(op) << status << body << success << QString::fromUtf8(error);
        };
        row("array", Fetch, 200, R"([{"success":true}])", false, "Invalid JSON");
        row("not json", FetchComments, 200, "<html>oops</html>", false, "Invalid JSON");
        row("empty object", Publish, 200, "{}", false, "");
        row("refusal", Publish, 200, R"({"success":false,"error":"Порт занят"})", false, "Порт занят");
        row("success as text", Publish, 200, R"({"success":"true","error":"x"})", false, "x");
        row("success, no list", Fetch, 200, R"({"success":true})", true, "");
        row("HTTP 500", Publish, 500, R"({"success":true})", false, "Internal Server Error");
        row("HTTP error with the service's words", Publish, 500,
            R"({"success":false,"error":"Слишком много запросов"})", false, "Слишком много запросов");
    }

    void replyOutcome()
    {
        QFETCH(int, operation);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, success);
        QFETCH(QString, error);
        Rig rig;
        rig.server.setReply(status, body);
        const Result result = rig.run(Operation(operation));
        QVERIFY(result.received);
        QCOMPARE(result.success, success);
        QVERIFY2(error.isEmpty() ? result.error.isEmpty() : result.error.contains(error),
            qPrintable(result.error));
        QVERIFY(result.ports.isEmpty());
    }

    // Fields as a service may send them: numbers as text or out of range, times in another form.
    void portRecord()
    {
        const std::tuple<const char *, int, int, QDateTime> cases[]
            = {{R"({"id":5,"port":9100,"created_at":"2024-03-05 09:07:00"})", 5, 9100,
                   QDateTime(QDate(2024, 3, 5), QTime(9, 7))},
                {R"({"id":"42","port":9100})", 42, 9100, {}}, {R"({"id":"4294967296"})", 0, 0, {}},
                {R"({"id":1,"port":70000})", 1, 70000 & 0xffff, {}},
                {R"({"id":1,"created_at":"2024-03-05T09:07:00"})", 1, 0, {}}};
        for (const auto &[entry, id, port, createdAt] : cases) {
            Rig rig;
            rig.server.setReply(
                200, R"({"success":true,"ports":[)" + QByteArray(entry) + R"(,{"user_name":"B"}]})");
            const Result result = rig.run(Fetch);
            QVERIFY2(result.success && result.ports.size() == 2, entry);
            const SharedPort &first = result.ports.at(0);
            QVERIFY2(first.id == id && first.port == port && first.createdAt == createdAt, entry);
            QCOMPARE(result.ports.at(1).userName, QStringLiteral("B"));
        }
    }

    // A missing final slash on the base URL is added; the name is percent-encoded as one item.
    void baseUrlAndQuery()
    {
        const struct
        {
            const char *suffix, *userName, *target;
        } cases[] = {{"api", "Рыбак", "/api/get_ports.php?user_name=%D0%A0%D1%8B%D0%B1%D0%B0%D0%BA"},
            {"api/", "a b&c=d", "/api/get_ports.php?user_name=a%20b%26c%3Dd"},
            {"api/", "", "/api/get_ports.php?user_name="}};
        for (const auto &c : cases) {
            Rig rig(false, QString::fromLatin1(c.suffix));
            QVERIFY(rig.run(Fetch, QString::fromUtf8(c.userName)).success);
            QCOMPARE(rig.server.requests().size(), 1);
            QCOMPARE(rig.server.requests().first().target, QByteArray(c.target));
        }
    }

    void transferTimeout()
    {
        SharedPortsClient::setTransferTimeoutForTesting(300);
        Rig rig(true);
        SharedPortsClient::setTransferTimeoutForTesting(0);
        const Result result = rig.run(Publish);
        QVERIFY(result.received && !result.success);
        QVERIFY(!result.error.isEmpty() && result.error != QLatin1String("Invalid JSON"));
        QCOMPARE(rig.server.heldCount(), 1); // the server never answered
    }

    void overlappingRequestsEachReportTheirOwn()
    {
        Rig rig(true);
        QSignalSpy signalled(&rig.client, &SharedPortsClient::commentsReceived);
        auto *first = new QObject;
        QObject second;
        QStringList got[2];
        for (int i : {0, 1}) {
            rig.client.fetchComments(i + 1, i ? &second : first,
                [&into = got[i]](const QList<Comment> &comments, bool, const QString &) {
                    into << comments.value(0).comment;
                });
        }
        QVERIFY(QTest::qWaitFor([&] { return rig.server.heldCount() == 2; }, 20000));

        // Answered newest first; each answer reaches only its own result and receiver.
        const int newest = rig.server.requests().at(0).target.contains("port_id=2") ? 0 : 1;
        rig.server.answer(newest, 200, R"({"success":true,"comments":[{"comment":"two"}]})");
        QVERIFY(signalled.wait(20000));
        QVERIFY(rig.client.isBusy());
        // A destroyed receiver gets nothing, though the signal still reports the result.
        delete first;
        rig.server.answer(0, 500, "{}");
        QVERIFY(signalled.wait(20000));
        QVERIFY(!rig.client.isBusy());
        QVERIFY(got[0].isEmpty());
        QCOMPARE(got[1], QStringList {QStringLiteral("two")});
        QCOMPARE(signalled.at(0).at(0).value<QList<Comment>>().size(), 1);
        QVERIFY(!signalled.at(1).at(1).toBool());
    }

    void cancelledRequestsReportNothing()
    {
        Rig rig(true);
        QSignalSpy ports(&rig.client, &SharedPortsClient::portsReceived);
        QObject receiver;
        int calls = 0;
        rig.client.fetchPorts(QStringLiteral("A"));
        rig.client.addComment(1, QStringLiteral("A"), QStringLiteral("x"), &receiver,
            [&calls](bool, const QString &) { ++calls; });
        QVERIFY(QTest::qWaitFor([&] { return rig.server.heldCount() == 2; }, 20000));
        rig.client.cancelRequest();
        QVERIFY(!rig.client.isBusy());
        rig.server.answer(0, 200, R"({"success":true})");
        rig.server.answer(0, 200, R"({"success":true})");
        // A later request on the same client completes; the cancelled ones had their chance by then.
        rig.server.setReply(200, R"({"success":true,"comments":[]})");
        rig.client.fetchComments(
            1, &receiver, [&calls](const QList<Comment> &, bool, const QString &) { calls += 10; });
        QVERIFY(QTest::qWaitFor([&calls] { return calls != 0; }, 20000));
        QCOMPARE(calls, 10);
        QCOMPARE(ports.size(), 0);
    }
};

QTEST_MAIN(TestSharedPortsClient)
#include "tst_sharedportsclient.moc"
