#include <QTemporaryDir>
#include <QtTest>

#include "records/porthistory.h"
#include "recordtesthelpers.h"

using namespace Qt::StringLiterals;
using Ids = QList<qint64>;

namespace {

// Every signal of a history, in emission order, as "name:id".
struct SignalLog : QObject
{
    explicit SignalLog(PortHistory *h)
    {
        using Signal = void (PortHistory::*)(const PortSession &);
        const std::pair<Signal, QString> all[] = {{&PortHistory::portVisited, u"portVisited"_s},
            {&PortHistory::portLeft, u"portLeft"_s}, {&PortHistory::portUpdated, u"portUpdated"_s},
            {&PortHistory::sessionStarted, u"sessionStarted"_s},
            {&PortHistory::sessionEnded, u"sessionEnded"_s},
            {&PortHistory::sessionUpdated, u"sessionUpdated"_s}};
        for (const auto &[signal, name] : all)
            connect(h, signal, this, [this, n = name](const PortSession &s) {
                entries << n + QLatin1Char(':') + QString::number(s.id);
            });
        connect(h, &PortHistory::historyCleared, this, [this] { entries << u"historyCleared"_s; });
    }
    QString take() { return std::exchange(entries, {}).join(QLatin1Char(' ')); }
    QStringList entries;
};

Ids idsOf(const QList<PortSession> &list)
{
    Ids result;
    for (const PortSession &s : list)
        result << s.id;
    return result;
}

} // namespace

