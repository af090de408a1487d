#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "recordtesthelpers.h"

using namespace Qt::StringLiterals;

// Reports of a small fixed store, compared byte for byte with the files in golden/.
// KESTREL_UPDATE_GOLDEN=1 rewrites them from the current output.
class TestRecordExports : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_clock.now = localTime("2025-03-04T12:00:00");
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
        const QString out = m_dir->filePath(u"report"_s);
        SessionManager store(sessionsPath(), nullptr, m_clock.clock());
        PortHistory history(m_dir->filePath(u"port_history.txt"_s), nullptr, m_clock.clock());
        if (!QByteArray(QTest::currentDataTag()).contains("_empty")) {
            fillHistory(history);
            fillSessions(store);
        }
        const bool csv = kind.endsWith(".csv"_L1);
        QVERIFY(kind.startsWith("sessions"_L1)
                ? (csv ? store.exportToCSV(out) : store.exportToHTML(out))
                : (csv ? history.exportToCSV(out) : history.exportToHTML(out)));
        const QByteArray actual = readAll(out);
        QVERIFY(!actual.startsWith("\xEF\xBB\xBF"));
        const QString golden
            = QStringLiteral(QT_TESTCASE_SOURCEDIR "/golden/") + QLatin1String(QTest::currentDataTag());
        if (qEnvironmentVariableIntValue("KESTREL_UPDATE_GOLDEN") == 1)
            QVERIFY(writeAll(golden, actual));
        QCOMPARE(QString::fromUtf8(actual), QString::fromUtf8(readAll(golden)));
    }

    // The chart is well-formed XML on its own, with a median and a p95 point for each
    // session with an answered ping and a loss bar for each with figures, in order of
    // time, and nothing that loads or runs anything.
    void sessionChart()
    {
        SessionManager store(sessionsPath(), nullptr, m_clock.clock());
        fillSessions(store);
        QVERIFY(store.exportToHTML(m_dir->filePath(u"report.html"_s)));
        const QString html = QString::fromUtf8(readAll(m_dir->filePath(u"report.html"_s)));
        const qsizetype begin = html.indexOf("<svg"_L1), end = html.indexOf("</svg>"_L1);
        QXmlStreamReader xml(html.mid(begin, end + 6 - begin));
        QMap<QString, QList<double>> marks; // class -> x of each mark
        while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
            const QXmlStreamAttributes a = xml.attributes();
            QVERIFY(xml.name() != "script"_L1 && !a.hasAttribute("href"_L1));
            if (a.hasAttribute("class"_L1))
                marks[a.value("class"_L1).toString()]
                    << a.value("cx"_L1).toDouble() + a.value("x"_L1).toDouble();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        // Of four sessions the old one has no figures and the all-lost one no answered ping.
        QCOMPARE(marks.value(u"median"_s).size(), 2);
        QCOMPARE(marks.value(u"p95"_s), marks.value(u"median"_s));
        const QList<double> xs = marks.value(u"loss"_s);
        QVERIFY(xs.size() == 3 && std::is_sorted(xs.begin(), xs.end()) && xs.constFirst() < xs.constLast());
    }

private:
    QString sessionsPath() const { return m_dir->filePath(u"game_sessions.txt"_s); }
    void fillSessions(SessionManager &store);
    void fillHistory(PortHistory &history);
    std::unique_ptr<QTemporaryDir> m_dir;
    FakeClock m_clock;
};

void TestRecordExports::fillSessions(SessionManager &store)
{
    // From an older file (no figures); with a loss; all lost; one that was still running.
    QVERIFY(writeAll(sessionsPath(),
        "7|10.0.0.1|9100|2025-02-28T10:00:00|2025-02-28T11:00:00|3600000|E|100|50|150|70|42\n"
        "8|185.10.20.30|9443|2025-03-01T18:04:09|2025-03-01T19:06:14|3725000|ETHERNET|281|25|999|75|4|25.0|"
        "17.5|40|60\n"
        "9|185.10.20.31|9443|2025-03-02T09:00:00|2025-03-02T09:10:30|630000|WI-FI|999|999|999|0|2|100.0|0.0||"
        "\n"
        "10|<host&>|9443|2025-03-03T23:59:30||45000|Unknown|110|80|150|40|5|0.0|40.8|101|150\n"));
    store.loadSessions();
}

void TestRecordExports::fillHistory(PortHistory &history)
{
    m_clock.now = localTime("2025-03-01T18:00:00");
    history.visitPort(9001, u"1.2.3.4"_s, u"Основной <b>сервер</b> & \"друзья\"\n;x"_s);
    m_clock.advance(90'000);
    history.visitPort(9002, u"1.2.3.4"_s, QString());
    m_clock.advance(3'725'000);
    history.leavePort();
    m_clock.now = localTime("2025-03-02T07:15:00");
    history.visitPort(9001, u"5.6.7.8"_s, u"вечер"_s); // still open when the report is made
}

QTEST_GUILESS_MAIN(TestRecordExports)
#include "tst_records_exports.moc"
