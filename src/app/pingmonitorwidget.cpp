#include "app/pingmonitorwidget.h"

#include "app/appconfig.h"
#include "app/exitconfirmdialog.h"
#include "app/mainwindowstyle.h"
#include "app/settingskeys.h"
#include "monitor/connectionmonitor.h"
#include "monitor/geolocator.h"
#include "monitor/presenceclient.h"
#include "monitor/pingengine.h"
#include "monitor/pingquality.h"
#include "platform/platform.h"
#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "records/sessiontracker.h"
#include "shared/sharedportsclient.h"
#include "ui/animatedbackground.h"
#include "ui/icons.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"
#include "ui/windowshape.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDate>
#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QUrl>
#include <QUuid>
#include <QWindowStateChangeEvent>

#include <cstdio>
#include <cstdlib>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace {

constexpr int kWindowWidth = 820;
constexpr int kWindowHeight = 520;
constexpr int kTitleBarHeight = 45;
constexpr int kWindowRadius = 16;
const QString kDash = QStringLiteral("—");

QLabel *centredLabel(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QProgressBar *thinBar(const QString &objectName, QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setObjectName(objectName);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(8);
    return bar;
}

PingMonitorWidget::ExitHook &exitHook()
{
    static PingMonitorWidget::ExitHook hook;
    return hook;
}

// The tray's own drawn icon, for a program without any icon at all.
QIcon drawnTrayIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x3b, 0x82, 0xf6));
    painter.drawEllipse(QRect(QPoint(0, 0), QPoint(31, 31)));
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRect(QPoint(8, 8), QPoint(23, 23)));
    painter.drawLine(16, 4, 16, 12);
    painter.drawLine(12, 16, 20, 16);
    return QIcon(pixmap);
}

}  // namespace

void PingMonitorWidget::setExitHook(ExitHook hook)
{
    exitHook() = std::move(hook);
}

PingMonitorWidget::PingMonitorWidget(QWidget *parent)
    : QWidget(parent)
    , m_monitor(new ConnectionMonitor(nullptr, this))
    , m_sessions(new SessionManager(SessionManager::defaultFilePath(), this))
    , m_history(new PortHistory(PortHistory::defaultFilePath(), this))
    , m_tracker(new SessionTracker(m_sessions, m_history, this))
    , m_network(new QNetworkAccessManager(this))
    , m_geo(new GeoLocator(m_network, this))
    , m_presence(new PresenceClient(m_network, this))
{
    setWindowTitle(QStringLiteral("KESTREL v%1").arg(QLatin1String(AppConfig::kAppVersion)));
    setFixedSize(kWindowWidth, kWindowHeight);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    m_background = new AnimatedBackground(this);
    buildUi();
    loadSettings();

    if (!platform::isProcessElevated()) {
        setTransientStatus(QStringLiteral("⚠️ Рекомендуется запуск от имени администратора"),
                           QStringLiteral("color:#fbbf24; font-size:11px;"), 5000);
    }

    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    m_background->setGeometry(rect());
    m_background->lower();
    setStyleSheet(QLatin1String(MainWindowStyle::kWindow));
    buildMenus();
    setupTray();

    loadNickname();
    connectMonitor();
    connectRecords();
    connectWebServices();
    connect(&m_sessionDisplayTimer, &QTimer::timeout, this, &PingMonitorWidget::updateCurrentSessionDisplay);
    m_sessionDisplayTimer.setInterval(1000);

    m_presence->start();
    createShortcuts();
    applyRoundedMask(this, kWindowRadius);
    m_monitor->start();
    m_sessionDisplayTimer.start();
}

PingMonitorWidget::~PingMonitorWidget()
{
    m_tracker->endGameSession();
    if (m_tray)
        m_tray->hide();
    m_monitor->stop();
    m_sessionDisplayTimer.stop();
    m_presence->stop();
}

