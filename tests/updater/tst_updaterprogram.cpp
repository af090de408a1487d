#include "platform/platform.h"
#include "releaseserver.h"

#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {

// A name that /etc/hosts maps to loopback without being a loopback name: an http address on it
// must be refused by name, and a regression would still only reach this machine.
QString loopbackAlias()
{
    static const QRegularExpression entry(
        QStringLiteral(R"(^127\.\S+\s+(?!localhost)(\S+))"), QRegularExpression::MultilineOption);
    return entry.match(QString::fromLatin1(readFile(QStringLiteral("/etc/hosts")))).captured(1);
}

} // namespace

// The real TORVAL_Updater program. Run to its end against a local release listing, it replaces
// a running stand-in of the main program; whatever goes wrong, the program that was there stays
// there, byte for byte, and runs. One updater runs per program folder and user session.
class TestUpdaterProgram : public QObject
{
    Q_OBJECT

    QString m_bin = qEnvironmentVariable("KESTREL_BIN_DIR");
    QList<QByteArray> m_launches; // "<tag> <pid>" of the stand-ins started in the program folder

    QString dummyPath(const char *tag) const
    {
        return m_bin + QStringLiteral("/updater_dummy_") + QLatin1String(tag);
    }
    QByteArray dummy(const char *tag) const { return readFile(dummyPath(tag)); }

    QTemporaryDir m_dirs[2];
    QTemporaryDir m_session; // another user session's runtime folder
    QProcess m_processes[5];

    // Starts the updater copy in m_dirs[dir] and waits for the awaited line in its log.
    bool start(int index, int dir, const QByteArray &awaited = "=== TORVAL UPDATER STARTED ===")
    {
        QProcess &process = m_processes[index];
        process.start(m_dirs[dir].filePath(QStringLiteral("TORVAL_Updater")), {QStringLiteral("--silent")});
        QByteArray log;
        return QTest::qWaitFor(
            [&] { return (log += process.readAllStandardError()).contains(awaited); }, 20000);
    }

private slots:
    void cleanup()
    {
        for (const QByteArray &launch : std::as_const(m_launches))
            ::kill(pid_t(launch.split(' ').value(1).toInt()), SIGKILL);
        m_launches.clear();
    }

    void update_data()
    {
        QTest::addColumn<QByteArray>("asset");
        QTest::addColumn<QString>("digest"); // as listed
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<bool>("installed");
        const QStringList both {QStringLiteral("/releases"), QStringLiteral("/asset")};
        const QStringList listing {QStringLiteral("/releases")};
        QByteArray foreign = dummy("new");
        QVERIFY(foreign.size() > 64);
        qToLittleEndian<quint16>(foreign.at(18) == 62 ? 183 : 62, foreign.data() + 18);
        const QString right = QStringLiteral("sha256:")
            + QString::fromLatin1(QCryptographicHash::hash(dummy("new"), QCryptographicHash::Sha256).toHex());
        const QString wrong = QStringLiteral("sha256:") + QString(64, u'0');
        const QString restarted = QStringLiteral("Программа будет запущена в исходном состоянии.");
        // clang-format off
        QTest::newRow("happy path, digest checked") << dummy("new") << right << "" << both
            << "=== INSTALLATION COMPLETE ===" << true;
        QTest::newRow("URL line in the notes ignored") << dummy("new") << "" << "evil notes" << both
            << "No digest listed for the release file: none was checked" << true;
        QTest::newRow("HTML page") << QByteArray("<!DOCTYPE html><html>Rate limited</html>") << "" << "" << both
            << "Загруженный файл не является программой для этой системы." << false;
        QTest::newRow("script") << QByteArray("#!/bin/sh\nexit 0\n") << "" << "" << both
            << "not an ELF file but a script" << false;
        QTest::newRow("ELF for another machine") << foreign << "" << "" << both << "ELF program for machine" << false;
        QTest::newRow("digest mismatch") << dummy("new") << wrong << "" << both
            << QStringLiteral("Указана: %1 Получена: %2").arg(wrong, right) << false;
        QTest::newRow("program folder read-only") << dummy("new") << "" << "read-only" << listing
            << "Нет права записи в папку программы" << false;
        QTest::newRow("new program ends at once") << dummy("quitter") << "" << "" << both << restarted << false;
        QTest::newRow("stale backup never restored") << dummy("quitter") << "" << "stale backup" << both
            << restarted << false;
        QTest::newRow("http download on a non-loopback name") << dummy("new") << "" << "http asset" << listing
            << "Refusing download URL" << false;
        QTest::newRow("http listing on a non-loopback name") << dummy("new") << "" << "http listing"
            << QStringList() << "адрес отклонён" << false;
        QTest::newRow("packaged install only tells") << dummy("new") << "" << "packaged" << listing
            << "Доступно обновление | Доступна новая версия 1.7.0 (установлена 1.6.3).  KESTREL установлен из пакета, "
               "поэтому обновлятор не заменяет его файлы. Обновите программу через менеджер пакетов системы." << false;
        // clang-format on
    }

