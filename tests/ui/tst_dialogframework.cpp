#include "support/modaldriver.h"
#include "ui/animatedbackground.h"
#include "ui/messagebox.h"

#include <QtTest>
#include <QtWidgets>

class TestDialogFramework : public QObject
{
    Q_OBJECT

private slots:
    // Without a queued answer the box really runs, with Russian button texts.
    void realMessageBox()
    {
        QStringList texts;
        ModalDriver driver([&](QWidget *modal) {
            QAbstractButton *no = nullptr;
            for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
                texts << button->text();
                if (button->text() == QStringLiteral("Нет"))
                    no = button;
            }
            no ? no->click() : static_cast<QDialog *>(modal)->reject();
        });
        MessageBox::clearNextAnswers();
        QCOMPARE(MessageBox::question(nullptr, QStringLiteral("Выход"), QStringLiteral("Выйти?")),
            QMessageBox::No);
        QVERIFY2(
            driver.fired && texts.contains(QStringLiteral("Да")), qPrintable(texts.join(QLatin1Char(' '))));
    }

    // Hidden, the background costs nothing.
    void timersRunOnlyWhileVisible()
    {
        QWidget window;
        window.resize(300, 200);
        auto *background = new AnimatedBackground(&window);
        background->resize(300, 200);
        QVERIFY(!background->isAnimating());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(background->isAnimating());
        QTRY_VERIFY(background->waveClock() > 0.15);
        window.hide();
        QVERIFY(!background->isAnimating());
        const double clock = background->waveClock();
        QTest::qWait(3 * AnimatedBackground::kWaveIntervalMs);
        QCOMPARE(background->waveClock(), clock);
        window.show();
        QTRY_VERIFY(background->waveClock() > clock);
    }
};

QTEST_MAIN(TestDialogFramework)
#include "tst_dialogframework.moc"
