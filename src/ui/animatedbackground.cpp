#include "ui/animatedbackground.h"

#include "ui/framecompositor.h"

#include <QBasicTimer>
#include <QCoreApplication>
#include <QEasingCurve>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTimerEvent>
#include <QWindow>

#include <cmath>
#include <utility>

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
constexpr int kGlowBand = 50;

QColor scaled(const GradientBase &base, double factor)
{
    return QColor(int(qRed(base.rgb) * factor), int(qGreen(base.rgb) * factor), int(qBlue(base.rgb) * factor),
        base.alpha);
}

// A rectangle of widget pixels as device pixels of an image made at ratio.
QRectF deviceRect(const QRect &rect, qreal ratio)
{
    return QRectF(rect.x() * ratio, rect.y() * ratio, rect.width() * ratio, rect.height() * ratio);
}

// The union of rects as a region of few rectangles: every rectangle of a region costs a
// clear, a composition and a transfer to the display, so neighbours that cover little more
// together than apart become one. Adding to a region one rectangle at a time would cost as
// much as the frame.
QRegion mergedRegion(QList<QRect> rects)
{
    const auto cheapUnion = [](const QRect &a, const QRect &b) {
        const QRect both = a | b;
        const qint64 apart = qint64(a.width()) * a.height() + qint64(b.width()) * b.height();
        return qint64(both.width()) * both.height() <= apart + 256;
    };
    for (bool merged = true; merged;) {
        merged = false;
        for (qsizetype i = 0; i < rects.size(); ++i) {
            for (qsizetype j = i + 1; j < rects.size(); ++j) {
                if (cheapUnion(rects.at(i), rects.at(j))) {
                    rects[i] |= rects.at(j);
                    rects.removeAt(j);
                    merged = true;
                    --j;
                }
            }
        }
    }
    QRegion region;
    for (const QRect &r : std::as_const(rects))
        region += r;
    return region;
}

} // namespace

// One timer for every background on screen, so that two windows cost one wake-up a frame.
class FrameClock final : public QObject
{
public:
    static FrameClock *instance()
    {
        static QPointer<FrameClock> clock;
        if (!clock)
            clock = new FrameClock(QCoreApplication::instance());
        return clock;
    }

    void attach(AnimatedBackground *background)
    {
        if (!m_backgrounds.contains(background))
            m_backgrounds.append(background);
        if (!m_timer.isActive())
            m_timer.start(AnimatedBackground::kFrameIntervalMs, Qt::CoarseTimer, this);
    }

    void detach(AnimatedBackground *background)
    {
        m_backgrounds.removeAll(background);
        if (m_backgrounds.isEmpty())
            m_timer.stop();
    }

protected:
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() != m_timer.timerId())
            return;
        // A frame may close a window and so take its background off the list.
        const QList<QPointer<AnimatedBackground>> backgrounds(m_backgrounds.cbegin(), m_backgrounds.cend());
        for (const QPointer<AnimatedBackground> &background : backgrounds) {
            if (background && m_backgrounds.contains(background.data()))
                background->advanceFrame();
        }
    }

private:
    explicit FrameClock(QObject *parent) : QObject(parent) { }

    QBasicTimer m_timer;
    QList<AnimatedBackground *> m_backgrounds;
};

AnimatedBackground::AnimatedBackground(QWidget *parent)
    : QWidget(parent)
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

    m_progressAnimation->setDuration(kPulseDurationMs);
    m_progressAnimation->setStartValue(0.0);
    m_progressAnimation->setEndValue(1.0);
    m_progressAnimation->setEasingCurve(QEasingCurve::SineCurve);
    m_animationGroup->addAnimation(m_progressAnimation); // the group takes ownership
    // The sweep keeps its 8 s from now, but its time is set by the frame clock rather than
    // by the animation timer's 60 ticks a second, and only while the window is seen.
    m_animationGroup->start();
    m_animationGroup->pause();
    m_drivingPulse = true;
    m_life.start();
}

AnimatedBackground::~AnimatedBackground()
{
    stopClock();
    delete m_compositor;
}

FrameCompositor *AnimatedBackground::compositor() const
{
    return m_compositor;
}

