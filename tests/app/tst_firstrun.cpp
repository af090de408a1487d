#include "app/firstrun.h"
#include "app/nicknameinputdialog.h"
#include "app/safetydialog.h"
#include "core/settingskeys.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace {

// Runs the action on the next modal window that opens (the start-up steps exec() theirs).
void onNextModal(std::function<void(QWidget *)> action)
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
}

} // namespace

class TestFirstRun : public QObject
{
    Q_OBJECT

private slots:
    void init() { openSettings().clear(); }

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
        QTest::newRow("empty") << QString() << QStringLiteral("^Игрок_\\{[0-9a-f]{5}$");
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
};

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
