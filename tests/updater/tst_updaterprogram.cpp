#include "releaseserver.h"

#include <QtTest>

// The TORVAL_Updater program's single-instance guard: one updater per program folder.
class TestUpdaterProgram : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dirs[2];
    QProcess m_processes[4];

    // Starts the updater copy in m_dirs[dir], spinning the event loop: it asks this test's server.
    bool start(int index, int dir, const QByteArray &awaited = "=== TORVAL UPDATER STARTED ===")
    {
        QProcess &process = m_processes[index];
        process.start(m_dirs[dir].filePath(QStringLiteral("TORVAL_Updater")), {QStringLiteral("--silent")});
        QByteArray log;
        return QTest::qWaitFor(
            [&] { return (log += process.readAllStandardError()).contains(awaited); }, 20000);
    }

private slots:
    void secondInstanceIsRefused()
    {
        const QString updater = qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/TORVAL_Updater");
        for (const QTemporaryDir &dir : m_dirs)
            QVERIFY(QFile::copy(updater, dir.filePath(QStringLiteral("TORVAL_Updater"))));
        // The check hangs, so a started updater stays until it is ended.
        ReleaseServer server;
        QVERIFY(server.listen());
        server.setRoute(QStringLiteral("/hang"), {200, {}, true});
        qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/hang")).toUtf8());

        QVERIFY(start(0, 0));
        QVERIFY(start(1, 0, "Updater already running, exiting..."));
        QVERIFY(start(2, 1)); // another folder, another updater: not blocked
        m_processes[0].kill(); // a crashed updater leaves no guard behind
        QVERIFY(m_processes[0].waitForFinished(5000));
        QVERIFY(start(3, 0));
        // Ended politely, an updater leaves through its event loop.
        for (QProcess *process : {&m_processes[2], &m_processes[3]}) {
            process->terminate();
            QVERIFY(process->waitForFinished(5000));
            QVERIFY(process->readAllStandardError().contains("=== UPDATER EXITED WITH CODE 0 ==="));
        }
        qunsetenv("TORVAL_RELEASES_URL");
    }
};

QTEST_GUILESS_MAIN(TestUpdaterProgram)
#include "tst_updaterprogram.moc"
