#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "records/gamesession.h"
#include "records/sessionmanager.h"
#include "recordtesthelpers.h"

class TestSessions : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void statistics_data()
    {
        QTest::addColumn<QList<qint64>>("samples");
        QTest::addColumn<QList<qint64>>("avgMinMax");
        QTest::addColumn<int>("stability");
        QTest::addColumn<int>("quality");
        QTest::newRow("no samples") << QList<qint64> {} << QList<qint64> {0, 0, 0} << 100 << 0;
        QTest::newRow("99 is stable") << QList<qint64> {99} << QList<qint64> {99, 99, 99} << 100 << 2;
        QTest::newRow("100 is not") << QList<qint64> {100} << QList<qint64> {100, 100, 100} << 0 << 3;
        QTest::newRow("one of three stable")
            << QList<qint64> {50, 150, 999} << QList<qint64> {399, 50, 999} << 33 << 4;
        QTest::newRow("band 59") << QList<qint64> {59} << QList<qint64> {59, 59, 59} << 100 << 1;
        QTest::newRow("band 60") << QList<qint64> {60} << QList<qint64> {60, 60, 60} << 100 << 2;
        QTest::newRow("band 199") << QList<qint64> {199} << QList<qint64> {199, 199, 199} << 0 << 3;
        QTest::newRow("band 200") << QList<qint64> {200} << QList<qint64> {200, 200, 200} << 0 << 4;
    }

    void statistics()
    {
        QFETCH(QList<qint64>, samples);
        GameSession s;
        s.start(QStringLiteral("1.2.3.4"), 9000);
        for (qint64 p : samples)
            s.addPing(p);
        QTEST((QList<qint64> {s.averagePing(), s.minPing(), s.maxPing()}), "avgMinMax");
        QTEST(s.stability(), "stability");
        QTEST(s.qualityLevel(), "quality");
        QCOMPARE(s.pingCount(), qint64(samples.size()));
    }

    void keepsLastThousandSamples()
    {
        GameSession s;
        s.start(QStringLiteral("1.2.3.4"), 9000);
        for (qint64 i = 0; i <= 1000; ++i)
            s.addPing(i);
        QCOMPARE(s.pingSamples().size(), 1000);
        QCOMPARE(s.pingSamples().constFirst(), 1);
        QCOMPARE(s.minPing(), 1);
    }

    void pauseFreezesDuration()
    {
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        GameSession s(nullptr, clock.clock());
        s.start(QStringLiteral("1.2.3.4"), 9000);
        clock.advance(10'000);
        s.pause();
        clock.advance(3'600'000);
        s.pause(); // a second pause must not move the pause start
        clock.advance(5'000);
        QCOMPARE(s.duration(), 10'000);
        s.resume();
        clock.advance(3'000);
        QCOMPARE(s.duration(), 13'000);
        // Ending while paused leaves the open pause out.
        s.pause();
        clock.advance(40'000);
        s.end();
        clock.advance(50'000);
        QCOMPARE(s.durationMs(), 13'000);
        QVERIFY(!s.isActive() && !s.isPaused());
        QCOMPARE(s.endTime(), localTime("2025-03-01T19:00:58"));
    }

    void durationTexts_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("clockText");
        QTest::addColumn<QString>("wordsText");
        QTest::newRow("zero") << 0LL << QStringLiteral("00:00:00") << QStringLiteral("0 ч 0 м 0 с");
        QTest::newRow("1h 2m 5.999s")
            << 3'725'999LL << QStringLiteral("01:02:05") << QStringLiteral("1 ч 2 м 5 с");
        QTest::newRow("100 hours") << 360'000'000LL << QStringLiteral("100:00:00")
                                   << QStringLiteral("100 ч 0 м 0 с");
        QTest::newRow("clock set back")
            << -5'000LL << QStringLiteral("00:00:00") << QStringLiteral("0 ч 0 м 0 с");
    }

    void durationTexts()
    {
        QFETCH(qint64, ms);
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        GameSession s(nullptr, clock.clock());
        s.start(QString(), 0);
        clock.advance(ms);
        s.end();
        QTEST(s.durationString(), "clockText");
        QTEST(SessionManager::formatDuration(ms), "wordsText");
    }

    void loadLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<qint64>>("ids");
        QTest::addColumn<qint64>("nextId");
        QTest::addColumn<quint16>("firstPort");
        QTest::newRow("11 fields skipped")
            << QByteArray("1|1.2.3.4|9000|2025-03-01T18:00:00||0|WI-FI|0|0|0|100\n") << QList<qint64> {}
            << 1LL << quint16(0);
        QTest::newRow("13 fields loaded") << QByteArray(
            "4|1.2.3.4|9000|2025-03-01T18:00:00|2025-03-01T19:00:00|3600000|WI-FI|10|5|20|100|3|x\n")
                                          << QList<qint64> {4} << 5LL << quint16(9000);
        QTest::newRow("port 70000") << QByteArray("2|h|70000|||0|Unknown|0|0|0|100|0\n") << QList<qint64> {2}
                                    << 3LL << quint16(0);
        QTest::newRow("ids 3 9 5") << QByteArray(
            "3|a|9001|||0|U|0|0|0|100|0\n9|b|9002|||0|U|0|0|0|100|0\n5|c|9003|||0|U|0|0|0|100|0\n")
                                   << QList<qint64> {3, 9, 5} << 10LL << quint16(9001);
        QTest::newRow("blank lines, CRLF, bad id") << QByteArray("\r\n  \nx|a|9001|||0|U|0|0|0|100|0\r\n\n")
                                                   << QList<qint64> {0} << 1LL << quint16(9001);
    }

    void loadLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<qint64>, ids);
        QVERIFY(writeAll(path(), content));
        SessionManager store(path());
        QList<qint64> loaded;
        for (const GameSession *s : store.sessions()) {
            loaded.append(s->id());
            QVERIFY(!s->isActive());
        }
        QCOMPARE(loaded, ids);
        QTEST(store.nextId(), "nextId");
        if (!ids.isEmpty())
            QTEST(store.sessions().constFirst()->port(), "firstPort");
    }

    // Sessions written by this store come back equal, and a session loaded from an older
    // file keeps the statistics it was saved with through later rewrites.
    void roundTrip()
    {
        const QByteArray old
            = "7|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|ETHERNET|100|50|150|70|42\n";
        QVERIFY(writeAll(path(), old));
        FakeClock clock(localTime("2025-03-01T18:04:09"));
        QList<GameSession::Statistics> stats {};
        {
            SessionManager store(path(), nullptr, clock.clock());
            QCOMPARE(store.sessions().constFirst()->stability(), 70);
            for (int i = 0; i < 2; ++i) {
                GameSession *s
                    = store.startNewSession(QStringLiteral("185.1.1.%1").arg(i), quint16(9000 + i));
                s->setNetworkType(i ? QStringLiteral("WI-FI") : QStringLiteral("evil|type\nline"));
                for (int p = 0; p < 10 * (i + 1); ++p)
                    s->addPing(40 + p * (i + 1) * 30);
                clock.advance(61'500 * (i + 1));
                store.endCurrentSession();
                stats.append(s->statistics());
            }
        }
        SessionManager(path(), nullptr, clock.clock()); // a second generation rewrites the file
        QVERIFY(readAll(path()).startsWith(old));
        SessionManager reloaded(path(), nullptr, clock.clock());
        QCOMPARE(reloaded.sessions().size(), 3);
        QCOMPARE(reloaded.nextId(), 10);
        for (int i = 0; i < 2; ++i) {
            const GameSession *s = reloaded.sessions().at(i + 1);
            QCOMPARE(s->id(), i + 8);
            QCOMPARE(s->server(), QStringLiteral("185.1.1.%1").arg(i));
            QCOMPARE(s->port(), quint16(9000 + i));
            QCOMPARE(s->networkType(), i ? QStringLiteral("WI-FI") : QStringLiteral("evil type line"));
            QCOMPARE(s->durationMs(), 61'500 * (i + 1));
            QVERIFY(s->statistics() == stats.at(i));
            QCOMPARE(s->startTime().time().msec(), 0);
        }
        QCOMPARE(reloaded.sessions().at(2)->startTime(), localTime("2025-03-01T18:05:10"));
    }

    void lifecycle()
    {
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        auto store = std::make_unique<SessionManager>(path(), nullptr, clock.clock());
        QSignalSpy ended(store.get(), &SessionManager::sessionEnded);
        GameSession *first = store->startNewSession(QStringLiteral("1.1.1.1"), 9001);
        // Written at once, as a running session.
        QCOMPARE(readAll(path()), QByteArray("1|1.1.1.1|9001|2025-03-01T18:00:00||0|Unknown|0|0|0|100|0\n"));
        GameSession *second = store->startNewSession(QStringLiteral("2.2.2.2"), 9002);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).value<GameSession *>(), first);
        store->pauseCurrentSession();
        store->endCurrentSession(); // refused while paused
        QVERIFY(second->isActive());
        store->resumeCurrentSession();
        store->endCurrentSession();
        QCOMPARE(ended.size(), 2);
        // A session still running when the store goes is ended and written, without a signal.
        store->startNewSession(QStringLiteral("3.3.3.3"), 9003)->addPing(30);
        clock.advance(2000);
        store.reset();
        QCOMPARE(ended.size(), 2);
        QVERIFY(readAll(path()).endsWith(
            "3|3.3.3.3|9003|2025-03-01T18:00:00|2025-03-01T18:00:02|2000|Unknown|30|30|30|100|1\n"));
    }

    void unwritableFileKeepsMemory()
    {
        SessionManager store(m_dir->filePath(QStringLiteral("missing/dir/game_sessions.txt")));
        const QRegularExpression warning(QStringLiteral("Не удалось открыть файл для записи"));
        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(store.startNewSession(QStringLiteral("1.1.1.1"), 9001));
        QCOMPARE(store.sessions().size(), 1);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(!store.saveSessions());
    }

private:
    QString path() const { return m_dir->filePath(QStringLiteral("game_sessions.txt")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_records_sessions.moc"
