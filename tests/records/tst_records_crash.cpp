#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>

#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "recordtesthelpers.h"

using namespace Qt::StringLiterals;

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
        const QString path = dir.filePath(u"records.txt"_s);
        QVERIFY(writeAll(path, preload(kind, 4000))); // large, so that kills land inside a rewrite
        for (int round = 0; round < 25; ++round) {
            QProcess child;
            child.start(helper(), {u"loop"_s, kind, path});
            // Kill after a few saves, at a random moment of the next.
            int committed = 0;
            for (int reports = QRandomGenerator::global()->bounded(2, 12); reports > 0; --reports) {
                while (!child.canReadLine())
                    QVERIFY2(child.waitForReadyRead(30'000), "helper stopped reporting");
                committed = child.readLine().trimmed().split(' ').value(1).toInt();
            }
            QThread::usleep(QRandomGenerator::global()->bounded(20'000));
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(30'000));
            QCOMPARE(std::min(checkFile(path, kind), committed), committed); // a damaged file reads as -1
            // Stray temporary files (where the system cannot make unnamed ones) are not records.
            for (const QString &t : QDir(dir.path()).entryList({u"records.txt.*"_s}, QDir::Files))
                QFile::remove(dir.filePath(t));
        }
    }

    void fullDiskKeepsPreviousFile_data()
    {
        kinds();
        // Below the write buffer's size the data only reaches the disk when the save commits.
        QTest::newRow("small game sessions file") << u"sessions"_s;
        QTest::newRow("small port history file") << u"history"_s;
    }

    void fullDiskKeepsPreviousFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"records.txt"_s);
        const QByteArray original
            = preload(kind, QByteArray(QTest::currentDataTag()).startsWith("small") ? 1 : 2000);
        QVERIFY(writeAll(path, original));
        QProcess child;
        child.start(helper(), {u"limit"_s, kind, path, QString::number(original.size() / 2)});
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
        QTest::newRow("game sessions") << u"sessions"_s;
        QTest::newRow("port history") << u"history"_s;
    }
    static QByteArray preload(const QString &kind, int count)
    {
        QByteArray data;
        for (int id = 1; id <= count; ++id) {
            data += QByteArray::number(id)
                + (kind == "sessions"_L1
                        ? "|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|E|42|20|90|97|9|0."
                          "5|2.0|41|60\n"
                        : "|9100|10.0.0.1|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|описание\n");
        }
        return data;
    }
    // The number of records if the file ends whole and the store loads every line, else -1.
    static int checkFile(const QString &path, const QString &kind)
    {
        const QByteArray data = readAll(path);
        const qsizetype loaded = kind == "sessions"_L1 ? SessionManager(path).sessions().size()
                                                       : PortHistory(path).sessions().size();
        return data.endsWith('\n') && loaded == data.count('\n') ? int(loaded) : -1;
    }
};

QTEST_GUILESS_MAIN(TestRecordCrash)
#include "tst_records_crash.moc"
