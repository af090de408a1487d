#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "records/porthistory.h"
#include "recordtesthelpers.h"

namespace {

// Every signal of a history, in emission order, as "name:id".
class SignalLog : public QObject
{
public:
    explicit SignalLog(PortHistory *h)
    {
        const auto add = [this](const char *name) {
            return [this, name](const PortSession &s) {
                entries << QString::fromLatin1(name) + QLatin1Char(':') + QString::number(s.id);
            };
        };
        connect(h, &PortHistory::portVisited, this, add("portVisited"));
        connect(h, &PortHistory::portLeft, this, add("portLeft"));
        connect(h, &PortHistory::portUpdated, this, add("portUpdated"));
        connect(h, &PortHistory::sessionStarted, this, add("sessionStarted"));
        connect(h, &PortHistory::sessionEnded, this, add("sessionEnded"));
        connect(h, &PortHistory::sessionUpdated, this, add("sessionUpdated"));
        connect(h, &PortHistory::historyCleared, this, [this] { entries << QStringLiteral("historyCleared"); });
    }
    QStringList take()
    {
        QStringList result = entries;
        entries.clear();
        return result;
    }
    QStringList entries;
};

}  // namespace

class TestPortHistory : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void visitsAndLeaves();
    void sameServerOrEmptyChangesNothing();
    void serverChange_data();
    void serverChange();
    void portZeroRefused();

    void loadFile_data();
    void loadFile();
    void twoOpenVisitsAtLoad();
    void descriptionsStayOneRecord_data();
    void descriptionsStayOneRecord();
    void roundTrip();

    void deleteSession();
    void deleteOldSessionsZero();
    void clearWithOpenVisit();
    void failedRewriteKeepsHistory();
    void queries();
    void destructionClosesVisitSilently();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("port_history.txt")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPortHistory::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestPortHistory::visitsAndLeaves()
{
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    PortHistory h(path(), nullptr, clock.clock());
    SignalLog log(&h);

    h.visitPort(9001, QStringLiteral("1.1.1.1"), QStringLiteral("Озеро"));
    QCOMPARE(log.take(), (QStringList{QStringLiteral("portVisited:1"), QStringLiteral("sessionStarted:1")}));
    QCOMPARE(readAll(path()), QByteArray("1|9001|1.1.1.1|2025-03-01T18:00:00||0|Озеро\n"));

    clock.advance(90'000);
    h.visitPort(9002, QStringLiteral("1.1.1.1"));
    QCOMPARE(log.take(), (QStringList{QStringLiteral("portLeft:1"), QStringLiteral("sessionEnded:1"),
                                      QStringLiteral("portVisited:2"), QStringLiteral("sessionStarted:2")}));
    QCOMPARE(h.currentSession().id, 2);
    QCOMPARE(h.sessions().at(0).durationMs, 90'000);

    // Moving on through updateCurrentPort behaves like a visit of the new port.
    clock.advance(1000);
    h.updateCurrentPort(9003, QStringLiteral("1.1.1.1"));
    QCOMPARE(h.currentSession().port, quint16(9003));
    QCOMPARE(h.currentSession().id, 3);
    log.take();

    clock.advance(3'725'000);
    h.leavePort();
    QCOMPARE(log.take(), (QStringList{QStringLiteral("portLeft:3"), QStringLiteral("sessionEnded:3")}));
    QVERIFY(!h.hasActiveSession());
    QCOMPARE(h.currentSession(), PortSession());
    h.leavePort();
    QVERIFY(log.take().isEmpty());
    QCOMPARE(readAll(path()), QByteArray("1|9001|1.1.1.1|2025-03-01T18:00:00|2025-03-01T18:01:30|90000|Озеро\n"
                                         "2|9002|1.1.1.1|2025-03-01T18:01:30|2025-03-01T18:01:31|1000|\n"
                                         "3|9003|1.1.1.1|2025-03-01T18:01:31|2025-03-01T19:03:36|3725000|\n"));
    // Without an open visit, updateCurrentPort starts one.
    h.updateCurrentPort(9004, QStringLiteral("2.2.2.2"));
    QCOMPARE(h.currentSession().id, 4);
}

void TestPortHistory::sameServerOrEmptyChangesNothing()
{
    PortHistory h(path());
    h.visitPort(9001, QStringLiteral("1.1.1.1"));
    SignalLog log(&h);
    QVERIFY(QFile::remove(path()));
    h.updateCurrentPort(9001, QStringLiteral("1.1.1.1"));
    h.updateCurrentPort(9001, QString());
    h.updateCurrentPort(0, QString());
    QVERIFY(log.entries.isEmpty());
    QVERIFY(!QFile::exists(path()));  // nothing was written
}

void TestPortHistory::serverChange_data()
{
    QTest::addColumn<bool>("throughVisit");
    QTest::addColumn<quint16>("reportedPort");
    QTest::newRow("visitPort, same port") << true << quint16(9001);
    QTest::newRow("updateCurrentPort, same port") << false << quint16(9001);
    QTest::newRow("updateCurrentPort, port 0") << false << quint16(0);
}

void TestPortHistory::serverChange()
{
    QFETCH(bool, throughVisit);
    QFETCH(quint16, reportedPort);
    PortHistory h(path());
    h.visitPort(9001, QStringLiteral("1.1.1.1"), QStringLiteral("desc"));
    SignalLog log(&h);
    if (throughVisit)
        h.visitPort(reportedPort, QStringLiteral("2.2.2.2"), QStringLiteral("ignored"));
    else
        h.updateCurrentPort(reportedPort, QStringLiteral("2.2.2.2"));
    QCOMPARE(log.take(), (QStringList{QStringLiteral("portUpdated:1"), QStringLiteral("sessionUpdated:1")}));
    QCOMPARE(h.sessions().size(), 1);
    QCOMPARE(h.currentSession().server, QStringLiteral("2.2.2.2"));
    QCOMPARE(h.currentSession().description, QStringLiteral("desc"));
    QCOMPARE(h.sessions().constFirst().server, QStringLiteral("2.2.2.2"));
    QVERIFY(readAll(path()).contains("|9001|2.2.2.2|"));
}

void TestPortHistory::portZeroRefused()
{
    PortHistory h(path());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("порт 0")));
    h.visitPort(0, QStringLiteral("1.1.1.1"));
    QVERIFY(h.sessions().isEmpty());
    QCOMPARE(h.nextId(), 1);
}

