#include "overlay/minioverlaywidget.h"

#include "core/settingskeys.h"
#include "ui/icons.h"
#include "ui/restyle.h"
#include "ui/styles.h"

#include <QEnterEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char kStyleSheet[]
    = "MiniOverlayWidget { background: transparent; }"
      "QLabel { background: transparent; margin: 0; padding: 0; }"
      "QLabel#miniLabel_ping, QLabel#miniLabel_port, QLabel#miniLabel_duration {"
      "   color: #94a3b8; font-size: 10px; font-weight: 600; text-transform: uppercase; letter-spacing: "
      "0.5px;}"
      "QLabel#miniValue_ping { color: #4ade80; font-size: 16px; font-weight: 700; font-family: 'Consolas'; }"
      "QLabel#miniValue_port { color: #22d3ee; font-size: 16px; font-weight: 700; font-family: 'Consolas'; }"
      "QLabel#miniValue_duration { color: #e2e8f0; font-size: 11px; font-weight: 600; font-family: "
      "'Consolas'; }"
      "QPushButton { background: transparent; border: none; }";

const char kStarStyle[] = "QPushButton { background: transparent; border: none; font-size: 14px; "
                          "font-weight: bold; color: #fbbf24; }QPushButton:hover { color: #f59e0b; }";
const char kStarColoredStyle[] = "QPushButton { background: transparent; border: none; font-size: 14px; "
                                 "font-weight: bold; color: %1; }QPushButton:hover { color: %2; }";
const char kIconButtonStyle[] = "QPushButton { background: transparent; border: none; }";

const char kPingStyle[] = "color: %1; font-size: 16px; font-weight: 700; font-family: 'Consolas';";
const char kPingGreyStyle[] = "color: #94a3b8; font-size: 14px; font-weight: 700; font-family: 'Consolas';";
const char kPortStyle[] = "color: #22d3ee; font-size: 16px; font-weight: 700; font-family: 'Consolas';";
const char kPortEmptyStyle[] = "color: #94a3b8; font-size: 16px; font-weight: 700;";

const QString kDash = QStringLiteral("—");

QString statusColor(int status)
{
    switch (status) {
    case 1:
        return QLatin1String(Styles::kPortStatusGood);
    case 2:
        return QLatin1String(Styles::kPortStatusBad);
    default:
        return QLatin1String(Styles::kPortStatusNormal);
    }
}

QString statusName(int status)
{
    switch (status) {
    case 1:
        return QStringLiteral("ХОРОШИЙ");
    case 2:
        return QStringLiteral("ПЛОХОЙ");
    default:
        return QStringLiteral("НОРМАЛЬНЫЙ");
    }
}

QPair<QLabel *, QLabel *> makePair(QWidget *parent, const QString &caption, const QString &key)
{
    auto *captionLabel = new QLabel(caption, parent);
    captionLabel->setObjectName(QStringLiteral("miniLabel_%1").arg(key));
    captionLabel->setAlignment(Qt::AlignCenter);
    auto *valueLabel = new QLabel(kDash, parent);
    valueLabel->setObjectName(QStringLiteral("miniValue_%1").arg(key));
    valueLabel->setAlignment(Qt::AlignCenter);
    valueLabel->setTextFormat(Qt::PlainText);
    return {captionLabel, valueLabel};
}

} // namespace

