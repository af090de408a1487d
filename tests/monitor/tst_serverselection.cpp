#include "monitor/pingquality.h"
#include "monitor/serverselection.h"

#include <QHostAddress>
#include <QTest>

using platform::TcpRow;

namespace {

TcpRow row(const char *remote, quint16 port, uint32_t pid, uint32_t state = platform::TcpEstablished)
{
    TcpRow r;
    r.state = state;
    r.localAddr = QHostAddress(QStringLiteral("10.0.0.2")).toIPv4Address();
    r.localPort = 50000;
    r.remoteAddr = QHostAddress(QString::fromLatin1(remote)).toIPv4Address();
    r.remotePort = port;
    r.pid = pid;
    return r;
}

} // namespace

class TestServerSelection : public QObject
{
    Q_OBJECT

private slots:
    void select_data()
    {
        QTest::addColumn<QVector<TcpRow>>("rows");
        QTest::addColumn<QVector<uint32_t>>("pids");
        QTest::addColumn<QString>("address"); // empty: nothing found
        QTest::addColumn<int>("port");

        const QVector<uint32_t> game {100};
        QTest::newRow("game port wins over 443")
            << QVector<TcpRow> {row("5.9.1.1", 443, 100), row("5.9.1.2", 9000, 100)} << game << "5.9.1.2"
            << 9000;
        QTest::newRow("other process ignored")
            << QVector<TcpRow> {row("5.9.1.1", 9000, 200), row("5.9.1.3", 9001, 100)} << game << "5.9.1.3"
            << 9001;
        QTest::newRow("not established ignored")
            << QVector<TcpRow> {row("5.9.1.1", 9000, 100, platform::TcpSynSent), row("5.9.1.4", 9002, 100)}
            << game << "5.9.1.4" << 9002;
        QTest::newRow("192.168.0.1 qualifies")
            << QVector<TcpRow> {row("192.168.0.1", 9100, 100)} << game << "192.168.0.1" << 9100;
        QTest::newRow("first qualifying row wins")
            << QVector<TcpRow> {row("5.9.1.5", 27000, 100), row("5.9.1.6", 9000, 100)} << game << "5.9.1.5"
            << 27000;
        QTest::newRow("either of two game processes")
            << QVector<TcpRow> {row("5.9.1.7", 80, 100), row("5.9.1.8", 7777, 101)}
            << QVector<uint32_t> {100, 101} << "5.9.1.8" << 7777;
        QTest::newRow("no pids") << QVector<TcpRow> {row("5.9.1.1", 9000, 100)} << QVector<uint32_t> {} << ""
                                 << 0;

        for (const char *excluded : {"127.0.0.1", "1.0.0.127", "0.0.0.0", "169.254.0.0", "192.168.0.0"}) {
            QTest::newRow(qPrintable(QStringLiteral("excluded %1").arg(QLatin1String(excluded))))
                << QVector<TcpRow> {row(excluded, 9000, 100)} << game << "" << 0;
        }
        // Only whole addresses are excluded, not their networks.
        QTest::newRow("169.254.0.1 qualifies")
            << QVector<TcpRow> {row("169.254.0.1", 9000, 100)} << game << "169.254.0.1" << 9000;
        QTest::newRow("127.0.0.2 qualifies")
            << QVector<TcpRow> {row("127.0.0.2", 9105, 100)} << game << "127.0.0.2" << 9105;

        const struct
        {
            int port;
            bool qualifies;
        } ports[] = {{9, true}, {8, false}, {10, false}, {7776, false}, {7777, true}, {7778, true},
            {7779, false}, {26999, false}, {27000, true}, {27100, true}, {27101, false}, {8999, false},
            {9000, true}, {10000, true}, {10001, false}, {443, false}, {65535, false}};
        for (const auto &p : ports) {
            QTest::newRow(qPrintable(QStringLiteral("port %1").arg(p.port)))
                << QVector<TcpRow> {row("5.9.1.9", quint16(p.port), 100)} << game
                << (p.qualifies ? QStringLiteral("5.9.1.9") : QString()) << (p.qualifies ? p.port : 0);
        }
    }

    void select()
    {
        QFETCH(QVector<TcpRow>, rows);
        QFETCH(QVector<uint32_t>, pids);
        QFETCH(QString, address);
        QFETCH(int, port);

        const GameServer server = ServerSelection::select(
            std::vector<TcpRow>(rows.begin(), rows.end()), std::vector<uint32_t>(pids.begin(), pids.end()));
        QCOMPARE(server.found, !address.isEmpty());
        QCOMPARE(server.address, address);
        QCOMPARE(int(server.port), port);
        if (server.found)
            QVERIFY(std::find(pids.begin(), pids.end(), server.pid) != pids.end());
    }

    void quality_data()
    {
        QTest::addColumn<int>("ping");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("color");
        QTest::addColumn<int>("bar");
        QTest::addColumn<QString>("barStart");

        QTest::newRow("0") << 0 << "ОТЛИЧНО"
                           << "#48bb78" << 100 << "#4ade80";
        QTest::newRow("29") << 29 << "ОТЛИЧНО"
                            << "#48bb78" << 100 << "#4ade80";
        QTest::newRow("30") << 30 << "ХОРОШО"
                            << "#66bb6a" << 100 << "#4ade80";
        QTest::newRow("31") << 31 << "ХОРОШО"
                            << "#66bb6a" << 85 << "#60a5fa";
        QTest::newRow("59") << 59 << "ХОРОШО"
                            << "#66bb6a" << 85 << "#60a5fa";
        QTest::newRow("60") << 60 << "НОРМА"
                            << "#ffa726" << 85 << "#60a5fa";
        QTest::newRow("61") << 61 << "НОРМА"
                            << "#ffa726" << 70 << "#fbbf24";
        QTest::newRow("99") << 99 << "НОРМА"
                            << "#ffa726" << 70 << "#fbbf24";
        QTest::newRow("100") << 100 << "ПЛОХО"
                             << "#ff7043" << 70 << "#fbbf24";
        QTest::newRow("101") << 101 << "ПЛОХО"
                             << "#ff7043" << 50 << "#f87171";
        QTest::newRow("199") << 199 << "ПЛОХО"
                             << "#ff7043" << 50 << "#f87171";
        QTest::newRow("200") << 200 << "ОЧЕНЬ ПЛОХО"
                             << "#f44336" << 50 << "#f87171";
        QTest::newRow("201") << 201 << "ОЧЕНЬ ПЛОХО"
                             << "#f44336" << 30 << "#dc2626";
        QTest::newRow("998") << 998 << "ОЧЕНЬ ПЛОХО"
                             << "#f44336" << 30 << "#dc2626";
        QTest::newRow("999") << 999 << "ОЧЕНЬ ПЛОХО"
                             << "#f44336" << 0 << "#7f1d1d";
    }

    void quality()
    {
        QFETCH(int, ping);
        QFETCH(QString, word);
        QFETCH(QString, color);
        QFETCH(int, bar);
        QFETCH(QString, barStart);

        QCOMPARE(PingQuality::text(ping), word);
        QCOMPARE(PingQuality::color(ping), color);
        QCOMPARE(PingQuality::barValue(ping), bar);
        QVERIFY(PingQuality::barGradient(ping).contains(QStringLiteral("stop:0 ") + barStart));
        QCOMPARE(PingQuality::pingStyle(ping),
            QStringLiteral("color:%1; font-size:36px; font-weight:700;").arg(color));
    }
};

QTEST_GUILESS_MAIN(TestServerSelection)
#include "tst_serverselection.moc"
