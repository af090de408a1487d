#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QRegion>
#include <QWidget>

class FrameClock;
class FrameCompositor;
class QParallelAnimationGroup;
class QPropertyAnimation;

// The moving backdrop of every window: a breathing gradient, four sine waves and
// drifting particles. One frame clock, shared by every background on screen, drives all
// of it while the window can be seen; the waves step every 50 ms and the particles every
// 30 ms of real time, whatever the frame rate. Each frame repaints only what moved, from
// pictures made once: the gradient with the wave bodies, one strip per wave crest (a sine
// is periodic, so a shifted strip is the moved wave) and the two glow bands.
class AnimatedBackground : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double animationProgress READ animationProgress WRITE setAnimationProgress)

public:
    struct Wave
    {
        double amplitude = 0.0; // pixels
        double frequency = 0.0; // radians per pixel
        double speed = 0.0; // radians per wave-clock unit
        double phase = 0.0; // radians
        QColor color;
        int baseLine = 0; // pixels from the top
    };

    struct Particle
    {
        double x = 0.0;
        double y = 0.0;
        double size = 0.0;
        double speed = 0.0; // pixels per step
        double angle = 0.0; // radians
        QColor color;
        double opacity = 0.0;
        double life = 1.0;
    };

    static constexpr int kParticleCount = 30;
    static constexpr int kWaveIntervalMs = 50;
    static constexpr int kParticleIntervalMs = 30;
    // The waves' own step: every frame shows one more wave step, as the wave timer did.
    static constexpr int kFrameIntervalMs = kWaveIntervalMs;
    static constexpr int kPulseDurationMs = 8000;

    explicit AnimatedBackground(QWidget *parent = nullptr);
    ~AnimatedBackground() override;

    double animationProgress() const { return m_animationProgress; }
    void setAnimationProgress(double progress);

    const QList<Particle> &particles() const { return m_particles; }
    // Replaces the particle set (a frozen scene, or a known state to step from).
    void setParticles(const QList<Particle> &particles);
    const QList<Wave> &waves() const { return m_waves; }
    double waveClock() const { return m_waveClock; }
    // The four gradient colours as the last progress value left them.
    QList<QColor> gradientColors() const;
    // Shown, so the frame clock moves it whenever its window can be seen.
    bool isAnimating() const { return m_running; }

    // Draws the scene inside rect (this widget's coordinates) with painter, which paints
    // in these coordinates. onClear: nothing lies beneath, so the gradient is copied rather
    // than blended.
    void paintScene(QPainter &painter, const QRect &rect, bool onClear = false);

    // The compositor this background presents its frames through; null: plain repaints.
    FrameCompositor *compositor() const;
    void setCompositor(FrameCompositor *compositor);

    // The rows a wave's crest sweeps: above them the wave is absent, below them solid.
    static QRect crestBand(const Wave &wave, int width);

public slots:
    void updateParticles();
    void updateWaves();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // Nothing moves, and no picture is kept, while the window cannot be seen.
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class FrameClock;

    // Antialiasing reaches a pixel beyond a shape's edge; one more allows for rounding.
    static constexpr int kRepaintMargin = 2;
    // After a stall the clock does not replay the motion it missed, as timers would not.
    static constexpr int kMaxCatchUpMs = 200;
    // Crest strips per wave, each shifted by a fraction of a pixel, so the drawn offset
    // stays within an eighth of a pixel of the true one.
    static constexpr int kSubpixelSteps = 4;
    // Particles are drawn from small pictures kept per size, colour and quarter-pixel offset.
    static constexpr int kMaxSprites = 512;

    struct CrestStrip
    {
        QImage images[kSubpixelSteps];
        QRect band; // in widget coordinates
        double period = 0.0; // pixels
    };

    Particle makeParticle() const;
    void scatterParticles();
    static QRect particleRect(const Particle &p);
    void stepParticles();
    void stepWaves();
    // The frame clock's tick: steps the motion that is due and presents what it changed.
    void advanceFrame();
    void drivePulse();
    bool canBeSeen() const;
    void startClock();
    void stopClock();
    void watchWindow();
    // Presents the accumulated changes: through the compositor, or as a plain update.
    void flushDirty();

    void drawParticle(QPainter &painter, const Particle &p, qreal ratio);
    void ensurePictures();
    void buildBase();
    void buildCrests();
    void buildGlows();
    void releasePictures();
    QImage newImage(const QSize &size) const;

    QPropertyAnimation *m_progressAnimation;
    QParallelAnimationGroup *m_animationGroup;
    QList<Wave> m_waves;
    QList<Particle> m_particles;
    double m_animationProgress = 0.0;
    double m_waveClock = 0.0;
    QColor m_gradient1;
    QColor m_gradient2;
    QColor m_gradient3;
    QColor m_gradient4;
    QRegion m_dirty;
    QList<QRect> m_dirtyRects; // the steps' changes, made one region when presented

    bool m_running = false; // shown
    bool m_ticking = false; // on the frame clock (shown and seen)
    bool m_inFrame = false;
    bool m_drivingPulse = false;
    QElapsedTimer m_life; // since construction: the brightness sweep's time
    QElapsedTimer m_stepClock; // since the clock last started
    qint64 m_nextParticleStep = 0;
    qint64 m_nextWaveStep = 0;
    QPointer<QWidget> m_watchedWindow;
    QPointer<QWindow> m_watchedHandle;
    QPointer<FrameCompositor> m_compositor;

    QImage m_base; // gradient and wave bodies
    QColor m_baseColors[2];
    QImage m_topGlow;
    QImage m_bottomGlow;
    QList<CrestStrip> m_crests;
    QHash<quint64, QImage> m_sprites;
};