void TestPortHistory::loadFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<qint64>("currentId");
    QTest::addColumn<qint64>("nextId");

    QTest::newRow("open visit becomes current")
        << QByteArray("1|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000|a\n2|9002|h|2025-03-01T18:01:00||0|\n")
        << QList<qint64>{1, 2} << 2LL << 3LL;
    QTest::newRow("too few fields, bad and low ids")
        << QByteArray("1|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000\n"
                      "x|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                      "0|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                      "-4|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                      "6|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n")
        << QList<qint64>{6} << 0LL << 7LL;
    QTest::newRow("port 70000 and malformed time")
        << QByteArray("3|70000|h|yesterday|2025-03-01T18:01:00|0|d\n") << QList<qint64>{3} << 0LL << 4LL;
}

void TestPortHistory::loadFile()
{
    QFETCH(QByteArray, content);
    QVERIFY(writeAll(path(), content));
    PortHistory h(path());
    QList<qint64> ids;
    for (const PortSession &s : h.sessions())
        ids << s.id;
    QTEST(ids, "ids");
    QTEST(h.currentSession().id, "currentId");
    QTEST(h.nextId(), "nextId");
    if (qstrcmp(QTest::currentDataTag(), "port 70000 and malformed time") == 0) {
        QCOMPARE(h.sessions().constFirst().port, quint16(0));
        QVERIFY(h.sessions().constFirst().startTime.isNull());
    }
}

void TestPortHistory::twoOpenVisitsAtLoad()
{
    const QByteArray content = "1|9001|h|2025-03-01T18:00:00||0|a\n2|9002|h|2025-03-01T18:30:00||0|b\n";
    QVERIFY(writeAll(path(), content));
    FakeClock clock(localTime("2025-03-01T19:00:00"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("вторая активная сессия ID: 2")));
    PortHistory h(path(), nullptr, clock.clock());
    QCOMPARE(h.currentSession().id, 1);
    QVERIFY(h.currentSession().isActive());
    QVERIFY(!h.sessions().at(1).isActive());
    QCOMPARE(h.sessions().at(1).endTime, clock.now());
    QCOMPARE(h.sessions().at(1).durationMs, 30 * 60 * 1000);
    QCOMPARE(readAll(path()), content);  // loading does not rewrite

    // The restored visit closes from its recorded start.
    h.leavePort();
    QCOMPARE(h.sessions().at(0).durationMs, 60 * 60 * 1000);
}