    void update()
    {
        QFETCH(QByteArray, asset);
        QFETCH(QString, digest);
        QFETCH(QString, setup);
        QFETCH(QStringList, requests);
        QFETCH(QString, logged);
        QFETCH(bool, installed);
        const auto is = [&setup](const char *name) { return setup == QLatin1String(name); };
        const QString alias = loopbackAlias();
        if (setup.startsWith(QLatin1String("http")) && alias.isEmpty())
            QSKIP("no loopback alias in /etc/hosts");

        // <dir>/bin/KESTREL; a package install also has <dir>/share/kestrel/packaged.
        QTemporaryDir dir, elsewhere;
        ReleaseServer server;
        const QString bin = dir.filePath(QStringLiteral("bin")), target = bin + QStringLiteral("/KESTREL");
        QVERIFY(server.listen() && QDir().mkpath(bin)
            && QDir().mkpath(dir.filePath(QStringLiteral("share/kestrel"))));
        if (is("packaged"))
            QVERIFY(QFile(dir.filePath(QStringLiteral("share/kestrel/packaged"))).open(QIODevice::WriteOnly));
        QVERIFY(QFile::copy(dummyPath("old"), target)
            && QFile::copy(target, elsewhere.filePath(QStringLiteral("KESTREL"))));
        if (is("stale backup"))
            QVERIFY(QFile::copy(dummyPath("older"), target + QStringLiteral(".backup")));

        // The program, a copy of it in another folder and (as root) another user's run of it.
        QProcess running[3];
        running[0].setWorkingDirectory(bin);
        running[0].start(target, {});
        running[1].start(elsewhere.filePath(QStringLiteral("KESTREL")), {});
        if (::geteuid() == 0) {
            for (const QString &folder : {dir.path(), bin})
                QFile::setPermissions(
                    folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
            running[2].setChildProcessModifier(
                [] { [[maybe_unused]] int r = ::setgid(65534) + ::setuid(65534); });
            running[2].start(target, {});
        }
        for (QProcess &process : running)
            QVERIFY(process.program().isEmpty() || process.waitForStarted());
        QTRY_VERIFY(readFile(bin + QStringLiteral("/launches.log")).startsWith("old"));

        const QString local = server.url(QString());
        const QString named = QStringLiteral("http://%1:%2").arg(alias).arg(server.port());
        const QString notes = is("evil notes")
            ? QStringLiteral(R"(Fixes\nURL:%1/evil\nVERSION:9.9.9)").arg(local)
            : QStringLiteral("Fixes");
        const QString listed = digest.isEmpty() ? QString() : QStringLiteral(R"(,"digest":"%1")").arg(digest);
        server.setRoute(QStringLiteral("/releases"),
            {200,
                QStringLiteral(R"([{"tag_name":"v1.7.0","body":"%1","assets":[{"name":"KESTREL-linux",)"
                               R"("browser_download_url":"%2/asset"%3}]}])")
                    .arg(notes, is("http asset") ? named : local, listed)
                    .toUtf8()});
        server.setRoute(QStringLiteral("/asset"), {200, asset});
        server.setRoute(QStringLiteral("/evil"), {200, dummy("older")});

        qputenv("TORVAL_UPDATER_TEST_ANSWER", "update");
        qputenv("TORVAL_RELEASES_URL",
            ((is("http listing") ? named : local) + QStringLiteral("/releases")).toUtf8());
        QStringList command {m_bin + QStringLiteral("/TORVAL_Updater"), QStringLiteral("--app-path"), target,
            QStringLiteral("--current-version"), QStringLiteral("1.6.3"), QStringLiteral("--show-dialog")};
        // Root writes anywhere: for root the folder is mounted read-only.
        if (is("read-only") && ::geteuid() == 0)
            command = QStringList {QStringLiteral("unshare"), QStringLiteral("-m"), QStringLiteral("sh"),
                          QStringLiteral("-c"),
                          QStringLiteral("mount --bind -o ro \"$0\" \"$0\" && exec \"$@\""), bin}
                + command;
        else if (is("read-only"))
            QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner);
        QProcess updater;
        updater.start(command.takeFirst(), command);
        QTRY_COMPARE_WITH_TIMEOUT(updater.state(), QProcess::NotRunning, 30000);
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString log = QString::fromUtf8(updater.readAllStandardError());
        QVERIFY2(updater.exitCode() == 0 && log.contains(logged), qPrintable(log));
        QCOMPARE(server.requestedPaths(), requests);

        m_launches = readFile(bin + QStringLiteral("/launches.log")).trimmed().split('\n');
        const QList<QByteArray> last = m_launches.last().split(' ');
        QCOMPARE(readFile(target), installed ? asset : dummy("old"));
        QCOMPARE(last.value(0), installed ? QByteArray("new") : QByteArray("old"));
        QVERIFY(platform::processAlive(last.value(1).toUInt()));
        QCOMPARE(QDir(bin).entryList({QStringLiteral("*.backup"), QStringLiteral("TORVAL_UPDATE_*")}),
            QStringList());
        for (const QProcess *process : {&running[1], &running[2]}) // other folders and users are left alone
            QVERIFY(process->program().isEmpty() || process->state() == QProcess::Running);
    }

