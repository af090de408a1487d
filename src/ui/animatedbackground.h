#pragma once

#include <QColor>
#include <QList>
#include <QRegion>
#include <QWidget>

class QParallelAnimationGroup;
class QPropertyAnimation;
class QTimer;

// The moving backdrop of every window: a breathing gradient, four sine waves and
// drifting particles. Its timers run only while it is visible.
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

    explicit AnimatedBackground(QWidget *parent = nullptr);

    double animationProgress() const { return m_animationProgress; }
    void setAnimationProgress(double progress);

    const QList<Particle> &particles() const { return m_particles; }
    // Replaces the particle set (a frozen scene, or a known state to step from).
    void setParticles(const QList<Particle> &particles);
    const QList<Wave> &waves() const { return m_waves; }
    double waveClock() const { return m_waveClock; }
    // The four gradient colours as the last progress value left them.
    QList<QColor> gradientColors() const;
    bool isAnimating() const;

public slots:
    void updateParticles();
    void updateWaves();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // Repainting a hidden window is wasted work, so the timers follow visibility.
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // Antialiasing reaches a pixel beyond a shape's edge; one more allows for rounding.
    static constexpr int kRepaintMargin = 2;

    Particle makeParticle() const;
    void scatterParticles();
    static QRect particleRect(const Particle &p);
    // Repaints what the steps since the last repaint changed, not the whole window.
    void repaintDirty();

    QTimer *m_waveTimer;
    QTimer *m_particleTimer;
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
};