void AnimatedBackground::setCompositor(FrameCompositor *compositor)
{
    m_compositor = compositor;
}

void AnimatedBackground::setAnimationProgress(double progress)
{
    m_animationProgress = progress;
    const double factor = 0.2 * std::sin(2.0 * kPi * progress) + 0.8;
    m_gradient1 = scaled(kGradientBases[0], factor);
    m_gradient2 = scaled(kGradientBases[1], factor);
    m_gradient3 = scaled(kGradientBases[2], factor);
    m_gradient4 = scaled(kGradientBases[3], factor);
    // The colours are whole numbers: most small steps of the sweep change no pixel.
    if (m_gradient1 != m_baseColors[0] || m_gradient2 != m_baseColors[1]) {
        m_dirty += rect();
        if (!m_inFrame)
            flushDirty();
    }
}

void AnimatedBackground::setParticles(const QList<Particle> &particles)
{
    m_particles = particles;
    m_dirty += rect();
    if (!m_inFrame)
        flushDirty();
}

QList<QColor> AnimatedBackground::gradientColors() const
{
    return {m_gradient1, m_gradient2, m_gradient3, m_gradient4};
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

void AnimatedBackground::stepParticles()
{
    const double w = width();
    const double h = height();
    for (qsizetype i = m_particles.size() - 1; i >= 0; --i) {
        Particle &p = m_particles[i];
        const QRect before = particleRect(p);
        p.x += std::cos(p.angle) * p.speed;
        p.y += std::sin(p.angle) * p.speed;
        p.life -= 0.002;
        // Five hundred steps of 0.002 do not sum to exactly 1.0; allow for the rounding.
        if (p.x < 0 || p.x > w || p.y < 0 || p.y > h || p.life <= 1e-9) {
            m_particles.removeAt(i);
            m_particles.append(makeParticle());
            m_dirtyRects.append(before);
            m_dirtyRects.append(particleRect(m_particles.last()));
        } else {
            // A step moves a particle by less than a pixel: where it was and where it is overlap.
            m_dirtyRects.append(before | particleRect(p));
        }
    }
}

void AnimatedBackground::stepWaves()
{
    m_waveClock += 0.1;
    for (Wave &wave : m_waves) {
        wave.phase += wave.speed;
        m_dirtyRects.append(crestBand(wave, width()));
    }
}

void AnimatedBackground::updateParticles()
{
    stepParticles();
    if (!m_inFrame)
        flushDirty();
}

void AnimatedBackground::updateWaves()
{
    stepWaves();
    if (!m_inFrame)
        flushDirty();
}

QRect AnimatedBackground::crestBand(const Wave &wave, int width)
{
    const int reach = int(std::ceil(wave.amplitude));
    // The body below the crest starts on a whole pixel row, so the seam is exact.
    const int bottom = wave.baseLine + reach + 1;
    const int top = wave.baseLine - reach - kRepaintMargin;
    return QRect(0, top, width, bottom - top);
}

QRect AnimatedBackground::particleRect(const Particle &p)
{
    return QRectF(p.x - p.size, p.y - p.size, 2 * p.size, 2 * p.size)
        .toAlignedRect()
        .adjusted(-kRepaintMargin, -kRepaintMargin, kRepaintMargin, kRepaintMargin);
}

bool AnimatedBackground::canBeSeen() const
{
    if (!isVisible())
        return false;
    const QWidget *top = window();
    if (top->isMinimized())
        return false;
    const QWindow *handle = top->windowHandle();
    return handle && handle->isExposed();
}

void AnimatedBackground::startClock()
{
    if (m_ticking)
        return;
    m_ticking = true;
    m_stepClock.start();
    m_nextParticleStep = kParticleIntervalMs;
    // Half a frame off the frame clock's beat, so a late or early tick still finds exactly one
    // wave step due.
    m_nextWaveStep = kWaveIntervalMs / 2;
    FrameClock::instance()->attach(this);
}

void AnimatedBackground::stopClock()
{
    if (!m_ticking)
        return;
    m_ticking = false;
    FrameClock::instance()->detach(this);
}

void AnimatedBackground::watchWindow()
{
    QWidget *top = window();
    if (m_watchedWindow != top) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = top;
        if (top != this)
            top->installEventFilter(this);
    }
    QWindow *handle = top->windowHandle();
    if (m_watchedHandle != handle) {
        if (m_watchedHandle)
            m_watchedHandle->removeEventFilter(this);
        m_watchedHandle = handle;
        if (handle)
            handle->installEventFilter(this);
    }
}