class TestPortHistory : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void visitsAndLeaves()
    {
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        auto history = std::make_unique<PortHistory>(path(), nullptr, clock.clock());
        PortHistory &h = *history;
        SignalLog log(&h);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"порт 0"_s));
        h.visitPort(0, u"1.1.1.1"_s);
        h.visitPort(9001, u"1.1.1.1"_s, u"Озеро"_s);
        QCOMPARE(log.take(), u"portVisited:1 sessionStarted:1"_s);
        clock.advance(90'000);
        h.visitPort(9002, u"1.1.1.1"_s);
        QCOMPARE(log.take(), u"portLeft:1 sessionEnded:1 portVisited:2 sessionStarted:2"_s);
        clock.advance(1000);
        h.updateCurrentPort(9003, u"1.1.1.1"_s); // moving on this way is a visit of the new port
        clock.advance(3'725'000);
        log.take();
        h.leavePort();
        h.leavePort();
        QCOMPARE(log.take(), u"portLeft:3 sessionEnded:3"_s);
        QCOMPARE(h.currentSession(), PortSession());
        h.flush();
        QCOMPARE(readAll(path()),
            QByteArray("1|9001|1.1.1.1|2025-03-01T18:00:00|2025-03-01T18:01:30|90000|Озеро\n"
                       "2|9002|1.1.1.1|2025-03-01T18:01:30|2025-03-01T18:01:31|1000|\n"
                       "3|9003|1.1.1.1|2025-03-01T18:01:31|2025-03-01T19:03:36|3725000|\n"));
        // Without an open visit, updateCurrentPort starts one; destroying the store closes it silently.
        h.updateCurrentPort(9004, u"2.2.2.2"_s);
        clock.advance(5000);
        history.reset();
        QCOMPARE(log.entries.size(), 2);
        QVERIFY(readAll(path()).endsWith("4|9004|2.2.2.2|2025-03-01T19:03:36|2025-03-01T19:03:41|5000|\n"));
    }

    void serverChange_data()
    {
        QTest::addColumn<bool>("throughVisit");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<QString>("server");
        QTest::newRow("visitPort, same port") << true << quint16(9001) << u"2.2.2.2"_s;
        QTest::newRow("updateCurrentPort, port 0") << false << quint16(0) << u"2.2.2.2"_s;
        QTest::newRow("same server: nothing") << false << quint16(9001) << u"1.1.1.1"_s;
    }

    void serverChange()
    {
        QFETCH(bool, throughVisit);
        QFETCH(quint16, port);
        QFETCH(QString, server);
        PortHistory h(path());
        h.visitPort(9001, u"1.1.1.1"_s, u"desc"_s);
        h.flush();
        QVERIFY(QFile::remove(path()));
        SignalLog log(&h);
        throughVisit ? h.visitPort(port, server, u"ignored"_s) : h.updateCurrentPort(port, server);
        h.flush();
        const bool changes = server == "2.2.2.2"_L1;
        QCOMPARE(log.take(), changes ? u"portUpdated:1 sessionUpdated:1"_s : QString());
        QCOMPARE(h.sessions().size(), 1);
        QCOMPARE(h.currentSession().description + h.currentSession().server,
            u"desc"_s + (changes ? server : u"1.1.1.1"_s));
        QCOMPARE(readAll(path()).contains("|9001|2.2.2.2|"), changes); // nothing written without a change
    }

    void loadFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Ids>("ids");
        QTest::addColumn<qint64>("currentId");
        QTest::addColumn<QString>("firstDescription");
        QTest::newRow("open visit becomes current") << QByteArray(
            "1|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000|a\n2|9002|h|2025-03-01T18:01:00||0|\n")
                                                    << Ids {1, 2} << 2LL << u"a"_s;
        QTest::newRow("too few fields, bad and low ids")
            << QByteArray("1|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000\n"
                          "x|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                          "0|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                          "6|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n")
            << Ids {6} << 0LL << u"d"_s;
        QTest::newRow("CRLF and a byte-order mark")
            << QByteArray("\xEF\xBB\xBF"
                          "3|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000|Озеро\r\n"
                          "\r\n4|9002|h|2025-03-01T18:01:00||0|\r\n")
            << Ids {3, 4} << 4LL << u"Озеро"_s;
        QTest::newRow("Unicode spaces around a line")
            << QByteArray("\xC2\xA0"
                          "5|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\xE2\x80\x83\n")
            << Ids {5} << 0LL << u"d"_s;
    }

    void loadFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(Ids, ids);
        QVERIFY(writeAll(path(), content));
        PortHistory h(path());
        QCOMPARE(idsOf(h.sessions()), ids);
        QTEST(h.currentSession().id, "currentId");
        QCOMPARE(h.nextId(), ids.constLast() + 1);
        QTEST(h.sessions().constFirst().description, "firstDescription");
        QCOMPARE(h.sessions().constFirst().startTime, localTime("2025-03-01T18:00:00"));
        // Rewritten in this store's own form, whatever the file looked like.
        QVERIFY(h.saveHistory());
        const QByteArray saved = readAll(path());
        QVERIFY(
            !saved.contains('\r') && !saved.startsWith("\xEF\xBB\xBF") && saved.count('\n') == ids.size());
        QCOMPARE(idsOf(PortHistory(path()).sessions()), ids);
    }

    // Lines the store would write unchanged are kept as read; any other line, and every
    // line after it, is written afresh.
    void rewriteKeepsOnlyWhatReadsBack_data()
    {
        QTest::addColumn<QByteArray>("line2");
        QTest::addColumn<QByteArray>("written2");
        const QByteArray same = "2|9002|h|2025-03-01T18:01:00|2025-03-01T18:02:00|60000|b";
        QTest::newRow("as written") << same << same;
        QTest::newRow("id with a leading zero") << "0" + same << same;
        QTest::newRow("milliseconds, port 70000")
            << QByteArray("2|70000|h|2025-03-01T18:01:00.250|2025-03-01T18:02:00|60000|b")
            << QByteArray("2|0|h|2025-03-01T18:01:00|2025-03-01T18:02:00|60000|b");
    }

    void rewriteKeepsOnlyWhatReadsBack()
    {
        QFETCH(QByteArray, line2);
        const QByteArray first = "1|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000|a\n";
        const QByteArray third = "3|9003|h|2025-03-01T18:02:00|2025-03-01T18:03:00|60000|c\n";
        QVERIFY(writeAll(path(), first + line2 + '\n' + third));
        PortHistory(path()).visitPort(9004, u"h"_s, u"d"_s);
        const QByteArray written = readAll(path());
        QVERIFY(written.startsWith(first));
        QTEST(written.split('\n').value(1), "written2");
        QVERIFY(written.mid(written.indexOf(third)).startsWith(QByteArray(third + "4|9004|h|")));
    }

    void queries()
    {
        // Newest start first: 4, 5, 2, 1, 3 (equal starts give the higher id first).
        QVERIFY(writeAll(path(),
            "1|9002|h|2025-03-01T10:00:00|2025-03-01T11:00:00|3600000|a\n"
            "2|9001|h|2025-03-03T10:00:00|2025-03-03T10:05:00|300000|b\n"
            "3|9001|h||2025-03-03T10:00:00|0|no start\n"
            "4|27015|h|2025-03-04T09:00:00||0|open\n"
            "5|9001|h|2025-03-03T10:00:00|2025-03-03T10:01:00|60000|c\n"));
        const PortHistory h(path());
        QCOMPARE(idsOf(h.getAllSessions()), (Ids {4, 5, 2, 1, 3}));
        QCOMPARE(idsOf(h.getRecentSessions(2)), (Ids {4, 5}));
        QCOMPARE(idsOf(h.getRecentSessions(0)), Ids {});
        QCOMPARE(idsOf(h.getRecentSessions(9)), (Ids {4, 5, 2, 1, 3}));
        QCOMPARE(idsOf(h.getSessionsForPort(9001)), (Ids {5, 2, 3}));
        QCOMPARE(idsOf(h.getSessionsForPort(9999)), Ids {});
        QCOMPARE(h.getUniquePorts(), (QList<quint16> {9001, 9002, 27015}));
        QCOMPARE(h.lastVisitTime(9001), localTime("2025-03-03T10:00:00"));
        QCOMPARE(h.lastVisitTime(27015), localTime("2025-03-04T09:00:00"));
        QVERIFY(h.lastVisitTime(9999).isNull());
    }

    void twoOpenVisitsAtLoad()
    {
        const QByteArray content = "1|9001|h|2025-03-01T18:00:00||0|a\n2|9002|h|2025-03-01T18:30:00||0|b\n";
        QVERIFY(writeAll(path(), content));
        FakeClock clock(localTime("2025-03-01T19:00:00"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"вторая активная сессия ID: 2"_s));
        PortHistory h(path(), nullptr, clock.clock());
        QCOMPARE(h.currentSession().id, 1);
        QCOMPARE(readAll(path()), content); // loading does not rewrite
        h.leavePort(); // the restored visit closes from its recorded start
        h.flush();
        QCOMPARE(readAll(path()),
            QByteArray("1|9001|h|2025-03-01T18:00:00|2025-03-01T19:00:00|3600000|a\n"
                       "2|9002|h|2025-03-01T18:30:00|2025-03-01T19:00:00|1800000|b\n"));
    }

    void descriptionsStayOneRecord()
    {
        {
            PortHistory h(path());
            h.visitPort(9001, u"1.1.1.1"_s, u"a||b\r\n9|9|h|||0|fake"_s);
            h.visitPort(9002, u"1.1.1.1"_s, u"after"_s);
        }
        QCOMPARE(readAll(path()).count('\n'), 2);
        QCOMPARE(PortHistory(path()).sessions().value(0).description, u"a||b  9|9|h|||0|fake"_s);
    }

    void deleteOldAndClear()
    {
        QVERIFY(writeAll(path(),
            "1|9001|h|2025-03-01T17:59:59|2025-03-01T18:00:00|1000|old\n"
            "2|9002|h||2025-03-01T18:00:00|0|no start\n"
            "3|9003|h|2025-03-01T18:00:00|2025-03-01T18:00:00|0|now\n"
            "4|9004|h|2025-02-01T18:00:00||0|open\n"));
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        {
            PortHistory h(path(), nullptr, clock.clock());
            QCOMPARE(h.deleteOldSessions(0), 2);
            QCOMPARE(idsOf(PortHistory(path()).sessions()), (Ids {3, 4}));
            // Clearing drops the open visit without a signal of its own; ids go on.
            SignalLog log(&h);
            QVERIFY(h.clearHistory());
            QCOMPARE(log.take(), u"historyCleared"_s);
            QCOMPARE(readAll(path()), QByteArray());
            h.visitPort(9005, u"h"_s);
            QCOMPARE(h.currentSession().id, 5);
            QVERIFY(h.clearHistory());
        }
        PortHistory restarted(path()); // after a restart with the emptied file, ids start again
        restarted.visitPort(9006, u"h"_s);
        QCOMPARE(restarted.currentSession().id, 1);
    }

private:
    QString path() const { return m_dir->filePath(u"port_history.txt"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestPortHistory)
#include "tst_records_history.moc"
