#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>

class QTimer;

// The start-up splash: the logo grows and fades in (800 ms), stays, then shrinks and
// fades out (600 ms, starting 1800 ms after construction) and the window closes and
// deletes itself.
class SplashScreen : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kIntroMs = 800;
    static constexpr int kOutroDelayMs = 1800;
    static constexpr int kOutroMs = 600;
    static constexpr int kTickMs = 16;

    explicit SplashScreen(const QPixmap &logo, QWidget *parent = nullptr);

    // The start-up step: shows a splash and returns once it has finished and deleted itself.
    static void run(const QPixmap &logo);

    double scale() const { return m_scale; }
    double opacity() const { return m_opacity; }

    // The animation curves, t in 0..1.
    static double introEase(double t);
    static double outroEase(double t);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void introStep();
    void startOutro();
    void outroStep();

    QPixmap m_logo;
    double m_scale = 0.5;
    double m_opacity = 0.0;
    QTimer *m_introTimer = nullptr;
    QTimer *m_outroTimer = nullptr;
    QElapsedTimer m_introClock;
    QElapsedTimer m_outroClock;
    double m_outroStartScale = 1.0;
    double m_outroStartOpacity = 1.0;
};