bool AnimatedBackground::eventFilter(QObject *watched, QEvent *event)
{
    // A window that comes back (restored, uncovered, mapped) resumes the motion.
    if (m_running && !m_ticking
        && ((watched == m_watchedHandle && event->type() == QEvent::Expose)
            || (watched == m_watchedWindow && event->type() == QEvent::WindowStateChange))) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_running && canBeSeen())
                    startClock();
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void AnimatedBackground::advanceFrame()
{
    if (!canBeSeen()) {
        // Minimised or unmapped: nothing moves until the window is seen again.
        stopClock();
        return;
    }
    const qint64 now = m_stepClock.elapsed();
    // Steps missed in a stall are dropped whole, so the waves keep their beat off the clock's.
    const auto dropStall = [now](qint64 &next, int interval) {
        if (now - next > kMaxCatchUpMs)
            next += (now - next) / interval * interval;
    };
    dropStall(m_nextParticleStep, kParticleIntervalMs);
    dropStall(m_nextWaveStep, kWaveIntervalMs);
    m_inFrame = true;
    for (; m_nextParticleStep <= now; m_nextParticleStep += kParticleIntervalMs)
        stepParticles();
    for (; m_nextWaveStep <= now; m_nextWaveStep += kWaveIntervalMs)
        stepWaves();
    drivePulse();
    m_inFrame = false;
    flushDirty();
}

void AnimatedBackground::drivePulse()
{
    if (!m_drivingPulse)
        return;
    // Stopped or restarted by someone else: it is theirs now.
    if (m_animationGroup->state() != QAbstractAnimation::Paused) {
        m_drivingPulse = false;
        return;
    }
    const qint64 elapsed = m_life.elapsed();
    if (elapsed >= kPulseDurationMs) {
        m_animationGroup->setCurrentTime(kPulseDurationMs);
        m_animationGroup->stop();
        m_drivingPulse = false;
    } else {
        m_animationGroup->setCurrentTime(int(elapsed));
    }
}

void AnimatedBackground::flushDirty()
{
    if (!m_dirtyRects.isEmpty()) {
        m_dirty += mergedRegion(m_dirtyRects);
        m_dirtyRects.clear();
    }
    if (m_dirty.isEmpty())
        return;
    const QRegion dirty = std::exchange(m_dirty, QRegion()) & rect();
    if (m_compositor && m_ticking)
        m_compositor->present(dirty.translated(pos()));
    else
        update(dirty);
}

