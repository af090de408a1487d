#include "app/appicon.h"
#include "core/notificationgate.h"
#include "core/singleinstance.h"

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QSharedMemory>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <cstring>
#include <iostream>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void guard()
    {
        const QString key
            = QStringLiteral("kestrel_test_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        {
            SingleInstanceGuard first(key);
            QCOMPARE(first.acquire(), SingleInstanceGuard::Result::Acquired);
            QCOMPARE(SingleInstanceGuard(key).acquire(), SingleInstanceGuard::Result::AlreadyRunning);
        }
        // Free again after an orderly release; a live owner in another process blocks.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-guard"), key});
        QVERIFY(child.waitForStarted());
        QVERIFY(QTest::qWaitFor(
            [&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("HELD"));
        QCOMPARE(SingleInstanceGuard(key).acquire(), SingleInstanceGuard::Result::AlreadyRunning);

        // A crash leaves the segment and the lock file behind; neither may block a new start.
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        QSharedMemory leftover(key);
        QVERIFY2(leftover.attach(), "the killed owner should have left its segment behind");
        leftover.detach();
        QCOMPARE(SingleInstanceGuard(key).acquire(), SingleInstanceGuard::Result::Acquired);
    }

    // Without an icon file the program draws its own, for the window, the tray and the splash.
    void fallbackIcon()
    {
        const QIcon icon = AppIcon::createFallbackIcon();
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        const QImage image = icon.pixmap(256, 256).toImage();
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0); // outside the disc
        QCOMPARE(image.pixelColor(128, 128), QColor(Qt::white)); // crosshair centre
        QCOMPARE(AppIcon::splashPixmap(icon).size(), QSize(256, 256));
        const QImage disc = AppIcon::splashPixmap(QIcon()).toImage();
        QCOMPARE(disc.size(), QSize(256, 256));
        QCOMPARE(disc.pixelColor(128, 128).rgb(), QColor(0x3b, 0x82, 0xf6).rgb());
    }

    void notificationsAreRateLimited()
    {
        const QDateTime start(QDate(2026, 1, 1), QTime(12, 0));
        NotificationGate gate(start);
        QVERIFY(!gate.tryPass(start.addSecs(10))); // silent after start
        QVERIFY(!gate.tryPass(start.addSecs(300)));
        QVERIFY(gate.tryPass(start.addSecs(301)));
        QVERIFY(!gate.tryPass(start.addSecs(301 + 299))); // dropped, and does not move the clock
        QVERIFY(gate.tryPass(start.addSecs(301 + 301)));
    }
};

int main(int argc, char *argv[])
{
    // Child mode: take the guard, say so, and hold it until killed.
    if (argc == 3 && std::strcmp(argv[1], "--hold-guard") == 0) {
        QCoreApplication app(argc, argv);
        SingleInstanceGuard guard(QString::fromLatin1(argv[2]));
        const bool held = guard.acquire() == SingleInstanceGuard::Result::Acquired;
        std::cout << (held ? "HELD" : "BUSY") << std::endl;
        for (;;)
            QThread::sleep(1);
    }
    QApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
