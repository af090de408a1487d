#include <QTemporaryDir>
#include <QtTest>

#include "records/porthistory.h"
#include "recordtesthelpers.h"

using namespace Qt::StringLiterals;
using Ids = QList<qint64>;

namespace {

// Every signal of a history, in emission order, as "name" followed by the id.
struct SignalLog : QObject
{
    explicit SignalLog(PortHistory *h)
    {
        const auto log = [this, h](auto signal, const QString &name) {
            connect(h, signal, this,
                [this, name](const PortSession &s) { entries << name + QString::number(s.id); });
        };
        log(&PortHistory::portVisited, u"portVisited"_s);
        log(&PortHistory::portLeft, u"portLeft"_s);
        log(&PortHistory::portUpdated, u"portUpdated"_s);
        log(&PortHistory::sessionStarted, u"sessionStarted"_s);
        log(&PortHistory::sessionEnded, u"sessionEnded"_s);
        log(&PortHistory::sessionUpdated, u"sessionUpdated"_s);
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
        FakeClock clock {localTime("2025-03-01T18:00:00")};
        auto history = std::make_unique<PortHistory>(path(), nullptr, clock.clock());
        PortHistory &h = *history;
        SignalLog log(&h);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"порт 0"_s));
        h.visitPort(0, u"1.1.1.1"_s);
        h.visitPort(9001, u"1.1.1.1"_s, u"Озеро|\r\n9|9|h|||0|fake"_s); // stays one record
        clock.advance(90'000);
        h.visitPort(9002, u"1.1.1.1"_s);
        // The same port on another server is the same visit; port 0 means the same port.
        h.visitPort(9002, u"2.2.2.2"_s, u"ignored"_s);
        h.updateCurrentPort(0, u"2.2.2.2"_s);
        h.updateCurrentPort(9002, QString());
        QCOMPARE(log.take(),
            u"portVisited1 sessionStarted1 portLeft1 sessionEnded1 portVisited2 sessionStarted2 "
            "portUpdated2 sessionUpdated2"_s);
        clock.advance(1000);
        h.updateCurrentPort(9003, u"1.1.1.1"_s); // moving on this way is a visit of the new port
        clock.advance(3'725'000);
        h.leavePort();
        h.leavePort();
        QCOMPARE(h.currentSession(), PortSession());
        h.flush();
        QCOMPARE(readAll(path()),
            QByteArray("1|9001|1.1.1.1|2025-03-01T18:00:00|2025-03-01T18:01:30|90000|Озеро|  9|9|h|||0|fake\n"
                       "2|9002|2.2.2.2|2025-03-01T18:01:30|2025-03-01T18:01:31|1000|\n"
                       "3|9003|1.1.1.1|2025-03-01T18:01:31|2025-03-01T19:03:36|3725000|\n"));
        // Without an open visit, updateCurrentPort starts one; destroying the store closes it silently.
        h.updateCurrentPort(9004, u"2.2.2.2"_s);
        clock.advance(5000);
        log.take();
        history.reset();
        QVERIFY(log.entries.isEmpty());
        QVERIFY(readAll(path()).endsWith("4|9004|2.2.2.2|2025-03-01T19:03:36|2025-03-01T19:03:41|5000|\n"));
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
        // Text readers trim white space that only Unicode knows, as around the last line here.
        QTest::newRow("too few fields, bad and low ids, Unicode spaces")
            << QByteArray("1|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000\n"
                          "x|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                          "0|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\n"
                          "\xC2\xA0"
                          "6|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|0|d\xE2\x80\x83\n")
            << Ids {6} << 0LL << u"d"_s;
        QTest::newRow("CRLF and a byte-order mark")
            << QByteArray("\xEF\xBB\xBF"
                          "3|9001|h|2025-03-01T18:00:00|2025-03-01T18:01:00|60000|Озеро\r\n"
                          "\r\n4|9002|h|2025-03-01T18:01:00||0|\r\n")
            << Ids {3, 4} << 4LL << u"Озеро"_s;
        // The second open visit is closed at once (with a warning); the file is not rewritten.
        QTest::newRow("two open visits")
            << QByteArray("1|9001|h|2025-03-01T18:00:00||0|a\n2|9002|h|2025-03-01T18:30:00||0|b\n")
            << Ids {1, 2} << 1LL << u"a"_s;
    }