QImage AnimatedBackground::newImage(const QSize &size) const
{
    const qreal ratio = devicePixelRatioF();
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

void AnimatedBackground::ensurePictures()
{
    const QSize logical = size();
    const bool resized = m_base.isNull() || m_base.deviceIndependentSize().toSize() != logical
        || !qFuzzyCompare(m_base.devicePixelRatio(), devicePixelRatioF());
    if (resized) {
        buildCrests();
        buildGlows();
    }
    if (resized || m_gradient1 != m_baseColors[0] || m_gradient2 != m_baseColors[1])
        buildBase();
}

void AnimatedBackground::buildBase()
{
    const int w = width();
    const int h = height();
    if (m_base.isNull() || m_base.deviceIndependentSize().toSize() != size()
        || !qFuzzyCompare(m_base.devicePixelRatio(), devicePixelRatioF()))
        m_base = newImage(size());
    QPainter painter(&m_base);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    QLinearGradient gradient(0, 0, w, h);
    gradient.setColorAt(0.0, m_gradient1);
    gradient.setColorAt(0.5, m_gradient2);
    gradient.setColorAt(1.0, m_gradient1);
    painter.fillRect(QRect(0, 0, w, h), gradient);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    // The body of each wave, below its crest band, never moves.
    for (const Wave &wave : std::as_const(m_waves)) {
        const int crestBottom = crestBand(wave, w).bottom() + 1;
        if (crestBottom < h)
            painter.fillRect(QRect(0, crestBottom, w, h - crestBottom), wave.color);
    }
    m_baseColors[0] = m_gradient1;
    m_baseColors[1] = m_gradient2;
}

void AnimatedBackground::buildCrests()
{
    m_crests.clear();
    const int w = width();
    for (const Wave &wave : std::as_const(m_waves)) {
        CrestStrip strip;
        strip.band = crestBand(wave, w);
        strip.period = 2.0 * kPi / wave.frequency;
        // Wide enough to be shown at any offset within one period.
        const QSize stripSize(w + int(std::ceil(strip.period)) + 2, strip.band.height());
        const double crestY = wave.baseLine - strip.band.top();
        const qreal ratio = devicePixelRatioF();
        for (int step = 0; step < kSubpixelSteps; ++step) {
            QImage image = newImage(stripSize);
            // A fraction of a device pixel: what the drawn offset cannot express in whole pixels.
            const double shift = double(step) / (kSubpixelSteps * ratio);
            QPainterPath path;
            // The crest as a line through points 5 pixels apart, as the wave was always drawn.
            for (int x = -5; x <= stripSize.width() + 5; x += 5) {
                const QPointF point(x, crestY + wave.amplitude * std::sin(wave.frequency * (x + shift)));
                if (x == -5)
                    path.moveTo(point);
                else
                    path.lineTo(point);
            }
            path.lineTo(stripSize.width() + 5, stripSize.height());
            path.lineTo(-5, stripSize.height());
            path.closeSubpath();
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.fillPath(path, wave.color);
            strip.images[step] = image;
        }
        m_crests.append(strip);
    }
}

void AnimatedBackground::buildGlows()
{
    const int w = width();
    const QColor glow(0x3b, 0x82, 0xf6, 30);
    m_topGlow = newImage(QSize(w, kGlowBand));
    {
        QPainter painter(&m_topGlow);
        QLinearGradient top(0, 0, 0, kGlowBand);
        top.setColorAt(0, glow);
        top.setColorAt(1, Qt::transparent);
        painter.fillRect(QRect(0, 0, w, kGlowBand), top);
    }
    m_bottomGlow = newImage(QSize(w, kGlowBand));
    {
        QPainter painter(&m_bottomGlow);
        QLinearGradient bottom(0, 0, 0, kGlowBand);
        bottom.setColorAt(0, Qt::transparent);
        bottom.setColorAt(1, glow);
        painter.fillRect(QRect(0, 0, w, kGlowBand), bottom);
    }
}

void AnimatedBackground::releasePictures()
{
    m_base = QImage();
    m_topGlow = QImage();
    m_bottomGlow = QImage();
    m_crests.clear();
    m_sprites.clear();
    m_baseColors[0] = m_baseColors[1] = QColor();
}

void AnimatedBackground::paintScene(QPainter &painter, const QRect &area, bool onClear)
{
    const QRect r = area & rect();
    if (r.isEmpty())
        return;
    ensurePictures();
    const qreal ratio = m_base.devicePixelRatio();
    if (onClear) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(r, m_base, deviceRect(r, ratio));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        painter.drawImage(r, m_base, deviceRect(r, ratio));
    }

    for (int i = 0; i < m_crests.size(); ++i) {
        const CrestStrip &strip = m_crests.at(i);
        const QRect part = r & strip.band;
        if (part.isEmpty())
            continue;
        const Wave &wave = m_waves.at(i);
        // y = base + A sin(theta + f x) is the strip's A sin(f x) read from x + theta / f.
        const double theta = m_waveClock * wave.speed + wave.phase;
        double shift = std::fmod(theta / wave.frequency, strip.period);
        if (shift < 0)
            shift += strip.period;
        const double deviceShift = shift * ratio;
        int whole = int(std::floor(deviceShift));
        int step = int(std::lround((deviceShift - whole) * kSubpixelSteps));
        if (step == kSubpixelSteps) {
            ++whole;
            step = 0;
        }
        const QRectF source(part.x() * ratio + whole, (part.y() - strip.band.y()) * ratio,
            part.width() * ratio, part.height() * ratio);
        painter.drawImage(QRectF(part), strip.images[step], source);
    }

    painter.save();
    painter.setClipRect(r);
    for (const Particle &p : std::as_const(m_particles)) {
        if (particleRect(p).intersects(r))
            drawParticle(painter, p, ratio);
    }
    painter.restore();

    // The glows are drawn at full strength so they do not flicker with whichever
    // particle happened to be painted last.
    const QRect topBand(0, 0, width(), kGlowBand);
    const QRect bottomBand(0, height() - kGlowBand, width(), kGlowBand);
    if (const QRect part = r & topBand; !part.isEmpty())
        painter.drawImage(part, m_topGlow, deviceRect(part.translated(-topBand.topLeft()), ratio));
    if (const QRect part = r & bottomBand; !part.isEmpty())
        painter.drawImage(part, m_bottomGlow, deviceRect(part.translated(-bottomBand.topLeft()), ratio));
}

