#include "app/firstrun.h"
#include "app/nicknameinputdialog.h"
#include "app/safetydialog.h"
#include "app/settingskeys.h"
#include "app/splashscreen.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

namespace {

// Runs the action on the next modal window that opens (the start-up steps exec() theirs).
QTimer *onNextModal(std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->deleteLater();
        timer->stop();
        action(modal);
    });
    timer->start();
    return timer;
}

QString longDeclaration()
{
    QString html;
    for (int i = 0; i < 80; ++i)
        html += QStringLiteral("<p>Строка %1</p>").arg(i);
    return html;
}

} // namespace

class TestFirstRun : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings s = openSettings();
        s.clear();
        s.sync();
    }

    void safetyDeclined()
    {
        bool shown = false;
        onNextModal([&](QWidget *modal) {
            shown = qobject_cast<SafetyDialog *>(modal) != nullptr;
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QVERIFY(!FirstRun::ensureSafetyAccepted());
        QVERIFY(shown);
        QVERIFY(!openSettings().contains(QLatin1String(SettingsKeys::kSafetyAccepted)));
    }

    void safetyAccepted()
    {
        onNextModal([](QWidget *modal) {
            auto *dialog = qobject_cast<SafetyDialog *>(modal);
            QVERIFY(dialog);
            QScrollBar *bar = dialog->declaration()->verticalScrollBar();
            bar->setValue(bar->maximum());
            QVERIFY(dialog->acceptButton()->isEnabled());
            dialog->acceptButton()->click();
        });
        QVERIFY(FirstRun::ensureSafetyAccepted());
        QCOMPARE(openSettings().value(QLatin1String(SettingsKeys::kSafetyAccepted)).toBool(), true);

        // Once accepted the declaration is not shown again.
        bool shownAgain = false;
        QPointer<QTimer> watch = onNextModal([&](QWidget *modal) {
            shownAgain = true;
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QVERIFY(FirstRun::ensureSafetyAccepted());
        QVERIFY(!shownAgain);
        delete watch;
    }

    void acceptUnlocksAtTheEnd()
    {
        SafetyDialog dialog;
        dialog.declaration()->setHtml(longDeclaration());
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
        bar->setValue(0); // stays unlocked
        QVERIFY(dialog.acceptButton()->isEnabled());
    }

    void shortDeclarationUnlocksAtOnce()
    {
        SafetyDialog dialog;
        dialog.declaration()->setHtml(QStringLiteral("<p>Коротко.</p>"));
        QVERIFY(!dialog.acceptButton()->isEnabled());
        dialog.show();
        QVERIFY(QTest::qWaitFor([&] { return dialog.acceptButton()->isEnabled(); }));
    }

    void declarationText()
    {
        SafetyDialog dialog;
        const QString text = dialog.declaration()->toPlainText();
        QVERIFY(text.contains(QStringLiteral("БЕЗОПАСНЫЙ МОНИТОРИНГ СЕТЕВОГО СОЕДИНЕНИЯ")));
        QVERIFY(text.contains(QStringLiteral("• Без изменения сетевых пакетов")));
        QVERIFY(text.contains(QStringLiteral("Версия программы: 1.6.3")));
        QVERIFY(text.contains(
            QStringLiteral("Дата сборки: ") + QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))));
        QCOMPARE(dialog.size(), QSize(650, 550));
    }

    void nickname_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("empty") << QString() << QStringLiteral("^Игрок_\\{[0-9a-f]{5}$");
        QTest::newRow("blank") << QStringLiteral("    ") << QStringLiteral("^Игрок_\\{[0-9a-f]{5}$");
        QTest::newRow("trimmed") << QStringLiteral("  Som  ") << QStringLiteral("^Som$");
        QTest::newRow("31 characters stop at 30")
            << QString(31, QLatin1Char('x')) << QStringLiteral("^x{30}$");
    }

    void nickname()
    {
        QFETCH(QString, typed);
        QFETCH(QString, pattern);
        onNextModal([typed](QWidget *modal) {
            auto *dialog = qobject_cast<NicknameInputDialog *>(modal);
            QVERIFY(dialog);
            QTest::keyClicks(dialog->lineEdit(), typed);
            QTest::keyClick(dialog->lineEdit(), Qt::Key_Return);
        });
        QVERIFY(FirstRun::ensureNickname());
        const QString stored = openSettings().value(QLatin1String(SettingsKeys::kChatUserName)).toString();
        QVERIFY2(QRegularExpression(pattern).match(stored).hasMatch(), qPrintable(stored));
    }

    void nicknameDeclined()
    {
        onNextModal([](QWidget *modal) {
            auto *dialog = qobject_cast<NicknameInputDialog *>(modal);
            QVERIFY(dialog);
            QTest::keyClicks(dialog->lineEdit(), QStringLiteral("Okun"));
            dialog->exitButton()->click();
        });
        QVERIFY(!FirstRun::ensureNickname());
        QVERIFY(!openSettings().contains(QLatin1String(SettingsKeys::kChatUserName)));
    }

    void splashRunsAndDeletesItself()
    {
        QPixmap logo(256, 256);
        logo.fill(Qt::blue);
        QPointer<SplashScreen> splash = new SplashScreen(logo);
        QVERIFY(splash->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(splash->size(), QSize(280, 280));
        QCOMPARE(splash->scale(), 0.5);
        QCOMPARE(splash->opacity(), 0.0);
        splash->show();

        // Growing in: strictly between the start and the end at some point, then full.
        QVERIFY(QTest::qWaitFor([&] { return splash && splash->opacity() > 0.0; }, 2000));
        QVERIFY(splash->scale() > 0.5);
        QVERIFY(QTest::qWaitFor([&] { return splash && splash->opacity() == 1.0; }, 2000));
        QCOMPARE(splash->scale(), 1.0);
        // Shrinking out, then gone.
        QVERIFY(QTest::qWaitFor([&] { return !splash || splash->opacity() < 1.0; }, 4000));
        if (splash)
            QVERIFY(splash->scale() < 1.0 && splash->scale() >= 0.3);
        QVERIFY(QTest::qWaitFor([&] { return splash.isNull(); }, 4000));
    }

    void splashRunBlocksUntilDone()
    {
        QPixmap logo(64, 64);
        logo.fill(Qt::green);
        SplashScreen::run(logo);
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<SplashScreen *>(widget));
    }
};

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
