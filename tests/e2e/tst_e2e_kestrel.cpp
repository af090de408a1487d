// The real KESTREL binary, offscreen, in its own program folder and profile, next to
// the fake game: what the player would see in the log and what lands in the records.

#include "tools/toolprocess.h"

#include <QtTest>

#include <algorithm>
#include <csignal>
#include <functional>
#include <unistd.h>

namespace {

const QString kServer = QStringLiteral("127.0.0.5");

// The program writes its records right after it logs what it found: wait for them.
QStringList waitForRecords(const QString &path, const std::function<bool(const QStringList &)> &ready)
{
    QStringList lines;
    (void)QTest::qWaitFor(
        [&] {
            QFile file(path);
            lines = file.open(QIODevice::ReadOnly)
                ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                : QStringList();
            return ready(lines);
        },
        5000);
    return lines;
}

// Every line has its end time (field 4).
bool allClosed(const QStringList &lines)
{
    return !lines.isEmpty() && std::all_of(lines.begin(), lines.end(), [](const QString &line) {
        return !line.split(QLatin1Char('|')).value(4).isEmpty();
    });
}

} // namespace

class TestE2eKestrel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_programDir;
    QString m_home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), m_home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home + QStringLiteral("/run"));
        // Nothing answers here, even when run outside CTest: the web services fail quietly.
        env.insert(QStringLiteral("KESTREL_SERVICE_URL"), QStringLiteral("http://127.0.0.1:9/"));
        env.insert(QStringLiteral("KESTREL_GEO_URL"), QStringLiteral("http://127.0.0.1:9"));
        env.insert(QStringLiteral("KESTREL_TEST_AUTOCLOSE_MS"), QStringLiteral("300"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.*=false"));
        return env;
    }

    QString kestrel() const { return m_programDir + QStringLiteral("/KESTREL"); }
    QString sessionsFile() const { return m_programDir + QStringLiteral("/game_sessions.txt"); }
    QString historyFile() const { return m_programDir + QStringLiteral("/port_history.txt"); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        // Other users (the non-elevated start) must reach the program and its profile.
        QFile::setPermissions(m_root.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther
                | QFile::ReadGroup | QFile::ExeGroup);
        m_programDir = m_root.filePath(QStringLiteral("program"));
        m_home = m_root.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(m_programDir) && QDir().mkpath(m_home + QStringLiteral("/run")));
        QVERIFY(QFile::copy(ToolProcess::binPath(QStringLiteral("KESTREL")), kestrel()));

        QSettings settings(m_home + QStringLiteral("/.config/TORVAL/KESTREL.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("safetyAccepted"), true);
        settings.setValue(QStringLiteral("chatUserName"), QStringLiteral("E2E"));
        settings.setValue(QStringLiteral("miniOverlayEnabled"), false);
        // A favourite on the fake server's first port: its description goes into the visit line.
        settings.beginWriteArray(QStringLiteral("FavoritePorts"));
        settings.setArrayIndex(0);
        settings.setValue(QStringLiteral("port"), 9505);
        settings.setValue(QStringLiteral("description"), QStringLiteral("Озеро | ночь"));
        settings.setValue(QStringLiteral("addedDate"), QDateTime::currentDateTime());
        settings.setValue(QStringLiteral("status"), 1);
        settings.endArray();
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
    }

    void discoversRecordsAndGuards()
    {
        ToolProcess server(QStringLiteral("fake_game_server"),
            {kServer + QStringLiteral(":9505"), kServer + QStringLiteral(":9506")});
        QVERIFY(!server.waitForLine("READY").isEmpty());
        ToolProcess game(QStringLiteral("rf4_x64.exe"), {kServer, QStringLiteral("9505")});
        QVERIFY(!game.waitForLine("CONNECTED").isEmpty());

        ToolProcess app;
        QVERIFY(app.start(kestrel(), {}, environment(), true));
        QVERIFY(!app.waitForLine("[STARTUP] Main window shown", 15000).isEmpty());
        QVERIFY2(!app.waitForLine("[MONITOR] Game server 127.0.0.5:9505", 6000).isEmpty(),
            app.allOutput().constData());

        // The session and the port visit are on disk at once, still open.
        QStringList sessions
            = waitForRecords(sessionsFile(), [](const QStringList &l) { return !l.isEmpty(); });
        QCOMPARE(sessions.size(), 1);
        const QStringList fields = sessions.first().split(QLatin1Char('|'));
        QCOMPARE(fields.size(), 16); // the twelve fields, then loss, jitter, median and p95
        QCOMPARE(fields.mid(1, 2), (QStringList {kServer, QStringLiteral("9505")}));
        QVERIFY(!fields.at(3).isEmpty() && fields.at(4).isEmpty());
        QStringList visits = waitForRecords(historyFile(), [](const QStringList &l) { return !l.isEmpty(); });
        QCOMPARE(visits.size(), 1);
        QVERIFY2(visits.first().contains(QStringLiteral("|9505|")), qPrintable(visits.first()));
        QVERIFY2(visits.first().endsWith(QStringLiteral("|Озеро | ночь")), qPrintable(visits.first()));

        // A second start is refused and leaves the first alone.
        ToolProcess second;
        QVERIFY(second.start(kestrel(), {}, environment(), true));
        QVERIFY(second.waitForExit(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(second.allOutput().contains("Приложение уже запущено"), second.allOutput().constData());
        QCOMPARE(app.process()->state(), QProcess::Running);

        // The game moves to another port: the visit is closed and a new one opened.
        game.send("move 9506");
        QVERIFY(!game.waitForLine("CONNECTED").isEmpty());
        QVERIFY(!app.waitForLine("[MONITOR] Game server 127.0.0.5:9506", 6000).isEmpty());
        visits = waitForRecords(historyFile(), [](const QStringList &l) { return l.size() == 2; });
        QCOMPARE(visits.size(), 2);
        QVERIFY(visits.at(1).contains(QStringLiteral("|9506|")));

        // The connection drops (session paused), then the game ends: the session is closed.
        game.send("drop");
        QVERIFY(!game.waitForLine("DROPPED").isEmpty());
        QVERIFY(!app.waitForLine("[SESSION] Сессия 1 приостановлена", 6000).isEmpty());
        game.stop();
        QVERIFY(!app.waitForLine("[SESSION] Сессия 1 завершена.", 6000).isEmpty());
        sessions = waitForRecords(sessionsFile(), allClosed);
        QVERIFY2(sessions.size() == 1 && allClosed(sessions), qPrintable(sessions.join(QLatin1Char('\n'))));
        visits = waitForRecords(historyFile(), allClosed);
        QVERIFY2(allClosed(visits), qPrintable(visits.join(QLatin1Char('\n'))));

        // A crash leaves the guard behind; the next start must not be blocked by it.
        ::kill(static_cast<pid_t>(app.pid()), SIGKILL);
        QVERIFY(app.waitForExit());
        ToolProcess next;
        QVERIFY(next.start(kestrel(), {}, environment(), true));
        QVERIFY2(
            !next.waitForLine("[STARTUP] Main window shown", 15000).isEmpty(), next.allOutput().constData());
        next.stop();
    }

    void nonElevatedStartShowsTheAdministratorWindow()
    {
        if (::geteuid() != 0)
            QSKIP("dropping privileges needs root");
        // The non-elevated start sits in its window for a while; meanwhile an elevated
        // start must get the single-instance guard, so the refused one never took it.
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("KESTREL_TEST_AUTOCLOSE_MS"), QStringLiteral("3000"));
        env.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        ToolProcess refused;
        QVERIFY(refused.start(QStringLiteral("/usr/bin/setpriv"),
            {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                QStringLiteral("--clear-groups"), QStringLiteral("--inh-caps=-all"), kestrel()},
            env, true));
        QVERIFY2(
            !refused.waitForLine("[STARTUP] Not elevated", 15000).isEmpty(), refused.allOutput().constData());

        ToolProcess elevated;
        QVERIFY(elevated.start(kestrel(), {}, environment(), true));
        QVERIFY2(!elevated.waitForLine("[STARTUP] Main window shown", 15000).isEmpty(),
            elevated.allOutput().constData());
        elevated.stop();

        QVERIFY(refused.waitForExit(15000));
        QCOMPARE(refused.exitStatus(), QProcess::NormalExit);
        QCOMPARE(refused.exitCode(), 0);
        QVERIFY(refused.allOutput().contains("AdminRequiredDialog"));
    }
};

QTEST_GUILESS_MAIN(TestE2eKestrel)
#include "tst_e2e_kestrel.moc"
