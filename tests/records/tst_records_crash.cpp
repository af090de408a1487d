#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <thread>

#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "recordtesthelpers.h"

// A store killed while it rewrites its file, or out of space, must leave a complete file
// holding every change it had finished.
class TestRecordCrash : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_helper = qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/records_save_helper");
        QVERIFY2(QFileInfo(m_helper).isExecutable(), qPrintable(m_helper));
    }

    void killedWhileSaving_data() { kinds(); }

    void killedWhileSaving()
    {
        QFETCH(bool, sessions);
        QTemporaryDir dir;
        const QString name
            = sessions ? QStringLiteral("game_sessions.txt") : QStringLiteral("port_history.txt");
        const QString path = dir.filePath(name);
        // Large enough that a rewrite takes a while, so kills land inside one.
        QVERIFY(writeAll(path, preload(sessions, 4000)));
        for (int round = 0; round < 25; ++round) {
            QVERIFY(checkFile(path, sessions) >= 0);
            const int wanted = QRandomGenerator::global()->bounded(2, 12);
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(m_helper,
                {QStringLiteral("loop"), sessions ? QStringLiteral("sessions") : QStringLiteral("history"),
                    path});
            QVERIFY(child.waitForStarted());
            int committed = 0;
            QElapsedTimer sinceFirst;
            for (int reports = 0; reports < wanted;) {
                if (!child.canReadLine())
                    QVERIFY2(child.waitForReadyRead(30'000), "helper stopped reporting");
                while (child.canReadLine() && reports < wanted) {
                    const QList<QByteArray> words = child.readLine().trimmed().split(' ');
                    QCOMPARE(words.value(0), QByteArray("committed"));
                    committed = words.value(1).toInt();
                    if (++reports == 1)
                        sinceFirst.start();
                }
            }
            // Kill at a random point within one average interval between reports.
            const qint64 cycleUs = sinceFirst.nsecsElapsed() / 1000 / (wanted - 1);
            std::this_thread::sleep_for(
                std::chrono::microseconds(QRandomGenerator::global()->bounded(std::max<qint64>(cycleUs, 1))));
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(30'000));
            const int after = checkFile(path, sessions);
            QCOMPARE(std::min(after, committed), committed); // a damaged file reads as -1
            // Stray temporary files (where the system cannot make unnamed ones) are not records.
            for (const QString &t : QDir(dir.path()).entryList({name + QStringLiteral(".*")}, QDir::Files))
                QFile::remove(dir.filePath(t));
        }
    }

    void fullDiskKeepsPreviousFile_data()
    {
        kinds();
        // Below the write buffer's size the data only reaches the disk when the save commits.
        QTest::newRow("small game sessions file") << true;
        QTest::newRow("small port history file") << false;
    }

    void fullDiskKeepsPreviousFile()
    {
        QFETCH(bool, sessions);
        QTemporaryDir dir;
        const QString path = dir.filePath(
            sessions ? QStringLiteral("game_sessions.txt") : QStringLiteral("port_history.txt"));
        const bool small = QByteArray(QTest::currentDataTag()).startsWith("small");
        const QByteArray original = preload(sessions, small ? 1 : 2000);
        QVERIFY(writeAll(path, original));
        QProcess child;
        child.start(m_helper,
            {QStringLiteral("limit"), sessions ? QStringLiteral("sessions") : QStringLiteral("history"), path,
                QString::number(original.size() / 2)});
        QVERIFY(child.waitForFinished(60'000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("saved 0"));
        QVERIFY(child.readAllStandardError().contains("Не удалось открыть файл для записи"));
        QCOMPARE(readAll(path), original);
    }

private:
    static void kinds()
    {
        QTest::addColumn<bool>("sessions");
        QTest::newRow("game sessions") << true;
        QTest::newRow("port history") << false;
    }
    static QByteArray preload(bool sessions, int count)
    {
        QByteArray data;
        for (int id = 1; id <= count; ++id) {
            const QByteArray n = QByteArray::number(id);
            data += n
                + (sessions ? "|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|ETHERNET|42|20|"
                              "90|97|"
                            + n
                            : QByteArray(
                                "|9100|10.0.0.1|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|описание"))
                + '\n';
        }
        return data;
    }
    // The number of records if every line is whole and the store loads them all, else -1.
    static int checkFile(const QString &path, bool sessions)
    {
        const QByteArray data = readAll(path);
        if (!data.isEmpty() && !data.endsWith('\n'))
            return -1;
        int count = 0;
        for (const QByteArray &line : data.split('\n')) {
            const QList<QByteArray> parts = line.split('|');
            if (!line.isEmpty() && (parts.size() != (sessions ? 12 : 7) || parts.at(0).toInt() != ++count))
                return -1;
        }
        const qsizetype loaded
            = sessions ? SessionManager(path).sessions().size() : PortHistory(path).sessions().size();
        return loaded == count ? count : -1;
    }
    QString m_helper;
};

QTEST_GUILESS_MAIN(TestRecordCrash)
#include "tst_records_crash.moc"
