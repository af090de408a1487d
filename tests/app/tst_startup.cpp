#include "app/appicon.h"
#include "app/firstrun.h"
#include "app/nicknameinputdialog.h"
#include "app/safetydialog.h"
#include "core/notificationgate.h"
#include "core/settingskeys.h"
#include "support/modaldriver.h"

#include <QtTest>
#include <QtWidgets>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init() { openSettings().clear(); }

    // Without an icon file the program draws its own, for the window, the tray and the splash.
    void fallbackIcon()
    {
        const QImage image = AppIcon::createFallbackIcon().pixmap(256, 256).toImage();
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0); // outside the disc
        QCOMPARE(image.pixelColor(128, 128), QColor(Qt::white)); // crosshair centre
        const QImage splash = AppIcon::splashPixmap(QIcon()).toImage();
        QCOMPARE(splash.size(), QSize(256, 256));
        QCOMPARE(splash.pixelColor(128, 128).rgb(), QColor(0x3b, 0x82, 0xf6).rgb());
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

    // The first run. Declined, nothing is stored and the program ends; accepted once, it is never asked
    // again.
    void safetyDeclaration()
    {
        const QString key = QLatin1String(SettingsKeys::kSafetyAccepted);
        {
            ModalDriver escape([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
            QVERIFY(!FirstRun::ensureSafetyAccepted());
            QVERIFY(escape.fired);
            QVERIFY(!openSettings().contains(key));
        }
        ModalDriver accept([](QWidget *modal) {
            auto *dialog = qobject_cast<SafetyDialog *>(modal);
            QScrollBar *bar = dialog->declaration()->verticalScrollBar();
            bar->setValue(bar->maximum());
            dialog->acceptButton()->click();
        });
        QVERIFY(FirstRun::ensureSafetyAccepted());
        QCOMPARE(openSettings().value(key).toBool(), true);
    }

    void acceptUnlocksAtTheEnd()
    {
        SafetyDialog fits; // nothing to scroll: unlocked once shown
        fits.declaration()->setHtml(QStringLiteral("<p>Коротко.</p>"));
        QVERIFY(!fits.acceptButton()->isEnabled());
        fits.show();
        QVERIFY(QTest::qWaitFor([&] { return fits.acceptButton()->isEnabled(); }));

        SafetyDialog dialog;
        QString html;
        for (int i = 0; i < 80; ++i)
            html += QStringLiteral("<p>Строка %1</p>").arg(i);
        dialog.declaration()->setHtml(html);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QScrollBar *bar = dialog.declaration()->verticalScrollBar();
        QVERIFY(QTest::qWaitFor([&] { return bar->maximum() > 0; }));
        QCoreApplication::processEvents();
        QVERIFY(!dialog.acceptButton()->isEnabled());
        bar->setValue(bar->maximum() - 1);
        QVERIFY(!dialog.acceptButton()->isEnabled());
        bar->setValue(bar->maximum());
        QVERIFY(dialog.acceptButton()->isEnabled());
    }

    void nickname_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("empty: made up") << QString() << QStringLiteral("^Игрок_\\{[0-9a-f]{5}$");
        QTest::newRow("trimmed") << QStringLiteral("  Som  ") << QStringLiteral("^Som$");
        QTest::newRow("31 characters stop at 30")
            << QString(31, QLatin1Char('x')) << QStringLiteral("^x{30}$");
    }

    void nickname()
    {
        QFETCH(QString, typed);
        QFETCH(QString, pattern);
        ModalDriver driver([typed](QWidget *modal) {
            auto *dialog = qobject_cast<NicknameInputDialog *>(modal);
            QTest::keyClicks(dialog->lineEdit(), typed);
            QTest::keyClick(dialog->lineEdit(), Qt::Key_Return);
        });
        QVERIFY(FirstRun::ensureNickname());
        const QString stored = openSettings().value(QLatin1String(SettingsKeys::kChatUserName)).toString();
        QVERIFY2(QRegularExpression(pattern).match(stored).hasMatch(), qPrintable(stored));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
