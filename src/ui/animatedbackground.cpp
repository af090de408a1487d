#include "ui/animatedbackground.h"

#include <QEasingCurve>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTimer>

#include <cmath>

namespace {

struct GradientBase
{
    QRgb rgb;
    int alpha;
};

constexpr GradientBase kGradientBases[4] = {
    {0x0f172a, 200},
    {0x1e293b, 180},
    {0x3b82f6, 100},
    {0x22d3ee, 60},
};

constexpr double kPi = 3.14159265358979323846;

QColor scaled(const GradientBase &base, double factor)
{
    return QColor(int(qRed(base.rgb) * factor), int(qGreen(base.rgb) * factor), int(qBlue(base.rgb) * factor),
        base.alpha);
}

} // namespace

AnimatedBackground::AnimatedBackground(QWidget *parent)
    : QWidget(parent)
    , m_waveTimer(new QTimer(this))
    , m_particleTimer(new QTimer(this))
    , m_progressAnimation(new QPropertyAnimation(this, "animationProgress", this))
    , m_animationGroup(new QParallelAnimationGroup(this))
{
    setAttribute(Qt::WA_TranslucentBackground);

    const auto withAlpha = [](QRgb rgb, int alpha) {
        QColor c(rgb);
        c.setAlpha(alpha);
        return c;
    };
    m_waves = {
        {15.0, 0.02, 0.05, 0.0, withAlpha(0x3b82f6, 40), 100},
        {25.0, 0.015, 0.03, 2.0, withAlpha(0x22d3ee, 30), 200},
        {20.0, 0.025, 0.04, 4.0, withAlpha(0x8b5cf6, 25), 300},
        {18.0, 0.018, 0.06, 1.0, withAlpha(0xec4899, 20), 400},
    };
    m_gradient1 = scaled(kGradientBases[0], 1.0);
    m_gradient2 = scaled(kGradientBases[1], 1.0);
    m_gradient3 = scaled(kGradientBases[2], 1.0);
    m_gradient4 = scaled(kGradientBases[3], 1.0);

    scatterParticles();

    m_waveTimer->setInterval(kWaveIntervalMs);
    connect(m_waveTimer, &QTimer::timeout, this, &AnimatedBackground::updateWaves);
    m_particleTimer->setInterval(kParticleIntervalMs);
    connect(m_particleTimer, &QTimer::timeout, this, &AnimatedBackground::updateParticles);

    m_progressAnimation->setDuration(8000);
    m_progressAnimation->setStartValue(0.0);
    m_progressAnimation->setEndValue(1.0);
    m_progressAnimation->setEasingCurve(QEasingCurve::SineCurve);
    m_animationGroup->addAnimation(m_progressAnimation); // the group takes ownership
    m_animationGroup->start();
}

void AnimatedBackground::setAnimationProgress(double progress)
{
    m_animationProgress = progress;
    const double factor = 0.2 * std::sin(2.0 * kPi * progress) + 0.8;
    m_gradient1 = scaled(kGradientBases[0], factor);
    m_gradient2 = scaled(kGradientBases[1], factor);
    m_gradient3 = scaled(kGradientBases[2], factor);
    m_gradient4 = scaled(kGradientBases[3], factor);
    update();
}

void AnimatedBackground::setParticles(const QList<Particle> &particles)
{
    m_particles = particles;
    update();
}

QList<QColor> AnimatedBackground::gradientColors() const
{
    return {m_gradient1, m_gradient2, m_gradient3, m_gradient4};
}

bool AnimatedBackground::isAnimating() const
{
    return m_waveTimer->isActive() || m_particleTimer->isActive();
}

AnimatedBackground::Particle AnimatedBackground::makeParticle() const
{
    static const QRgb colors[] = {0x3b82f6, 0x22d3ee, 0x8b5cf6};
    static const double speeds[] = {0.1, 0.2, 0.3};
    QRandomGenerator *random = QRandomGenerator::global();

    Particle p;
    // bounded() needs a positive bound; a collapsed widget puts particles at its origin.
    p.x = random->bounded(qMax(1, width()));
    p.y = random->bounded(qMax(1, height()));
    p.size = 2 + random->bounded(4);
    p.speed = speeds[random->bounded(3)];
    p.angle = random->bounded(360);
    p.opacity = (20 + random->bounded(60)) / 100.0;
    p.life = 1.0;
    p.color = QColor(colors[random->bounded(3)]);
    return p;
}

void AnimatedBackground::scatterParticles()
{
    m_particles.clear();
    m_particles.reserve(kParticleCount);
    for (int i = 0; i < kParticleCount; ++i)
        m_particles.append(makeParticle());
}

