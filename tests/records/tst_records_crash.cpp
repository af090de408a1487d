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
    void killedWhileSaving_data() { kinds(); }

    void killedWhileSaving()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("records.txt"));
        QVERIFY(writeAll(path, preload(kind, 4000))); // large, so that kills land inside a rewrite
        auto *random = QRandomGenerator::global();
        for (int round = 0; round < 25; ++round) {
            QProcess child;
            child.start(helper(), {QStringLiteral("loop"), kind, path});
            const int wanted = random->bounded(2, 12);
            int committed = 0;
            QElapsedTimer sinceFirst;
            for (int reports = 0; reports < wanted;) {
                QVERIFY2(child.canReadLine() || child.waitForReadyRead(30'000), "helper stopped reporting");
                for (; child.canReadLine() && reports < wanted; ++reports)
                    committed = child.readLine().trimmed().split(' ').value(1).toInt();
                if (!sinceFirst.isValid())
                    sinceFirst.start();
            }
            // Kill at a random point within one average interval between reports.
            const qint64 cycleUs = std::max<qint64>(sinceFirst.nsecsElapsed() / 1000 / wanted, 1);
            std::this_thread::sleep_for(std::chrono::microseconds(random->bounded(cycleUs)));
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(30'000) && committed > 0);
            QCOMPARE(std::min(checkFile(path, kind), committed), committed); // a damaged file reads as -1
            // Stray temporary files (where the system cannot make unnamed ones) are not records.
            for (const QString &t :
                QDir(dir.path()).entryList({QStringLiteral("records.txt.*")}, QDir::Files))
                QFile::remove(dir.filePath(t));
        }
    }

    void fullDiskKeepsPreviousFile_data()
    {
        kinds();
        // Below the write buffer's size the data only reaches the disk when the save commits.
        QTest::newRow("small game sessions file") << QStringLiteral("sessions");
        QTest::newRow("small port history file") << QStringLiteral("history");
    }

    void fullDiskKeepsPreviousFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("records.txt"));
        const QByteArray original
            = preload(kind, QByteArray(QTest::currentDataTag()).startsWith("small") ? 1 : 2000);
        QVERIFY(writeAll(path, original));
        QProcess child;
        child.start(helper(), {QStringLiteral("limit"), kind, path, QString::number(original.size() / 2)});
        QVERIFY(child.waitForFinished(60'000) && child.exitCode() == 0);
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("saved 0"));
        QVERIFY(child.readAllStandardError().contains("Не удалось открыть файл для записи"));
        QCOMPARE(readAll(path), original);
    }

private:
    static QString helper()
    {
        return qEnvironmentVariable("KESTREL_BIN_DIR") + QStringLiteral("/records_save_helper");
    }
    static void kinds()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("game sessions") << QStringLiteral("sessions");
        QTest::newRow("port history") << QStringLiteral("history");
    }
    static QByteArray preload(const QString &kind, int count)
    {
        QByteArray data;
        for (int id = 1; id <= count; ++id) {
            data += QByteArray::number(id)
                + (kind == QLatin1String("sessions")
                        ? "|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|E|42|20|90|97|12|0."
                          "5|2.0|41|60\n"
                        : "|9100|10.0.0.1|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|описание\n");
        }
        return data;
    }
    // The number of records if every line is whole and the store loads them all, else -1.
    static int checkFile(const QString &path, const QString &kind)
    {
        const bool sessions = kind == QLatin1String("sessions");
        const QByteArray data = readAll(path);
        int count = 0;
        for (const QByteArray &line : data.split('\n')) {
            if (!line.isEmpty()
                && (line.count('|') != (sessions ? 15 : 6) || line.split('|')[0].toInt() != ++count))
                return -1;
        }
        const qsizetype loaded
            = sessions ? SessionManager(path).sessions().size() : PortHistory(path).sessions().size();
        return data.endsWith('\n') && loaded == count ? count : -1;
    }
};

QTEST_GUILESS_MAIN(TestRecordCrash)
#include "tst_records_crash.moc"
