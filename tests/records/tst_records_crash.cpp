#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <sys/types.h>
#include <thread>

#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "recordtesthelpers.h"

// A store that is killed while it rewrites its file, or that runs out of space, must
// leave a complete file holding every change it had finished.
class TestRecordCrash : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedWhileSaving_data();
    void killedWhileSaving();
    void fullDiskKeepsPreviousFile_data();
    void fullDiskKeepsPreviousFile();

private:
    static QByteArray preload(bool sessions, int count);
    // Checks every line and returns the number of records, or -1 with a failure.
    static int checkFile(const QString &path, bool sessions);
    QString m_helper;
};

void TestRecordCrash::initTestCase()
{
    m_helper = qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/records_save_helper");
    QVERIFY2(QFileInfo(m_helper).isExecutable(), qPrintable(m_helper));
}

QByteArray TestRecordCrash::preload(bool sessions, int count)
{
    QByteArray data;
    for (int id = 1; id <= count; ++id) {
        const QByteArray n = QByteArray::number(id);
        if (sessions)
            data += n + "|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|ETHERNET|42|20|90|97|"
                + n + "\n";
        else
            data += n + "|9100|10.0.0.1|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|описание " + n + "\n";
    }
    return data;
}

int TestRecordCrash::checkFile(const QString &path, bool sessions)
{
    const QByteArray data = readAll(path);
    if (!data.isEmpty() && !data.endsWith('\n')) {
        qWarning("file does not end with a complete line");
        return -1;
    }
    const QList<QByteArray> lines = data.split('\n');
    const int fields = sessions ? 12 : 7;
    int count = 0;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        ++count;
        const QList<QByteArray> parts = line.split('|');
        if (parts.size() != fields || parts.at(0).toLongLong() != count) {
            qWarning("line %d is damaged: %s", count, line.constData());
            return -1;
        }
    }
    // The store itself must agree.
    const qsizetype loaded
        = sessions ? SessionManager(path).sessions().size() : PortHistory(path).sessions().size();
    if (loaded != count) {
        qWarning("store loaded %lld of %d records", static_cast<long long>(loaded), count);
        return -1;
    }
    return count;
}

void TestRecordCrash::killedWhileSaving_data()
{
    QTest::addColumn<bool>("sessions");
    QTest::newRow("game sessions") << true;
    QTest::newRow("port history") << false;
}

void TestRecordCrash::killedWhileSaving()
{
    QFETCH(bool, sessions);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = sessions ? QStringLiteral("game_sessions.txt") : QStringLiteral("port_history.txt");
    const QString path = dir.filePath(name);
    // Large enough that a rewrite takes a while, so kills land inside one.
    QVERIFY(writeAll(path, preload(sessions, 4000)));

    constexpr int kRounds = 25;
    for (int round = 0; round < kRounds; ++round) {
        const int before = checkFile(path, sessions);
        QVERIFY(before >= 0);
        const int wanted = QRandomGenerator::global()->bounded(2, 12);

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(m_helper,
            {QStringLiteral("loop"), sessions ? QStringLiteral("sessions") : QStringLiteral("history"),
                path});
        QVERIFY(child.waitForStarted());
        int committed = before;
        int reports = 0;
        QElapsedTimer sinceFirst;
        while (reports < wanted) {
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
        // Kill at a random point of the next change: somewhere within one average
        // interval between two reports (serialising, writing or renaming).
        const qint64 cycleUs = wanted > 1 ? sinceFirst.nsecsElapsed() / 1000 / (wanted - 1) : 2000;
        std::this_thread::sleep_for(
            std::chrono::microseconds(QRandomGenerator::global()->bounded(std::max<qint64>(cycleUs, 1))));
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30'000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const int after = checkFile(path, sessions);
        QVERIFY2(after >= 0, qPrintable(QStringLiteral("round %1").arg(round)));
        QVERIFY2(after >= committed,
            qPrintable(QStringLiteral("round %1: %2 records on disk, %3 committed")
                           .arg(round)
                           .arg(after)
                           .arg(committed)));
        // Stray temporary files (where the system cannot make unnamed ones) are not records.
        for (const QString &t : QDir(dir.path()).entryList({name + QStringLiteral(".*")}, QDir::Files))
            QFile::remove(dir.filePath(t));
    }
}

void TestRecordCrash::fullDiskKeepsPreviousFile_data()
{
    QTest::addColumn<bool>("sessions");
    QTest::newRow("game sessions") << true;
    QTest::newRow("port history") << false;
}

void TestRecordCrash::fullDiskKeepsPreviousFile()
{
    QFETCH(bool, sessions);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path
        = dir.filePath(sessions ? QStringLiteral("game_sessions.txt") : QStringLiteral("port_history.txt"));
    const QByteArray original = preload(sessions, 2000);
    QVERIFY(writeAll(path, original));

    QProcess child;
    child.start(m_helper,
        {QStringLiteral("limit"), sessions ? QStringLiteral("sessions") : QStringLiteral("history"), path,
            QString::number(original.size() / 2)});
    QVERIFY(child.waitForFinished(60'000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("saved 0"));
    QVERIFY(child.readAllStandardError().contains("Не удалось открыть файл для записи"));
    QCOMPARE(readAll(path), original);
}

QTEST_GUILESS_MAIN(TestRecordCrash)
#include "tst_records_crash.moc"
