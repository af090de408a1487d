#include <QTemporaryDir>
#include <QtTest>

#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "records/sessiontracker.h"
#include "recordtesthelpers.h"

using namespace Qt::StringLiterals;
using Pings = QList<qint64>;
using Figures = QByteArray; // loss %, jitter, median and p95 as the session file writes them

namespace {

Figures fieldsOf(const std::optional<GameSession::Figures> &f)
{
    return !f ? Figures()
              : QByteArray::number(f->lossPercent, 'f', 1) + '|' + QByteArray::number(f->jitter, 'f', 1) + '|'
            + QByteArray::number(f->median) + '|' + QByteArray::number(f->p95);
}

GameSession *played(GameSession *s, const Pings &pings)
{
    for (qint64 p : pings)
        s->addPing(p);
    return s;
}

} // namespace

class TestSessions : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // Average, minimum, maximum and stability of the held samples (999 counts as one),
    // then loss, jitter, median and p95 over every ping of the session.
    void statistics_data()
    {
        QTest::addColumn<Pings>("pings");
        QTest::addColumn<Pings>("avgMinMaxStabilityQuality");
        QTest::addColumn<Figures>("figures");
        QTest::newRow("no pings") << Pings {} << Pings {0, 0, 0, 100, 0} << Figures();
        QTest::newRow("100 is not") << Pings {100} << Pings {100, 100, 100, 0, 3}
                                    << Figures("0.0|0.0|100|100");
        QTest::newRow("all lost") << Pings(3, 999) << Pings {999, 999, 999, 0, 4}
                                  << Figures("100.0|0.0|-1|-1");
        // One spike moves the average and the jitter, not the median or p95.
        QTest::newRow("single spike") << Pings(10, 40) + Pings {400} + Pings(9, 40)
                                      << Pings {58, 40, 400, 95, 1} << Figures("0.0|37.9|40|40");
        QTest::newRow("a loss between answers")
            << Pings {50, 999, 70} << Pings {373, 50, 999, 66, 4} << Figures("33.3|20.0|50|70");
        // The held list keeps the last 1000 pings; the figures cover all 1500.
        QTest::newRow("longer than the held list") << Pings(500, 999) + Pings(999, 30) + Pings {31}
                                                   << Pings {30, 30, 31, 100, 1} << Figures("33.3|0.0|30|30");
    }

    void statistics()
    {
        QFETCH(Pings, pings);
        GameSession s;
        s.start(u"1.2.3.4"_s, 9000);
        played(&s, pings);
        QTEST((Pings {s.averagePing(), s.minPing(), s.maxPing(), s.stability(), s.qualityLevel()}),
            "avgMinMaxStabilityQuality");
        QTEST(fieldsOf(s.figures()), "figures");
        QCOMPARE(s.pingSamples(), pings.mid(std::max<qsizetype>(0, pings.size() - GameSession::kMaxSamples)));
        for (auto [ping, level] :
            QList<std::pair<int, int>> {{29, 0}, {30, 1}, {59, 1}, {60, 2}, {199, 3}, {200, 4}}) {
            GameSession one;
            QCOMPARE(played(&one, {ping})->qualityLevel(), level);
        }
    }

    void loadLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Pings>("idsThenFirstPort");
        QTest::addColumn<Figures>("firstFigures");
        const QByteArray twelve
            = "4|h|9000|2025-03-01T18:00:00|2025-03-01T19:00:00|3600000|WI-FI|10|5|20|100|3";
        QTest::newRow("older version") << twelve + '\n' << Pings {4, 9000} << Figures();
        QTest::newRow("this version") << twelve + "|2.5|3.1|42|60\n"
                                      << Pings {4, 9000} << Figures("2.5|3.1|42|60");
        QTest::newRow("13 fields, port 70000")
            << QByteArray("2|h|70000|||0|U|0|0|0|100|0|x\n") << Pings {2, 0} << Figures();
        QTest::newRow("11 fields, blank lines, CRLF, ids 3 9 x") << QByteArray(
            "1|h|9000|||0|W|0|0|0|100\n\r\n3|a|9001|||0|U|0|0|0|100|0\r\n  \n9|b|1|||0|U|0|0|0|100|0\n"
            "x|c|1|||0|U|0|0|0|100|0\n") << Pings {3, 9, 0, 9001} << Figures();
    }

    void loadLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(Pings, idsThenFirstPort);
        QVERIFY(writeAll(path(), content));
        SessionManager store(path());
        Pings loaded;
        for (const GameSession *s : store.sessions())
            loaded << s->id();
        QCOMPARE(loaded << store.sessions().constFirst()->port(), idsThenFirstPort);
        QCOMPARE(store.nextId(), *std::max_element(loaded.begin(), loaded.end() - 1) + 1);
        QTEST(fieldsOf(store.sessions().constFirst()->figures()), "firstFigures");
    }

    // A file as this version writes it is saved back byte for byte (its lines are kept);
    // any field in another form is written afresh.
    void savedBack_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("saved");
        const QByteArray line = "5|h|9000|2025-03-01T18:00:00|2025-03-01T19:00:00|3600000|WI-FI|10|5|20|100|3";
        QTest::newRow("as written") << line + "|2.5|3.1|42|60\n" + line + "||||\n"
                                    << line + "|2.5|3.1|42|60\n" + line + "||||\n";
        QTest::newRow("jitter 3.10") << line + "|2.5|3.10|42|60\n" << line + "|2.5|3.1|42|60\n";
        QTest::newRow("figures no run could give are dropped")
            << line + "|2.5|3e60|42|60\n" + line + "|inf|0.0|42|60\n" + line + "|nan|0.0|42|60\n"
            << line + "||||\n" + line + "||||\n" + line + "||||\n";
        QTest::newRow("port 09000, then one as written")
            << QByteArray("5|h|09000|||0|W|0|0|0|100|0||||\n") + line + "||||\n"
            << QByteArray("5|h|9000|||0|W|0|0|0|100|0||||\n") + line + "||||\n";
        QTest::newRow("time with milliseconds")
            << QByteArray("5|h|9000|2025-03-01T18:00:00.250||0|W|0|0|0|100|0||||\n")
            << QByteArray("5|h|9000|2025-03-01T18:00:00||0|W|0|0|0|100|0||||\n");
    }

    void savedBack()
    {
        QFETCH(QByteArray, content);
        QVERIFY(writeAll(path(), content));
        SessionManager store(path());
        QVERIFY(store.saveSessions());
        QTEST(readAll(path()), "saved");
    }

    // Signals, pauses and totals; what is written at the start, at the end and on the way
    // out, where a session read from an older file keeps its statistics; and what reads back.
    void lifecycle()
    {
        const QByteArray old
            = "7|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|E|100|50|150|70|42";
        QVERIFY(writeAll(path(), old + '\n'));
        FakeClock clock {localTime("2025-03-01T18:00:00")};
        auto store = std::make_unique<SessionManager>(path(), nullptr, clock.clock());
        QSignalSpy ended(store.get(), &SessionManager::sessionEnded);
        GameSession *first = store->startNewSession(u"1.1.1.1"_s, 9001);
        store->flush(); // written at once, as a running session
        QCOMPARE(
            readAll(path()), old + "||||\n8|1.1.1.1|9001|2025-03-01T18:00:00||0|Unknown|0|0|0|100|0||||\n");
        clock.advance(5000);
        GameSession *second = store->startNewSession(u"2.2.2.2"_s, 9002);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).value<GameSession *>(), first);
        store->pauseCurrentSession();
        store->endCurrentSession(); // refused while paused
        QVERIFY(second->isActive());
        clock.advance(7000);
        QCOMPARE(store->totalPlayTime(), 3'605'000); // the paused one counts its played time only
        store->resumeCurrentSession();
        clock.advance(1000);
        QCOMPARE(store->totalPlayTime(), 3'606'000);
        store->endCurrentSession();
        // A session still running when the store goes is ended and written, without a signal.
        played(store->startNewSession(u"3.3.3.3"_s, 9003), {40, 60, 999, 100, 80})
            ->setNetworkType(u"a|b\nc"_s);
        clock.advance(2500);
        store.reset();
        QCOMPARE(ended.size(), 2);
        const QByteArray last = "10|3.3.3.3|9003|2025-03-01T18:00:13|2025-03-01T18:00:15|2500|a b "
                                "c|255|40|999|60|5|20.0|26.7|60|100\n";
        QVERIFY(readAll(path()).startsWith(QByteArray(old + "||||\n")) && readAll(path()).endsWith(last));
        const SessionManager reread(path());
        QCOMPARE(reread.sessions().constLast()->startTime(), localTime("2025-03-01T18:00:13"));
        // Lines kept from earlier saves were written again once their session ended.
        Pings durations;
        for (const GameSession *s : reread.sessions())
            durations << s->duration() << qint64(s->endTime().isValid());
        QCOMPARE(durations, (Pings {3'600'000, 1, 5000, 1, 1000, 1, 2500, 1}));
    }

    void totals_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Pings>("totalAverageBest");
        QTest::newRow("empty") << QByteArray() << Pings {0, 0, -1};
        // 7 has no samples: its average is left out, yet its stability of 100 ties with 9's.
        QTest::newRow("without samples, ties") << QByteArray(
            "4|h|1|||1000|U|100|1|200|80|10\n7|h|1|||2000|U|0|0|0|100|0\n9|h|1|||500|U|51|1|99|100|3\n")
                                               << Pings {3500, 75, 7};
    }

    void totals()
    {
        QFETCH(QByteArray, content);
        QVERIFY(writeAll(path(), content));
        SessionManager s(path());
        QTEST((Pings {s.totalPlayTime(), s.averagePingAllSessions(), s.bestSessionId()}), "totalAverageBest");
    }

    // As the main window reports it: a lost connection pauses the session, a return starts
    // another and closes the paused one, the game's end closes the rest, on disk once
    // flushed (the exit needs that).
    void trackerLossReturnAndEnd()
    {
        PortHistory history(m_dir->filePath(u"port_history.txt"_s));
        SessionManager sessions(path());
        SessionTracker tracker(&sessions, &history);
        tracker.setNetworkTypeProvider([] { return u"ETHERNET"_s; });
        tracker.serverFound(u"5.9.1.2"_s, 9105, true);
        GameSession *first = tracker.runningSession();
        QCOMPARE(first->networkType(), u"ETHERNET"_s);
        tracker.addPing(40);
        tracker.connectionLost();
        tracker.addPing(50); // nobody keeps it
        QVERIFY(first->isPaused() && first->pingCount() == 1);
        tracker.serverFound(u"5.9.1.2"_s, 9105, false);
        QVERIFY(tracker.runningSession() != first && !first->isActive() && first->endTime().isValid());
        QCOMPARE(history.sessions().size(), 1); // same server after a loss: same visit
        tracker.connectionLost();
        tracker.endGameSession();
        tracker.endGameSession(); // nothing left to end
        tracker.flushRecords();
        for (const QString &file : {path(), m_dir->filePath(u"port_history.txt"_s)}) {
            for (const QByteArray &line : readAll(file).trimmed().split('\n'))
                QCOMPARE(line.split('|').value(4).size(), 19); // every end time is written
        }
    }

private:
    QString path() const { return m_dir->filePath(u"game_sessions.txt"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_records_sessions.moc"