void AnimatedBackground::updateParticles()
{
    const double w = width();
    const double h = height();
    for (qsizetype i = m_particles.size() - 1; i >= 0; --i) {
        Particle &p = m_particles[i];
        m_dirty += particleRect(p);
        p.x += std::cos(p.angle) * p.speed;
        p.y += std::sin(p.angle) * p.speed;
        p.life -= 0.002;
        // Five hundred steps of 0.002 do not sum to exactly 1.0; allow for the rounding.
        if (p.x < 0 || p.x > w || p.y < 0 || p.y > h || p.life <= 1e-9) {
            m_particles.removeAt(i);
            m_particles.append(makeParticle());
            m_dirty += particleRect(m_particles.last());
        } else {
            m_dirty += particleRect(p);
        }
    }
    repaintDirty();
}

void AnimatedBackground::updateWaves()
{
    m_waveClock += 0.1;
    for (Wave &wave : m_waves) {
        wave.phase += wave.speed;
        // Only the band the crest sweeps changes: above it the wave is absent, below it solid.
        const int reach = int(std::ceil(wave.amplitude)) + kRepaintMargin;
        m_dirty += QRect(0, wave.baseLine - reach, width(), 2 * reach + 1);
    }
    // Every repaint also redraws the children above the changed area, so while the particle
    // timer runs, its next frame (at most 30 ms away) carries the waves as well.
    if (!m_particleTimer->isActive())
        repaintDirty();
}

QRect AnimatedBackground::particleRect(const Particle &p)
{
    return QRectF(p.x - p.size, p.y - p.size, 2 * p.size, 2 * p.size)
        .toAlignedRect()
        .adjusted(-kRepaintMargin, -kRepaintMargin, kRepaintMargin, kRepaintMargin);
}

void AnimatedBackground::repaintDirty()
{
    update(m_dirty);
    m_dirty = QRegion();
}

void AnimatedBackground::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();

    QLinearGradient gradient(0, 0, w, h);
    gradient.setColorAt(0.0, m_gradient1);
    gradient.setColorAt(0.5, m_gradient2);
    gradient.setColorAt(1.0, m_gradient1);
    painter.fillRect(rect(), gradient);
    painter.setClipRect(rect());

    painter.setPen(Qt::NoPen);
    for (const Wave &wave : m_waves) {
        QPainterPath path;
        bool first = true;
        for (int x = -50; x <= w + 50; x += 5) {
            const QPointF point(x,
                wave.baseLine
                    + wave.amplitude * std::sin(m_waveClock * wave.speed + wave.frequency * x + wave.phase));
            if (first) {
                path.moveTo(point);
                first = false;
            } else {
                path.lineTo(point);
            }
        }
        // The body below the crest is a plain rectangle: filled as one, it costs the
        // antialiasing rasteriser nothing, and the seam on a whole pixel row is exact.
        const int crestBottom = wave.baseLine + int(std::ceil(wave.amplitude)) + 1;
        path.lineTo(w + 50, crestBottom);
        path.lineTo(-50, crestBottom);
        path.closeSubpath();
        painter.fillPath(path, wave.color);
        if (crestBottom < h)
            painter.fillRect(QRect(0, crestBottom, w, h - crestBottom), wave.color);
    }

    for (const Particle &p : std::as_const(m_particles)) {
        painter.setOpacity(p.opacity * p.life);
        QRadialGradient glow(QPointF(p.x, p.y), 2 * p.size);
        glow.setColorAt(0, p.color);
        glow.setColorAt(1, Qt::transparent);
        painter.setBrush(glow);
        painter.drawEllipse(QRectF(p.x - p.size, p.y - p.size, 2 * p.size, 2 * p.size));
    }

    // The glows are drawn at full strength so they do not flicker with whichever
    // particle happened to be painted last.
    painter.setOpacity(1.0);
    const int band = 50;
    QLinearGradient top(0, 0, 0, band);
    top.setColorAt(0, QColor(0x3b, 0x82, 0xf6, 30));
    top.setColorAt(1, Qt::transparent);
    painter.fillRect(QRect(0, 0, w, band), top);
    QLinearGradient bottom(0, h - band, 0, h);
    bottom.setColorAt(0, Qt::transparent);
    bottom.setColorAt(1, QColor(0x3b, 0x82, 0xf6, 30));
    painter.fillRect(QRect(0, h - band, w, band), bottom);
}

void AnimatedBackground::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    scatterParticles();
}

void AnimatedBackground::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_waveTimer->start();
    m_particleTimer->start();
}

void AnimatedBackground::hideEvent(QHideEvent *event)
{
    m_waveTimer->stop();
    m_particleTimer->stop();
    QWidget::hideEvent(event);
}