    void loadFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(Ids, ids);
        QFETCH(qint64, currentId);
        QVERIFY(writeAll(path(), content));
        if (QByteArray(QTest::currentDataTag()) == "two open visits")
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"вторая активная сессия ID: 2"_s));
        PortHistory h(path());
        QCOMPARE(readAll(path()), content);
        QCOMPARE(idsOf(h.sessions()), ids);
        QCOMPARE(h.currentSession().id, currentId);
        QCOMPARE(h.sessions().constLast().isActive(), currentId == ids.constLast());
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
        // The test runs in Berlin: summer time began at 02:00 on one day and ended at 03:00 on the other.
        for (const char *times :
            {"2025-03-30T01:30:00|2025-03-30T03:30:00", "2025-10-26T02:30:00|2025-10-26T02:45:00"})
            QTest::newRow(times) << "2|9002|h|" + QByteArray(times) + "|60000|b"
                                 << "2|9002|h|" + QByteArray(times) + "|60000|b";
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
        QCOMPARE(
            idsOf(h.getAllSessions()) + idsOf(h.getRecentSessions(9)), (Ids {4, 5, 2, 1, 3, 4, 5, 2, 1, 3}));
        QCOMPARE(idsOf(h.getRecentSessions(2)) + idsOf(h.getRecentSessions(0)), (Ids {4, 5}));
        QCOMPARE(idsOf(h.getSessionsForPort(9001)) + idsOf(h.getSessionsForPort(9999)), (Ids {5, 2, 3}));
        QCOMPARE(h.getUniquePorts(), (QList<quint16> {9001, 9002, 27015}));
        QCOMPARE(h.lastVisitTime(9001), localTime("2025-03-03T10:00:00"));
        QVERIFY(h.lastVisitTime(27015) == localTime("2025-03-04T09:00:00") && h.lastVisitTime(9999).isNull());
    }

    // Old visits go, the open one stays; clearing drops it without a signal of its own and
    // ids go on; a clear that cannot be written keeps everything; after a restart with the
    // emptied file ids start again.
    void deleteOldAndClear()
    {
        QVERIFY(writeAll(path(),
            "1|9001|h|2025-03-01T17:59:59|2025-03-01T18:00:00|1000|old\n2|9002|h||2025-03-01T18:00:00|0|x\n"
            "3|9003|h|2025-03-01T18:00:00|2025-03-01T18:00:00|0|now\n4|9004|h|2025-02-01T18:00:00||0|"
            "open\n"));
        FakeClock clock {localTime("2025-03-01T18:00:00")};
        {
            PortHistory h(path(), nullptr, clock.clock());
            QCOMPARE(h.deleteOldSessions(0), 2);
            QCOMPARE(idsOf(PortHistory(path()).sessions()), (Ids {3, 4}));
            QVERIFY(QFile::remove(path()) && QDir().mkdir(path())); // a folder where the file should be
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Не удалось открыть файл для записи"_s));
            QVERIFY(!h.clearHistory());
            QVERIFY(QDir().rmdir(path()) && h.hasActiveSession() && h.sessions().size() == 2);
            SignalLog log(&h);
            QVERIFY(h.clearHistory());
            QCOMPARE(log.take() + QString::fromUtf8(readAll(path())), u"historyCleared"_s);
            h.visitPort(9005, u"h"_s);
            QCOMPARE(h.currentSession().id, 5);
            QVERIFY(h.clearHistory());
        }
        PortHistory restarted(path());
        restarted.visitPort(9006, u"h"_s);
        QCOMPARE(restarted.currentSession().id, 1);
    }

private:
    QString path() const { return m_dir->filePath(u"port_history.txt"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestPortHistory)
#include "tst_records_history.moc"
