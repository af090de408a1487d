#include <QTemporaryDir>
#include <QXmlStreamReader>
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
        m_clock.set(localTime("2025-03-04T12:00:00"));
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
        const bool csv = kind.endsWith(QLatin1String(".csv"));
        const QString out = m_dir->filePath(QStringLiteral("report"));
        if (kind.startsWith(QLatin1String("sessions"))) {
            SessionManager store(sessionsPath(), nullptr, m_clock.clock());
            if (!empty)
                fillSessions(store);
            QVERIFY(csv ? store.exportToCSV(out) : store.exportToHTML(out));
        } else {
            PortHistory history(
                m_dir->filePath(QStringLiteral("port_history.txt")), nullptr, m_clock.clock());
            if (!empty)
                fillHistory(history);
            QVERIFY(csv ? history.exportToCSV(out) : history.exportToHTML(out));
        }
        const QByteArray actual = readAll(out);
        QVERIFY(!actual.startsWith("\xEF\xBB\xBF"));
        const QString golden
            = QStringLiteral(QT_TESTCASE_SOURCEDIR "/golden/") + QLatin1String(QTest::currentDataTag());
        if (qEnvironmentVariableIntValue("KESTREL_UPDATE_GOLDEN") == 1) {
            QVERIFY(writeAll(golden, actual));
            QSKIP("golden file rewritten");
        }
        QCOMPARE(QString::fromUtf8(actual), QString::fromUtf8(readAll(golden)));
    }

    // The chart is well-formed XML on its own, with a median and a p95 point for each
    // session with an answered ping and a loss bar for each with figures, in order of
    // time, and nothing that loads or runs anything.
    void sessionChart()
    {
        SessionManager store(sessionsPath(), nullptr, m_clock.clock());
        fillSessions(store);
        const QString out = m_dir->filePath(QStringLiteral("report.html"));
        QVERIFY(store.exportToHTML(out));
        const QString html = QString::fromUtf8(readAll(out));
        const qsizetype begin = html.indexOf(QLatin1String("<svg")),
                        end = html.indexOf(QLatin1String("</svg>"));
        QVERIFY(begin > 0 && end > begin);
        QXmlStreamReader xml(html.mid(begin, end + 6 - begin));
        QMap<QString, QList<double>> marks; // class -> x of each mark
        while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
            const QXmlStreamAttributes a = xml.attributes();
            QVERIFY(xml.name() != QLatin1String("script") && !a.hasAttribute(QLatin1String("href")));
            if (a.hasAttribute(QLatin1String("class"))) {
                marks[a.value(QLatin1String("class")).toString()]
                    << a.value(QLatin1String("cx")).toDouble() + a.value(QLatin1String("x")).toDouble();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        // Of four sessions the old one has no figures and the all-lost one no answered ping.
        QCOMPARE(marks.value(QStringLiteral("median")).size(), 2);
        QCOMPARE(marks.value(QStringLiteral("p95")), marks.value(QStringLiteral("median")));
        const QList<double> xs = marks.value(QStringLiteral("loss"));
        QVERIFY(xs.size() == 3 && std::is_sorted(xs.begin(), xs.end()) && xs.constFirst() < xs.constLast());
    }

private:
    QString sessionsPath() const { return m_dir->filePath(QStringLiteral("game_sessions.txt")); }
    void fillSessions(SessionManager &store);
    void fillHistory(PortHistory &history);
    std::unique_ptr<QTemporaryDir> m_dir;
    FakeClock m_clock {QDateTime()};
};

void TestRecordExports::fillSessions(SessionManager &store)
{
    // A session read back from an older file reports the statistics it was saved with.
    QVERIFY(writeAll(sessionsPath(),
        "7|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|E|100|50|150|70|42"));
    store.loadSessions();
    struct Played
    {
        const char *start, *server, *network;
        QList<qint64> pings;
        qint64 ms;
    };
    // The last one still runs when the report is made; its server text is not markup.
    const Played played[]
        = {{"2025-03-01T18:04:09", "185.10.20.30", "ETHERNET", {25, 40, 60, 999}, 3'725'000},
            {"2025-03-02T09:00:00", "185.10.20.31", "WI-FI", {999, 999}, 630'000},
            {"2025-03-03T23:59:30", "<host&>", "Unknown", {120, 80, 150, 99, 101}, 45'000}};
    for (const Played &p : played) {
        m_clock.set(localTime(p.start));
        GameSession *s = store.startNewSession(QString::fromUtf8(p.server), 9443);
        s->setNetworkType(QString::fromUtf8(p.network));
        for (qint64 ping : p.pings)
            s->addPing(ping);
        m_clock.advance(p.ms);
        if (p.ms > 60'000)
            store.endCurrentSession();
    }
}

void TestRecordExports::fillHistory(PortHistory &history)
{
    m_clock.set(localTime("2025-03-01T18:00:00"));
    history.visitPort(
        9001, QStringLiteral("1.2.3.4"), QStringLiteral("Основной <b>сервер</b> & \"друзья\"\n;x"));
    m_clock.advance(90'000);
    history.visitPort(9002, QStringLiteral("1.2.3.4"), QString());
    m_clock.advance(3'725'000);
    history.leavePort();
    m_clock.set(localTime("2025-03-02T07:15:00"));
    history.visitPort(9001, QStringLiteral("5.6.7.8"), QStringLiteral("вечер"));
    m_clock.advance(120'000);
}

QTEST_GUILESS_MAIN(TestRecordExports)
#include "tst_records_exports.moc"