void PingMonitorWidget::loadNickname()
{
    QSettings settings = openSettings();
    m_nickname = settings.value(QLatin1String(SettingsKeys::kChatUserName)).toString();
    if (m_nickname.isEmpty()) {
        m_nickname = QStringLiteral("User_") + QUuid::createUuid().toString(QUuid::WithBraces).left(8);
        settings.setValue(QLatin1String(SettingsKeys::kChatUserName), m_nickname);
        settings.sync();
    }
    m_sharedPorts = new SharedPortsClient(this);
    connect(m_sharedPorts, &SharedPortsClient::publishFinished, this, &PingMonitorWidget::onPublishFinished);
    m_nicknameChangeCount = settings.value(QLatin1String(SettingsKeys::kNicknameChangeCount), 0).toInt();
}

void PingMonitorWidget::buildUi()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildTitleBar());

    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("contentPanel"));
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(25, 25, 25, 25);
    contentLayout->setSpacing(20);
    contentLayout->addWidget(buildMetricsPanel());
    contentLayout->addWidget(buildSessionPanel());
    layout->addWidget(content, 1);
    layout->addWidget(buildBottomPanel());
}

QWidget *PingMonitorWidget::buildTitleBar()
{
    m_titleBar = new QWidget(this);
    m_titleBar->setObjectName(QStringLiteral("titleBar"));
    m_titleBar->setFixedHeight(kTitleBarHeight);
    auto *row = new QHBoxLayout(m_titleBar);
    row->setContentsMargins(6, 6, 6, 6);
    row->setSpacing(4);

    auto *icon = new QLabel(m_titleBar);
    icon->setFixedSize(20, 20);
    icon->setPixmap(QApplication::windowIcon().pixmap(20, 20));
    row->addWidget(icon);
    auto *title = new QLabel(QStringLiteral("KESTREL"), m_titleBar);
    title->setObjectName(QStringLiteral("titleLabel"));
    row->addWidget(title);
    auto *version = new QLabel(QStringLiteral("v%1").arg(QLatin1String(AppConfig::kAppVersion)), m_titleBar);
    version->setObjectName(QStringLiteral("versionLabel"));
    row->addWidget(version);
    row->addStretch();

    // The game's state sits where a player looks first: the title bar.
    m_gameStateLabel = new QLabel(QStringLiteral("ИГРА НЕ ЗАПУЩЕНА"), m_titleBar);
    m_gameStateLabel->setObjectName(QStringLiteral("gameStateLabel"));
    m_gameStateLabel->setToolTip(QStringLiteral("Русская Рыбалка 4"));
    row->addWidget(m_gameStateLabel);
    row->addSpacing(12);

    m_functionsButton = new SvgButton(Icons::menu(), m_titleBar);
    m_functionsButton->setToolTip(QStringLiteral("Функции (Ctrl+F)"));
    m_minimizeButton = new SvgButton(Icons::minimize(), m_titleBar);
    m_minimizeButton->setToolTip(QStringLiteral("Свернуть"));
    m_closeButton = new SvgButton(Icons::close(), m_titleBar);
    m_closeButton->setToolTip(QStringLiteral("Закрыть (Ctrl+Q)"));
    for (SvgButton *button : {m_functionsButton, m_minimizeButton, m_closeButton}) {
        button->setFixedSize(25, 25);
        button->setStyleSheet(QLatin1String(Styles::kIconButton));
        row->addWidget(button);
    }
    connect(m_functionsButton, &QPushButton::clicked, this, &PingMonitorWidget::showFunctionsMenu);
    connect(m_minimizeButton, &QPushButton::clicked, this, &PingMonitorWidget::toggleWindowVisibility);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    return m_titleBar;
}

