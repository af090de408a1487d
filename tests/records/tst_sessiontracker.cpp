#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "records/sessiontracker.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Found, moved, lost and ended connections, as the main window reports them.
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
                [](quint16 port) { return port == 9105 ? QStringLiteral("Озеро") : QString(); });
            tracker.serverFound(QStringLiteral("5.9.1.2"), 9105, true);
        }
    };

private slots:
    void moveKeepsTheSessionLossPausesItReturnStartsAnother()
    {
        Stores s;
        GameSession *first = s.tracker.runningSession();
        QCOMPARE(first->networkType(), QStringLiteral("ETHERNET"));
        QCOMPARE(s.history.currentSession().description, QStringLiteral("Озеро"));
        s.tracker.serverFound(QStringLiteral("5.9.1.2"), 9106, true);
        QCOMPARE(s.tracker.runningSession(), first);
        QCOMPARE(first->port(), quint16(9106));
        QCOMPARE(s.history.sessions().size(), 2);
        QCOMPARE(s.history.currentSession().description, QString());
        s.tracker.serverFound(QStringLiteral("5.9.1.3"), 9106, true); // same port: the visit is updated
        QCOMPARE(s.history.sessions().size(), 2);
        s.tracker.addPing(40);
        s.tracker.connectionLost();
        s.tracker.addPing(50); // nobody keeps it
        QVERIFY(first->isPaused() && first->pingCount() == 1);
        s.tracker.serverFound(QStringLiteral("5.9.1.3"), 9106, false);
        QCOMPARE(s.started.count(), 2);
        QCOMPARE(s.history.sessions().size(), 2); // same server after a loss: same visit
        // The paused session is closed rather than left open for good.
        QVERIFY(!first->isActive() && first->endTime().isValid());
        QCOMPARE(s.ended.count(), 1);
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
        if (lostFirst)
            s.tracker.connectionLost();
        s.tracker.endGameSession();
        s.tracker.endGameSession(); // nothing left to end
        QCOMPARE(s.ended.count(), 1);
        // On disk once flushed, as the exit needs before it ends the process.
        s.tracker.flushRecords();
        for (const QString &name :
            {QStringLiteral("game_sessions.txt"), QStringLiteral("port_history.txt")}) {
            QFile file(s.dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll().split('|').value(4).size(), 19); // the end time
        }
    }
};

QTEST_GUILESS_MAIN(TestSessionTracker)
#include "tst_sessiontracker.moc"
