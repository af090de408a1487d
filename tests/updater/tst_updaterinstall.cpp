#include "releaseserver.h"
#include "updater/updaterengine.h"
#include "updater/updaterui.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

// Check, download and installation end to end: a running stand-in of the main
// program is ended, replaced by the downloaded file and started again.
class TestUpdaterInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void installation_data();
    void installation();
    void emptyDownloadIsRefused();
    void stalledDownloadIsKilled();

private:
    static QByteArray readFile(const QString &path);
    static QProgressBar *findProgressBar();
    QStringList launches(const QString &dir) const;

    QString m_binDir;
    QList<QPair<QString, QString>> m_prompts;
    QStringList m_log;
};

namespace {

QStringList *g_log = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (g_log)
        g_log->append(message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

UpdaterTimings fastTimings()
{
    UpdaterTimings t;
    t.checkNoticeMs = 10;
    t.quitNoUpdateSilentMs = 10;
    t.quitNoUpdateMs = 10;
    t.progressTickMs = 20;
    t.installAfterDownloadMs = 10;
    t.finalDialogMs = 10;
    t.sleepBeforeKillMs = 0;
    t.sleepAfterKillMs = 50;
    t.sleepAfterDeleteMs = 0;
    t.copyRetrySleepMs = 0;
    t.quitAfterInstallMs = 10;
    t.quitAfterFailureMs = 10;
    return t;
}

} // namespace

QByteArray TestUpdaterInstall::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList TestUpdaterInstall::launches(const QString &dir) const
{
    return QString::fromUtf8(readFile(dir + QStringLiteral("/launches.log")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestUpdaterInstall::initTestCase()
{
    m_binDir = qEnvironmentVariable("KESTREL_BIN_DIR");
    for (const char *name :
        {"TORVAL_Updater", "updater_dummy_old", "updater_dummy_new", "updater_dummy_older"})
        QVERIFY2(QFile::exists(m_binDir + QLatin1Char('/') + QLatin1String(name)), name);
    UpdaterEngine::setHelperProgramForTest(m_binDir + QStringLiteral("/TORVAL_Updater"));
    g_log = &m_log;
    g_previousHandler = qInstallMessageHandler(recordMessage);
}

void TestUpdaterInstall::init()
{
    m_prompts.clear();
    m_log.clear();
    UpdaterEngine::setTimingsForTest(fastTimings());
    UpdaterUi::setModalHookForTest([this](QDialog &dialog) {
        if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
            m_prompts.append({box->windowTitle(), box->text()});
            return int(QMessageBox::Ok);
        }
        m_prompts.append({dialog.windowTitle(), QString()});
        if (auto *update = dialog.findChild<QPushButton *>(QStringLiteral("updateButton")))
            update->click();
        return dialog.result();
    });
}

void TestUpdaterInstall::cleanup()
{
    UpdaterUi::setModalHookForTest({});
    UpdaterEngine::setCopyFunctionForTest({});
    UpdaterEngine::setTimingsForTest(UpdaterTimings());
    qunsetenv("TORVAL_RELEASES_URL");
}

void TestUpdaterInstall::installation_data()
{
    QTest::addColumn<int>("runningCopies");
    QTest::addColumn<bool>("oldBackup");
    QTest::addColumn<bool>("copyFails");
    QTest::addColumn<QString>("restarted"); // tag of the program started afterwards

    QTest::newRow("one running copy replaced") << 1 << false << false << "new";
    QTest::newRow("two running copies both ended") << 2 << false << false << "new";
    QTest::newRow("not running") << 0 << false << false << "new";
    QTest::newRow("old backup only warns") << 1 << true << false << "new";
    QTest::newRow("copy fails: fresh backup restored") << 1 << false << true << "old";
    QTest::newRow("copy fails: older backup restored") << 1 << true << true << "older";
}

void TestUpdaterInstall::installation()
{
    QFETCH(int, runningCopies);
    QFETCH(bool, oldBackup);
    QFETCH(bool, copyFails);
    QFETCH(QString, restarted);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A name of this run only, so that ending it by name touches nothing else.
    const QString target = dir.filePath(QStringLiteral("ktgt_%1").arg(QCoreApplication::applicationPid()));
    const QString backup = target + QStringLiteral(".backup");
    QVERIFY(QFile::copy(m_binDir + QStringLiteral("/updater_dummy_old"), target));
    if (oldBackup)
        QVERIFY(QFile::copy(m_binDir + QStringLiteral("/updater_dummy_older"), backup));
    const QByteArray oldProgram = readFile(target);
    const QByteArray newProgram = readFile(m_binDir + QStringLiteral("/updater_dummy_new"));
    const QByteArray olderProgram = readFile(m_binDir + QStringLiteral("/updater_dummy_older"));
    QVERIFY(!newProgram.isEmpty() && newProgram != oldProgram);

    ReleaseServer server;
    QVERIFY(server.listen());
    server.setRoute(QStringLiteral("/releases"),
        {200,
            "[{\"tag_name\":\"v1.7.0\",\"body\":\"New\",\"assets\":["
            "{\"name\":\"KESTREL.exe\",\"browser_download_url\":\""
                + server.url(QStringLiteral("/win.exe")).toUtf8()
                + "\"},{\"name\":\"KESTREL-linux-x86_64\",\"browser_download_url\":\""
                + server.url(QStringLiteral("/linux")).toUtf8() + "\"}]}]",
            false});
    server.setRoute(QStringLiteral("/linux"), {200, newProgram, false});
    qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/releases")).toUtf8());

    // A stale download of the same version is replaced, not reused.
    const QString download = dir.filePath(QStringLiteral("TORVAL_UPDATE_1.7.0"));
    {
        QFile stale(download);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("stale");
    }

    std::vector<std::unique_ptr<QProcess>> running;
    for (int i = 0; i < runningCopies; ++i) {
        running.push_back(std::make_unique<QProcess>());
        running.back()->setWorkingDirectory(dir.path());
        running.back()->start(target, {QStringLiteral("--wait")});
        QVERIFY(running.back()->waitForStarted());
    }
    QTRY_COMPARE_WITH_TIMEOUT(launches(dir.path()).size(), runningCopies, 10000);

    int copyAttempts = 0;
    if (copyFails) {
        UpdaterEngine::setCopyFunctionForTest([&copyAttempts](const QString &, const QString &destination) {
            ++copyAttempts;
            QFile partial(destination); // a failed copy may leave a fragment behind
            if (partial.open(QIODevice::WriteOnly))
                partial.write("partial");
            return false;
        });
    }

    UpdaterEngine engine(QStringList {QStringLiteral("--app-path"), target,
        QStringLiteral("--current-version"), QStringLiteral("1.6.3"), QStringLiteral("--silent")});
    QSignalSpy finished(&engine, &UpdaterEngine::installationFinished);
    QSignalSpy quit(&engine, &UpdaterEngine::quitRequested);
    engine.startSilentUpdateCheck();
    QVERIFY(finished.wait(30000));
    QTRY_COMPARE_WITH_TIMEOUT(quit.size(), 1, 5000);
    QCOMPARE(finished.at(0).at(0).toBool(), !copyFails);
    QCOMPARE(server.requestedPaths(), QStringList({QStringLiteral("/releases"), QStringLiteral("/linux")}));

    for (const auto &process : running) {
        QTRY_COMPARE_WITH_TIMEOUT(process->state(), QProcess::NotRunning, 10000);
        QCOMPARE(process->exitStatus(), QProcess::CrashExit); // ended by a signal, not by its own timer
    }

    // The program started afterwards: without arguments, in the program folder.
    const QString expectedLaunch = restarted + QStringLiteral(" 0 ") + QDir(dir.path()).canonicalPath();
    QTRY_COMPARE_WITH_TIMEOUT(launches(dir.path()).size(), runningCopies + 1, 10000);
    QCOMPARE(launches(dir.path()).last(), expectedLaunch);
    QVERIFY(QFileInfo(target).isExecutable());

    QCOMPARE(m_log.contains(QStringLiteral("Warning: Could not create backup")), oldBackup);
    if (!copyFails) {
        QCOMPARE(readFile(target), newProgram);
        QVERIFY(!QFile::exists(download));
        QVERIFY(!QFile::exists(backup));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("create_desktop_shortcut.reminder"))),
            QByteArray("Please create desktop shortcut manually"));
        QCOMPARE(m_prompts.size(), 1); // the update dialog only
    } else {
        QCOMPARE(copyAttempts, 5);
        QCOMPARE(readFile(target), oldBackup ? olderProgram : oldProgram);
        QVERIFY(QFile::exists(backup));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("create_desktop_shortcut.reminder"))));
        QCOMPARE(m_prompts.size(), 2);
        QCOMPARE(m_prompts.at(1).first, QStringLiteral("Ошибка установки"));
        QCOMPARE(m_prompts.at(1).second,
            QStringLiteral(
                "Не удалось установить обновление:\nНе удалось скопировать файл обновления после 5 "
                "попыток\n\nПрограмма будет запущена в исходном состоянии."));
    }
}