QWidget *PingMonitorWidget::buildMetricsPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("metricsPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setFixedHeight(200);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(25, 20, 25, 20);
    grid->setHorizontalSpacing(25);
    grid->setVerticalSpacing(12);

    const QStringList titles{QStringLiteral("🌐 СЕРВЕР"), QStringLiteral("🔢 ПОРТ"), QStringLiteral("⚡ ПИНГ"),
                             QStringLiteral("📡 КАЧЕСТВО")};
    for (int column = 0; column < titles.size(); ++column)
        grid->addWidget(centredLabel(titles.at(column), QStringLiteral("metricTitle"), panel), 0, column);

    m_hostLabel = centredLabel(kDash, QStringLiteral("metricValueHost"), panel);
    m_portLabel = centredLabel(kDash, QStringLiteral("metricValuePort"), panel);
    m_pingLabel = centredLabel(kDash, QStringLiteral("metricValuePing"), panel);
    m_qualityLabel = centredLabel(kDash, QStringLiteral("metricValueQuality"), panel);

    auto *portContainer = new QWidget(panel);
    portContainer->setObjectName(QStringLiteral("portContainer"));
    auto *portRow = new QHBoxLayout(portContainer);
    portRow->setContentsMargins(0, 0, 0, 0);
    portRow->setSpacing(5);
    portRow->addStretch();
    portRow->addWidget(m_portLabel);
    portRow->addStretch();

    grid->addWidget(m_hostLabel, 1, 0);
    grid->addWidget(portContainer, 1, 1);
    grid->addWidget(m_pingLabel, 1, 2);
    grid->addWidget(m_qualityLabel, 1, 3);

    grid->addWidget(centredLabel(QStringLiteral("📍 ГЕОЛОКАЦИЯ"), QStringLiteral("metricTitle"), panel), 2, 0);
    m_geoLabel = centredLabel(kDash, QStringLiteral("metricValueGeo"), panel);
    m_geoLabel->setMinimumHeight(32);
    grid->addWidget(m_geoLabel, 2, 1, 1, 3);

    m_connectionBar = thinBar(QStringLiteral("connectionBar"), panel);
    grid->addWidget(m_connectionBar, 3, 0, 1, 4);
    for (int column = 0; column < 4; ++column)
        grid->setColumnStretch(column, 1);
    return panel;
}

QWidget *PingMonitorWidget::buildSessionPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("sessionPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setFixedHeight(140);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(25, 20, 25, 20);
    grid->setHorizontalSpacing(20);
    grid->setVerticalSpacing(12);

    const QStringList titles{QStringLiteral("⏱ ВРЕМЯ СЕССИИ"), QStringLiteral("📊 СРЕДНИЙ ПИНГ"),
                             QStringLiteral("🪢 СТАБИЛЬНОСТЬ"), QStringLiteral("🌐 ТИП СЕТИ")};
    for (int column = 0; column < titles.size(); ++column)
        grid->addWidget(centredLabel(titles.at(column), QStringLiteral("sessionTitle"), panel), 0, column);

    m_sessionTimerLabel = centredLabel(QStringLiteral("00:00:00"), QStringLiteral("sessionTimerLabel"), panel);
    m_sessionPingLabel = centredLabel(kDash, QStringLiteral("sessionPingLabel"), panel);
    m_sessionStabilityLabel = centredLabel(kDash, QStringLiteral("sessionStabilityLabel"), panel);
    m_networkTypeLabel = centredLabel(kDash, QStringLiteral("networkTypeLabel"), panel);
    grid->addWidget(m_sessionTimerLabel, 1, 0);
    grid->addWidget(m_sessionPingLabel, 1, 1);
    grid->addWidget(m_sessionStabilityLabel, 1, 2);
    grid->addWidget(m_networkTypeLabel, 1, 3);

    m_sessionBar = thinBar(QStringLiteral("sessionProgressBar"), panel);
    grid->addWidget(m_sessionBar, 2, 0, 1, 4);
    for (int column = 0; column < 4; ++column)
        grid->setColumnStretch(column, 1);
    return panel;
}

