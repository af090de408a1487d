#include "monitor/pingquality.h"
#include "monitor/serverselection.h"

#include <QHostAddress>
#include <QTest>

using platform::TcpRow;
using Rows = QVector<TcpRow>;

namespace {

TcpRow row(const char *remote, quint16 port, uint32_t pid = 100, uint32_t state = platform::TcpEstablished)
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
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("address"); // empty: nothing found
        QTest::addColumn<int>("port");
        // The game runs as pids 100 and 101.
        // clang-format off
        QTest::newRow("game port wins over 443") << Rows {row("5.9.1.1", 443), row("5.9.1.2", 9000)} << "5.9.1.2" << 9000;
        QTest::newRow("other process ignored") << Rows {row("5.9.1.1", 9000, 200), row("5.9.1.3", 9001)} << "5.9.1.3" << 9001;
        QTest::newRow("not established ignored")
            << Rows {row("5.9.1.1", 9000, 100, platform::TcpSynSent), row("5.9.1.4", 9002)} << "5.9.1.4" << 9002;
        QTest::newRow("first qualifying row wins") << Rows {row("5.9.1.5", 27000), row("5.9.1.6", 9000)} << "5.9.1.5" << 27000;
        QTest::newRow("second game process") << Rows {row("5.9.1.7", 80), row("5.9.1.8", 7777, 101)} << "5.9.1.8" << 7777;
        // Only whole addresses are excluded, not their networks.
        QTest::newRow("169.254.0.1 qualifies") << Rows {row("169.254.0.1", 9000)} << "169.254.0.1" << 9000;
        QTest::newRow("127.0.0.2 qualifies") << Rows {row("127.0.0.2", 9105)} << "127.0.0.2" << 9105;
        QTest::newRow("192.168.0.1 qualifies") << Rows {row("192.168.0.1", 9100)} << "192.168.0.1" << 9100;
        // clang-format on
        for (const char *excluded : {"127.0.0.1", "1.0.0.127", "0.0.0.0", "169.254.0.0", "192.168.0.0"})
            QTest::addRow("excluded %s", excluded) << Rows {row(excluded, 9000)} << QString() << 0;
        for (const int port : {9, 7777, 7778, 27000, 27100, 9000, 10000})
            QTest::addRow("port %d", port) << Rows {row("5.9.1.9", quint16(port))} << "5.9.1.9" << port;
        for (const int port : {8, 10, 7776, 7779, 26999, 27101, 8999, 10001, 443, 65535})
            QTest::addRow("port %d", port) << Rows {row("5.9.1.9", quint16(port))} << QString() << 0;
    }

    void select()
    {
        QFETCH(Rows, rows);
        QFETCH(QString, address);
        QFETCH(int, port);
        const std::vector<TcpRow> table(rows.begin(), rows.end());
        const GameServer server = ServerSelection::select(table, {100, 101});
        QCOMPARE(server.found, !address.isEmpty());
        QCOMPARE(server.address, address);
        QCOMPARE(int(server.port), port);
        if (server.found)
            QVERIFY(server.pid == 100 || server.pid == 101);
        QVERIFY(!ServerSelection::select(table, {}).found);
    }

    // The quality bands and the connection bar's own bounds, at each edge.
    void quality()
    {
        const struct
        {
            int ping;
            const char *word, *color;
            int bar;
            const char *barStart;
        } cases[] = {
            // clang-format off
            {0, "ОТЛИЧНО", "#48bb78", 100, "#4ade80"}, {29, "ОТЛИЧНО", "#48bb78", 100, "#4ade80"},
            {30, "ХОРОШО", "#66bb6a", 100, "#4ade80"}, {31, "ХОРОШО", "#66bb6a", 85, "#60a5fa"},
            {59, "ХОРОШО", "#66bb6a", 85, "#60a5fa"}, {60, "НОРМА", "#ffa726", 85, "#60a5fa"},
            {61, "НОРМА", "#ffa726", 70, "#fbbf24"}, {99, "НОРМА", "#ffa726", 70, "#fbbf24"},
            {100, "ПЛОХО", "#ff7043", 70, "#fbbf24"}, {101, "ПЛОХО", "#ff7043", 50, "#f87171"},
            {199, "ПЛОХО", "#ff7043", 50, "#f87171"}, {200, "ОЧЕНЬ ПЛОХО", "#f44336", 50, "#f87171"},
            {201, "ОЧЕНЬ ПЛОХО", "#f44336", 30, "#dc2626"}, {998, "ОЧЕНЬ ПЛОХО", "#f44336", 30, "#dc2626"},
            {999, "ОЧЕНЬ ПЛОХО", "#f44336", 0, "#7f1d1d"},
            // clang-format on
        };
        for (const auto &c : cases) {
            const QByteArray tag = QByteArray::number(c.ping);
            QVERIFY2(PingQuality::text(c.ping) == QString::fromUtf8(c.word), tag);
            QVERIFY2(PingQuality::color(c.ping) == QLatin1String(c.color), tag);
            QVERIFY2(PingQuality::barValue(c.ping) == c.bar, tag);
            QVERIFY2(PingQuality::barGradient(c.ping).contains(
                         QStringLiteral("stop:0 %1").arg(QLatin1String(c.barStart))),
                tag);
        }
    }
};

QTEST_GUILESS_MAIN(TestServerSelection)
#include "tst_serverselection.moc"