void AnimatedBackground::drawParticle(QPainter &painter, const Particle &p, qreal ratio)
{
    painter.setOpacity(p.opacity * p.life);
    const double deviceRadius = p.size * ratio;
    const int reach = int(std::ceil(deviceRadius)) + 1;
    // A particle is a glow of its colour fading to nothing at twice its size, cut at its size.
    const auto paintGlow = [&](QPainter &target, const QPointF &centre, double radius) {
        QRadialGradient glow(centre, 2 * radius);
        glow.setColorAt(0, p.color);
        glow.setColorAt(1, Qt::transparent);
        target.setRenderHint(QPainter::Antialiasing);
        target.setPen(Qt::NoPen);
        target.setBrush(glow);
        target.drawEllipse(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius));
    };
    if (p.size != std::floor(p.size) || p.size < 1 || p.size > 32) {
        paintGlow(painter, QPointF(p.x, p.y), p.size);
        return;
    }
    // The position to a quarter of a device pixel: the whole pixels place the picture, the
    // quarters choose it.
    const qint64 qx = std::llround(p.x * ratio * kSubpixelSteps);
    const qint64 qy = std::llround(p.y * ratio * kSubpixelSteps);
    const qint64 wholeX = qx >= 0 ? qx / kSubpixelSteps : -((-qx + kSubpixelSteps - 1) / kSubpixelSteps);
    const qint64 wholeY = qy >= 0 ? qy / kSubpixelSteps : -((-qy + kSubpixelSteps - 1) / kSubpixelSteps);
    const int fx = int(qx - wholeX * kSubpixelSteps);
    const int fy = int(qy - wholeY * kSubpixelSteps);
    const quint64 key = quint64(p.color.rgba()) | quint64(p.size) << 32 | quint64(fx) << 40
        | quint64(fy) << 44 | quint64(std::lround(ratio * 16)) << 48;
    auto sprite = m_sprites.constFind(key);
    if (sprite == m_sprites.constEnd()) {
        if (m_sprites.size() >= kMaxSprites)
            m_sprites.clear();
        QImage image(2 * reach + 1, 2 * reach + 1, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter spritePainter(&image);
        paintGlow(spritePainter,
            QPointF(reach + double(fx) / kSubpixelSteps, reach + double(fy) / kSubpixelSteps), deviceRadius);
        spritePainter.end();
        image.setDevicePixelRatio(ratio); // painted in device pixels, placed in widget ones
        sprite = m_sprites.insert(key, image);
    }
    painter.drawImage(QPointF((wholeX - reach) / ratio, (wholeY - reach) / ratio), *sprite);
}

void AnimatedBackground::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    for (const QRect &r : event->region())
        paintScene(painter, r);
}

void AnimatedBackground::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    scatterParticles();
    releasePictures();
    m_dirty += rect();
}

void AnimatedBackground::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_running = true;
    if (m_compositor && !isHidden())
        m_compositor->show();
    watchWindow();
    startClock();
}

void AnimatedBackground::hideEvent(QHideEvent *event)
{
    m_running = false;
    stopClock();
    releasePictures();
    if (m_compositor && isHidden())
        m_compositor->hide();
    QWidget::hideEvent(event);
}
