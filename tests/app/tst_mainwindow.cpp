#include "app/exitconfirmdialog.h"
#include "app/pingmonitorwidget.h"
#include "favorites/favoriteportsmanager.h"
#include "monitor/connectionmonitor.h"
#include "monitor/pingengine.h"
#include "monitor/pingquality.h"
#include "records/porthistory.h"
#include "records/sessiontracker.h"
#include "tools/toolprocess.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QString labelText(const QWidget &window, const char *name)
{
    auto *label = window.findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_records;

private slots:
    void showsTheFakeGamesServer()
    {
        ToolProcess server(QStringLiteral("fake_game_server"), {QStringLiteral("127.0.0.3:9305")});
        QVERIFY(!server.waitForLine("READY").isEmpty());
        ToolProcess client(
            QStringLiteral("rf4_x64.exe"), {QStringLiteral("127.0.0.3"), QStringLiteral("9305")});
        QVERIFY(!client.waitForLine("CONNECTED").isEmpty());

        PingMonitorWidget window(nullptr, m_records.path());
        QSignalSpy pinged(window.monitor()->ping(), &PingEngine::pingMeasured);
        QPushButton *star = window.favoriteButton();
        QVERIFY(star->isHidden()); // no port yet

        // Two target periods at most.
        QVERIFY(QTest::qWaitFor(
            [&] { return window.monitor()->isConnected(); }, 2 * ConnectionMonitor::kTargetIntervalMs + 500));
        QCOMPARE(labelText(window, "metricValueHost"), QStringLiteral("127.0.0.3"));
        QCOMPARE(labelText(window, "metricValuePort"), QStringLiteral("9305"));
        QCOMPARE(labelText(window, "gameStateLabel"), QStringLiteral("АКТИВНА"));

        QVERIFY(pinged.wait(3000));
        const int ping = pinged.first().at(0).toInt();
        QVERIFY2(ping < PingEngine::kNoAnswer, qPrintable(QString::number(ping)));
        QCOMPARE(labelText(window, "metricValuePing"), QString::number(ping));
        // The tiles follow the measured ping (a loaded machine may rate loopback below the best).
        QCOMPARE(labelText(window, "metricValueQuality"), PingQuality::text(ping));
        QCOMPARE(window.findChild<QProgressBar *>(QStringLiteral("connectionBar"))->value(),
            PingQuality::barValue(ping));

        // The favourite star beside the port: empty, then filled in the status colour.
        QVERIFY(!star->isHidden());
        QCOMPARE(star->text(), QStringLiteral("☆"));
        const std::pair<int, const char *> states[] {
            {2, "#ef4444"}, {1, "#22c55e"}, {0, "#facc15"}, {7, "#facc15"}};
        for (const auto &[status, color] : states) {
            window.favorites()->removeFavorite(9305);
            QVERIFY(window.favorites()->addFavorite(
                {9305, QStringLiteral("Тест"), QDateTime::currentDateTime(), status}));
            QCOMPARE(star->text(), QStringLiteral("★"));
            QVERIFY2(star->styleSheet().contains(QStringLiteral("color:%1;").arg(QLatin1String(color))),
                qPrintable(star->styleSheet()));
        }
        window.favorites()->removeFavorite(9305);
        QCOMPARE(star->text(), QStringLiteral("☆"));

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
        PingMonitorWidget window(nullptr, m_records.path());
        window.monitor()->stop();

        ExitConfirmDialog::setNextAnswer(false);
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QCOMPARE(exitCode, -1);
        QVERIFY(!window.isExiting());

        // The records are closed on the way out (the journeys check them on disk).
        window.sessionTracker()->serverFound(QStringLiteral("5.9.1.2"), 9105, true);
        ExitConfirmDialog::setNextAnswer(true);
        window.close();
        QCOMPARE(exitCode, 0);
        QVERIFY(window.isExiting());
        QVERIFY(!window.portHistory()->hasActiveSession());
        QVERIFY(!window.sessionTracker()->runningSession());

        // Once exiting, further close requests are ignored without asking again.
        exitCode = -1;
        QVERIFY(!window.close());
        QCOMPARE(exitCode, -1);
        PingMonitorWidget::setExitHook({});
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