MiniOverlayWidget::MiniOverlayWidget(QWidget *parent) : QWidget(parent)
{
    // A tool window that the window manager may neither activate nor give the keyboard:
    // the game must keep its focus while the HUD sits above it.
    setWindowFlags(
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(kWidth, kHeight);
    setWindowTitle(QStringLiteral("KESTREL HUD"));

    buildUi();
    setStyleSheet(QLatin1String(kStyleSheet));

    m_opacityAnimation = new QPropertyAnimation(this, "windowOpacity", this);
    m_opacityAnimation->setDuration(kFadeMs);
    m_opacityAnimation->setEasingCurve(QEasingCurve::OutCubic);

    setOpacityPercent(
        openSettings()
            .value(QLatin1String(SettingsKeys::kMiniOverlayOpacity), SettingsKeys::kDefaultMiniOverlayOpacity)
            .toInt());

    restorePosition();

    m_placementTimer = new QTimer(this);
    m_placementTimer->setInterval(kPlacementIntervalMs);
    connect(m_placementTimer, &QTimer::timeout, this, &MiniOverlayWidget::updatePosition);
    // It runs while the HUD is shown (see showEvent): a hidden HUD has no place to keep.
    QTimer::singleShot(100, this, &MiniOverlayWidget::fadeIn);
}

MiniOverlayWidget::~MiniOverlayWidget()
{
    savePosition();
}

void MiniOverlayWidget::buildUi()
{
    const auto ping = makePair(this, QStringLiteral("ПИНГ"), QStringLiteral("ping"));
    const auto port = makePair(this, QStringLiteral("ПОРТ"), QStringLiteral("port"));
    const auto duration = makePair(this, QStringLiteral("ВРЕМЯ СЕССИИ"), QStringLiteral("duration"));
    m_pingCaption = ping.first;
    m_pingValue = ping.second;
    m_portCaption = port.first;
    m_portValue = port.second;
    m_sessionCaption = duration.first;
    m_sessionValue = duration.second;

    m_favoriteButton = new QPushButton(QStringLiteral("☆"), this);
    m_favoriteButton->setObjectName(QStringLiteral("miniFavoriteButton"));
    m_favoriteButton->setFixedSize(16, 16);
    m_favoriteButton->setCursor(Qt::PointingHandCursor);
    m_favoriteButton->setFocusPolicy(Qt::NoFocus);
    m_favoriteButton->setToolTip(QStringLiteral("Добавить в избранное"));
    m_favoriteButton->setStyleSheet(QLatin1String(kStarStyle));
    connect(m_favoriteButton, &QPushButton::clicked, this, &MiniOverlayWidget::onFavoriteButtonClicked);

    const QColor iconColor(0x94, 0xa3, 0xb8);
    m_hideButton = makeIconButton(Icons::eyeOff(iconColor, 16), QStringLiteral("Скрыть мини-HUD"));
    m_hideButton->setObjectName(QStringLiteral("miniHideButton"));
    connect(m_hideButton, &QPushButton::clicked, this, &MiniOverlayWidget::onEyeButtonClicked);
    m_settingsButton = makeIconButton(Icons::settingsColored(iconColor, 16), QStringLiteral("Настройки"));
    m_settingsButton->setObjectName(QStringLiteral("miniSettingsButton"));
    connect(m_settingsButton, &QPushButton::clicked, this, &MiniOverlayWidget::settingsRequested);
    m_firewallButton
        = makeIconButton(Icons::shieldColored(iconColor, 16), QStringLiteral("Выбор диапазонов портов"));
    m_firewallButton->setObjectName(QStringLiteral("miniFirewallButton"));
    connect(m_firewallButton, &QPushButton::clicked, this, &MiniOverlayWidget::onFirewallButtonClicked);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(0);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->addWidget(m_pingCaption, 0, 0);
    grid->addWidget(m_portCaption, 0, 1);
    grid->addWidget(m_pingValue, 1, 0);
    auto *portBox = new QHBoxLayout;
    portBox->setContentsMargins(0, 0, 0, 0);
    portBox->addWidget(m_favoriteButton);
    portBox->addWidget(m_portValue);
    portBox->addStretch();
    grid->addLayout(portBox, 1, 1);
    grid->addWidget(m_sessionCaption, 2, 0, 1, 2);
    grid->addWidget(m_sessionValue, 3, 0, 1, 2);
    layout->addLayout(grid, 1);

    auto *buttons = new QVBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch();
    buttons->addWidget(m_hideButton, 0, Qt::AlignCenter);
    buttons->addWidget(m_firewallButton, 0, Qt::AlignCenter);
    buttons->addWidget(m_settingsButton, 0, Qt::AlignCenter);
    buttons->addStretch();
    layout->addLayout(buttons);
}

QPushButton *MiniOverlayWidget::makeIconButton(const QByteArray &svg, const QString &toolTip)
{
    auto *button = new QPushButton(this);
    button->setFixedSize(18, 18);
    button->setIcon(Icons::icon(svg, 16));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(toolTip);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QLatin1String(kIconButtonStyle));
    return button;
}

void MiniOverlayWidget::setOpacityPercent(int percent)
{
    const double value = qBound(30, percent, 100) / 100.0;
    if (qFuzzyCompare(value, m_baseOpacity))
        return;
    m_baseOpacity = value;
    m_targetOpacity = value;
    if (m_opacityAnimation)
        m_opacityAnimation->stop();
    setWindowOpacity(value);
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kMiniOverlayOpacity), percent);
    settings.sync();
}

