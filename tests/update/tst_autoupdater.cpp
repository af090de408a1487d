#include "app/processrunner.h"
#include "update/autoupdater.h"
#include "update/tlscheck.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct DetachedStart
{
    QString program;
    QStringList arguments;
    QString workingDirectory;
};

QList<DetachedStart> g_starts;
bool g_startSucceeds = true;

class RecordingRunner final : public ProcessRunner
{
public:
    ProcessResult run(const QString &, const QStringList &, int, const QByteArray &) override { return {}; }
    bool startDetached(
        const QString &program, const QStringList &args, const QString &workingDirectory) override
    {
        g_starts.append({program, args, workingDirectory});
        return g_startSucceeds;
    }
};

QStringList *g_log = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (g_log)
        g_log->append(message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QString exeName(const char *base)
{
#ifdef Q_OS_WIN
    return QString::fromLatin1(base) + QStringLiteral(".exe");
#else
    return QString::fromLatin1(base);
#endif
}

} // namespace

// What the launcher starts, with which command line and folder, and what it reports.
class TestAutoUpdater : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void findsUpdater_data();
    void findsUpdater();
    void failures_data();
    void failures();
    void interactiveStartNotifiesBeforeSignal();
    void realTlsLibrariesPresent();

private:
    QStringList m_log;
};

void TestAutoUpdater::initTestCase()
{
    ProcessRunner::setFactory([]() { return std::make_unique<RecordingRunner>(); });
    g_log = &m_log;
    g_previousHandler = qInstallMessageHandler(recordMessage);
}

void TestAutoUpdater::init()
{
    g_starts.clear();
    g_startSucceeds = true;
    m_log.clear();
    TlsCheck::setResultForTest(true);
}

void TestAutoUpdater::cleanup()
{
    TlsCheck::setResultForTest(std::nullopt);
}

void TestAutoUpdater::findsUpdater_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("started");
    QTest::addColumn<bool>("firstMissLogged");

    QTest::newRow("the usual name") << QStringList {exeName("TORVAL_Updater")} << exeName("TORVAL_Updater")
                                    << false;
    QTest::newRow("only Updater, after the first miss")
        << QStringList {exeName("Updater")} << exeName("Updater") << true;
    QTest::newRow("first of two") << QStringList {exeName("TORVAL-Updater"), exeName("TORVAL_Updater")}
                                  << exeName("TORVAL_Updater") << false;
    QTest::newRow("last candidate") << QStringList {exeName("TORVAL-Updater")} << exeName("TORVAL-Updater")
                                    << true;
    QTest::newRow("earlier candidate wins")
        << QStringList {exeName("TORVAL-Updater"), exeName("RF4_Updater")} << exeName("RF4_Updater") << true;
}

void TestAutoUpdater::findsUpdater()
{
    QFETCH(QStringList, present);
    QFETCH(QString, started);
    QFETCH(bool, firstMissLogged);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : present) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString appExe = dir.filePath(exeName("KESTREL"));
    // The launcher's own working folder is elsewhere; the updater must get the program's.
    QVERIFY(QDir::setCurrent(QDir::tempPath()));

    AutoUpdater updater(nullptr, appExe);
    QSignalSpy startedSpy(&updater, &AutoUpdater::updaterStarted);
    QSignalSpy available(&updater, &AutoUpdater::updateAvailable);
    QSignalSpy errors(&updater, &AutoUpdater::updateError);
    QSignalSpy notices(&updater, &AutoUpdater::noticeRequested);
    updater.startExternalUpdater(true);

    QCOMPARE(g_starts.size(), 1);
    QCOMPARE(QFileInfo(g_starts.at(0).program).fileName(), started);
    QCOMPARE(QFileInfo(g_starts.at(0).program).absolutePath(), QFileInfo(appExe).absolutePath());
    QCOMPARE(g_starts.at(0).workingDirectory, QFileInfo(appExe).absolutePath());
    QCOMPARE(g_starts.at(0).arguments,
        QStringList({QStringLiteral("--app-path"), appExe, QStringLiteral("--current-version"),
            QStringLiteral("1.6.3"), QStringLiteral("--silent")}));
    QCOMPARE(startedSpy.size(), 1);
    QCOMPARE(available.size(), 0); // a start is not an update
    QCOMPARE(errors.size(), 0);
    QCOMPARE(notices.size(), 0);
    QCOMPARE(
        m_log.contains(QStringLiteral("Updater not found at: ") + dir.filePath(exeName("TORVAL_Updater"))),
        firstMissLogged);
}

