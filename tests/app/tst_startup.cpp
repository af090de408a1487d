#include "app/appicon.h"
#include "core/notificationgate.h"
#include "core/singleinstance.h"
#include "app/startupdialogs.h"

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSharedMemory>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <cstring>
#include <iostream>

namespace {

// Child mode: take the guard, say so, and hold it until killed.
int holdGuard(const char *key)
{
    SingleInstanceGuard guard(QString::fromLatin1(key));
    const auto result = guard.acquire();
    std::cout << (result == SingleInstanceGuard::Result::Acquired ? "HELD" : "BUSY") << std::endl;
    for (;;)
        QThread::sleep(1);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

    QString m_key;

private slots:
    void init()
    {
        m_key = QStringLiteral("kestrel_test_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    }

    void secondGuardInOneProcessIsRefused()
    {
        SingleInstanceGuard first(m_key);
        QCOMPARE(first.acquire(), SingleInstanceGuard::Result::Acquired);
        SingleInstanceGuard second(m_key);
        QCOMPARE(second.acquire(), SingleInstanceGuard::Result::AlreadyRunning);
    }

    void guardIsFreeAfterOrderlyRelease()
    {
        {
            SingleInstanceGuard first(m_key);
            QCOMPARE(first.acquire(), SingleInstanceGuard::Result::Acquired);
        }
        SingleInstanceGuard again(m_key);
        QCOMPARE(again.acquire(), SingleInstanceGuard::Result::Acquired);
    }

    void liveOwnerBlocksAndKilledOwnerDoesNot()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-guard"), m_key});
        QVERIFY(child.waitForStarted());
        QVERIFY(QTest::qWaitFor(
            [&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("HELD"));

        {
            SingleInstanceGuard blocked(m_key);
            QCOMPARE(blocked.acquire(), SingleInstanceGuard::Result::AlreadyRunning);
        }

        // A crash leaves the segment and the lock file behind; neither may block a new start.
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        QSharedMemory leftover(m_key);
        QVERIFY2(leftover.attach(), "the killed owner should have left its segment behind");
        leftover.detach();

        SingleInstanceGuard next(m_key);
        QCOMPARE(next.acquire(), SingleInstanceGuard::Result::Acquired);
    }

    void fallbackIconIsDrawnAtEverySize()
    {
        const QIcon icon = AppIcon::createFallbackIcon();
        QList<QSize> expected;
        for (int s : {16, 32, 48, 64, 128, 256})
            expected << QSize(s, s);
        QCOMPARE(icon.availableSizes(), expected);

        const QImage image = icon.pixmap(256, 256).toImage();
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0); // outside the disc
        QCOMPARE(image.pixelColor(128, 128), QColor(Qt::white)); // crosshair centre
        const QColor disc = image.pixelColor(128, 40); // between circle and rim
        QVERIFY(disc.blue() > 150 && disc.red() < 100);
    }

    void splashFallsBackToTheIcon()
    {
        const QPixmap fromIcon = AppIcon::splashPixmap(AppIcon::createFallbackIcon());
        QCOMPARE(fromIcon.size(), QSize(256, 256));
        const QPixmap disc = AppIcon::splashPixmap(QIcon());
        QCOMPARE(disc.size(), QSize(256, 256));
        const QImage image = disc.toImage();
        QCOMPARE(image.pixelColor(5, 5).alpha(), 0);
        QCOMPARE(image.pixelColor(128, 128).rgb(), QColor(0x3b, 0x82, 0xf6).rgb());
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

    void madeUpNicknameHasBraceAndFiveHexDigits()
    {
        const QString name = StartupDialogs::madeUpNickname();
        QVERIFY2(QRegularExpression(QStringLiteral("^Игрок_\\{[0-9a-f]{5}$")).match(name).hasMatch(),
            qPrintable(name));
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--hold-guard") == 0) {
        QCoreApplication app(argc, argv);
        return holdGuard(argv[2]);
    }
    QApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
