// What the animated background costs and shows: the motion keeps its speed per second, the
// frames never show a stale picture of what lies above the background, and nothing is drawn
// where nobody can see it.

#include "ui/animatedbackground.h"
#include "ui/framecompositor.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A translucent window as the program builds them: background, a panel with a label, and the
// compositor on top. The label sits on the first wave's crest, which every frame repaints.
struct Window
{
    QWidget top;
    AnimatedBackground *background = new AnimatedBackground(&top);
    QLabel *label = new QLabel(QStringLiteral("ПИНГ"), &top);
    FrameCompositor *compositor = nullptr;

    Window()
    {
        top.setAttribute(Qt::WA_TranslucentBackground);
        top.resize(400, 300);
        background->setGeometry(top.rect());
        label->setGeometry(40, 92, 80, 20);
        label->setStyleSheet(QStringLiteral("background:#ff0000;"));
        compositor = new FrameCompositor(background);
    }

    QColor onScreen(const QPoint &point) const
    {
        return top.screen()->grabWindow(top.winId()).toImage().pixelColor(point);
    }

    bool framesPass(int count) const
    {
        const int target = compositor->presentedFrames() + count;
        return QTest::qWaitFor([&] { return compositor->presentedFrames() >= target; }, 5000);
    }
};

} // namespace

class TestFrameCost : public QObject
{
    Q_OBJECT

private slots:
    // Waves step 20 times and particles about 33 times a second, whatever the frame rate.
    void motionKeepsItsSpeedPerSecond()
    {
        Window window;
        window.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.top));
        // A resting particle ages one step at a time: its life counts the particle steps.
        window.background->setParticles({{200, 150, 3, 0.0, 0.0, QColor(0x3b82f6), 0.5, 1.0}});
        const double clock = window.background->waveClock();
        QElapsedTimer elapsed;
        elapsed.start();
        QTest::qWait(1500);
        const double seconds = elapsed.nsecsElapsed() / 1e9;
        const double waveSteps = (window.background->waveClock() - clock) / 0.1;
        const double particleSteps = (1.0 - window.background->particles().first().life) / 0.002;
        QVERIFY2(qAbs(waveSteps / seconds - 20.0) < 3.0, qPrintable(QString::number(waveSteps / seconds)));
        QVERIFY2(
            qAbs(particleSteps / seconds - 1000.0 / 30) < 5.0, qPrintable(QString::number(particleSteps)));
        QVERIFY(window.compositor->presentedFrames() > 10);
    }

    // A child that changes between frames is shown changed by the next frame, not painted over
    // with the picture taken before; and a frame repaints no child.
    void framesShowChangesBeneathThem()
    {
        Window window;
        window.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.top));
        QVERIFY(window.framesPass(3));
        QCOMPARE(window.onScreen(QPoint(80, 102)), QColor(Qt::red));

        window.label->setStyleSheet(QStringLiteral("background:#00ff00;"));
        QVERIFY(window.framesPass(3));
        QCOMPARE(window.onScreen(QPoint(80, 102)), QColor(Qt::green));

        // Once the change is in, frames render nothing of the children again.
        const qint64 rendered = window.compositor->renderedPixels();
        QVERIFY(window.framesPass(5));
        QCOMPARE(window.compositor->renderedPixels(), rendered);
    }

    void nothingMovesWhereNobodyLooks_data()
    {
        QTest::addColumn<bool>("minimise");
        QTest::newRow("hidden") << false;
        QTest::newRow("minimised") << true; // some window systems keep a minimised window mapped
    }

    void nothingMovesWhereNobodyLooks()
    {
        QFETCH(bool, minimise);
        Window window;
        window.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.top));
        QVERIFY(window.framesPass(2));

        if (minimise)
            window.top.showMinimized();
        else
            window.top.hide();
        QTest::qWait(100); // a frame already under way may end
        const int frames = window.compositor->presentedFrames();
        const double clock = window.background->waveClock();
        QTest::qWait(400);
        QCOMPARE(window.compositor->presentedFrames(), frames);
        QCOMPARE(window.background->waveClock(), clock);
        QCOMPARE(window.top.updatesEnabled(), !minimise);

        window.top.showNormal();
        QVERIFY(window.framesPass(2));
        QVERIFY(window.top.updatesEnabled());
        QVERIFY(window.background->waveClock() > clock);
    }
};

QTEST_MAIN(TestFrameCost)
#include "tst_framecost.moc"