void TestPortHistory::descriptionsStayOneRecord_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("pipe") << QStringLiteral("лево|право") << QStringLiteral("лево|право");
    QTest::newRow("many pipes, trailing") << QStringLiteral("a||b|") << QStringLiteral("a||b|");
    QTest::newRow("line break") << QStringLiteral("строка 1\nстрока 2") << QStringLiteral("строка 1 строка 2");
    QTest::newRow("CRLF and a line that looks like a record")
        << QStringLiteral("x\r\n9|9|h|||0|fake") << QStringLiteral("x  9|9|h|||0|fake");
}

void TestPortHistory::descriptionsStayOneRecord()
{
    QFETCH(QString, description);
    {
        PortHistory h(path());
        h.visitPort(9001, QStringLiteral("1.1.1.1"), description);
        h.leavePort();
        h.visitPort(9002, QStringLiteral("1.1.1.1"), QStringLiteral("after"));
    }
    QCOMPARE(readAll(path()).count('\n'), 2);
    PortHistory reloaded(path());
    QCOMPARE(reloaded.sessions().size(), 2);
    QTEST(reloaded.sessions().at(0).description, "readBack");
    QCOMPARE(reloaded.sessions().at(1).description, QStringLiteral("after"));
    QCOMPARE(reloaded.nextId(), 3);
}

void TestPortHistory::roundTrip()
{
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    QList<PortSession> written;
    {
        PortHistory h(path(), nullptr, clock.clock());
        for (int i = 0; i < 5; ++i) {
            h.visitPort(quint16(9000 + i % 3), QStringLiteral("10.0.0.%1").arg(i), QStringLiteral("d%1").arg(i));
            clock.advance(1000 * (i + 1));
        }
        h.leavePort();
        h.visitPort(9009, QStringLiteral("10.0.0.9"), QStringLiteral("still open"));
        written = h.sessions();
        // Destroying the store closes the open visit; keep it open as after a crash.
        QVERIFY(QFile::copy(path(), path() + QStringLiteral(".crash")));
    }
    QVERIFY(QFile::remove(path()));
    QVERIFY(QFile::rename(path() + QStringLiteral(".crash"), path()));
    PortHistory reloaded(path(), nullptr, clock.clock());
    QCOMPARE(reloaded.sessions(), written);
    QCOMPARE(reloaded.currentSession(), written.last());
    QVERIFY(reloaded.hasActiveSession());
    QCOMPARE(reloaded.nextId(), 7);
}

void TestPortHistory::deleteSession()
{
    PortHistory h(path());
    h.visitPort(9001, QStringLiteral("h"));
    h.visitPort(9002, QStringLiteral("h"));
    SignalLog log(&h);
    QVERIFY(!h.deleteSession(42));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Нельзя удалить активную сессию ID: 2")));
    QVERIFY(!h.deleteSession(2));
    QVERIFY(h.deleteSession(1));
    QVERIFY(log.entries.isEmpty());
    PortHistory reloaded(m_dir->filePath(QStringLiteral("port_history.txt")));
    QCOMPARE(reloaded.sessions().size(), 1);
    QCOMPARE(reloaded.sessions().constFirst().id, 2);
}

void TestPortHistory::deleteOldSessionsZero()
{
    QVERIFY(writeAll(path(), "1|9001|h|2025-03-01T17:59:59|2025-03-01T18:00:00|1000|old\n"
                             "2|9002|h||2025-03-01T18:00:00|0|no start\n"
                             "3|9003|h|2025-03-01T18:00:00|2025-03-01T18:00:00|0|now\n"
                             "4|9004|h|2025-02-01T18:00:00||0|open\n"));
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    PortHistory h(path(), nullptr, clock.clock());
    QCOMPARE(h.deleteOldSessions(0), 2);
    QList<qint64> ids;
    for (const PortSession &s : h.sessions())
        ids << s.id;
    QCOMPARE(ids, (QList<qint64>{3, 4}));
    QCOMPARE(PortHistory(path()).sessions().size(), 2);
    QCOMPARE(h.deleteOldSessions(30), 0);
}

