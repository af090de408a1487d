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
    void init();

    void statistics_data();
    void statistics();
    void keepsLastThousandSamples();
    void pauseFreezesDuration();
    void endWhilePausedExcludesOpenPause();
    void durationTexts_data();
    void durationTexts();

    void loadLines_data();
    void loadLines();
    void absentFileStartsAtOne();
    void loadedStatisticsSurviveSave();
    void roundTrip();
    void textFieldsCannotBreakTheLine();

    void startEndsRunningSession();
    void startLeavesPausedSessionPaused();
    void pauseAndResumeSignals();
    void aggregates();
    void unwritableFileKeepsMemory();
    void destructionEndsAndWrites();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("game_sessions.txt")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSessions::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSessions::statistics_data()
{
    QTest::addColumn<QList<qint64>>("samples");
    QTest::addColumn<qint64>("average");
    QTest::addColumn<qint64>("minimum");
    QTest::addColumn<qint64>("maximum");
    QTest::addColumn<int>("stability");
    QTest::addColumn<int>("quality");

    QTest::newRow("no samples") << QList<qint64>{} << 0LL << 0LL << 0LL << 100 << 0;
    QTest::newRow("99 is stable") << QList<qint64>{99} << 99LL << 99LL << 99LL << 100 << 2;
    QTest::newRow("100 is not") << QList<qint64>{100} << 100LL << 100LL << 100LL << 0 << 3;
    QTest::newRow("truncated mean and percent") << QList<qint64>{10, 20, 31} << 20LL << 10LL << 31LL << 100 << 0;
    QTest::newRow("one of three stable") << QList<qint64>{50, 150, 999} << 399LL << 50LL << 999LL << 33 << 4;
    QTest::newRow("band 30") << QList<qint64>{30} << 30LL << 30LL << 30LL << 100 << 1;
    QTest::newRow("band 59") << QList<qint64>{59} << 59LL << 59LL << 59LL << 100 << 1;
    QTest::newRow("band 60") << QList<qint64>{60} << 60LL << 60LL << 60LL << 100 << 2;
    QTest::newRow("band 199") << QList<qint64>{199} << 199LL << 199LL << 199LL << 0 << 3;
    QTest::newRow("band 200") << QList<qint64>{200} << 200LL << 200LL << 200LL << 0 << 4;
}

void TestSessions::statistics()
{
    QFETCH(QList<qint64>, samples);
    GameSession s;
    s.start(QStringLiteral("1.2.3.4"), 9000);
    for (qint64 p : samples)
        s.addPing(p);
    QTEST(s.averagePing(), "average");
    QTEST(s.minPing(), "minimum");
    QTEST(s.maxPing(), "maximum");
    QTEST(s.stability(), "stability");
    QTEST(s.qualityLevel(), "quality");
    QCOMPARE(s.pingCount(), qint64(samples.size()));
}

void TestSessions::keepsLastThousandSamples()
{
    GameSession s;
    s.start(QStringLiteral("1.2.3.4"), 9000);
    for (qint64 i = 0; i <= GameSession::kMaxSamples; ++i)
        s.addPing(i);
    QCOMPARE(s.pingSamples().size(), 1000);
    QCOMPARE(s.pingSamples().constFirst(), 1);
    QCOMPARE(s.pingSamples().constLast(), 1000);
    QCOMPARE(s.minPing(), 1);
}