void TestUpdaterInstall::emptyDownloadIsRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target
        = dir.filePath(QStringLiteral("ktgt_empty_%1").arg(QCoreApplication::applicationPid()));
    QVERIFY(QFile::copy(m_binDir + QStringLiteral("/updater_dummy_old"), target));
    const QByteArray oldProgram = readFile(target);

    ReleaseServer server;
    QVERIFY(server.listen());
    server.setRoute(QStringLiteral("/releases"),
        {200,
            "[{\"tag_name\":\"1.7.0\",\"assets\":[{\"name\":\"KESTREL-linux\",\"browser_download_url\":\""
                + server.url(QStringLiteral("/empty")).toUtf8() + "\"}]}]",
            false});
    server.setRoute(QStringLiteral("/empty"), {200, QByteArray(), false});
    qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/releases")).toUtf8());

    UpdaterEngine engine(QStringList {
        QStringLiteral("--app-path"), target, QStringLiteral("--current-version"), QStringLiteral("1.6.3")});
    QSignalSpy finished(&engine, &UpdaterEngine::installationFinished);
    engine.startUpdateCheck();
    QTRY_COMPARE_WITH_TIMEOUT(m_prompts.size(), 2, 15000);
    QCOMPARE(m_prompts.at(1).first, QStringLiteral("Ошибка"));
    QCOMPARE(m_prompts.at(1).second,
        QStringLiteral("Не удалось скачать обновление через PowerShell:\nFile is empty"));
    QVERIFY(m_log.contains(QStringLiteral("PowerShell download error: File is empty")));
    QCOMPARE(finished.size(), 0);
    QCOMPARE(readFile(target), oldProgram);
    QVERIFY(launches(dir.path()).isEmpty());
}

