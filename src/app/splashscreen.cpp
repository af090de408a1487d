#include "app/splashscreen.h"

#include "core/appconfig.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace {
constexpr double kIntroStartScale = 0.5;
constexpr double kOutroEndScale = 0.3;
} // namespace

SplashScreen::SplashScreen(const QPixmap &logo, QWidget *parent) : QWidget(parent), m_logo(logo)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(280, 280);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }

    m_introTimer = new QTimer(this);
    m_introTimer->setInterval(kTickMs);
    connect(m_introTimer, &QTimer::timeout, this, &SplashScreen::introStep);
    m_introClock.start();
    m_introTimer->start();

    m_outroTimer = new QTimer(this);
    m_outroTimer->setInterval(kTickMs);
    connect(m_outroTimer, &QTimer::timeout, this, &SplashScreen::outroStep);
    QTimer::singleShot(kOutroDelayMs, this, &SplashScreen::startOutro);
}

void SplashScreen::run(const QPixmap &logo)
{
    auto *splash = new SplashScreen(logo);
    QEventLoop loop;
    connect(splash, &QObject::destroyed, &loop, &QEventLoop::quit);
    splash->show();
    QCoreApplication::processEvents();
    loop.exec();
}

double SplashScreen::introEase(double t)
{
    const double u = 1.0 - qBound(0.0, t, 1.0);
    return 1.0 - u * u * u;
}

double SplashScreen::outroEase(double t)
{
    const double u = qBound(0.0, t, 1.0);
    return u * u * u;
}

void SplashScreen::introStep()
{
    const qint64 elapsed = m_introClock.elapsed();
    if (elapsed >= kIntroMs) {
        m_introTimer->stop();
        m_scale = 1.0;
        m_opacity = 1.0;
    } else {
        const double e = introEase(double(elapsed) / kIntroMs);
        m_scale = kIntroStartScale + (1.0 - kIntroStartScale) * e;
        m_opacity = e;
    }
    update();
}

void SplashScreen::startOutro()
{
    // A late intro (a busy start-up) must not fight the outro.
    m_introTimer->stop();
    m_outroStartScale = m_scale;
    m_outroStartOpacity = m_opacity;
    m_outroClock.start();
    m_outroTimer->start();
}

void SplashScreen::outroStep()
{
    const qint64 elapsed = m_outroClock.elapsed();
    if (elapsed >= kOutroMs) {
        m_outroTimer->stop();
        close();
        return;
    }
    const double e = outroEase(double(elapsed) / kOutroMs);
    m_scale = m_outroStartScale + (kOutroEndScale - m_outroStartScale) * e;
    m_opacity = m_outroStartOpacity + (0.0 - m_outroStartOpacity) * e;
    update();
}

void SplashScreen::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(m_opacity);

    const int side = int(100 * m_scale);
    if (!m_logo.isNull() && side > 0) {
        const QPixmap logo = m_logo.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        // Centred in its square when the logo is not square.
        const QRect square((width() - side) / 2, 50, side, side);
        QRect target(QPoint(0, 0), logo.size());
        target.moveCenter(square.center());
        painter.drawPixmap(target, logo);
    }

    QFont nameFont(QStringLiteral("Segoe UI"), 13, QFont::Bold);
    painter.setFont(nameFont);
    painter.setPen(QColor(255, 255, 255, int(240 * m_opacity)));
    painter.drawText(QRect(0, side + 64, width(), 25), Qt::AlignCenter, QLatin1String(AppConfig::kAppName));

    QFont versionFont(QStringLiteral("Segoe UI"), 9, QFont::Normal);
    painter.setFont(versionFont);
    painter.setPen(QColor(200, 200, 200, int(200 * m_opacity)));
    painter.drawText(QRect(0, side + 89, width(), 20), Qt::AlignCenter,
        QStringLiteral("v%1").arg(QLatin1String(AppConfig::kAppVersion)));
}