void TestSessions::pauseFreezesDuration()
{
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    GameSession s(nullptr, clock.clock());
    s.start(QStringLiteral("1.2.3.4"), 9000);
    clock.advance(10'000);
    s.pause();
    QCOMPARE(s.duration(), 10'000);
    clock.advance(3'600'000);
    QCOMPARE(s.duration(), 10'000);
    s.pause();  // a second pause must not move the pause start
    clock.advance(5'000);
    s.resume();
    QCOMPARE(s.duration(), 10'000);
    clock.advance(3'000);
    QCOMPARE(s.duration(), 13'000);
    s.end();
    clock.advance(50'000);
    QCOMPARE(s.duration(), 13'000);
    QCOMPARE(s.durationMs(), 13'000);
    QCOMPARE(s.endTime(), localTime("2025-03-01T19:00:18"));
}

void TestSessions::endWhilePausedExcludesOpenPause()
{
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    GameSession s(nullptr, clock.clock());
    s.start(QStringLiteral("1.2.3.4"), 9000);
    clock.advance(20'000);
    s.pause();
    clock.advance(40'000);
    s.end();
    QCOMPARE(s.durationMs(), 20'000);
    QVERIFY(!s.isActive());
    QVERIFY(!s.isPaused());
}

void TestSessions::durationTexts_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("clockText");
    QTest::addColumn<QString>("wordsText");
    QTest::newRow("zero") << 0LL << QStringLiteral("00:00:00") << QStringLiteral("0 ч 0 м 0 с");
    QTest::newRow("1h 2m 5s") << 3'725'000LL << QStringLiteral("01:02:05") << QStringLiteral("1 ч 2 м 5 с");
    QTest::newRow("just under a minute") << 59'999LL << QStringLiteral("00:00:59") << QStringLiteral("0 ч 0 м 59 с");
    QTest::newRow("100 hours") << 360'000'000LL << QStringLiteral("100:00:00") << QStringLiteral("100 ч 0 м 0 с");
    QTest::newRow("clock set back") << -5'000LL << QStringLiteral("00:00:00") << QStringLiteral("0 ч 0 м 0 с");
}

void TestSessions::durationTexts()
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

void TestSessions::loadLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<qint64>("nextId");
    QTest::addColumn<quint16>("firstPort");

    QTest::newRow("11 fields skipped") << QByteArray("1|1.2.3.4|9000|2025-03-01T18:00:00||0|WI-FI|0|0|0|100\n")
                                       << QList<qint64>{} << 1LL << quint16(0);
    QTest::newRow("13 fields loaded")
        << QByteArray("4|1.2.3.4|9000|2025-03-01T18:00:00|2025-03-01T19:00:00|3600000|WI-FI|10|5|20|100|3|x\n")
        << QList<qint64>{4} << 5LL << quint16(9000);
    QTest::newRow("port 70000") << QByteArray("2|h|70000|||0|Unknown|0|0|0|100|0\n") << QList<qint64>{2} << 3LL
                                << quint16(0);
    QTest::newRow("ids 3 9 5")
        << QByteArray("3|a|9001|||0|U|0|0|0|100|0\n9|b|9002|||0|U|0|0|0|100|0\n5|c|9003|||0|U|0|0|0|100|0\n")
        << QList<qint64>{3, 9, 5} << 10LL << quint16(9001);
    QTest::newRow("blank lines, CRLF and a bad id")
        << QByteArray("\r\n  \nx|a|9001|||0|U|0|0|0|100|0\r\n\n") << QList<qint64>{0} << 1LL << quint16(9001);
}

void TestSessions::loadLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<qint64>, ids);
    QVERIFY(writeAll(path(), content));
    SessionManager store(path());
    QList<qint64> loaded;
    for (const GameSession *s : store.sessions()) {
        loaded.append(s->id());
        QVERIFY(!s->isActive());
        QVERIFY(s->pingSamples().isEmpty());
    }
    QCOMPARE(loaded, ids);
    QTEST(store.nextId(), "nextId");
    if (!ids.isEmpty())
        QTEST(store.sessions().constFirst()->port(), "firstPort");
}

void TestSessions::absentFileStartsAtOne()
{
    SessionManager store(path());
    QVERIFY(store.sessions().isEmpty());
    QCOMPARE(store.nextId(), 1);
    QVERIFY(!QFile::exists(path()));
    QCOMPARE(store.startNewSession(QStringLiteral("1.2.3.4"), 9000)->id(), 1);
}

void TestSessions::loadedStatisticsSurviveSave()
{
    const QByteArray old = "7|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|ETHERNET|100|50|150|70|42\n";
    QVERIFY(writeAll(path(), old));
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    {
        SessionManager store(path(), nullptr, clock.clock());
        const GameSession *loaded = store.sessions().constFirst();
        QCOMPARE(loaded->averagePing(), 100);
        QCOMPARE(loaded->stability(), 70);
        QCOMPARE(loaded->pingCount(), 42);
        QCOMPARE(store.averagePingAllSessions(), 100);
        GameSession *s = store.startNewSession(QStringLiteral("1.2.3.4"), 9000);
        s->addPing(20);
        clock.advance(1000);
        store.endCurrentSession();
        QVERIFY(readAll(path()).startsWith(old));
    }
    // And again through a second generation of the store.
    { SessionManager store(path(), nullptr, clock.clock()); }
    const QByteArray after = readAll(path());
    QVERIFY2(after.startsWith(old), after.constData());
    QVERIFY(after.endsWith("|Unknown|20|20|20|100|1\n"));
}

void TestSessions::roundTrip()
{
    FakeClock clock(localTime("2025-03-01T18:04:09"));
    QList<GameSession::Statistics> stats;
    QList<qint64> durations;
    QList<QDateTime> starts, ends;
    const auto toSeconds = [](const QDateTime &t) { return t.addMSecs(-t.time().msec()); };
    {
        SessionManager store(path(), nullptr, clock.clock());
        for (int i = 0; i < 3; ++i) {
            GameSession *s = store.startNewSession(QStringLiteral("185.1.1.%1").arg(i), quint16(9000 + i));
            s->setNetworkType(i % 2 ? QStringLiteral("WI-FI") : QStringLiteral("ETHERNET"));
            for (int p = 0; p < 10 * (i + 1); ++p)
                s->addPing(40 + p * (i + 1) * 3);
            clock.advance(61'500 * (i + 1));
            store.endCurrentSession();
            stats.append(s->statistics());
            durations.append(s->durationMs());
            starts.append(toSeconds(s->startTime()));
            ends.append(toSeconds(s->endTime()));
        }
    }
    SessionManager reloaded(path(), nullptr, clock.clock());
    QCOMPARE(reloaded.sessions().size(), 3);
    QCOMPARE(reloaded.nextId(), 4);
    for (int i = 0; i < 3; ++i) {
        const GameSession *s = reloaded.sessions().at(i);
        QCOMPARE(s->id(), i + 1);
        QCOMPARE(s->server(), QStringLiteral("185.1.1.%1").arg(i));
        QCOMPARE(s->port(), quint16(9000 + i));
        QCOMPARE(s->networkType(), i % 2 ? QStringLiteral("WI-FI") : QStringLiteral("ETHERNET"));
        QCOMPARE(s->durationMs(), durations.at(i));
        QVERIFY(s->statistics() == stats.at(i));
        QCOMPARE(s->startTime(), starts.at(i));
        QCOMPARE(s->endTime(), ends.at(i));
    }
}

void TestSessions::textFieldsCannotBreakTheLine()
{
    {
        SessionManager store(path());
        GameSession *s = store.startNewSession(QStringLiteral("evil|host\nname"), 9000);
        s->setNetworkType(QStringLiteral("WI|FI"));
        store.updateSession(s);
    }
    SessionManager reloaded(path());
    QCOMPARE(reloaded.sessions().size(), 1);
    QCOMPARE(reloaded.sessions().constFirst()->server(), QStringLiteral("evil host name"));
    QCOMPARE(reloaded.sessions().constFirst()->port(), quint16(9000));
    QCOMPARE(reloaded.sessions().constFirst()->networkType(), QStringLiteral("WI FI"));
}

void TestSessions::startEndsRunningSession()
{
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    SessionManager store(path(), nullptr, clock.clock());
    QSignalSpy started(&store, &SessionManager::sessionStarted);
    QSignalSpy ended(&store, &SessionManager::sessionEnded);
    GameSession *first = store.startNewSession(QStringLiteral("1.1.1.1"), 9001);
    // Written at once, as a running session.
    QCOMPARE(readAll(path()), QByteArray("1|1.1.1.1|9001|2025-03-01T18:00:00||0|Unknown|0|0|0|100|0\n"));
    clock.advance(5000);
    GameSession *second = store.startNewSession(QStringLiteral("2.2.2.2"), 9002);
    QCOMPARE(started.size(), 2);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).at(0).value<GameSession *>(), first);
    QVERIFY(!first->isActive());
    QCOMPARE(store.currentSession(), second);
    store.endCurrentSession();
    QCOMPARE(ended.size(), 2);
    QCOMPARE(store.currentSession(), second);  // still points at the ended record
    store.endCurrentSession();
    QCOMPARE(ended.size(), 2);
}

void TestSessions::startLeavesPausedSessionPaused()
{
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    SessionManager store(path(), nullptr, clock.clock());
    QSignalSpy ended(&store, &SessionManager::sessionEnded);
    GameSession *first = store.startNewSession(QStringLiteral("1.1.1.1"), 9001);
    clock.advance(7000);
    first->pause();
    clock.advance(1000);
    store.startNewSession(QStringLiteral("1.1.1.1"), 9001);
    clock.advance(1000);
    store.endCurrentSession();
    QCOMPARE(ended.size(), 1);
    QVERIFY(first->isActive());
    QVERIFY(first->isPaused());
    const QList<QByteArray> lines = readAll(path()).split('\n');
    QCOMPARE(lines.at(0), QByteArray("1|1.1.1.1|9001|2025-03-01T18:00:00||7000|Unknown|0|0|0|100|0"));
}

void TestSessions::pauseAndResumeSignals()
{
    SessionManager store(path());
    QSignalSpy paused(&store, &SessionManager::sessionPaused);
    QSignalSpy resumed(&store, &SessionManager::sessionResumed);
    store.pauseCurrentSession();
    store.resumeCurrentSession();
    QCOMPARE(paused.size() + resumed.size(), 0);
    GameSession *s = store.startNewSession(QStringLiteral("1.1.1.1"), 9001);
    store.resumeCurrentSession();
    QCOMPARE(resumed.size(), 0);
    store.pauseCurrentSession();
    store.pauseCurrentSession();
    QCOMPARE(paused.size(), 1);
    store.endCurrentSession();  // refused while paused
    QVERIFY(s->isActive());
    store.resumeCurrentSession();
    QCOMPARE(resumed.size(), 1);
    QVERIFY(!s->isPaused());
}

void TestSessions::aggregates()
{
    QVERIFY(writeAll(path(), "1|a|9001|||1000|U|40|10|80|95|3\n"
                             "2|b|9002|||2000|U|0|0|0|100|0\n"
                             "3|c|9003|||3000|U|61|20|200|95|5\n"));
    SessionManager store(path());
    QCOMPARE(store.totalPlayTime(), 6000);
    QCOMPARE(store.averagePingAllSessions(), 50);  // (40 + 61) / 2, the empty one left out
    QCOMPARE(store.bestSessionId(), 2);
    SessionManager empty(m_dir->filePath(QStringLiteral("none.txt")));
    QCOMPARE(empty.bestSessionId(), -1);
    QCOMPARE(empty.averagePingAllSessions(), 0);
}

void TestSessions::unwritableFileKeepsMemory()
{
    const QString bad = m_dir->filePath(QStringLiteral("missing/dir/game_sessions.txt"));
    SessionManager store(bad);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для записи")));
    GameSession *s = store.startNewSession(QStringLiteral("1.1.1.1"), 9001);
    QVERIFY(s);
    QCOMPARE(store.sessions().size(), 1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Не удалось открыть файл для записи")));
    QVERIFY(!store.saveSessions());
}

void TestSessions::destructionEndsAndWrites()
{
    FakeClock clock(localTime("2025-03-01T18:00:00"));
    auto store = std::make_unique<SessionManager>(path(), nullptr, clock.clock());
    QSignalSpy ended(store.get(), &SessionManager::sessionEnded);
    store->startNewSession(QStringLiteral("1.1.1.1"), 9001)->addPing(30);
    clock.advance(2000);
    store.reset();
    QCOMPARE(ended.size(), 0);
    QCOMPARE(readAll(path()), QByteArray("1|1.1.1.1|9001|2025-03-01T18:00:00|2025-03-01T18:00:02|2000|Unknown|30|30|30|100|1\n"));
}

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_records_sessions.moc"
