#include "core/settingskeys.h"
#include "support/modaldriver.h"
#include "ui/animatedbackground.h"
#include "ui/basemovabledialog.h"
#include "ui/cachedlabel.h"
#include "ui/messagebox.h"

#include <QtTest>
#include <QtWidgets>

using Particle = AnimatedBackground::Particle;

namespace {

Particle marker(double x, double y, double angle, double speed)
{
    Particle p;
    p.x = x;
    p.y = y;
    p.size = 9.0;
    p.speed = speed;
    p.angle = angle;
    p.color = QColor(0x3b82f6);
    p.opacity = 0.5;
    return p;
}

// Records, for each paint, the region painted and where the first particle was at that moment.
class PaintRecorder : public QObject
{
public:
    explicit PaintRecorder(AnimatedBackground *background) : m_background(background)
    {
        background->installEventFilter(this);
    }
    QList<std::pair<QRegion, QPoint>> paints;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_background && event->type() == QEvent::Paint) {
            const Particle &p = m_background->particles().first();
            paints.append({static_cast<QPaintEvent *>(event)->region(), QPointF(p.x, p.y).toPoint()});
        }
        return false;
    }

private:
    AnimatedBackground *m_background;
};

} // namespace

class TestDialogFramework : public QObject
{
    Q_OBJECT

private slots:
    void init() { openSettings().clear(); }

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

    void stepsRepaintOnlyWhatMoved()
    {
        QWidget window;
        window.resize(400, 300);
        auto *background = new AnimatedBackground(&window);
        background->resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The opening brightness sweep repaints everything; it is not what is measured here.
        for (QAbstractAnimation *animation : background->findChildren<QAbstractAnimation *>())
            animation->stop();
        // One slow marker drifting right from (100, 150), well away from the probe point below.
        background->setParticles({marker(100, 150, 0.0, 0.3)});
        PaintRecorder recorder(background);
        QTRY_VERIFY(!recorder.paints.isEmpty()); // the full repaint that setParticles asks for
        recorder.paints.clear();
        QTRY_VERIFY(recorder.paints.size() >= 8);

        // Between the wave bands and far from the marker nothing changes, so nothing is repainted;
        // the marker is drawn where it is and wiped where it was.
        QRegion painted;
        for (qsizetype i = 0; i < recorder.paints.size(); ++i) {
            const auto &[region, particle] = recorder.paints.at(i);
            QVERIFY2(!region.contains(QPoint(350, 150)), qPrintable(QString::number(i)));
            QVERIFY(region.contains(particle));
            if (i > 0)
                QVERIFY(region.contains(recorder.paints.at(i - 1).second));
            painted += region;
        }
        // The waves still move: their crests are repainted.
        for (const QPoint crest : {QPoint(50, 100), QPoint(380, 200), QPoint(200, 280)})
            QVERIFY(painted.contains(crest));
    }
};

QTEST_MAIN(TestDialogFramework)
#include "tst_dialogframework.moc"
