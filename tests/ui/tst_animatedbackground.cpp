#include "ui/animatedbackground.h"

#include <QAbstractAnimation>
#include <QPaintEvent>
#include <QTest>

#include <cmath>

using Particle = AnimatedBackground::Particle;

namespace {

constexpr double kMarkerSize = 9.0; // new particles are 2 to 5 pixels

Particle marker(double x, double y, double angle, double speed)
{
    Particle p;
    p.x = x;
    p.y = y;
    p.size = kMarkerSize;
    p.speed = speed;
    p.angle = angle;
    p.color = QColor(0x3b82f6);
    p.opacity = 0.5;
    p.life = 1.0;
    return p;
}

bool hasMarker(const AnimatedBackground &background)
{
    for (const Particle &p : background.particles())
        if (p.size == kMarkerSize)
            return true;
    return false;
}

void verifyFreshParticles(const AnimatedBackground &background, const QSize &size)
{
    QCOMPARE(background.particles().size(), AnimatedBackground::kParticleCount);
    for (const Particle &p : background.particles()) {
        QVERIFY(p.x >= 0 && p.x < size.width());
        QVERIFY(p.y >= 0 && p.y < size.height());
        QVERIFY(p.size >= 2 && p.size <= 5);
        QVERIFY(p.speed == 0.1 || p.speed == 0.2 || p.speed == 0.3);
        QVERIFY(p.angle >= 0 && p.angle <= 359);
        QVERIFY(p.opacity >= 0.2 && p.opacity <= 0.79);
        QCOMPARE(p.life, 1.0);
        QCOMPARE(p.color.alpha(), 255);
    }
}

// Records, for each paint of the watched widget, the region painted and where the first
// particle was at that moment.
class PaintRecorder : public QObject
{
public:
    struct Paint
    {
        QRegion region;
        QPointF particle;
    };

    explicit PaintRecorder(AnimatedBackground *background) : m_background(background)
    {
        background->installEventFilter(this);
    }

    QList<Paint> paints;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_background && event->type() == QEvent::Paint) {
            const Particle &p = m_background->particles().first();
            paints.append({static_cast<QPaintEvent *>(event)->region(), QPointF(p.x, p.y)});
        }
        return false;
    }

private:
    AnimatedBackground *m_background;
};

} // namespace

class TestAnimatedBackground : public QObject
{
    Q_OBJECT

private slots:
    void startsWithThirtyParticlesAndFourWaves();
    void resizeScattersThirtyNewParticles_data();
    void resizeScattersThirtyNewParticles();
    void particleLeavingTheAreaIsReplaced_data();
    void particleLeavingTheAreaIsReplaced();
    void particleDiesAfterFiveHundredSteps();
    void wavesAdvance();
    void progressDimsTheGradient_data();
    void progressDimsTheGradient();
    void timersRunOnlyWhileVisible();
    void paintsTheGradient();
    void stepsRepaintOnlyWhatMoved();
};

void TestAnimatedBackground::startsWithThirtyParticlesAndFourWaves()
{
    AnimatedBackground background;
    background.resize(400, 300);
    QCOMPARE(background.particles().size(), 30);
    const QList<AnimatedBackground::Wave> waves = background.waves();
    QCOMPARE(waves.size(), 4);
    QCOMPARE(waves.at(0).baseLine, 100);
    QCOMPARE(waves.at(3).baseLine, 400);
    QCOMPARE(waves.at(1).color, QColor(0x22, 0xd3, 0xee, 30));
    QVERIFY(!background.isAnimating()); // never shown
}

void TestAnimatedBackground::resizeScattersThirtyNewParticles_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger") << QSize(900, 700);
    QTest::newRow("smaller") << QSize(120, 80);
    QTest::newRow("one pixel") << QSize(1, 1);
}

void TestAnimatedBackground::resizeScattersThirtyNewParticles()
{
    QFETCH(QSize, size);
    // A visible child receives its resize event at once.
    QWidget host;
    host.resize(1000, 800);
    auto *background = new AnimatedBackground(&host);
    background->resize(400, 300);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    QList<Particle> markers;
    for (int i = 0; i < 30; ++i)
        markers.append(marker(200, 150, 0.0, 0.0));
    background->setParticles(markers);

    background->resize(size);
    QVERIFY(!hasMarker(*background));
    verifyFreshParticles(*background, size);
}

void TestAnimatedBackground::particleLeavingTheAreaIsReplaced_data()
{
    QTest::addColumn<QPointF>("position");
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("replaced");

    const double pi = 3.14159265358979323846;
    QTest::newRow("out on the right") << QPointF(399.95, 150) << 0.0 << true;
    QTest::newRow("out on the left") << QPointF(0.05, 150) << pi << true;
    QTest::newRow("out at the bottom") << QPointF(200, 299.95) << pi / 2 << true;
    QTest::newRow("out at the top") << QPointF(200, 0.05) << -pi / 2 << true;
    QTest::newRow("stays on the right edge") << QPointF(399.85, 150) << 0.0 << false;
    QTest::newRow("inside") << QPointF(200, 150) << 1.0 << false;
}

void TestAnimatedBackground::particleLeavingTheAreaIsReplaced()
{
    QFETCH(QPointF, position);
    QFETCH(double, angle);
    QFETCH(bool, replaced);

    AnimatedBackground background;
    background.resize(400, 300);
    background.setParticles({marker(position.x(), position.y(), angle, 0.1)});
    background.updateParticles();
    QCOMPARE(background.particles().size(), 1);
    QCOMPARE(!hasMarker(background), replaced);
    if (!replaced) {
        const Particle &p = background.particles().first();
        QVERIFY(qAbs(p.x - (position.x() + 0.1 * std::cos(angle))) < 1e-9);
        QVERIFY(qAbs(p.y - (position.y() + 0.1 * std::sin(angle))) < 1e-9);
    }
}

