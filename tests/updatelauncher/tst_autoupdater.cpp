#include "core/processrunner.h"
#include "updatelauncher/autoupdater.h"
#include "updatelauncher/tlscheck.h"

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

QString exeName(const char *base)
{
#ifdef Q_OS_WIN
    return QString::fromLatin1(base) + QStringLiteral(".exe");
#else
    return QString::fromLatin1(base);
#endif
}

void createFiles(const QTemporaryDir &dir, const QStringList &names)
{
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
}

} // namespace

// What the launcher starts, with which command line and folder, and what it reports.
class TestAutoUpdater : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        ProcessRunner::setFactory([] { return std::make_unique<RecordingRunner>(); });
        g_starts.clear();
        g_startSucceeds = true;
        TlsCheck::setResultForTest(true);
    }

    void cleanup() { TlsCheck::setResultForTest(std::nullopt); }

    void findsUpdater_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("started");
        QTest::newRow("the usual name")
            << QStringList {exeName("TORVAL_Updater")} << exeName("TORVAL_Updater");
        QTest::newRow("only Updater, after the first miss")
            << QStringList {exeName("Updater")} << exeName("Updater");
        QTest::newRow("earlier candidate wins")
            << QStringList {exeName("TORVAL-Updater"), exeName("RF4_Updater")} << exeName("RF4_Updater");
    }

    void findsUpdater()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, started);
        QTemporaryDir dir;
        createFiles(dir, present);
        const QString appExe = dir.filePath(exeName("KESTREL"));
        // The launcher's own working folder is elsewhere; the updater must get the program's.
        QVERIFY(QDir::setCurrent(QDir::tempPath()));

        AutoUpdater updater(nullptr, appExe);
        QSignalSpy startedSpy(&updater, &AutoUpdater::updaterStarted);
        QSignalSpy available(&updater, &AutoUpdater::updateAvailable);
        QSignalSpy errors(&updater, &AutoUpdater::updateError);
        updater.startExternalUpdater(true);
        QCOMPARE(g_starts.size(), 1);
        QCOMPARE(g_starts.at(0).program, dir.filePath(started));
        QCOMPARE(g_starts.at(0).workingDirectory, dir.path());
        QCOMPARE(g_starts.at(0).arguments,
            QStringList({QStringLiteral("--app-path"), appExe, QStringLiteral("--current-version"),
                QStringLiteral("1.6.3"), QStringLiteral("--silent")}));
        QCOMPARE(startedSpy.size(), 1);
        QCOMPARE(available.size() + errors.size(), 0); // a start is not an update
    }

    void failures_data()
    {
        QTest::addColumn<bool>("updaterPresent");
        QTest::addColumn<bool>("tlsPresent");
        QTest::addColumn<bool>("startWorks");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("noticeText"); // its start; empty: a silent start, no notice
        // clang-format off
        QTest::newRow("no updater") << false << true << true << "Updater not found"
            << "Обновлятор не найден в директории программы.";
        QTest::newRow("no TLS, silent") << true << false << true << "SSL libraries missing" << "";
        QTest::newRow("no TLS") << true << false << true << "SSL libraries missing"
            << "Для работы обновлятора необходимы библиотеки:\n• ";
        QTest::newRow("start fails") << true << true << false << "Failed to start updater"
            << "Не удалось запустить обновлятор.";
        // clang-format on
    }

    void failures()
    {
        QFETCH(bool, updaterPresent);
        QFETCH(bool, tlsPresent);
        QFETCH(bool, startWorks);
        QFETCH(QString, error);
        QFETCH(QString, noticeText);
        QTemporaryDir dir;
        if (updaterPresent)
            createFiles(dir, {exeName("TORVAL_Updater")});
        TlsCheck::setResultForTest(tlsPresent);
        g_startSucceeds = startWorks;

        AutoUpdater updater(nullptr, dir.filePath(exeName("KESTREL")));
        QSignalSpy errors(&updater, &AutoUpdater::updateError);
        QSignalSpy startedSpy(&updater, &AutoUpdater::updaterStarted);
        QSignalSpy notices(&updater, &AutoUpdater::noticeRequested);
        updater.startExternalUpdater(noticeText.isEmpty());
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), error);
        QCOMPARE(startedSpy.size(), 0);
        QCOMPARE(g_starts.size(), updaterPresent && tlsPresent ? 1 : 0);
        QCOMPARE(notices.size(), noticeText.isEmpty() ? 0 : 1);
        if (!noticeText.isEmpty())
            QVERIFY2(notices.at(0).at(2).toString().startsWith(noticeText),
                qPrintable(notices.at(0).at(2).toString()));
    }

    void realTlsLibrariesPresent()
    {
        TlsCheck::setResultForTest(std::nullopt);
        // The CI image installs OpenSSL 3 with Qt's network module.
        const QString dir = QCoreApplication::applicationDirPath();
        QVERIFY(TlsCheck::librariesAvailable(dir));
        QVERIFY(!TlsCheck::libraryAvailable(dir, QStringLiteral("libnotthere.so.3")));
    }
};

QTEST_GUILESS_MAIN(TestAutoUpdater)
#include "tst_autoupdater.moc"
