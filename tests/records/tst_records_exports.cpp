#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "recordtesthelpers.h"

// Reports of a small fixed store, compared byte for byte with the files in golden/.
// KESTREL_UPDATE_GOLDEN=1 rewrites them from the current output.
class TestRecordExports : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void golden_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *name : {"sessions.csv", "sessions.html", "history.csv", "history.html"}) {
            QTest::newRow(name) << QString::fromLatin1(name);
            QTest::newRow(QByteArray(name).replace('.', "_empty.").constData()) << QString::fromLatin1(name);
        }
    }

    void golden()
    {
        QFETCH(QString, kind);
        const bool empty = QByteArray(QTest::currentDataTag()).contains("_empty");
        FakeClock clock(localTime("2025-03-04T12:00:00"));
        const QString out = m_dir->filePath(QStringLiteral("report"));
        bool written = false;
        if (kind.startsWith(QLatin1String("sessions"))) {
            // A session read back from the file reports the statistics it was saved with.
            if (!empty)
                QVERIFY(writeAll(m_dir->filePath(QStringLiteral("game_sessions.txt")),
                    "7|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|ETHERNET|100|50|150|70|"
                    "42\n"));
            SessionManager store(
                m_dir->filePath(QStringLiteral("game_sessions.txt")), nullptr, clock.clock());
            if (!empty)
                fillSessions(store, clock);
            written = kind.endsWith(QLatin1String(".csv")) ? store.exportToCSV(out) : store.exportToHTML(out);
        } else {
            PortHistory history(m_dir->filePath(QStringLiteral("port_history.txt")), nullptr, clock.clock());
            if (!empty)
                fillHistory(history, clock);
            written
                = kind.endsWith(QLatin1String(".csv")) ? history.exportToCSV(out) : history.exportToHTML(out);
        }
        QVERIFY(written);
        const QByteArray actual = readAll(out);
        QVERIFY(!actual.startsWith("\xEF\xBB\xBF"));

        const QString golden
            = QStringLiteral(QT_TESTCASE_SOURCEDIR "/golden/") + QString::fromLatin1(QTest::currentDataTag());
        if (qEnvironmentVariableIntValue("KESTREL_UPDATE_GOLDEN") == 1) {
            QVERIFY(writeAll(golden, actual));
            QSKIP("golden file rewritten");
        }
        QVERIFY2(QFile::exists(golden), "golden file missing");
        QCOMPARE(QString::fromUtf8(actual), QString::fromUtf8(readAll(golden)));
    }

    void csvKeepsRowsWhole()
    {
        FakeClock clock(localTime("2025-03-01T18:00:00"));
        PortHistory history(m_dir->filePath(QStringLiteral("port_history.txt")), nullptr, clock.clock());
        history.visitPort(9001, QStringLiteral("h"), QStringLiteral("a;b \"c\"\nd"));
        const QString out = m_dir->filePath(QStringLiteral("h.csv"));
        QVERIFY(history.exportToCSV(out));
        QCOMPARE(readAll(out),
            QByteArray("ID;Порт;Сервер;Время начала;Время окончания;Длительность;Описание\n"
                       "1;9001;h;01.03.2025 18:00:00;Активна;00:00:00;\"a;b \"\"c\"\"\nd\"\n"));
    }

private:
    void fillSessions(SessionManager &store, FakeClock &clock) const;
    void fillHistory(PortHistory &history, FakeClock &clock) const;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestRecordExports::fillSessions(SessionManager &store, FakeClock &clock) const
{
    clock.set(localTime("2025-03-01T18:04:09"));
    GameSession *s = store.startNewSession(QStringLiteral("185.10.20.30"), 9443);
    s->setNetworkType(QStringLiteral("ETHERNET"));
    for (qint64 p : {25, 40, 60})
        s->addPing(p);
    clock.advance(3'725'000);
    store.endCurrentSession();

    clock.set(localTime("2025-03-02T09:00:00"));
    s = store.startNewSession(QStringLiteral("185.10.20.31"), 9501);
    s->setNetworkType(QStringLiteral("WI-FI"));
    for (qint64 p : {120, 80, 150, 99, 101})
        s->addPing(p);
    clock.advance(600'000);
    store.pauseCurrentSession();
    clock.advance(60'000);
    store.resumeCurrentSession();
    clock.advance(30'000);
    store.endCurrentSession();

    // Still running when the report is made; its server text is not markup.
    clock.set(localTime("2025-03-03T23:59:30"));
    s = store.startNewSession(QStringLiteral("<host&>"), 9999);
    s->addPing(50);
    clock.advance(45'000);
}

void TestRecordExports::fillHistory(PortHistory &history, FakeClock &clock) const
{
    clock.set(localTime("2025-03-01T18:00:00"));
    history.visitPort(9001, QStringLiteral("1.2.3.4"), QStringLiteral("Основной <b>сервер</b> & \"друзья\""));
    clock.advance(90'000);
    history.visitPort(9002, QStringLiteral("1.2.3.4"), QString());
    clock.advance(3'725'000);
    history.leavePort();
    clock.set(localTime("2025-03-02T07:15:00"));
    history.visitPort(9001, QStringLiteral("5.6.7.8"), QStringLiteral("вечер"));
    clock.advance(120'000);
}

QTEST_GUILESS_MAIN(TestRecordExports)
#include "tst_records_exports.moc"