QWidget *PingMonitorWidget::buildBottomPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("bottomPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setFixedHeight(40);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(15, 0, 15, 0);
    row->setSpacing(6);

    m_onlineIndicator = new QLabel(panel);
    m_onlineIndicator->setObjectName(QStringLiteral("onlineIndicator"));
    m_onlineIndicator->setFixedSize(10, 10);
    row->addWidget(m_onlineIndicator);
    auto *onlineText = new QLabel(QStringLiteral("Онлайн:"), panel);
    onlineText->setObjectName(QStringLiteral("onlineTextLabel"));
    row->addWidget(onlineText);
    m_onlineCountLabel = new QLabel(QStringLiteral("0"), panel);
    m_onlineCountLabel->setObjectName(QStringLiteral("onlineCountLabel"));
    row->addWidget(m_onlineCountLabel);
    row->addSpacing(12);

    m_statusLabel = new QLabel(QStringLiteral("Запуск KESTREL..."), panel);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setTextFormat(Qt::PlainText);
    row->addWidget(m_statusLabel, 1);

    auto *links = new QLabel(panel);
    links->setObjectName(QStringLiteral("telegramLabel"));
    links->setTextFormat(Qt::RichText);
    links->setText(QStringLiteral("<a href=\"%1\" style=\"color:#60a5fa; text-decoration:none;\">Telegram</a>"
                                  " · <a href=\"%2\" style=\"color:#60a5fa; text-decoration:none;\">Сайт</a>")
                       .arg(QLatin1String(AppConfig::kChannelUrl), QLatin1String(AppConfig::kWebSiteUrl)));
    links->setOpenExternalLinks(false);
    connect(links, &QLabel::linkActivated, this, [](const QString &link) { QDesktopServices::openUrl(QUrl(link)); });
    links->setCursor(Qt::PointingHandCursor);
    row->addWidget(links);
    row->addSpacing(12);

    auto *copyright = new QLabel(
        QStringLiteral("© %1 %2").arg(QDate::currentDate().year()).arg(QLatin1String(AppConfig::kMakerName)), panel);
    copyright->setObjectName(QStringLiteral("copyrightLabel"));
    row->addWidget(copyright);
    return panel;
}

void PingMonitorWidget::buildMenus()
{
    struct Entry
    {
        const char *text;
        QByteArray svg;
        void (PingMonitorWidget::*slot)();
    };
    // nullptr text marks a separator.
    const QList<Entry> functions{};
    const QList<Entry> trayOnly{
        {nullptr, {}, nullptr},
        {"Telegram", Icons::send(), &PingMonitorWidget::openTelegram},
        {"Выход", Icons::logOut(), nullptr},
    };

    auto fill = [this](QMenu *menu, const QList<Entry> &entries) {
        for (const Entry &entry : entries) {
            if (!entry.text) {
                if (!menu->isEmpty())
                    menu->addSeparator();
                continue;
            }
            QAction *action = menu->addAction(Icons::icon(entry.svg, 16), QString::fromUtf8(entry.text));
            if (entry.slot)
                connect(action, &QAction::triggered, this, entry.slot);
            else
                connect(action, &QAction::triggered, this, &QWidget::close);
        }
    };

    m_functionsMenu = new QMenu(this);
    m_functionsMenu->setStyleSheet(QLatin1String(Styles::kMenu));
    fill(m_functionsMenu, functions);

    m_trayMenu = new QMenu(this);
    m_trayMenu->setStyleSheet(QLatin1String(Styles::kMenu));
    fill(m_trayMenu, functions);
    fill(m_trayMenu, trayOnly);
}

void PingMonitorWidget::setupTray()
{
    QIcon icon = QApplication::windowIcon();
    const QString iconFile = QApplication::applicationDirPath() + QStringLiteral("/icon.ico");
    if (icon.isNull() && QFileInfo::exists(iconFile))
        icon = QIcon(iconFile);
    if (icon.isNull())
        icon = drawnTrayIcon();

    m_tray = new QSystemTrayIcon(icon, this);
    m_tray->setToolTip(QStringLiteral("KESTREL v%1\nКликните для показа/скрытия").arg(QLatin1String(AppConfig::kAppVersion)));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            toggleWindowVisibility();
    });
    m_tray->show();
}

void PingMonitorWidget::createShortcuts()
{
    const QList<QPair<QKeySequence, void (PingMonitorWidget::*)()>> shortcuts{
        {QKeySequence(QStringLiteral("Ctrl+W")), &PingMonitorWidget::toggleWindowVisibility},
        {QKeySequence(QStringLiteral("Ctrl+F")), &PingMonitorWidget::showFunctionsMenu},
    };
    for (const auto &[keys, slot] : shortcuts) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    }
}

void PingMonitorWidget::openTelegram()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(AppConfig::kChannelUrl)));
}

void PingMonitorWidget::showFunctionsMenu()
{
    m_functionsMenu->popup(m_functionsButton->mapToGlobal(QPoint(0, m_functionsButton->height())));
}

