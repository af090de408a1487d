// Where KESTREL writes its records: beside itself in a folder it may write to (a
// portable copy), in the user's data folder when its folder is read-only (a package).
// A copy of this test stands in for the program: its folder is the program's folder.

#include "core/datapaths.h"
#include "records/porthistory.h"
#include "records/sessionmanager.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

// The program's side: record one session and one visit, print where they went.
int recordAndTell(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("TORVAL DEVELOPMENT"));
    QCoreApplication::setApplicationName(QStringLiteral("KESTREL"));
    SessionManager sessions;
    sessions.startNewSession(QStringLiteral("127.0.0.1"), 9100);
    sessions.endCurrentSession();
    PortHistory history;
    history.visitPort(9100, QStringLiteral("127.0.0.1"));
    history.leavePort();
    std::printf("%s\n%s\n", qPrintable(sessions.filePath()), qPrintable(history.filePath()));
    return 0;
}

} // namespace

class TestDataPaths : public QObject
{
    Q_OBJECT

private slots:
    void recordsLand_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("dataFolderUsable");
        QTest::addColumn<QString>("expected"); // "program" or "data"
        QTest::newRow("portable, writable folder") << false << true << "program";
        QTest::newRow("installed, read-only folder") << true << true << "data";
        // Nowhere to write: the program's folder, where the failure shows in the log.
        QTest::newRow("read-only, no data folder") << true << false << "program";
    }

    void recordsLand()
    {
        QFETCH(bool, readOnly);
        QFETCH(bool, dataFolderUsable);
        QFETCH(QString, expected);

        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString program = root.filePath(QStringLiteral("program"));
        const QString binary = program + QStringLiteral("/KESTREL");
        QVERIFY(QDir().mkpath(program));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), binary));
        const QString dataHome = root.filePath(QStringLiteral("data"));
        if (!dataFolderUsable)
            QVERIFY(QFile(dataHome).open(QIODevice::WriteOnly)); // a file where the folder would be

        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        run.setProcessEnvironment(env);
        if (readOnly && geteuid() == 0) {
            // Root writes through any permission bits: only a read-only mount stops it.
            run.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                    QStringLiteral("mount --bind -o ro \"$0\" \"$0\" && exec \"$1\" --record"), program,
                    binary});
        } else {
            if (readOnly)
                QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
            run.start(binary, {QStringLiteral("--record")});
        }
        QVERIFY(run.waitForFinished(30000));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(run.exitCode(), 0);

        const QString folder = expected == QLatin1String("program")
            ? program
            : dataHome + QStringLiteral("/TORVAL DEVELOPMENT/KESTREL");
        const QStringList files
            = QString::fromLocal8Bit(run.readAllStandardOutput()).split(QLatin1Char('\n'));
        QCOMPARE(files.value(0), folder + QStringLiteral("/game_sessions.txt"));
        QCOMPARE(files.value(1), folder + QStringLiteral("/port_history.txt"));
        const bool written = expected == QLatin1String("data") || !readOnly;
        QCOMPARE(QFile::exists(files.value(0)), written);
        QCOMPARE(QFile::exists(files.value(1)), written);
        QVERIFY(
            QDir(program).entryList({QStringLiteral(".kestrel-*")}, QDir::Hidden | QDir::Files).isEmpty());
    }
};

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--record") == 0)
        return recordAndTell(argc, argv);
    QCoreApplication app(argc, argv);
    TestDataPaths test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_datapaths.moc"