void TestAutoUpdater::failures_data()
{
    QTest::addColumn<bool>("updaterPresent");
    QTest::addColumn<bool>("tlsPresent");
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("noticeKind");
    QTest::addColumn<QString>("noticeTitle");
    QTest::addColumn<QString>("noticeText");

    const int critical = int(AutoUpdater::NoticeKind::Critical);
    const int warning = int(AutoUpdater::NoticeKind::Warning);
    QTest::newRow("no updater, silent") << false << true << true << true << "Updater not found" << -1 << ""
                                        << "";
    QTest::newRow("no updater") << false << true << true << false << "Updater not found" << critical
                                << "Ошибка"
                                << "Обновлятор не найден в директории программы.";
    QTest::newRow("no TLS, silent") << true << false << true << true << "SSL libraries missing" << -1 << ""
                                    << "";
    QTest::newRow("no TLS") << true << false << true << false << "SSL libraries missing" << warning
                            << "Отсутствуют библиотеки"
                            << "Для работы обновлятора необходимы библиотеки:\n• ";
    QTest::newRow("start fails, silent")
        << true << true << false << true << "Failed to start updater" << -1 << ""
        << "";
    QTest::newRow("start fails") << true << true << false << false << "Failed to start updater" << critical
                                 << "Ошибка"
                                 << "Не удалось запустить обновлятор.";
}

void TestAutoUpdater::failures()
{
    QFETCH(bool, updaterPresent);
    QFETCH(bool, tlsPresent);
    QFETCH(bool, startWorks);
    QFETCH(bool, silent);
    QFETCH(QString, error);
    QFETCH(int, noticeKind);
    QFETCH(QString, noticeTitle);
    QFETCH(QString, noticeText);

    QTemporaryDir dir;
    if (updaterPresent) {
        QFile file(dir.filePath(exeName("TORVAL_Updater")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    TlsCheck::setResultForTest(tlsPresent);
    g_startSucceeds = startWorks;

    AutoUpdater updater(nullptr, dir.filePath(exeName("KESTREL")));
    QSignalSpy errors(&updater, &AutoUpdater::updateError);
    QSignalSpy startedSpy(&updater, &AutoUpdater::updaterStarted);
    QSignalSpy notices(&updater, &AutoUpdater::noticeRequested);
    updater.startExternalUpdater(silent);

    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), error);
    QCOMPARE(startedSpy.size(), 0);
    QCOMPARE(g_starts.size(), updaterPresent && tlsPresent ? 1 : 0);
    if (noticeKind < 0) {
        QCOMPARE(notices.size(), 0);
    } else {
        QCOMPARE(notices.size(), 1);
        QCOMPARE(int(notices.at(0).at(0).value<AutoUpdater::NoticeKind>()), noticeKind);
        QCOMPARE(notices.at(0).at(1).toString(), noticeTitle);
        QVERIFY2(notices.at(0).at(2).toString().startsWith(noticeText),
            qPrintable(notices.at(0).at(2).toString()));
    }
}

void TestAutoUpdater::interactiveStartNotifiesBeforeSignal()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(exeName("TORVAL_Updater")));
    QVERIFY(file.open(QIODevice::WriteOnly));

    AutoUpdater updater(nullptr, dir.filePath(exeName("KESTREL")));
    QStringList order;
    connect(&updater, &AutoUpdater::noticeRequested, this,
        [&order](AutoUpdater::NoticeKind, const QString &title, const QString &) { order << title; });
    connect(&updater, &AutoUpdater::updaterStarted, this, [&order]() { order << QStringLiteral("started"); });
    updater.startExternalUpdater(false);

    QCOMPARE(order, QStringList({QStringLiteral("Обновлятор запущен"), QStringLiteral("started")}));
    QCOMPARE(g_starts.at(0).arguments.last(), QStringLiteral("--show-dialog"));
    QVERIFY(!updater.lastStartSilent());
}

void TestAutoUpdater::realTlsLibrariesPresent()
{
    TlsCheck::setResultForTest(std::nullopt);
#ifdef Q_OS_WIN
    QSKIP("The libraries are looked for in the program folder on Windows");
#else
    // The CI image installs OpenSSL 3 with Qt's network module.
    QVERIFY(TlsCheck::librariesAvailable(QCoreApplication::applicationDirPath()));
    QVERIFY(!TlsCheck::libraryAvailable(
        QCoreApplication::applicationDirPath(), QStringLiteral("libnotthere.so.3")));
#endif
}

QTEST_GUILESS_MAIN(TestAutoUpdater)
#include "tst_autoupdater.moc"