void TestAnimatedBackground::particleDiesAfterFiveHundredSteps()
{
    AnimatedBackground background;
    background.resize(400, 300);
    // A resting particle in the middle can only leave by running out of life.
    QList<Particle> particles {marker(200, 150, 0.0, 0.0)};
    for (int i = 0; i < 29; ++i)
        particles.append(marker(100, 100, 0.0, 0.0));
    particles[0].size = kMarkerSize + 1;
    background.setParticles(particles);

    for (int step = 0; step < 499; ++step)
        background.updateParticles();
    QCOMPARE(background.particles().size(), 30);
    QCOMPARE(background.particles().first().size, kMarkerSize + 1);
    QVERIFY(background.particles().first().life > 0.0);

    background.updateParticles();
    QCOMPARE(background.particles().size(), 30);
    QVERIFY(!hasMarker(background));
    for (const Particle &p : background.particles())
        QVERIFY(p.size != kMarkerSize + 1);
    verifyFreshParticles(background, QSize(400, 300));
}

void TestAnimatedBackground::wavesAdvance()
{
    AnimatedBackground background;
    const QList<AnimatedBackground::Wave> before = background.waves();
    background.updateWaves();
    background.updateWaves();
    QVERIFY(qAbs(background.waveClock() - 0.2) < 1e-12);
    for (int i = 0; i < before.size(); ++i)
        QVERIFY(qAbs(background.waves().at(i).phase - (before.at(i).phase + 2 * before.at(i).speed)) < 1e-12);
}

void TestAnimatedBackground::progressDimsTheGradient_data()
{
    QTest::addColumn<double>("progress");
    QTest::addColumn<QList<QColor>>("expected");

    // Factor 0.2 * sin(2 pi p) + 0.8 scales red, green and blue, truncated; alphas stay.
    QTest::newRow("p=0.25, full brightness")
        << 0.25
        << QList<QColor> {QColor(15, 23, 42, 200), QColor(30, 41, 59, 180), QColor(59, 130, 246, 100),
               QColor(34, 211, 238, 60)};
    QTest::newRow("p=0.75, factor 0.6") << 0.75
                                        << QList<QColor> {QColor(9, 13, 25, 200), QColor(18, 24, 35, 180),
                                               QColor(35, 78, 147, 100), QColor(20, 126, 142, 60)};
    QTest::newRow("p=0, factor 0.8") << 0.0
                                     << QList<QColor> {QColor(12, 18, 33, 200), QColor(24, 32, 47, 180),
                                            QColor(47, 104, 196, 100), QColor(27, 168, 190, 60)};
}

void TestAnimatedBackground::progressDimsTheGradient()
{
    QFETCH(double, progress);
    QFETCH(QList<QColor>, expected);

    AnimatedBackground background;
    QVERIFY(background.setProperty("animationProgress", progress));
    QCOMPARE(background.property("animationProgress").toDouble(), progress);
    QCOMPARE(background.gradientColors(), expected);
}

void TestAnimatedBackground::timersRunOnlyWhileVisible()
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

    window.show();
    QVERIFY(background->isAnimating());
    const double clock = background->waveClock();
    QTRY_VERIFY(background->waveClock() > clock);
}

void TestAnimatedBackground::paintsTheGradient()
{
    AnimatedBackground background;
    background.resize(200, 200);
    background.setParticles({});
    background.setProperty("animationProgress", 0.25);
    QImage image(background.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    background.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    // The top-left corner is the first gradient colour under the top glow: dark, translucent blue.
    const QColor corner = image.pixelColor(0, 0);
    QVERIFY(corner.alpha() >= 200);
    QVERIFY(corner.blue() > corner.red());
    // Above the first wave and below the glow band, only the gradient is painted.
    const QColor plain = image.pixelColor(100, 60);
    QVERIFY(plain.alpha() >= 180 && plain.alpha() <= 200);
    // Below the waves the colours stack up towards opaque.
    QVERIFY(image.pixelColor(100, 190).alpha() > plain.alpha());
}

void TestAnimatedBackground::stepsRepaintOnlyWhatMoved()
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

    // Between the wave bands (crests at 100 and 200, 15 and 25 pixels high) and far from the
    // marker, nothing changes, so nothing is repainted.
    const QPoint still(350, 150);
    QRegion painted;
    for (qsizetype i = 0; i < recorder.paints.size(); ++i) {
        const PaintRecorder::Paint &paint = recorder.paints.at(i);
        QVERIFY2(!paint.region.contains(still), qPrintable(QString::number(i)));
        // The marker is drawn where it is and wiped where it was: no trail.
        QVERIFY(paint.region.contains(paint.particle.toPoint()));
        if (i > 0)
            QVERIFY(paint.region.contains(recorder.paints.at(i - 1).particle.toPoint()));
        painted += paint.region;
    }
    // The waves still move: their crests are repainted.
    for (const QPoint crest : {QPoint(50, 100), QPoint(380, 200), QPoint(200, 280)})
        QVERIFY2(painted.contains(crest), qPrintable(QStringLiteral("%1,%2").arg(crest.x()).arg(crest.y())));
}

QTEST_MAIN(TestAnimatedBackground)
#include "tst_animatedbackground.moc"