void PingMonitorWidget::toggleWindowVisibility()
{
    if (isVisible()) {
        hideToBackground();
        return;
    }
    showNormal();
    activateWindow();
    raise();
}

void PingMonitorWidget::hideToBackground()
{
    if (!m_tray || !QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
}

void PingMonitorWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)
        && m_tray && QSystemTrayIcon::isSystemTrayAvailable()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        hideToBackground();
        event->ignore();
        return;
    }
    QWidget::changeEvent(event);
}

void PingMonitorWidget::closeEvent(QCloseEvent *event)
{
    if (m_exiting || !ExitConfirmDialog::ask(this)) {
        event->ignore();
        return;
    }
    m_exiting = true;
    event->ignore();
    performExit();
}

void PingMonitorWidget::performExit()
{
    qDebug() << "[EXIT] Confirmed by the user";
    m_tracker->endGameSession();
    if (const ExitHook &hook = exitHook()) {
        hook(0);
        return;
    }
    std::fflush(nullptr);
    std::_Exit(0);
}

void PingMonitorWidget::connectMonitor()
{
    connect(m_monitor, &ConnectionMonitor::gameStateChanged, this, &PingMonitorWidget::onGameStateChanged);
    connect(m_monitor, &ConnectionMonitor::statusChanged, this,
            [this](const QString &text, const QString &style) { setStatus(text, style); });
    connect(m_monitor, &ConnectionMonitor::connectionMissed, this, &PingMonitorWidget::onConnectionMissed);
    connect(m_monitor, &ConnectionMonitor::connectionLost, this, &PingMonitorWidget::onConnectionLost);
    connect(m_monitor, &ConnectionMonitor::serverFound, this, &PingMonitorWidget::onServerFound);
    connect(m_monitor, &ConnectionMonitor::connectionFound, this, &PingMonitorWidget::onConnectionFound);
    connect(m_monitor->ping(), &PingEngine::pingMeasured, this, &PingMonitorWidget::processPingResult);
}

void PingMonitorWidget::connectRecords()
{
    connect(m_sessions, &SessionManager::sessionStarted, this, &PingMonitorWidget::onSessionStarted);
    connect(m_sessions, &SessionManager::sessionEnded, this, &PingMonitorWidget::onSessionEnded);
    connect(m_tracker, &SessionTracker::gameSessionStarted, this, [this](GameSession *session) {
        m_networkTypeLabel->setText(session->networkType());
        m_sessionBar->setValue(0);
        showTrayNotification(QStringLiteral("Новая сессия"), QStringLiteral("Игровая сессия начата"));
    });
    connect(m_tracker, &SessionTracker::gameSessionEnded, this, [this] { m_networkTypeLabel->setText(kDash); });
}

void PingMonitorWidget::connectWebServices()
{
    connect(m_geo, &GeoLocator::displayChanged, this, [this](const QString &text, const QString &toolTip) {
        m_geoLabel->setText(text);
        m_geoLabel->setToolTip(toolTip);
    });
    connect(m_presence, &PresenceClient::onlineDisplayChanged, this,
            [this](const QString &text, const QString &labelStyle, const QString &indicatorStyle) {
                m_onlineCountLabel->setText(text);
                m_onlineCountLabel->setStyleSheet(labelStyle);
                m_onlineIndicator->setStyleSheet(indicatorStyle);
            });
    connect(m_presence, &PresenceClient::indicatorStyleChanged, m_onlineIndicator, &QWidget::setStyleSheet);
    connect(m_presence, &PresenceClient::onlineCountChanged, this, &PingMonitorWidget::onlineCountChanged);
}