void MiniOverlayWidget::setOpacity(double opacity)
{
    m_baseOpacity = opacity;
    setWindowOpacity(opacity);
}

QString MiniOverlayWidget::pingColor(int ping)
{
    if (ping < 30)
        return QStringLiteral("#48bb78");
    if (ping < 60)
        return QStringLiteral("#66bb6a");
    if (ping < 100)
        return QStringLiteral("#ffa726");
    if (ping < 200)
        return QStringLiteral("#ff7043");
    return QStringLiteral("#f44336");
}

void MiniOverlayWidget::updateValues(int ping, quint16 port, const QString &sessionTime)
{
    if (ping != 999 && ping >= 1) {
        m_pingValue->setText(QString::number(ping));
        restyle(m_pingValue,
            ping <= 998 ? QString::fromLatin1(kPingStyle).arg(pingColor(ping))
                        : QLatin1String(kPingGreyStyle));
    } else {
        m_pingValue->setText(kDash);
        restyle(m_pingValue, QLatin1String(kPingGreyStyle));
    }

    if (port != 0) {
        m_portValue->setText(QString::number(port));
        restyle(m_portValue, QLatin1String(kPortStyle));
    } else {
        m_portValue->setText(kDash);
        restyle(m_portValue, QLatin1String(kPortEmptyStyle));
    }

    m_sessionValue->setText(sessionTime);
    m_currentPort = port;
    refreshFavoriteButton();
}

void MiniOverlayWidget::setFavoriteLookup(FavoriteLookup lookup)
{
    m_favoriteLookup = std::move(lookup);
    refreshFavoriteButton();
}

void MiniOverlayWidget::onFavoriteChanged(quint16 port)
{
    if (port != 0 && port == m_currentPort)
        refreshFavoriteButton();
}

void MiniOverlayWidget::refreshFavoriteButton()
{
    if (!m_favoriteLookup || m_currentPort == 0) {
        m_favoriteButton->setText(QStringLiteral("☆"));
        restyle(m_favoriteButton, QLatin1String(kStarStyle));
        m_favoriteButton->setToolTip(QStringLiteral("Добавить в избранное"));
        return;
    }
    const std::optional<Favorite> favorite = m_favoriteLookup(m_currentPort);
    if (!favorite) {
        m_favoriteButton->setText(QStringLiteral("☆"));
        restyle(m_favoriteButton, QLatin1String(kStarStyle));
        m_favoriteButton->setToolTip(QStringLiteral("☆ Добавить порт %1 в избранное").arg(m_currentPort));
        return;
    }
    const QColor color(statusColor(favorite->status));
    m_favoriteButton->setText(QStringLiteral("★"));
    restyle(m_favoriteButton,
        QString::fromLatin1(kStarColoredStyle).arg(color.name(), color.lighter(130).name()));
    m_favoriteButton->setToolTip(
        QStringLiteral(
            "⭐ Порт %1 в избранном\n📝 %2\n📊 Статус: %3\n📅 Добавлен: %4\n"
            "─────────────────\n🖱️ Нажмите, чтобы "
            "удалить")
            .arg(QString::number(m_currentPort), favorite->description, statusName(favorite->status),
                favorite->addedDate.toString(QStringLiteral("dd.MM.yyyy"))));
}

QPoint MiniOverlayWidget::defaultPosition(const QRect &availableGeometry)
{
    return {availableGeometry.x() + availableGeometry.width() - kWidth - 15, availableGeometry.y() + 25};
}

void MiniOverlayWidget::restorePosition()
{
    QSettings settings = openSettings();
    const QVariant saved = settings.value(QLatin1String(SettingsKeys::kMiniHudPos));
    if (!saved.isValid() || !QGuiApplication::primaryScreen()) {
        placeAtDefault();
        return;
    }
    const QPoint point = saved.toPoint();
    // Any monitor will do (a HUD parked on a second screen stays there); a point on none of
    // them (the monitor was removed) would leave the HUD out of reach.
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().contains(point)) {
            move(point);
            return;
        }
    }
    placeAtDefault();
}

void MiniOverlayWidget::placeAtDefault()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    move(defaultPosition(screen->availableGeometry()));
    savePosition();
}

void MiniOverlayWidget::updatePosition()
{
    if (openSettings().contains(QLatin1String(SettingsKeys::kMiniHudPos)))
        return;
    placeAtDefault();
}