void TestUpdaterInstall::stalledDownloadIsKilled()
{
    UpdaterTimings timings = fastTimings();
    // Slow enough ticks that the bar is watched before it reaches 90.
    timings.progressTickMs = 40;
    timings.downloadTimeoutMs = 2000;
    UpdaterEngine::setTimingsForTest(timings);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target
        = dir.filePath(QStringLiteral("ktgt_stall_%1").arg(QCoreApplication::applicationPid()));
    QVERIFY(QFile::copy(m_binDir + QStringLiteral("/updater_dummy_old"), target));
    const QByteArray oldProgram = readFile(target);

    ReleaseServer server;
    QVERIFY(server.listen());
    server.setRoute(QStringLiteral("/releases"),
        {200,
            "[{\"tag_name\":\"1.7.0\",\"assets\":[{\"name\":\"KESTREL-linux\",\"browser_download_url\":\""
                + server.url(QStringLiteral("/stalled")).toUtf8() + "\"}]}]",
            false});
    server.setRoute(QStringLiteral("/stalled"), {200, {}, true});
    qputenv("TORVAL_RELEASES_URL", server.url(QStringLiteral("/releases")).toUtf8());

    UpdaterEngine engine(QStringList {
        QStringLiteral("--app-path"), target, QStringLiteral("--current-version"), QStringLiteral("1.6.3")});
    QSignalSpy finished(&engine, &UpdaterEngine::installationFinished);
    QSignalSpy quit(&engine, &UpdaterEngine::quitRequested);
    engine.startUpdateCheck();

    // The bar climbs in steps of 5 and waits at 90 while nothing arrives.
    QPointer<QProgressBar> bar;
    QTRY_VERIFY_WITH_TIMEOUT((bar = findProgressBar()) != nullptr, 10000);
    QList<int> values;
    connect(bar, &QProgressBar::valueChanged, this, [&values](int value) { values << value; });
    QTRY_COMPARE_WITH_TIMEOUT(m_prompts.size(), 2, 15000);
    QVERIFY2(!values.isEmpty() && values.last() == 90,
        qPrintable(QString::number(values.value(values.size() - 1))));
    QVERIFY(*std::max_element(values.begin(), values.end()) <= 90);
    for (int value : values)
        QCOMPARE(value % 5, 0);

    QCOMPARE(m_prompts.at(1).first, QStringLiteral("Ошибка"));
    QCOMPARE(m_prompts.at(1).second, QStringLiteral("Не удалось запустить PowerShell для загрузки."));
    QVERIFY(m_log.contains(QStringLiteral("PowerShell download timeout after 2 minutes")));
    QTRY_VERIFY_WITH_TIMEOUT(findProgressBar() == nullptr, 5000); // the window is gone
    QCOMPARE(finished.size(), 0);
    QCOMPARE(quit.size(), 0); // the five-minute guard ends the program
    QCOMPARE(readFile(target), oldProgram);
}

QProgressBar *TestUpdaterInstall::findProgressBar()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            if (auto *bar = widget->findChild<QProgressBar *>())
                return bar;
        }
    }
    return nullptr;
}

QTEST_MAIN(TestUpdaterInstall)
#include "tst_updaterinstall.moc"
