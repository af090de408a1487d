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
        connect(
            h, &PortHistory::historyCleared, this, [this] { entries << QStringLiteral("historyCleared"); });
    }
    QStringList take() { return std::exchange(entries, {}); }
    QStringList entries;
};

QList<qint64> idsOf(const QList<PortSession> &list)
{
    QList<qint64> result;
    for (const PortSession &s : list)
        result << s.id;
    return result;
}

const char kWriteFailed[] = "Не удалось открыть файл для записи";

} // namespace

class TestPortHistory : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void visitsAndLeaves()
    {
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        auto history = std::make_unique<PortHistory>(path(), nullptr, clock.clock());
        PortHistory &h = *history;
        SignalLog log(&h);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("порт 0")));
        h.visitPort(0, QStringLiteral("1.1.1.1"));
        QVERIFY(h.sessions().isEmpty());

        h.visitPort(9001, QStringLiteral("1.1.1.1"), QStringLiteral("Озеро"));
        QCOMPARE(
            log.take(), (QStringList {QStringLiteral("portVisited:1"), QStringLiteral("sessionStarted:1")}));
        clock.advance(90'000);
        h.visitPort(9002, QStringLiteral("1.1.1.1"));
        QCOMPARE(log.take(),
            (QStringList {QStringLiteral("portLeft:1"), QStringLiteral("sessionEnded:1"),
                QStringLiteral("portVisited:2"), QStringLiteral("sessionStarted:2")}));
        // Moving on through updateCurrentPort behaves like a visit of the new port.
        clock.advance(1000);
        h.updateCurrentPort(9003, QStringLiteral("1.1.1.1"));
        QCOMPARE(h.currentSession().id, 3);
        clock.advance(3'725'000);
        log.take();
        h.leavePort();
        h.leavePort();
        QCOMPARE(log.take(), (QStringList {QStringLiteral("portLeft:3"), QStringLiteral("sessionEnded:3")}));
        QCOMPARE(h.currentSession(), PortSession());
        QCOMPARE(readAll(path()),
            QByteArray("1|9001|1.1.1.1|2025-03-01T18:00:00|2025-03-01T18:01:30|90000|Озеро\n"
                       "2|9002|1.1.1.1|2025-03-01T18:01:30|2025-03-01T18:01:31|1000|\n"
                       "3|9003|1.1.1.1|2025-03-01T18:01:31|2025-03-01T19:03:36|3725000|\n"));
        // Without an open visit, updateCurrentPort starts one; destroying the store closes it silently.
        h.updateCurrentPort(9004, QStringLiteral("2.2.2.2"));
        QCOMPARE(h.currentSession().id, 4);
        clock.advance(5000);
        history.reset();
        QVERIFY(log.entries.size() == 2);
        QVERIFY(readAll(path()).endsWith("4|9004|2.2.2.2|2025-03-01T19:03:36|2025-03-01T19:03:41|5000|\n"));
    }

    void serverChange_data()
    {
        QTest::addColumn<bool>("throughVisit");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<QString>("server");
        QTest::newRow("visitPort, same port") << true << quint16(9001) << QStringLiteral("2.2.2.2");
        QTest::newRow("updateCurrentPort, port 0") << false << quint16(0) << QStringLiteral("2.2.2.2");
        QTest::newRow("same server: nothing") << false << quint16(9001) << QStringLiteral("1.1.1.1");
    }

    void serverChange()
    {
        QFETCH(bool, throughVisit);
        QFETCH(quint16, port);
        QFETCH(QString, server);
        PortHistory h(path());
        h.visitPort(9001, QStringLiteral("1.1.1.1"), QStringLiteral("desc"));
        QVERIFY(QFile::remove(path()));
        SignalLog log(&h);
        if (throughVisit)
            h.visitPort(port, server, QStringLiteral("ignored"));
        else
            h.updateCurrentPort(port, server);
        const bool changes = server == QLatin1String("2.2.2.2");
        const QStringList updated {QStringLiteral("portUpdated:1"), QStringLiteral("sessionUpdated:1")};
        QCOMPARE(log.take(), changes ? updated : QStringList());
        QCOMPARE(h.sessions().size(), 1);
        QCOMPARE(h.currentSession().description, QStringLiteral("desc"));
        QCOMPARE(h.currentSession().server, changes ? server : QStringLiteral("1.1.1.1"));
        QCOMPARE(QFile::exists(path()), changes); // nothing written without a change
        QCOMPARE(readAll(path()).contains("|9001|2.2.2.2|"), changes);
    }

    void loadFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<qint64>>("ids");
        QTest::addColumn<qint64>("currentId");
        QTest::addColumn<qint64>("nextId");
        QTest::newRow("open visit becomes current") << QByteArray(
            "1|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000|a\n2|9002|h|2025-03-01T18:01:00||0|\n")
                                                    << QList<qint64> {1, 2} << 2LL << 3LL;
        QTest::newRow("too few fields, bad and low ids")
            << QByteArray("1|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000\n"
                          "x|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                          "0|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                          "6|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n")
            << QList<qint64> {6} << 0LL << 7LL;
        QTest::newRow("port 70000 and malformed time")
            << QByteArray("3|70000|h|yesterday|2025-03-01T18:01:00|0|d\n") << QList<qint64> {3} << 0LL << 4LL;
    }

    void loadFile()
    {
        QFETCH(QByteArray, content);
        QVERIFY(writeAll(path(), content));
        PortHistory h(path());
        QTEST(idsOf(h.sessions()), "ids");
        QTEST(h.currentSession().id, "currentId");
        QTEST(h.nextId(), "nextId");
        if (QByteArray(QTest::currentDataTag()).startsWith("port 70000")) {
            QCOMPARE(h.sessions().constFirst().port, quint16(0));
            QVERIFY(h.sessions().constFirst().startTime.isNull());
        }
    }

    void twoOpenVisitsAtLoad()
    {
        const QByteArray content = "1|9001|h|2025-03-01T18:00:00||0|a\n2|9002|h|2025-03-01T18:30:00||0|b\n";
        QVERIFY(writeAll(path(), content));
        FakeClock clock(localTime("2025-03-01T19:00:00"));
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("вторая активная сессия ID: 2")));
        PortHistory h(path(), nullptr, clock.clock());
        QCOMPARE(h.currentSession().id, 1);
        QVERIFY(!h.sessions().at(1).isActive());
        QCOMPARE(h.sessions().at(1).durationMs, 30 * 60 * 1000);
        QCOMPARE(readAll(path()), content); // loading does not rewrite
        // The restored visit closes from its recorded start.
        h.leavePort();
        QCOMPARE(h.sessions().at(0).durationMs, 60 * 60 * 1000);
    }

    void descriptionsStayOneRecord_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("pipes") << QStringLiteral("лево||право|") << QStringLiteral("лево||право|");
        QTest::newRow("line break") << QStringLiteral("строка 1\nстрока 2")
                                    << QStringLiteral("строка 1 строка 2");
        QTest::newRow("CRLF and a line that looks like a record")
            << QStringLiteral("x\r\n9|9|h|||0|fake") << QStringLiteral("x  9|9|h|||0|fake");
    }

    void descriptionsStayOneRecord()
    {
        QFETCH(QString, description);
        {
            PortHistory h(path());
            h.visitPort(9001, QStringLiteral("1.1.1.1"), description);
            h.visitPort(9002, QStringLiteral("1.1.1.1"), QStringLiteral("after"));
        }
        QCOMPARE(readAll(path()).count('\n'), 2);
        PortHistory reloaded(path());
        QCOMPARE(reloaded.sessions().size(), 2);
        QTEST(reloaded.sessions().at(0).description, "readBack");
        QCOMPARE(reloaded.sessions().at(1).description, QStringLiteral("after"));
    }

    void deleteOldSessionsZero()
    {
        QVERIFY(writeAll(path(),
            "1|9001|h|2025-03-01T17:59:59|2025-03-01T18:00:00|1000|old\n"
            "2|9002|h||2025-03-01T18:00:00|0|no start\n"
            "3|9003|h|2025-03-01T18:00:00|2025-03-01T18:00:00|0|now\n"
            "4|9004|h|2025-02-01T18:00:00||0|open\n"));
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        PortHistory h(path(), nullptr, clock.clock());
        QCOMPARE(h.deleteOldSessions(0), 2);
        QCOMPARE(idsOf(h.sessions()), (QList<qint64> {3, 4}));
        QCOMPARE(PortHistory(path()).sessions().size(), 2);
    }

    void clearWithOpenVisit()
    {
        {
            PortHistory h(path());
            h.visitPort(9001, QStringLiteral("h"));
            h.visitPort(9002, QStringLiteral("h"));
            SignalLog log(&h);
            QVERIFY(h.clearHistory());
            QCOMPARE(log.take(), QStringList {QStringLiteral("historyCleared")});
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

    void failedRewriteKeepsHistory()
    {
        PortHistory h(path());
        h.visitPort(9001, QStringLiteral("h"));
        h.visitPort(9002, QStringLiteral("h"));
        const QByteArray before = readAll(path());
        // A directory where the file should be makes every rewrite fail.
        QVERIFY(QFile::remove(path()));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("port_history.txt")));
        SignalLog log(&h);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QString::fromUtf8(kWriteFailed)));
        QVERIFY(!h.clearHistory());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QString::fromUtf8(kWriteFailed)));
        QVERIFY(!h.deleteSession(1));
        QCOMPARE(idsOf(h.sessions()), (QList<qint64> {1, 2}));
        QCOMPARE(h.currentSession().id, 2);
        QVERIFY(log.entries.isEmpty());
        QVERIFY(QDir(m_dir->path()).rmdir(QStringLiteral("port_history.txt")));
        QVERIFY(h.saveHistory());
        QCOMPARE(readAll(path()), before);
    }

private:
    QString path() const { return m_dir->filePath(QStringLiteral("port_history.txt")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestPortHistory)
#include "tst_records_history.moc"
