#include "app/pingmonitorwidget.h"
#include "core/processrunner.h"
#include "core/settingskeys.h"
#include "monitor/pinggraphview.h"
#include "monitor/pinggraphwindow.h"
#include "monitor/pingtimeline.h"
#include "support/blackhole.h"
#include "tools/toolprocess.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The first update check would start the updater, which outlives the test: nothing starts here.
struct NoChildren final : ProcessRunner
{
    ProcessResult run(const QString &, const QStringList &, int, const QByteArray &) override { return {}; }
    bool startDetached(const QString &, const QStringList &, const QString &) override { return false; }
};

PingGraphView::Frame drawn(PingGraphWindow *graph)
{
    graph->view()->grab();
    return graph->view()->lastFrame();
}

QString text(const QWidget *graph, const char *name)
{
    const auto *label = graph->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

} // namespace

class TestPingGraphWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_records;

private slots:
    void initTestCase()
    {
        ProcessRunner::setFactory([] { return std::make_unique<NoChildren>(); });
    }

    void followsTheGame()
    {
        ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.5:9315")});
        QVERIFY(!server.waitForLine("READY").isEmpty());
        PingMonitorWidget window(nullptr, m_records.path());
        PingTimeline *timeline = window.pingTimeline();

        // Both menus list it right after the connection history.
        for (QMenu *menu : {window.functionsMenu(), window.trayMenu()}) {
            QStringList texts;
            for (QAction *action : menu->actions())
                texts << action->text();
            QCOMPARE(texts.at(texts.indexOf(QStringLiteral("История подключений")) + 1),
                QStringLiteral("График пинга"));
        }
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
        PingGraphWindow *graph = window.pingGraphWindow();
        QVERIFY(graph && graph->isVisible() && !graph->isModal());

        // Samples appear as the game pings its server (another game client here would be found first).
        ToolProcess client(
            QStringLiteral("rf4_x64.exe"), {QStringLiteral("127.0.0.5"), QStringLiteral("9315")});
        QVERIFY(!client.waitForLine("CONNECTED").isEmpty());
        QVERIFY(QTest::qWaitFor(
            [&] { return timeline->server() == QLatin1String("127.0.0.5:9315") && timeline->size() >= 2; },
            8000));
        PingGraphView::Frame frame = drawn(graph);
        QVERIFY(frame.message.isEmpty() && frame.linePoints >= 2 && frame.lossMarks == 0);
        QCOMPARE(text(graph, "graphStateLabel"), QStringLiteral("🌐 Сервер 127.0.0.5:9315"));
        QCOMPARE(text(graph, "graphFigureCurrent"),
            QStringLiteral("%1 мс").arg(timeline->sample(timeline->size() - 1).ping));

        // The game moves to a server that swallows every ping: the move and the losses are marked.
        BlackHole hole(0x7f000005, 9316, 0);
        client.send("connect 127.0.0.5 9316");
        QVERIFY(!client.waitForLine("CONNECTED").isEmpty());
        QVERIFY(QTest::qWaitFor(
            [&] {
                return timeline->server().endsWith(QLatin1String(":9316"))
                    && timeline->sample(timeline->size() - 1).ping == PingTimeline::kLost;
            },
            10000));
        frame = drawn(graph);
        QVERIFY(frame.marks.contains(QStringLiteral("сервер 127.0.0.5:9316")) && frame.lossMarks >= 1);
        QCOMPARE(text(graph, "graphFigureCurrent"), QStringLiteral("нет ответа"));
        QVERIFY(text(graph, "graphFigureLoss") != QStringLiteral("0,0 %"));

        // Hovering right of the newest sample names its time and value.
        const QPointF edge(graph->view()->width() - 8, graph->view()->height() / 2);
        QMouseEvent move(QEvent::MouseMove, edge, graph->view()->mapToGlobal(edge), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(graph->view(), &move);
        const QRegularExpression hover(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d .*нет ответа$"));
        QVERIFY(graph->view()->hoverText().contains(hover));

        // The game ends: marked, and the window says there is no game.
        client.send("quit");
        QVERIFY(QTest::qWaitFor([&] { return !timeline->isGameRunning(); }, 6000));
        QVERIFY(drawn(graph).marks.contains(QStringLiteral("игра завершена")));
        QCOMPARE(text(graph, "graphStateLabel"), QStringLiteral("Игра не запущена"));
    }

    void emptyStatesSpanAndPlace()
    {
        openSettings().remove(QLatin1String(SettingsKeys::kPingGraphSpan));
        PingTimeline timeline;
        auto graph = std::make_unique<PingGraphWindow>(&timeline);
        graph->show();
        QCOMPARE(drawn(graph.get()).message, QStringLiteral("Игра не запущена"));
        timeline.setGameRunning(true);
        QCOMPARE(drawn(graph.get()).message, QStringLiteral("Ожидание замеров пинга..."));

        // The ping axis is fitted to the answers shown; a loss stays off it.
        timeline.addPing(40, PingTimeline::now() - 92 * 1000);
        QCOMPARE(drawn(graph.get()).pingTop, 50);
        timeline.addPing(51, PingTimeline::now() - 91 * 1000);
        timeline.addPing(PingTimeline::kLost, PingTimeline::now() - 90 * 1000);
        QCOMPARE(drawn(graph.get()).pingTop, 100);

        // The figures follow the span: pings of 90 s ago are in the 10 minutes, not in the last one.
        QCOMPARE(text(graph.get(), "graphFigureMedian"), QStringLiteral("40 мс"));
        QTest::mouseClick(graph->findChild<QPushButton *>(QStringLiteral("graphSpan1")), Qt::LeftButton);
        QCOMPARE(text(graph.get(), "graphFigureMedian"), QStringLiteral("—"));

        // Where it stood and what it showed come back; a place off every screen does not.
        graph->move(123, 87);
        graph->reject();
        graph = std::make_unique<PingGraphWindow>(&timeline);
        QCOMPARE(graph->pos(), QPoint(123, 87));
        QCOMPARE(graph->spanMinutes(), 1);
        openSettings().setValue(QLatin1String(SettingsKeys::kPingGraphPos), QPoint(-5000, -5000));
        graph = std::make_unique<PingGraphWindow>(&timeline);
        QVERIFY(graph->pos() != QPoint(-5000, -5000));
    }
};

QTEST_MAIN(TestPingGraphWindow)
#include "tst_pinggraphwindow.moc"