void PingMonitorWidget::loadSettings()
{
    QSettings settings = openSettings();
    m_alwaysOnTop = settings.value(QLatin1String(SettingsKeys::kAlwaysOnTop), SettingsKeys::kDefaultAlwaysOnTop).toBool();
    m_windowOpacity =
        settings.value(QLatin1String(SettingsKeys::kWindowOpacity), SettingsKeys::kDefaultWindowOpacity).toInt();
    m_autoStart = settings.value(QLatin1String(SettingsKeys::kAutoStart), SettingsKeys::kDefaultAutoStart).toBool();
    m_miniOverlayEnabled =
        settings.value(QLatin1String(SettingsKeys::kMiniOverlayEnabled), SettingsKeys::kDefaultMiniOverlayEnabled)
            .toBool();
    m_notificationsEnabled =
        settings.value(QLatin1String(SettingsKeys::kNotificationsEnabled), SettingsKeys::kDefaultNotificationsEnabled)
            .toBool();
    m_miniOverlayOpacity =
        settings.value(QLatin1String(SettingsKeys::kMiniOverlayOpacity), SettingsKeys::kDefaultMiniOverlayOpacity)
            .toInt();

    const QRect keep = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, m_alwaysOnTop);
    setGeometry(keep);
    show();
    setWindowOpacity(m_windowOpacity / 100.0);
    saveSettings();
    emit opacityChanged(m_windowOpacity);
}

void PingMonitorWidget::saveSettings()
{
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kAlwaysOnTop), m_alwaysOnTop);
    settings.setValue(QLatin1String(SettingsKeys::kWindowOpacity), m_windowOpacity);
    settings.setValue(QLatin1String(SettingsKeys::kAutoStart), m_autoStart);
    settings.setValue(QLatin1String(SettingsKeys::kMiniOverlayEnabled), m_miniOverlayEnabled);
    settings.setValue(QLatin1String(SettingsKeys::kNotificationsEnabled), m_notificationsEnabled);
    settings.setValue(QLatin1String(SettingsKeys::kMiniOverlayOpacity), m_miniOverlayOpacity);
    settings.sync();
}

void PingMonitorWidget::setAlwaysOnTop(bool enabled)
{
    const QRect keep = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, enabled);
    setGeometry(keep);
    show();
    m_alwaysOnTop = enabled;
    saveSettings();
}

void PingMonitorWidget::setWindowOpacityPercent(int percent)
{
    setWindowOpacity(percent / 100.0);
    m_windowOpacity = percent;
    emit opacityChanged(percent);
    saveSettings();
}

void PingMonitorWidget::setNotificationsEnabled(bool enabled)
{
    m_notificationsEnabled = enabled;
    saveSettings();
}

void PingMonitorWidget::showTrayNotification(const QString &title, const QString &message)
{
    if (!m_notificationsEnabled)
        return;
    if (!m_notifications.tryPass())
        return;
    qDebug().noquote() << "[NOTIFY]" << title << "|" << QString(message).replace(QLatin1Char('\n'), QLatin1String(" / "));
    if (m_tray)
        m_tray->showMessage(title, message, QSystemTrayIcon::Information, 3000);
    emit trayNotificationShown(title, message);
}

void PingMonitorWidget::setStatus(const QString &text, const QString &style)
{
    m_statusLabel->setText(text);
    m_statusLabel->setStyleSheet(style);
}

void PingMonitorWidget::setTransientStatus(const QString &text, const QString &style, int ms)
{
    setStatus(text, style);
    QTimer::singleShot(ms, this, [this, text] {
        if (m_statusLabel->text() == text)
            setStatus(QString(), QLatin1String(MainWindowStyle::kStatusMuted));
    });
}

void PingMonitorWidget::updateTarget()
{
    m_monitor->updateTarget();
}

void PingMonitorWidget::startPingMeasurement()
{
    m_monitor->ping()->startPingMeasurement();
}

void PingMonitorWidget::onGameStateChanged(bool running)
{
    if (running) {
        m_gameStateLabel->setText(QStringLiteral("АКТИВНА"));
        m_gameStateLabel->setStyleSheet(QLatin1String(MainWindowStyle::kGameActive));
        showTrayNotification(QStringLiteral("Игра обнаружена"), QStringLiteral("Русская Рыбалка 4 запущена"));
    } else {
        m_gameStateLabel->setText(QStringLiteral("НЕ АКТИВНА"));
        m_gameStateLabel->setStyleSheet(QLatin1String(MainWindowStyle::kGameInactive));
        m_tracker->endGameSession();
    }
}

