#include "releaseserver.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The TORVAL_Updater program itself: start-up, single-instance guard and exit.
class TestUpdaterProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void silentCheckWithoutUpdateEnds();
    void secondInstanceIsRefused();
    void helperDownloadReportsErrors();

private:
    QString installCopy(const QTemporaryDir &dir) const;
    std::unique_ptr<QProcess> start(const QString &program, const QStringList &arguments);
    static bool waitForLog(QProcess &process, QByteArray &log, const QByteArray &line);

    QString m_binDir;
    ReleaseServer m_server;
};

void TestUpdaterProgram::initTestCase()
{
    m_binDir = qEnvironmentVariable("KESTREL_BIN_DIR");
    QVERIFY(QFile::exists(m_binDir + QStringLiteral("/TORVAL_Updater")));
    QVERIFY(m_server.listen());
    m_server.setRoute(QStringLiteral("/hang"), {200, {}, true});
    m_server.setRoute(QStringLiteral("/current"),
        {200,
            R"([{"tag_name":"v1.6.3","body":"","assets":[{"name":"KESTREL-linux","browser_download_url":"https://example.invalid/k"}]}])",
            false});
}

QString TestUpdaterProgram::installCopy(const QTemporaryDir &dir) const
{
    const QString path = dir.filePath(QStringLiteral("TORVAL_Updater"));
    if (!QFile::copy(m_binDir + QStringLiteral("/TORVAL_Updater"), path))
        return QString();
    return path;
}

std::unique_ptr<QProcess> TestUpdaterProgram::start(const QString &program, const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->start(program, arguments);
    return process;
}

bool TestUpdaterProgram::waitForLog(QProcess &process, QByteArray &log, const QByteArray &line)
{
    return QTest::qWaitFor(
               [&]() {
                   log += process.readAllStandardError();
                   return log.contains(line) || process.state() == QProcess::NotRunning;
               },
               15000)
        && log.contains(line);
}

void TestUpdaterProgram::silentCheckWithoutUpdateEnds()
{
    QTemporaryDir dir;
    const QString updater = installCopy(dir);
    QVERIFY(!updater.isEmpty());
    qputenv("TORVAL_RELEASES_URL", m_server.url(QStringLiteral("/current")).toUtf8());
    auto process = start(
        updater, {QStringLiteral("--current-version"), QStringLiteral("1.6.3"), QStringLiteral("--silent")});
    qunsetenv("TORVAL_RELEASES_URL");
    // The event loop must run: the check asks this test's server.
    QVERIFY(QTest::qWaitFor([&]() { return process->state() == QProcess::NotRunning; }, 20000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    const QByteArray log = process->readAllStandardError();
    QVERIFY2(log.contains("No update needed"), log.constData());
    QVERIFY2(log.contains("=== UPDATER EXITED WITH CODE 0 ==="), log.constData());
}

void TestUpdaterProgram::secondInstanceIsRefused()
{
    QTemporaryDir dirA;
    QTemporaryDir dirB;
    const QString updaterA = installCopy(dirA);
    const QString updaterB = installCopy(dirB);
    QVERIFY(!updaterA.isEmpty() && !updaterB.isEmpty());
    // The check hangs, so a started updater stays until it is ended.
    qputenv("TORVAL_RELEASES_URL", m_server.url(QStringLiteral("/hang")).toUtf8());
    const QStringList silent {QStringLiteral("--silent")};

    QByteArray firstLog;
    auto first = start(updaterA, silent);
    QVERIFY2(waitForLog(*first, firstLog, "=== TORVAL UPDATER STARTED ==="), firstLog.constData());

    auto second = start(updaterA, silent);
    QVERIFY(second->waitForFinished(15000));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(second->readAllStandardError().contains("Updater already running, exiting..."));

    // Another folder, another updater: not blocked.
    QByteArray otherLog;
    auto other = start(updaterB, silent);
    QVERIFY2(waitForLog(*other, otherLog, "=== TORVAL UPDATER STARTED ==="), otherLog.constData());

    // A crashed updater leaves no guard behind.
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    QByteArray thirdLog;
    auto third = start(updaterA, silent);
    QVERIFY2(waitForLog(*third, thirdLog, "=== TORVAL UPDATER STARTED ==="), thirdLog.constData());

    qunsetenv("TORVAL_RELEASES_URL");
    // Ended politely, an updater leaves through its event loop and frees its guard.
    for (QProcess *process : {other.get(), third.get()}) {
        process->terminate();
        QVERIFY(process->waitForFinished(5000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QVERIFY(process->readAllStandardError().contains("=== UPDATER EXITED WITH CODE 0 ==="));
    }
}

void TestUpdaterProgram::helperDownloadReportsErrors()
{
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("TORVAL_UPDATE_1.7.0"));
    auto missing = start(m_binDir + QStringLiteral("/TORVAL_Updater"),
        {QStringLiteral("--helper-download"), m_server.url(QStringLiteral("/nothing")), output});
    QVERIFY(QTest::qWaitFor([&]() { return missing->state() == QProcess::NotRunning; }, 15000));
    QCOMPARE(missing->exitCode(), 1);
    QVERIFY(missing->readAllStandardOutput().startsWith("ERROR:"));
    QVERIFY(!QFile::exists(output)); // no half-written file is left for the installer
}

QTEST_GUILESS_MAIN(TestUpdaterProgram)
#include "tst_updaterprogram.moc"
