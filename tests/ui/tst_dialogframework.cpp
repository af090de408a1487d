#include "core/settingskeys.h"
#include "support/modaldriver.h"
#include "ui/basemovabledialog.h"
#include "ui/cachedlabel.h"
#include "ui/dialogchrome.h"
#include "ui/icons.h"
#include "ui/messagebox.h"
#include "ui/movabledialog.h"
#include "ui/svgbutton.h"

#include <QtTest>
#include <QtWidgets>

class TestDialogFramework : public QObject
{
    Q_OBJECT

private slots:
    void init() { openSettings().clear(); }

    void drag_data()
    {
        // 0 BaseMovableDialog, 1 MovableDialog, 2 the first without a title bar
        QTest::addColumn<int>("kind");
        QTest::addColumn<QPoint>("pressAt");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("moves");
        for (bool movable : {false, true}) {
            const char *name = movable ? "MovableDialog" : "BaseMovableDialog";
            QTest::addRow("%s: title bar", name) << int(movable) << QPoint(120, 44) << Qt::LeftButton << true;
            QTest::addRow("%s: content", name) << int(movable) << QPoint(120, 45) << Qt::LeftButton << false;
            QTest::addRow("%s: right button", name)
                << int(movable) << QPoint(120, 20) << Qt::RightButton << false;
        }
        QTest::newRow("no title bar") << 2 << QPoint(10, 10) << Qt::LeftButton << false;
    }

    void drag()
    {
        QFETCH(int, kind);
        QFETCH(QPoint, pressAt);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, moves);
        std::unique_ptr<BaseDialog> dialog;
        if (kind == 1)
            dialog = std::make_unique<MovableDialog>();
        else
            dialog = std::make_unique<BaseMovableDialog>();
        if (kind == 2)
            dialog->resize(300, 200);
        else
            DialogChrome::build(dialog.get(), [] {
                DialogChrome::Options options;
                options.fixedSize = QSize(400, 300);
                options.center = false;
                return options;
            }());
        dialog->move(100, 100);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        const QPoint start = dialog->pos();
        const QPoint pressGlobal = dialog->mapToGlobal(pressAt);
        const QPoint delta(37, 23);
        QTest::mousePress(dialog.get(), button, {}, pressAt);
        QTest::mouseMove(dialog.get(), pressAt + delta);
        QTest::mouseRelease(dialog.get(), button, {}, pressAt + delta);
        if (moves) {
            QTRY_COMPARE(dialog->pos(), start + delta);
            QCOMPARE(dialog->mapFromGlobal(pressGlobal + delta), pressAt); // grabbed point under the cursor
        } else {
            QCoreApplication::processEvents();
            QCOMPARE(dialog->pos(), start);
        }
    }

    void opacityFollowsSettingAtNextShow()
    {
        const auto store = [](const QVariant &value) {
            const QString key = QLatin1String(SettingsKeys::kWindowOpacity);
            value.isValid() ? openSettings().setValue(key, value) : openSettings().remove(key);
        };
        // Window opacity is kept in steps of 1/255.
        const auto near = [](double a, double b) { return qAbs(a - b) < 0.01; };
        BaseMovableDialog dialog; // no value stored: the default
        QVERIFY(near(dialog.windowOpacity(), 0.85));
        store(50);
        QVERIFY(near(dialog.windowOpacity(), 0.85));
        dialog.show();
        QVERIFY(near(dialog.windowOpacity(), 0.50));
        dialog.hide();
        store(QVariant());
        dialog.show();
        QVERIFY(near(dialog.windowOpacity(), 0.85));
    }

    void svgButtonPaintsOnlyAValidIcon()
    {
        const QByteArray broken = "<svg viewBox=\"0 0 24 24\"><line x1=";
        for (const QByteArray &svg : {Icons::close(), QByteArray("not an image"), broken}) {
            QWidget host;
            auto *button = new SvgButton(svg, &host);
            host.show();
            QVERIFY(QTest::qWaitForWindowExposed(&host));
            // Render without the window background, so only what the button paints itself shows.
            QImage blank(button->size(), QImage::Format_ARGB32_Premultiplied);
            blank.fill(Qt::transparent);
            QImage image = blank;
            button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            QVERIFY2((image == blank) == (svg != Icons::close()), svg.constData());
        }
    }

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

    // A cached caption must look exactly like the label it replaces, and follow a new text.
    void cachedLabelLooksLikeALabel()
    {
        QWidget host;
        host.setStyleSheet(QStringLiteral("QLabel { color:#94a3b8; font-size:10px; font-weight:600; }"));
        auto *plain = new QLabel(QStringLiteral("📊 СРЕДНИЙ ПИНГ"), &host);
        auto *cached = new CachedLabel(plain->text(), &host);
        for (QLabel *label : {plain, static_cast<QLabel *>(cached)}) {
            label->setAlignment(Qt::AlignCenter);
            label->setFixedSize(160, 24);
        }
        host.show();
        QCOMPARE(cached->grab().toImage(), plain->grab().toImage());

        plain->setText(QStringLiteral("⏱ ВРЕМЯ"));
        cached->setText(plain->text());
        QCOMPARE(cached->grab().toImage(), plain->grab().toImage());
    }
};

QTEST_MAIN(TestDialogFramework)
#include "tst_dialogframework.moc"