void PingMonitorWidget::onServerFound(const QString &host, quint16 port, bool serverChanged)
{
    qDebug().noquote() << "[MONITOR] Game server" << QStringLiteral("%1:%2").arg(host).arg(port);
    m_hostLabel->setText(host);
    m_portLabel->setText(QString::number(port));
    lookupGeoLocation(host);
    m_tracker->serverFound(host, port, serverChanged);
}

void PingMonitorWidget::lookupGeoLocation(const QString &address)
{
    m_geo->lookupGeoLocation(address);
}

void PingMonitorWidget::onConnectionFound(const QString &host, quint16 port)
{
    showTrayNotification(QStringLiteral("Соединение найдено"),
                         QStringLiteral("Сервер: %1\nПорт: %2").arg(host).arg(port));
}

void PingMonitorWidget::onConnectionLost()
{
    m_tracker->connectionLost();
    showTrayNotification(QStringLiteral("Соединение потеряно"), QStringLiteral("Поиск нового игрового соединения..."));
}

void PingMonitorWidget::onConnectionMissed()
{
    for (QLabel *label : {m_hostLabel, m_geoLabel, m_portLabel, m_pingLabel, m_qualityLabel})
        label->setText(kDash);
    m_geoLabel->setToolTip(QString());
    m_connectionBar->setValue(0);
    m_geo->clearCurrent();
}

void PingMonitorWidget::processPingResult(int ping)
{
    updatePingDisplay(ping);
    m_tracker->addPing(ping);
}

void PingMonitorWidget::updatePingDisplay(int ping)
{
    m_pingLabel->setText(QString::number(ping));
    m_pingLabel->setStyleSheet(PingQuality::pingStyle(ping));
    m_qualityLabel->setText(PingQuality::text(ping));
    m_qualityLabel->setStyleSheet(PingQuality::qualityStyle(ping));
    updateConnectionBar(ping);
    m_monitor->ping()->recordSample(ping);
}

void PingMonitorWidget::updateConnectionBar(int ping)
{
    m_connectionBar->setValue(PingQuality::barValue(ping));
    m_connectionBar->setStyleSheet(PingQuality::barStyle(ping));
}

void PingMonitorWidget::updateCurrentSessionDisplay()
{
    const GameSession *session = m_tracker->runningSession();
    if (!session)
        return;
    m_sessionTimerLabel->setText(session->durationString());
    m_sessionPingLabel->setText(QString::number(session->averagePing()));
    const int stability = session->stability();
    m_sessionStabilityLabel->setText(QStringLiteral("%1%").arg(stability));
    m_sessionBar->setValue(stability);
    m_sessionBar->setStyleSheet(MainWindowStyle::sessionBarStyle(stability));
}

void PingMonitorWidget::onSessionStarted(GameSession *)
{
}

void PingMonitorWidget::onSessionEnded(GameSession *session)
{
    showTrayNotification(QStringLiteral("Сессия завершена"), QStringLiteral("Длительность: %1\nПинг: %2 мс")
                                                                 .arg(session->durationString())
                                                                 .arg(session->averagePing()));
}

void PingMonitorWidget::checkConnectionHealth()
{
}

void PingMonitorWidget::publishPort(quint16 port, const QString &description, int status, const QString &comment)
{
    qDebug() << "Publishing port:" << port << "desc:" << description << "status:" << status << "comment:" << comment;
    m_sharedPorts->publishPort(m_nickname, port, description, status, comment);
}

void PingMonitorWidget::onPublishFinished(bool success, const QString &error)
{
    if (success)
        setTransientStatus(QStringLiteral("Порт успешно опубликован"), QString(), 3000);
    else
        setStatus(QStringLiteral("Ошибка публикации: ") + error);
}

void PingMonitorWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && event->position().toPoint().y() < kTitleBarHeight) {
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void PingMonitorWidget::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) && event->position().toPoint().y() < kTitleBarHeight) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void PingMonitorWidget::paintEvent(QPaintEvent *)
{
    // The background child paints everything.
}

void PingMonitorWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_background->setGeometry(rect());
    applyRoundedMask(this, kWindowRadius);
}

void PingMonitorWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    setWindowOpacity(m_windowOpacity / 100.0);
    saveSettings();
    emit opacityChanged(m_windowOpacity);
}