void MiniOverlayWidget::savePosition()
{
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kMiniHudPos), frameGeometry().topLeft());
    settings.sync();
}

void MiniOverlayWidget::animateOpacity(double from, double to)
{
    m_opacityAnimation->stop();
    m_opacityAnimation->setStartValue(from);
    m_opacityAnimation->setEndValue(to);
    m_opacityAnimation->start();
}

void MiniOverlayWidget::fadeIn()
{
    animateOpacity(0.0, m_targetOpacity);
}

void MiniOverlayWidget::fadeOut()
{
    animateOpacity(m_baseOpacity, 0.0);
}

void MiniOverlayWidget::onFirewallButtonClicked()
{
    emit firewallRequested();
}

void MiniOverlayWidget::onFavoriteButtonClicked()
{
    if (m_currentPort != 0)
        emit favoriteClicked(m_currentPort);
}

void MiniOverlayWidget::onEyeButtonClicked()
{
    emit hideRequested();
}

void MiniOverlayWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        emit restoreRequested();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MiniOverlayWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        emit doubleClicked();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void MiniOverlayWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        // The player chose a place: the default placement must not take it back.
        m_placementTimer->stop();
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void MiniOverlayWidget::enterEvent(QEnterEvent *event)
{
    if (!m_hovered) {
        m_hovered = true;
        // Brighter, capped at 0.95; a HUD already above the cap is not dimmed by hovering.
        m_targetOpacity = qMax(m_baseOpacity, qMin(kHoverCap, m_baseOpacity + 0.05));
        animateOpacity(windowOpacity(), m_targetOpacity);
        update();
    }
    QWidget::enterEvent(event);
}

void MiniOverlayWidget::leaveEvent(QEvent *event)
{
    if (m_hovered) {
        m_hovered = false;
        m_targetOpacity = m_baseOpacity;
        animateOpacity(windowOpacity(), m_targetOpacity);
        update();
    }
    QWidget::leaveEvent(event);
}

void MiniOverlayWidget::paintEvent(QPaintEvent *event)
{
    // The panel changes only with the hover; the values repainted every second reuse it.
    const qreal ratio = devicePixelRatioF();
    if (m_panel.isNull() || m_panelHovered != m_hovered || m_panel.deviceIndependentSize() != QSizeF(size())
        || !qFuzzyCompare(m_panel.devicePixelRatio(), ratio)) {
        m_panel = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        m_panel.setDevicePixelRatio(ratio);
        m_panel.fill(Qt::transparent);
        m_panelHovered = m_hovered;

        QPainter painter(&m_panel);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient fill(0, 0, 0, height());
        QColor top(0x1e, 0x29, 0x3b, m_hovered ? 230 : 180);
        QColor middle(0x0f, 0x17, 0x2a, m_hovered ? 220 : 170);
        QColor bottom(0x0a, 0x11, 0x21, m_hovered ? 210 : 160);
        fill.setColorAt(0.0, top);
        fill.setColorAt(0.5, middle);
        fill.setColorAt(1.0, bottom);

        QLinearGradient border(0, 0, width(), 0);
        border.setColorAt(0.0, QColor(0x3b, 0x82, 0xf6, 50));
        border.setColorAt(0.5, QColor(0x22, 0xd3, 0xee, 50));
        border.setColorAt(1.0, QColor(0x3b, 0x82, 0xf6, 50));

        QPainterPath path;
        path.addRoundedRect(QRectF(0, 0, width() - 1, height() - 1), 12, 12);
        painter.setPen(QPen(QBrush(border), 1));
        painter.setBrush(fill);
        painter.drawPath(path);
    }
    QPainter painter(this);
    for (const QRect &r : event->region())
        painter.drawImage(
            r, m_panel, QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio));
}

void MiniOverlayWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_placementWanted)
        m_placementTimer->start();
    fadeIn();
}

void MiniOverlayWidget::hideEvent(QHideEvent *event)
{
    // A drag while shown stopped the placement for good; otherwise it resumes at the next show.
    m_placementWanted = m_placementTimer->isActive();
    m_placementTimer->stop();
    savePosition();
    // The pointer cannot leave a hidden window: forget the hover so the next fade-in
    // ends at the chosen opacity, not the brightened one.
    if (m_hovered) {
        m_hovered = false;
        m_targetOpacity = m_baseOpacity;
    }
    QWidget::hideEvent(event);
}