void TestPortHistory::clearWithOpenVisit()
{
    {
        PortHistory h(path());
        h.visitPort(9001, QStringLiteral("h"));
        h.visitPort(9002, QStringLiteral("h"));
        SignalLog log(&h);
        QVERIFY(h.clearHistory());
        QCOMPARE(log.take(), QStringList{QStringLiteral("historyCleared")});
        QVERIFY(!h.hasActiveSession());
        QVERIFY(h.sessions().isEmpty());
        QCOMPARE(readAll(path()), QByteArray());
        h.visitPort(9003, QStringLiteral("h"));
        QCOMPARE(h.currentSession().id, 3);
        QVERIFY(h.clearHistory());
    }
    PortHistory restarted(path());
    restarted.visitPort(9004, QStringLiteral("h"));
    QCOMPARE(restarted.currentSession().id, 1);
}

void TestPortHistory::failedRewriteKeepsHistory()
{
    PortHistory h(path());
    h.visitPort(9001, QStringLiteral("h"));
    h.visitPort(9002, QStringLiteral("h"));
    const QByteArray before = readAll(path());
    // A directory where the file should be makes every rewrite fail.
    QVERIFY(QFile::remove(path()));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("port_history.txt")));
    SignalLog log(&h);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для записи")));
    QVERIFY(!h.clearHistory());
    QCOMPARE(h.sessions().size(), 2);
    QCOMPARE(h.currentSession().id, 2);
    QVERIFY(log.entries.isEmpty());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для записи")));
    QVERIFY(!h.deleteSession(1));
    QCOMPARE(h.sessions().size(), 2);
    QCOMPARE(h.sessions().constFirst().id, 1);
    QVERIFY(QDir(m_dir->path()).rmdir(QStringLiteral("port_history.txt")));
    QVERIFY(h.saveHistory());
    QCOMPARE(readAll(path()), before);
}

void TestPortHistory::queries()
{
    QVERIFY(writeAll(path(), "1|9002|a|2025-03-01T10:00:00|2025-03-01T11:00:00|0|\n"
                             "2|9001|b|2025-03-03T10:00:00|2025-03-03T11:00:00|0|\n"
                             "3|9002|c|2025-03-02T10:00:00|2025-03-02T11:00:00|0|\n"
                             "4|9003|d|2025-03-02T10:00:00||0|\n"));
    PortHistory h(path());
    const auto ids = [](const QList<PortSession> &list) {
        QList<qint64> result;
        for (const PortSession &s : list)
            result << s.id;
        return result;
    };
    QCOMPARE(ids(h.getAllSessions()), (QList<qint64>{2, 4, 3, 1}));
    QCOMPARE(ids(h.getRecentSessions(2)), (QList<qint64>{2, 4}));
    QCOMPARE(ids(h.getRecentSessions(10)), (QList<qint64>{2, 4, 3, 1}));
    QCOMPARE(ids(h.getSessionsForPort(9002)), (QList<qint64>{3, 1}));
    QCOMPARE(h.getUniquePorts(), (QList<quint16>{9001, 9002, 9003}));
    QCOMPARE(h.lastVisitTime(9002), localTime("2025-03-02T10:00:00"));
    QVERIFY(h.lastVisitTime(9999).isNull());
    QCOMPARE(h.findActiveSessionForPort(9003).id, 4);
    QCOMPARE(h.findActiveSessionForPort(9002).id, 0);
}

void TestPortHistory::destructionClosesVisitSilently()
{
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    auto h = std::make_unique<PortHistory>(path(), nullptr, clock.clock());
    h->visitPort(9001, QStringLiteral("h"));
    SignalLog log(h.get());
    clock.advance(5000);
    h.reset();
    QVERIFY(log.entries.isEmpty());
    QCOMPARE(readAll(path()), QByteArray("1|9001|h|2025-03-01T18:00:00|2025-03-01T18:00:05|5000|\n"));
}

QTEST_GUILESS_MAIN(TestPortHistory)
#include "tst_records_history.moc"
