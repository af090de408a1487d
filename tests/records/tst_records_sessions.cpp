#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "records/gamesession.h"
#include "records/sessionmanager.h"
#include "recordtesthelpers.h"

using Pings = QList<qint64>;
// Loss %, jitter, median and p95 as the session file writes them; empty without figures.
using Figures = QList<QByteArray>;

namespace {

Figures fieldsOf(const std::optional<GameSession::Figures> &f)
{
    if (!f)
        return {};
    return {QByteArray::number(f->lossPercent, 'f', 1), QByteArray::number(f->jitter, 'f', 1),
        QByteArray::number(f->median), QByteArray::number(f->p95)};
}

} // namespace

class TestSessions : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // Average, minimum, maximum and stability of the held samples (999 counts as one).
    void statistics_data()
    {
        QTest::addColumn<Pings>("samples");
        QTest::addColumn<Pings>("avgMinMaxStability");
        QTest::addColumn<int>("quality");
        QTest::newRow("no samples") << Pings {} << Pings {0, 0, 0, 100} << 0;
        QTest::newRow("99 is stable") << Pings {99} << Pings {99, 99, 99, 100} << 2;
        QTest::newRow("100 is not") << Pings {100} << Pings {100, 100, 100, 0} << 3;
        QTest::newRow("one of three stable") << Pings {50, 150, 999} << Pings {399, 50, 999, 33} << 4;
        QTest::newRow("band 59") << Pings {59} << Pings {59, 59, 59, 100} << 1;
        QTest::newRow("band 60") << Pings {60} << Pings {60, 60, 60, 100} << 2;
        QTest::newRow("band 199") << Pings {199} << Pings {199, 199, 199, 0} << 3;
        QTest::newRow("band 200") << Pings {200} << Pings {200, 200, 200, 0} << 4;
    }

    void statistics()
    {
        QFETCH(Pings, samples);
        GameSession s;
        s.start(QStringLiteral("1.2.3.4"), 9000);
        for (qint64 p : samples)
            s.addPing(p);
        QTEST((Pings {s.averagePing(), s.minPing(), s.maxPing(), s.stability()}), "avgMinMaxStability");
        QTEST(s.qualityLevel(), "quality");
    }

    // Loss, jitter, median and p95 over every ping of the session.
    void figures_data()
    {
        QTest::addColumn<Pings>("pings");
        QTest::addColumn<Figures>("figures");
        QTest::addColumn<qint64>("average");
        QTest::newRow("no pings") << Pings {} << Figures {} << 0LL;
        QTest::newRow("all lost") << Pings(3, 999) << Figures {"100.0", "0.0", "-1", "-1"} << 999LL;
        // One spike moves the average and the jitter, not the median or p95.
        QTest::newRow("single spike")
            << Pings(10, 40) + Pings {400} + Pings(9, 40) << Figures {"0.0", "37.9", "40", "40"} << 58LL;
        QTest::newRow("a loss between answers")
            << Pings {50, 999, 70} << Figures {"33.3", "20.0", "50", "70"} << 373LL;
        // The held list keeps the last 1000 pings; the figures cover all 1500.
        QTest::newRow("longer than the held list")
            << Pings(500, 999) + Pings(999, 30) + Pings {31} << Figures {"33.3", "0.0", "30", "30"} << 30LL;
    }

    void figures()
    {
        QFETCH(Pings, pings);
        GameSession s;
        s.start(QStringLiteral("1.2.3.4"), 9000);
        for (qint64 p : pings)
            s.addPing(p);
        QTEST(fieldsOf(s.figures()), "figures");
        QTEST(s.averagePing(), "average");
        QCOMPARE(s.pingSamples(), pings.mid(std::max<qsizetype>(0, pings.size() - GameSession::kMaxSamples)));
    }

    void durations()
    {
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        GameSession s(nullptr, clock.clock());
        s.start(QStringLiteral("1.2.3.4"), 9000);
        clock.advance(10'000);
        s.pause();
        clock.advance(3'600'000);
        s.pause(); // a second pause must not move the pause start
        QCOMPARE(s.duration(), 10'000);
        s.resume();
        clock.advance(3'000);
        QCOMPARE(s.duration(), 13'000);
        s.pause(); // ending while paused leaves the open pause out
        clock.advance(40'000);
        s.end();
        clock.advance(50'000);
        QCOMPARE(s.durationMs(), 13'000);
        QCOMPARE(s.endTime(), localTime("2025-03-01T19:00:53"));
        QCOMPARE(GameSession::formatClock(3'725'999), QStringLiteral("01:02:05"));
        QCOMPARE(GameSession::formatClock(360'000'000), QStringLiteral("100:00:00"));
        QCOMPARE(GameSession::formatClock(-5'000), QStringLiteral("00:00:00")); // a clock set back
        QCOMPARE(SessionManager::formatDuration(3'725'999), QStringLiteral("1 ч 2 м 5 с"));
    }

    void loadLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<qint64>>("ids");
        QTest::addColumn<quint16>("firstPort");
        QTest::addColumn<Figures>("firstFigures");
        const QByteArray twelve
            = "4|h|9000|2025-03-01T18:00:00|2025-03-01T19:00:00|3600000|WI-FI|10|5|20|100|3";
        QTest::newRow("11 fields skipped")
            << QByteArray("1|h|9000|||0|W|0|0|0|100\n") << QList<qint64> {} << quint16(0) << Figures {};
        QTest::newRow("older version") << twelve + '\n' << QList<qint64> {4} << quint16(9000) << Figures {};
        QTest::newRow("13 fields") << twelve + "|x\n" << QList<qint64> {4} << quint16(9000) << Figures {};
        QTest::newRow("this version")
            << twelve + "|2.5|3.1|42|60\n"
            << QList<qint64> {4} << quint16(9000) << Figures {"2.5", "3.1", "42", "60"};
        QTest::newRow("this version, all lost")
            << twelve + "|100.0|0.0||\n"
            << QList<qint64> {4} << quint16(9000) << Figures {"100.0", "0.0", "-1", "-1"};
        QTest::newRow("port 70000") << QByteArray("2|h|70000|||0|U|0|0|0|100|0\n") << QList<qint64> {2}
                                    << quint16(0) << Figures {};
        QTest::newRow("ids 3 9 x, blank lines, CRLF")
            << QByteArray(
                   "\r\n3|a|9001|||0|U|0|0|0|100|0\r\n  \n9|b|1|||0|U|0|0|0|100|0\nx|c|1|||0|U|0|0|0|100|0\n")
            << QList<qint64> {3, 9, 0} << quint16(9001) << Figures {};
    }

    void loadLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<qint64>, ids);
        QVERIFY(writeAll(path(), content));
        SessionManager store(path());
        QList<qint64> loaded;
        for (const GameSession *s : store.sessions())
            loaded.append(s->id());
        QCOMPARE(loaded, ids);
        QCOMPARE(store.nextId(), (ids.isEmpty() ? 0 : *std::max_element(ids.begin(), ids.end())) + 1);
        if (!ids.isEmpty()) {
            QTEST(store.sessions().constFirst()->port(), "firstPort");
            QTEST(fieldsOf(store.sessions().constFirst()->figures()), "firstFigures");
        }
    }

    // Sessions written by this store come back equal, a session from an older file keeps
    // its statistics through later rewrites, and the first twelve fields read as before.
    void roundTrip()
    {
        const QByteArray old
            = "7|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|E|100|50|150|70|42";
        QVERIFY(writeAll(path(), old + '\n'));
        FakeClock clock(localTime("2025-03-01T18:04:09"));
        QList<GameSession::Statistics> stats;
        QList<Figures> figures;
        {
            SessionManager store(path(), nullptr, clock.clock());
            for (int i = 0; i < 2; ++i) {
                GameSession *s
                    = store.startNewSession(QStringLiteral("185.1.1.%1").arg(i), quint16(9000 + i));
                s->setNetworkType(i ? QStringLiteral("WI-FI") : QStringLiteral("evil|type\nline"));
                for (int p = 0; p < 10 * (i + 1); ++p)
                    s->addPing(p == 3 ? 999 : 40 + p * (i + 1) * 10);
                clock.advance(61'500 * (i + 1));
                store.endCurrentSession();
                stats.append(s->statistics());
                figures.append(fieldsOf(s->figures()));
            }
        }
        SessionManager(path(), nullptr, clock.clock()); // a second generation rewrites the file
        const QList<QByteArray> lines = readAll(path()).split('\n');
        QCOMPARE(lines.at(0), old + "||||");
        QCOMPARE(lines.at(2).split('|').mid(0, 12).join('|'),
            QByteArray(
                "9|185.1.1.1|9001|2025-03-01T18:05:10|2025-03-01T18:07:13|123000|WI-FI|274|40|999|15|20"));
        SessionManager reloaded(path(), nullptr, clock.clock());
        QCOMPARE(reloaded.sessions().size(), 3);
        QCOMPARE(reloaded.sessions().at(0)->stability(), 70);
        for (int i = 0; i < 2; ++i) {
            const GameSession *s = reloaded.sessions().at(i + 1);
            QCOMPARE(s->networkType(), i ? QStringLiteral("WI-FI") : QStringLiteral("evil type line"));
            QCOMPARE(s->durationMs(), 61'500 * (i + 1));
            QVERIFY(s->statistics() == stats.at(i));
            QCOMPARE(fieldsOf(s->figures()), figures.at(i));
        }
        QCOMPARE(reloaded.sessions().at(2)->startTime(), localTime("2025-03-01T18:05:10"));
    }

    void lifecycle()
    {
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        auto store = std::make_unique<SessionManager>(path(), nullptr, clock.clock());
        QSignalSpy ended(store.get(), &SessionManager::sessionEnded);
        GameSession *first = store->startNewSession(QStringLiteral("1.1.1.1"), 9001);
        store->flush(); // written at once, as a running session
        QCOMPARE(
            readAll(path()), QByteArray("1|1.1.1.1|9001|2025-03-01T18:00:00||0|Unknown|0|0|0|100|0||||\n"));
        clock.advance(5000);
        GameSession *second = store->startNewSession(QStringLiteral("2.2.2.2"), 9002);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).value<GameSession *>(), first);
        store->pauseCurrentSession();
        store->endCurrentSession(); // refused while paused
        QVERIFY(second->isActive());
        clock.advance(7000);
        QCOMPARE(store->totalPlayTime(), 5000); // the paused one counts its played time only
        store->resumeCurrentSession();
        clock.advance(1000);
        QCOMPARE(store->totalPlayTime(), 6000);
        store->endCurrentSession();
        // A session still running when the store goes is ended and written, without a signal.
        store->startNewSession(QStringLiteral("3.3.3.3"), 9003)->addPing(30);
        clock.advance(2000);
        store.reset();
        QCOMPARE(ended.size(), 2);
        QVERIFY(readAll(path()).endsWith("3|3.3.3.3|9003|2025-03-01T18:00:13|2025-03-01T18:00:15|2000|"
                                         "Unknown|30|30|30|100|1|0.0|0.0|30|30\n"));
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

    void unwritableFileKeepsMemory()
    {
        SessionManager store(m_dir->filePath(QStringLiteral("missing/dir/game_sessions.txt")));
        const QRegularExpression warning(QStringLiteral("Не удалось открыть файл для записи"));
        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(store.startNewSession(QStringLiteral("1.1.1.1"), 9001));
        store.flush(); // the background write reports the failure
        QCOMPARE(store.sessions().size(), 1);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(!store.saveSessions());
        QTest::ignoreMessage(QtWarningMsg, warning); // and the store's last save on the way out
    }

private:
    QString path() const { return m_dir->filePath(QStringLiteral("game_sessions.txt")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_records_sessions.moc"
