#include "app/exitconfirmdialog.h"
#include "app/pingmonitorwidget.h"
#include "monitor/connectionmonitor.h"
#include "monitor/pingengine.h"
#include "tools/toolprocess.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

namespace {

QString labelText(const QWidget &window, const char *name)
{
    auto *label = window.findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

}  // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsTheFakeGamesServer()
    {
        ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.3:9305")});
        QVERIFY(!server.waitForLine("READY").isEmpty());
        ToolProcess client(QStringLiteral("rf4_x64.exe"), {QStringLiteral("127.0.0.3"), QStringLiteral("9305")});
        QVERIFY(!client.waitForLine("CONNECTED").isEmpty());

        PingMonitorWidget window;
        QSignalSpy pinged(window.monitor()->ping(), &PingEngine::pingMeasured);

        // Two target periods at most.
        QVERIFY(QTest::qWaitFor([&] { return window.monitor()->isConnected(); },
                                2 * ConnectionMonitor::kTargetIntervalMs + 500));
        QCOMPARE(labelText(window, "metricValueHost"), QStringLiteral("127.0.0.3"));
        QCOMPARE(labelText(window, "metricValuePort"), QStringLiteral("9305"));
        QCOMPARE(labelText(window, "gameStateLabel"), QStringLiteral("АКТИВНА"));

        QVERIFY(pinged.wait(3000));
        const int ping = pinged.first().at(0).toInt();
        QVERIFY2(ping < PingEngine::kNoAnswer, qPrintable(QString::number(ping)));
        QCOMPARE(labelText(window, "metricValuePing"), QString::number(ping));
        QCOMPARE(labelText(window, "metricValueQuality"), QStringLiteral("ОТЛИЧНО"));
        QCOMPARE(window.findChild<QProgressBar *>(QStringLiteral("connectionBar"))->value(), 100);

        // The game drops its connection: the tiles go back to dashes.
        client.send("drop");
        QVERIFY(!client.waitForLine("DROPPED").isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return !window.monitor()->isConnected(); },
                                2 * ConnectionMonitor::kTargetIntervalMs + 500));
        QCOMPARE(labelText(window, "metricValuePort"), QStringLiteral("—"));
        QCOMPARE(labelText(window, "metricValuePing"), QStringLiteral("—"));
        QVERIFY(!window.monitor()->isPingTimerActive());
    }

    void exitNeedsConfirmation()
    {
        int exitCode = -1;
        PingMonitorWidget::setExitHook([&](int code) { exitCode = code; });
        PingMonitorWidget window;
        window.monitor()->stop();

        ExitConfirmDialog::setNextAnswer(false);
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QCOMPARE(exitCode, -1);
        QVERIFY(!window.isExiting());

        ExitConfirmDialog::setNextAnswer(true);
        window.close();
        QCOMPARE(exitCode, 0);
        QVERIFY(window.isExiting());

        // Once exiting, further close requests are ignored without asking again.
        exitCode = -1;
        QVERIFY(!window.close());
        QCOMPARE(exitCode, -1);
        PingMonitorWidget::setExitHook({});
    }

    void titleBarDragsOnlyInItsTopRows()
    {
        PingMonitorWidget window;
        window.monitor()->stop();
        const QPoint start = window.pos();

        auto drag = [&](int y) {
            const QPoint local(300, y);
            QMouseEvent press(QEvent::MouseButtonPress, local, window.mapToGlobal(local), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&window, &press);
            const QPoint moved = local + QPoint(40, 0);
            QMouseEvent move(QEvent::MouseMove, moved, window.mapToGlobal(moved), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(&window, &move);
        };
        drag(45);
        QCOMPARE(window.pos(), start);
        drag(44);
        QCOMPARE(window.pos(), start + QPoint(40, 0));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
