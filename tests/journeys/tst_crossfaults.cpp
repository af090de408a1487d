// Faults seen on the journeys, pinned down on their own: pings off the scale after a blocked
// event loop, drags not started in the title bar, import lines not ending in a status.

#include "app/pingmonitorwidget.h"
#include "favorites/favoriteportsmanager.h"
#include "favorites/simpledialog.h"
#include "monitor/connectionmonitor.h"
#include "monitor/pingengine.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QtWidgets>

namespace {

void sendMouse(QWidget *window, QEvent::Type type, QPoint at, Qt::MouseButtons held)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, window->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

} // namespace

class TestCrossFaults : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // The handshake completes in the kernel while the loop is blocked; when the answer is
    // finally handled it must not report the blocked time as a ping.
    void pingStaysOnItsScale()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        PingEngine engine;
        engine.setTarget(QStringLiteral("127.0.0.1"), server.serverPort());
        QSignalSpy measured(&engine, &PingEngine::pingMeasured);
        engine.startPingMeasurement();
        QCoreApplication::processEvents(); // the queued measurement starts its connect
        QThread::msleep(1200);
        QVERIFY(measured.wait(3000));
        QCOMPARE(measured.first().at(0).toInt(), PingEngine::kNoAnswer);
    }

    void dragStartsOnlyInTheTitleBar_data()
    {
        QTest::addColumn<bool>("mainWindow");
        QTest::addColumn<int>("pressY");
        QTest::addColumn<bool>("releaseFirst"); // an earlier title-bar drag whose release was seen
        QTest::addColumn<bool>("moves");
        const auto row = [](bool main, const char *tag, int y, bool release, bool moves) {
            QTest::newRow(qPrintable(QLatin1String(main ? "main: " : "dialog: ") + QLatin1String(tag)))
                << main << y << release << moves;
        };
        for (const bool window : {true, false}) {
            row(window, "last title-bar row", 44, true, true);
            row(window, "first row below it", 45, true, false);
            row(window, "press lower, dragged up", 200, true, false);
            row(window, "lower after a lost release", 200, false, false);
        }
    }

    void dragStartsOnlyInTheTitleBar()
    {
        QFETCH(bool, mainWindow);
        QFETCH(int, pressY);
        QFETCH(bool, releaseFirst);
        QFETCH(bool, moves);
        PingMonitorWidget main(nullptr, m_dir.path());
        main.monitor()->stop();
        SimpleDialog dialog(9000);
        dialog.show();
        QWidget *w = mainWindow ? static_cast<QWidget *>(&main) : &dialog;

        // A drag in the title bar whose release may have gone to another window.
        sendMouse(w, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton);
        sendMouse(w, QEvent::MouseMove, QPoint(100, 10), Qt::LeftButton);
        if (releaseFirst)
            sendMouse(w, QEvent::MouseButtonRelease, QPoint(100, 10), Qt::NoButton);

        const QPoint start = w->pos();
        sendMouse(w, QEvent::MouseButtonPress, QPoint(120, pressY), Qt::LeftButton);
        sendMouse(w, QEvent::MouseMove, QPoint(160, 20), Qt::LeftButton);
        QCOMPARE(w->pos() != start, moves);
    }

    void importLinesEndingInText_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("status");
        const auto row = [](const char *tag, const char *line, const char *description, int status) {
            QTest::newRow(tag) << QByteArray(line) << QString::fromUtf8(description) << status;
        };
        row("empty last piece keeps the status", "9050|Плес|1|", "Плес", 1);
        row("text status reads as 0", "9050|Плес|text", "Плес", 0);
        row("third piece is the status", "9050|a|2|b", "a", 2);
        row("own export with | inside", "9050|Озеро | ночь|2", "Озеро | ночь", 2);
    }

    void importLinesEndingInText()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, description);
        QFETCH(int, status);
        QFile file(m_dir.filePath(QStringLiteral("import.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(line + '\n');
        file.close();
        FavoritePortsManager favorites;
        favorites.removeFavorite(9050);
        QVERIFY(favorites.importFromFile(file.fileName()));
        QCOMPARE(favorites.getFavorite(9050).description, description);
        QCOMPARE(favorites.getFavorite(9050).status, status);
    }
};

QTEST_MAIN(TestCrossFaults)
#include "tst_crossfaults.moc"