    void secondInstanceIsRefused()
    {
        for (const QTemporaryDir &dir : m_dirs)
            QVERIFY(QFile::copy(
                m_bin + QStringLiteral("/TORVAL_Updater"), dir.filePath(QStringLiteral("TORVAL_Updater"))));
        // A silent check that fails leaves the updater running until it is ended.
        qunsetenv("TORVAL_UPDATER_TEST_ANSWER");
        qputenv("TORVAL_RELEASES_URL", "http://127.0.0.1:9/releases");

        QVERIFY(start(0, 0));
        QVERIFY(start(1, 0, "Updater already running, exiting..."));
        QVERIFY(start(2, 1)); // another folder, another updater: not blocked
        const QByteArray session = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_session.path().toUtf8());
        QVERIFY(start(4, 0)); // nor another user session
        qputenv("XDG_RUNTIME_DIR", session);
        m_processes[0].kill(); // a crashed updater leaves no guard behind
        QVERIFY(m_processes[0].waitForFinished(5000));
        QVERIFY(start(3, 0));
        // Ended politely, an updater leaves through its event loop.
        for (QProcess *process : {&m_processes[2], &m_processes[3], &m_processes[4]}) {
            process->terminate();
            QVERIFY(process->waitForFinished(5000));
            QVERIFY(process->readAllStandardError().contains("=== UPDATER EXITED WITH CODE 0 ==="));
        }
    }
};

QTEST_GUILESS_MAIN(TestUpdaterProgram)
#include "tst_updaterprogram.moc"
