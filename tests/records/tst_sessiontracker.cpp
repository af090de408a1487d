#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "records/sessiontracker.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSessionTracker : public QObject
{
    Q_OBJECT

    struct Stores
    {
        QTemporaryDir dir;
        SessionManager sessions {dir.filePath(QStringLiteral("game_sessions.txt"))};
        PortHistory history {dir.filePath(QStringLiteral("port_history.txt"))};
        SessionTracker tracker {&sessions, &history};
        QSignalSpy started {&tracker, &SessionTracker::gameSessionStarted};
        QSignalSpy ended {&sessions, &SessionManager::sessionEnded};

        Stores()
        {
            tracker.setNetworkTypeProvider([] { return QStringLiteral("ETHERNET"); });
            tracker.setDescriptionLookup(
                [](quint16 port) { return port == 9105 ? QStringLiteral("Озеро | ночь") : QString(); });
        }
    };

private slots:
    void foundServerStartsSessionAndVisit()
    {
        Stores s;
        s.tracker.serverFound(QStringLiteral("5.9.1.2"), 9105, true);

        QCOMPARE(s.started.count(), 1);
        GameSession *session = s.tracker.runningSession();
        QVERIFY(session);
        QCOMPARE(session->networkType(), QStringLiteral("ETHERNET"));
        QCOMPARE(session->server(), QStringLiteral("5.9.1.2"));
        QVERIFY(s.history.hasActiveSession());
        QCOMPARE(s.history.currentSession().port, quint16(9105));
        QCOMPARE(s.history.currentSession().description, QStringLiteral("Озеро | ночь"));

        s.tracker.addPing(42);
        QCOMPARE(session->pingCount(), 1);
    }

    void portChangeMovesTheVisitButKeepsTheSession()
    {
        Stores s;
        s.tracker.serverFound(QStringLiteral("5.9.1.2"), 9105, true);
        GameSession *session = s.tracker.runningSession();
        s.tracker.serverFound(QStringLiteral("5.9.1.2"), 9106, true);

        QCOMPARE(s.started.count(), 1);
        QCOMPARE(s.tracker.runningSession(), session);
        QCOMPARE(session->port(), quint16(9106));
        QCOMPARE(s.history.sessions().size(), 2);
        QVERIFY(!s.history.sessions().first().endTime.isNull());
        QCOMPARE(s.history.currentSession().port, quint16(9106));
        QCOMPARE(s.history.currentSession().description, QString());

        // Same port on another address: the open visit is updated, not replaced.
        s.tracker.serverFound(QStringLiteral("5.9.1.3"), 9106, true);
        QCOMPARE(s.history.sessions().size(), 2);
        QCOMPARE(s.history.currentSession().server, QStringLiteral("5.9.1.3"));
    }

    void lossPausesAndReturnStartsANewSession()
    {
        Stores s;
        s.tracker.serverFound(QStringLiteral("5.9.1.2"), 9105, true);
        GameSession *first = s.tracker.runningSession();
        s.tracker.connectionLost();
        QVERIFY(first->isPaused());
        QVERIFY(!s.tracker.runningSession());
        s.tracker.addPing(50); // nobody keeps it
        QCOMPARE(first->pingCount(), 0);

        s.tracker.serverFound(QStringLiteral("5.9.1.2"), 9105, false);
        QCOMPARE(s.started.count(), 2);
        QVERIFY(s.tracker.runningSession() != first);
        QCOMPARE(s.history.sessions().size(), 1); // same server after a loss: same visit

        // The paused session is closed rather than left open for good.
        QVERIFY(!first->isActive());
        QVERIFY(first->endTime().isValid());
        QCOMPARE(s.ended.count(), 1);
        SessionManager reloaded(s.dir.filePath(QStringLiteral("game_sessions.txt")));
        QCOMPARE(reloaded.sessions().size(), 2);
        QVERIFY(reloaded.sessions().first()->endTime().isValid());
    }

    void gameEndEndsSessionAndVisit_data()
    {
        QTest::addColumn<bool>("lostFirst");
        QTest::newRow("running session") << false;
        QTest::newRow("session paused by a lost connection") << true;
    }

    void gameEndEndsSessionAndVisit()
    {
        QFETCH(bool, lostFirst);
        Stores s;
        s.tracker.serverFound(QStringLiteral("5.9.1.2"), 9105, true);
        GameSession *session = s.tracker.runningSession();
        if (lostFirst)
            s.tracker.connectionLost();
        s.tracker.endGameSession();

        QVERIFY(!session->isActive());
        QVERIFY(!session->isPaused());
        QVERIFY(session->endTime().isValid());
        QCOMPARE(s.ended.count(), 1);
        QVERIFY(!s.history.hasActiveSession());

        // Written to the file with its end time.
        SessionManager reloaded(s.dir.filePath(QStringLiteral("game_sessions.txt")));
        QCOMPARE(reloaded.sessions().size(), 1);
        QVERIFY(reloaded.sessions().first()->endTime().isValid());

        s.tracker.endGameSession(); // nothing left to end
        QCOMPARE(s.ended.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSessionTracker)
#include "tst_sessiontracker.moc"
