#include "releaseserver.h"

#include <QtTest>

namespace {

QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log.append(message);
    g_previousHandler(type, context, message);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the stand-in programs started in a folder wrote: "<tag> <argument count> <folder>".
QStringList launches(const QString &dir)
{
    return QString::fromUtf8(readFile(dir + QStringLiteral("/launches.log")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

// Check, download and installation end to end: the running program is ended, replaced, restarted.
class TestUpdaterInstall : public QObject
{
    Q_OBJECT

    QString m_binDir;
    PromptRecorder m_recorder;
    QString m_target;

    QString dummy(const char *tag) const
    {
        return m_binDir + QStringLiteral("/updater_dummy_") + QLatin1String(tag);
    }

    // The installed "old" stand-in, named for this run only (it is ended by name), and a
    // listing whose Linux asset is the given route.
    void prepare(QTemporaryDir &dir, ReleaseServer &server, const ReleaseServer::Route &asset)
    {
        QVERIFY(dir.isValid() && server.listen());
        m_target = dir.filePath(QStringLiteral("ktgt_%1").arg(QCoreApplication::applicationPid()));
        QVERIFY(QFile::copy(dummy("old"), m_target));
        server.setRoute(QStringLiteral("/releases"),
            {200,
                "[{\"tag_name\":\"v1.7.0\",\"body\":\"New\",\"assets\":["
                "{\"name\":\"KESTREL.exe\",\"browser_download_url\":\"https://example.invalid/win.exe\"},"
                "{\"name\":\"KESTREL-linux-x86_64\",\"browser_download_url\":\""
                    + server.url(QStringLiteral("/linux")).toUtf8() + "\"}]}]",
                false});
        server.setRoute(QStringLiteral("/linux"), asset);
        qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/releases")).toUtf8());
    }

private slots:
    void initTestCase()
    {
        m_binDir = qEnvironmentVariable("KESTREL_BIN_DIR");
        for (const char *tag : {"old", "new", "older"})
            QVERIFY2(QFile::exists(dummy(tag)), tag);
        UpdaterEngine::setHelperProgramForTest(m_binDir + QStringLiteral("/TORVAL_Updater"));
        g_previousHandler = qInstallMessageHandler(recordMessage);
    }

    void init()
    {
        g_log.clear();
        UpdaterEngine::setTimingsForTest(fastUpdaterTimings());
        m_recorder.install(true);
    }

    void cleanup()
    {
        UpdaterUi::setModalHookForTest({});
        UpdaterEngine::setCopyFunctionForTest({});
        UpdaterEngine::setTimingsForTest(UpdaterTimings());
        qunsetenv("TORVAL_RELEASES_URL");
    }

    void installation_data()
    {
        QTest::addColumn<int>("runningCopies");
        QTest::addColumn<bool>("oldBackup");
        QTest::addColumn<bool>("copyFails");
        QTest::newRow("one running copy replaced") << 1 << false << false;
        QTest::newRow("two running copies both ended") << 2 << false << false;
        QTest::newRow("old backup only warns") << 1 << true << false;
        QTest::newRow("copy fails: backup restored") << 1 << false << true;
    }

    void installation()
    {
        QFETCH(int, runningCopies);
        QFETCH(bool, oldBackup);
        QFETCH(bool, copyFails);

        QTemporaryDir dir;
        ReleaseServer server;
        const QByteArray newProgram = readFile(dummy("new"));
        prepare(dir, server, {200, newProgram, false});
        const QString backup = m_target + QStringLiteral(".backup");
        if (oldBackup)
            QVERIFY(QFile::copy(dummy("older"), backup));
        const QByteArray oldProgram = readFile(m_target);
        const QString download = dir.filePath(QStringLiteral("TORVAL_UPDATE_1.7.0"));
        {
            QFile stale(download); // a stale download of the same version is replaced, not reused
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("stale");
        }

        QProcess running[2];
        for (int i = 0; i < runningCopies; ++i) {
            running[i].setWorkingDirectory(dir.path());
            running[i].start(m_target, {QStringLiteral("--wait")});
            QVERIFY(running[i].waitForStarted());
        }
        QTRY_COMPARE_WITH_TIMEOUT(launches(dir.path()).size(), runningCopies, 10000);

        int copyAttempts = 0;
        if (copyFails) {
            UpdaterEngine::setCopyFunctionForTest(
                [&copyAttempts](const QString &, const QString &destination) {
                    ++copyAttempts;
                    QFile partial(destination); // a failed copy may leave a fragment behind
                    if (partial.open(QIODevice::WriteOnly))
                        partial.write("partial");
                    return false;
                });
        }

        UpdaterEngine engine({QStringLiteral("--app-path"), m_target, QStringLiteral("--silent")});
        QSignalSpy finished(&engine, &UpdaterEngine::installationFinished);
        engine.startSilentUpdateCheck();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.at(0).at(0).toBool(), !copyFails);
        for (int i = 0; i < runningCopies; ++i) {
            QTRY_COMPARE_WITH_TIMEOUT(running[i].state(), QProcess::NotRunning, 10000);
            QCOMPARE(running[i].exitStatus(), QProcess::CrashExit); // ended by a signal, not its own timer
        }

        // The program started afterwards: without arguments, in the program folder.
        QTRY_COMPARE_WITH_TIMEOUT(launches(dir.path()).size(), runningCopies + 1, 10000);
        QCOMPARE(launches(dir.path()).last(),
            QLatin1String(copyFails ? "old 0 " : "new 0 ") + QDir(dir.path()).canonicalPath());
        QVERIFY(QFileInfo(m_target).isExecutable());
        QCOMPARE(g_log.contains(QStringLiteral("Warning: Could not create backup")), oldBackup);
        const QString reminder = dir.filePath(QStringLiteral("create_desktop_shortcut.reminder"));
        if (!copyFails) {
            QCOMPARE(readFile(m_target), newProgram);
            QVERIFY(!QFile::exists(download));
            QVERIFY(!QFile::exists(backup));
            QCOMPARE(readFile(reminder), QByteArray("Please create desktop shortcut manually"));
        } else {
            QCOMPARE(copyAttempts, 5);
            QCOMPARE(readFile(m_target), oldProgram);
            QVERIFY(!QFile::exists(reminder));
            QCOMPARE(m_recorder.prompts.size(), 2);
            QCOMPARE(m_recorder.prompts.at(1).first, QStringLiteral("Ошибка установки"));
        }
    }

    void failedDownloadKeepsProgram_data()
    {
        QTest::addColumn<bool>("hang");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("empty file") << false
                                    << "Не удалось скачать обновление через PowerShell:\nFile is empty";
        QTest::newRow("stalled server") << true << "Не удалось запустить PowerShell для загрузки.";
    }

    void failedDownloadKeepsProgram()
    {
        QFETCH(bool, hang);
        QFETCH(QString, prompt);
        UpdaterTimings timings = fastUpdaterTimings();
        timings.downloadTimeoutMs = 2000;
        UpdaterEngine::setTimingsForTest(timings);

        QTemporaryDir dir;
        ReleaseServer server;
        prepare(dir, server, {200, {}, hang});
        const QByteArray oldProgram = readFile(m_target);
        UpdaterEngine engine({QStringLiteral("--app-path"), m_target});
        QSignalSpy finished(&engine, &UpdaterEngine::installationFinished);
        engine.startUpdateCheck();
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder.prompts.size(), 2, 15000);
        QCOMPARE(m_recorder.prompts.at(1).second, prompt);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(readFile(m_target), oldProgram);
        QVERIFY(launches(dir.path()).isEmpty());
    }
};

QTEST_MAIN(TestUpdaterInstall)
#include "tst_updaterinstall.moc"
