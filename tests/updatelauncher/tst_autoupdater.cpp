#include "core/processrunner.h"
#include "updatelauncher/autoupdater.h"
#include "updatelauncher/tlscheck.h"

#include <QtTest>

namespace {

QStringList g_start; // program, working folder, then the arguments of the last detached start
bool g_startSucceeds = true;

class RecordingRunner final : public ProcessRunner
{
public:
    ProcessResult run(const QString &, const QStringList &, int, const QByteArray &) override { return {}; }
    bool startDetached(const QString &program, const QStringList &args, const QString &folder) override
    {
        g_start = QStringList {program, folder} + args;
        return g_startSucceeds;
    }
};

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
    void cleanup() { TlsCheck::setResultForTest(std::nullopt); }

    void start_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("startWorks");
        QTest::addColumn<QString>("started"); // empty: nothing started
        QTest::addColumn<QString>("error"); // empty: updaterStarted
        QTest::addColumn<QString>("notice"); // start of the notice text; empty: a silent start
        const QStringList usual {exeName("TORVAL_Updater")};
        // clang-format off
        QTest::newRow("the usual name") << usual << true << true << usual.at(0) << "" << "";
        QTest::newRow("earlier candidate wins") << QStringList {exeName("TORVAL-Updater"), exeName("RF4_Updater")}
            << true << true << exeName("RF4_Updater") << "" << "Проверяем наличие обновлений...";
        QTest::newRow("no updater") << QStringList() << true << true << "" << "Updater not found"
            << "Обновлятор не найден в директории программы.";
        QTest::newRow("no TLS, silent") << usual << false << true << "" << "SSL libraries missing" << "";
        QTest::newRow("start fails") << usual << true << false << usual.at(0) << "Failed to start updater"
            << "Не удалось запустить обновлятор.";
        // clang-format on
    }

    void start()
    {
        QFETCH(QStringList, present);
        QFETCH(bool, tls);
        QFETCH(bool, startWorks);
        QFETCH(QString, started);
        QFETCH(QString, error);
        QFETCH(QString, notice);
        QTemporaryDir dir;
        for (const QString &name : present)
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        ProcessRunner::setFactory([] { return std::make_unique<RecordingRunner>(); });
        TlsCheck::setResultForTest(tls);
        g_startSucceeds = startWorks;
        g_start.clear();
        // The launcher's own working folder is elsewhere; the updater must get the program's.
        QVERIFY(QDir::setCurrent(QDir::tempPath()));

        const QString appExe = dir.filePath(exeName("KESTREL"));
        AutoUpdater updater(nullptr, appExe);
        QSignalSpy startedSpy(&updater, &AutoUpdater::updaterStarted);
        QSignalSpy available(&updater, &AutoUpdater::updateAvailable);
        QSignalSpy errors(&updater, &AutoUpdater::updateError);
        QSignalSpy notices(&updater, &AutoUpdater::noticeRequested);
        const bool silent = notice.isEmpty();
        updater.startExternalUpdater(silent);
        QCOMPARE(g_start,
            started.isEmpty() ? QStringList()
                              : QStringList({dir.filePath(started), dir.path(), QStringLiteral("--app-path"),
                                  appExe, QStringLiteral("--current-version"), QStringLiteral("1.6.3"),
                                  silent ? QStringLiteral("--silent") : QStringLiteral("--show-dialog")}));
        QCOMPARE(startedSpy.size(), error.isEmpty() ? 1 : 0);
        QCOMPARE(errors.size() ? errors.at(0).at(0).toString() : QString(), error);
        QCOMPARE(available.size(), 0); // a start is not an update
        QCOMPARE(notices.size(), silent ? 0 : 1);
        QVERIFY(silent || notices.at(0).at(2).toString().startsWith(notice));
    }

    void realTlsLibrariesPresent()
    {
        // The CI image installs OpenSSL 3 with Qt's network module.
        const QString dir = QCoreApplication::applicationDirPath();
        QVERIFY(TlsCheck::librariesAvailable(dir));
        QVERIFY(!TlsCheck::libraryAvailable(dir, QStringLiteral("libnotthere.so.3")));
    }
};

QTEST_GUILESS_MAIN(TestAutoUpdater)
#include "tst_autoupdater.moc"
