#include "app/pingmonitorwidget.h"

#include "app/exitconfirmdialog.h"
#include "app/mainwindowstyle.h"
#include "app/nicknamechange.h"
#include "core/appconfig.h"
#include "core/settingskeys.h"
#include "favorites/favoriteportsmanager.h"
#include "monitor/connectionmonitor.h"
#include "monitor/geolocator.h"
#include "monitor/pingengine.h"
#include "monitor/pingquality.h"
#include "monitor/pingtimeline.h"
#include "monitor/presenceclient.h"
#include "overlay/autostart.h"
#include "overlay/minioverlaywidget.h"
#include "overlay/screenshot.h"
#include "overlay/screenshotpreviewdialog.h"
#include "overlay/settingsdialog.h"
#include "platform/platform.h"
#include "records/gamesession.h"
#include "records/porthistory.h"
#include "records/sessionmanager.h"
#include "records/sessiontracker.h"
#include "shared/sharedportsclient.h"
#include "shared/sharedportsdialog.h"
#include "ui/animatedbackground.h"
#include "ui/framecompositor.h"
#include "ui/icons.h"
#include "ui/restyle.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"
#include "ui/windowshape.h"
#include "updatelauncher/autoupdater.h"
#include "updatelauncher/updatenotices.h"

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

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kDash = QString::fromUtf8(MainWindowStyle::kDash);

PingMonitorWidget::ExitHook &exitHook()
{
    static PingMonitorWidget::ExitHook hook;
    return hook;
}

} // namespace

void PingMonitorWidget::setExitHook(ExitHook hook)
{
    exitHook() = std::move(hook);
}

PingMonitorWidget::PingMonitorWidget(QWidget *parent, const QString &recordsFolder)
    : QWidget(parent)
    , m_monitor(new ConnectionMonitor(nullptr, this))
    , m_sessions(
          new SessionManager(recordsFolder.isEmpty() ? SessionManager::defaultFilePath()
                                                     : recordsFolder + QStringLiteral("/game_sessions.txt"),
              this))
    , m_history(new PortHistory(recordsFolder.isEmpty() ? PortHistory::defaultFilePath()
                                                        : recordsFolder + QStringLiteral("/port_history.txt"),
          this))
    , m_favorites(new FavoritePortsManager(this))
    , m_tracker(new SessionTracker(m_sessions, m_history, this))
    , m_network(new QNetworkAccessManager(this))
    , m_geo(new GeoLocator(m_network, this))
    , m_presence(new PresenceClient(m_network, this))
    , m_screenshot(new Screenshot(this))
    , m_updater(new AutoUpdater(this))
    , m_timeline(new PingTimeline(this))
    , m_drag(this)
{
    setWindowTitle(QStringLiteral("KESTREL v%1").arg(QLatin1String(AppConfig::kAppVersion)));
    setFixedSize(kWindowWidth, kWindowHeight);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    // Geolocation and presence set their own time-out per request; anything else sent
    // through the shared manager gets one too, so no stalled server holds a request forever.
    m_network->setTransferTimeout(GeoLocator::kTransferTimeoutMs);
    m_background = new AnimatedBackground(this);
    buildUi();
    m_drag.setTitleBar(m_titleBar);
    loadSettings();

    if (!platform::isProcessElevated()) {
        setTransientStatus(QStringLiteral("⚠️ Рекомендуется запуск от имени "
                                          "администратора"),
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
    // Above every panel: the background's frames then repaint nothing but the background.
    new FrameCompositor(m_background);
    setStyleSheet(QLatin1String(MainWindowStyle::kWindow));
    buildMenus();
    setupTray();
    createMiniHud();

    loadNickname();
    connectMonitor();
    connectRecords();
    connectWebServices();
    connectUpdates();
    connect(m_screenshot, &Screenshot::screenshotCaptured, this, &PingMonitorWidget::onScreenshotCaptured);
    connect(m_screenshot, &Screenshot::screenshotSaved, this, &PingMonitorWidget::onScreenshotSaved);
    connect(&m_sessionDisplayTimer, &QTimer::timeout, this, &PingMonitorWidget::updateCurrentSessionDisplay);
    m_sessionDisplayTimer.setInterval(1000);

    m_presence->start();
    QTimer::singleShot(kFirstUpdateCheckMs, this, &PingMonitorWidget::runUpdateCheck);
    createShortcuts();
    updateFavoriteButton();
    applyRoundedMask(this, kWindowRadius);
    m_monitor->start();
    m_sessionDisplayTimer.start();
    // Test hook: a recorded hour for the graph, to look at it and measure it full.
    if (const QString recording = qEnvironmentVariable("KESTREL_TEST_PING_RECORDING"); !recording.isEmpty()) {
        const bool loaded = m_timeline->loadRecording(recording);
        qDebug().noquote() << "[GRAPH] Recording" << recording << (loaded ? "loaded:" : "NOT loaded:")
                           << m_timeline->size() << "samples";
    }
}

PingMonitorWidget::~PingMonitorWidget()
{
    m_tracker->endGameSession();
    delete m_hud;
    if (m_tray)
        m_tray->hide();
    m_monitor->stop();
    m_sessionDisplayTimer.stop();
    m_updateTimer.stop();
    m_presence->stop();
}

void PingMonitorWidget::createMiniHud()
{
    m_hud = new MiniOverlayWidget;
    m_hud->setFavoritesManager(m_favorites);
    connect(m_hud, &MiniOverlayWidget::doubleClicked, this, &PingMonitorWidget::toggleWindowVisibility);
    connect(m_hud, &MiniOverlayWidget::restoreRequested, this, &PingMonitorWidget::toggleWindowVisibility);
    connect(m_hud, &MiniOverlayWidget::firewallRequested, this, &PingMonitorWidget::showFirewallManager);
    connect(
        m_hud, &MiniOverlayWidget::favoriteClicked, this, &PingMonitorWidget::onMiniOverlayFavoriteClicked);
    connect(m_hud, &MiniOverlayWidget::hideRequested, this, [this] {
        hideMiniHud();
        keepReachable();
    });
    connect(m_hud, &MiniOverlayWidget::settingsRequested, this, &PingMonitorWidget::showSettings);
}

void PingMonitorWidget::showMiniHud()
{
    m_hud->setOpacityPercent(m_miniOverlayOpacity);
    m_hud->show();
    m_hud->raise();
    m_miniHudShown = true;
    refreshMiniHud();
}

void PingMonitorWidget::refreshMiniHud()
{
    if (!m_hud || !m_miniHudShown)
        return;
    const QList<int> &samples = m_monitor->ping()->samples();
    const int ping = samples.isEmpty() || samples.last() > 998 ? 0 : samples.last();
    const GameSession *session = m_tracker->runningSession();
    m_hud->updateValues(
        ping, m_monitor->currentPort(), session ? session->durationString() : QStringLiteral("00:00:00"));
}

void PingMonitorWidget::connectUpdates()
{
    UpdateNotices::attach(m_updater);
    connect(m_updater, &AutoUpdater::updateError, this, &PingMonitorWidget::onUpdateError);
    m_updateTimer.setInterval(kUpdateCheckIntervalMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &PingMonitorWidget::runUpdateCheck);
    m_updateTimer.start();
}

void PingMonitorWidget::runUpdateCheck()
{
    const QString searching = QStringLiteral("Поиск обновлений...");
    setTransientStatus(searching, QStringLiteral("color:#22d3ee;"), 5000);
    m_updater->startExternalUpdater(true);
}

void PingMonitorWidget::checkForUpdates()
{
    m_updater->startExternalUpdater(false);
}

void PingMonitorWidget::onUpdateError(const QString &error)
{
    qDebug().noquote() << "Update error:" << error;
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
    m_sharedPorts->setBaseUrl(AppConfig::serviceUrl());
    connect(m_sharedPorts, &SharedPortsClient::publishFinished, this, &PingMonitorWidget::onPublishFinished);
    m_nicknameChangeCount = settings.value(QLatin1String(SettingsKeys::kNicknameChangeCount), 0).toInt();
}

void PingMonitorWidget::toggleWindowVisibility()
{
    if (isVisible()) {
        hideToBackground();
        return;
    }
    showFromBackground();
}

void PingMonitorWidget::showFromBackground()
{
    hideMiniHud();
    showNormal();
    activateWindow();
    raise();
}

void PingMonitorWidget::hideMiniHud()
{
    if (m_hud)
        m_hud->hide();
    m_miniHudShown = false;
}

bool PingMonitorWidget::trayAvailable() const
{
    return m_tray && QSystemTrayIcon::isSystemTrayAvailable();
}

void PingMonitorWidget::keepReachable()
{
    if (m_exiting || isVisible() || m_miniHudShown || trayAvailable())
        return;
    qDebug() << "[WINDOW] No tray and no HUD: showing the window";
    showFromBackground();
}

void PingMonitorWidget::hideToBackground()
{
    if (!trayAvailable() && !m_miniOverlayEnabled) {
        showMinimized();
        return;
    }
    hide();
    if (m_miniOverlayEnabled)
        showMiniHud();
}

void PingMonitorWidget::changeEvent(QEvent *event)
{
    const bool canHide = m_miniOverlayEnabled || trayAvailable();
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && canHide) {
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
    m_tracker->flushRecords(); // the process ends at once: the last saves must be on disk
    if (const ExitHook &hook = exitHook()) {
        hook(0);
        return;
    }
    if (m_tray)
        m_tray->hide(); // a dead process leaves its icon behind otherwise
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
    connect(
        m_favorites, &FavoritePortsManager::favoritesChanged, this, &PingMonitorWidget::onFavoritesChanged);
    m_tracker->setDescriptionLookup([this](quint16 port) {
        return m_favorites->isFavorite(port) ? m_favorites->getFavorite(port).description : QString();
    });
    connect(
        m_tracker, &SessionTracker::gameSessionEnded, this, [this] { m_networkTypeLabel->setText(kDash); });
}

void PingMonitorWidget::connectWebServices()
{
    // The location comes from the network: it is text, never markup. A tooltip guesses
    // its format, so it gets the text already turned into escaped rich text.
    m_geoLabel->setTextFormat(Qt::PlainText);
    connect(m_geo, &GeoLocator::displayChanged, this, [this](const QString &text, const QString &toolTip) {
        m_geoLabel->setText(text);
        m_geoLabel->setToolTip(
            toolTip.isEmpty() ? QString() : Qt::convertFromPlainText(toolTip, Qt::WhiteSpaceNormal));
    });
    connect(m_presence, &PresenceClient::onlineDisplayChanged, this,
        [this](const QString &text, const QString &labelStyle, const QString &indicatorStyle) {
            m_onlineCountLabel->setText(text);
            restyle(m_onlineCountLabel, labelStyle);
            restyle(m_onlineIndicator, indicatorStyle);
        });
    connect(m_presence, &PresenceClient::indicatorStyleChanged, this, [this](const QString &style) {
        // The blink is an animation: none of it is done while nobody can see the window.
        if (isVisible() && !isMinimized())
            restyle(m_onlineIndicator, style);
    });
    connect(m_presence, &PresenceClient::onlineCountChanged, this, &PingMonitorWidget::onlineCountChanged);
}

void PingMonitorWidget::loadSettings()
{
    QSettings settings = openSettings();
    m_alwaysOnTop
        = settings.value(QLatin1String(SettingsKeys::kAlwaysOnTop), SettingsKeys::kDefaultAlwaysOnTop)
              .toBool();
    m_windowOpacity
        = settings.value(QLatin1String(SettingsKeys::kWindowOpacity), SettingsKeys::kDefaultWindowOpacity)
              .toInt();
    m_autoStart
        = settings.value(QLatin1String(SettingsKeys::kAutoStart), SettingsKeys::kDefaultAutoStart).toBool();
    m_miniOverlayEnabled = settings
                               .value(QLatin1String(SettingsKeys::kMiniOverlayEnabled),
                                   SettingsKeys::kDefaultMiniOverlayEnabled)
                               .toBool();
    m_notificationsEnabled = settings
                                 .value(QLatin1String(SettingsKeys::kNotificationsEnabled),
                                     SettingsKeys::kDefaultNotificationsEnabled)
                                 .toBool();
    m_miniOverlayOpacity = settings
                               .value(QLatin1String(SettingsKeys::kMiniOverlayOpacity),
                                   SettingsKeys::kDefaultMiniOverlayOpacity)
                               .toInt();

    const QRect keep = geometry();
    setWindowFlag(Qt::WindowStaysOnTopHint, m_alwaysOnTop);
    setGeometry(keep);
    show();
    setWindowOpacity(m_windowOpacity / 100.0);
    saveSettings();
    emit opacityChanged(m_windowOpacity);

    if (m_autoStart != autoStartEntryExists())
        writeAutoStartEntry(m_autoStart);
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

void PingMonitorWidget::setAutoStart(bool enabled)
{
    writeAutoStartEntry(enabled);
    m_autoStart = enabled;
    saveSettings();
}

void PingMonitorWidget::setMiniOverlayEnabled(bool enabled)
{
    m_miniOverlayEnabled = enabled;
    if (!enabled && m_miniHudShown) {
        hideMiniHud();
        keepReachable(); // switched off from the settings opened on the HUD itself
    }
    saveSettings();
}

void PingMonitorWidget::setNotificationsEnabled(bool enabled)
{
    m_notificationsEnabled = enabled;
    saveSettings();
}

void PingMonitorWidget::setMiniOverlayOpacity(int percent)
{
    m_miniOverlayOpacity = qBound(30, percent, 100);
    if (m_hud && m_miniHudShown)
        m_hud->setOpacityPercent(m_miniOverlayOpacity);
    saveSettings();
}

bool PingMonitorWidget::changeNickname(const QString &nickname)
{
    if (!NicknameChange::apply(this, nickname, m_nicknameChangeCount))
        return false;
    m_nickname = nickname.trimmed();
    if (m_sharedCatalog)
        m_sharedCatalog->setUserName(m_nickname);
    return true;
}

void PingMonitorWidget::showSettings()
{
    SettingsDialog dialog(this);
    dialog.exec();
}

void PingMonitorWidget::takeScreenshot()
{
    m_screenshot->captureWindow(this, 0);
}

void PingMonitorWidget::onScreenshotCaptured(const QPixmap &screenshot)
{
    ScreenshotPreviewDialog preview(m_screenshot, screenshot, this);
    connect(&preview, &ScreenshotPreviewDialog::copied, this,
        [this] { setStatus(QStringLiteral("Скриншот скопирован")); });
    preview.exec();
}

void PingMonitorWidget::onScreenshotSaved(const QString &filePath)
{
    const QString name = QFileInfo(filePath).fileName();
    setStatus(QStringLiteral("Сохранено: %1").arg(name));
    showTrayNotification(QStringLiteral("Скриншот сохранён"), QStringLiteral("Файл: %1").arg(name));
}

void PingMonitorWidget::showTrayNotification(const QString &title, const QString &message)
{
    if (!m_notificationsEnabled)
        return;
    if (!m_notifications.tryPass())
        return;
    qDebug().noquote() << "[NOTIFY]" << title << "|"
                       << QString(message).replace(QLatin1Char('\n'), QLatin1String(" / "));
    if (m_tray)
        m_tray->showMessage(title, message, QSystemTrayIcon::Information, 3000);
    emit trayNotificationShown(title, message);
}

void PingMonitorWidget::setStatus(const QString &text, const QString &style)
{
    m_statusLabel->setText(text);
    restyle(m_statusLabel, style);
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
    m_timeline->setGameRunning(running);
    if (running) {
        m_gameStateLabel->setText(QStringLiteral("АКТИВНА"));
        m_gameStateLabel->setStyleSheet(QLatin1String(MainWindowStyle::kGameActive));
        showTrayNotification(QStringLiteral("Игра обнаружена"), QStringLiteral("Русская Рыбалка 4 запущена"));
    } else {
        m_gameStateLabel->setText(QStringLiteral("НЕ АКТИВНА"));
        m_gameStateLabel->setStyleSheet(QLatin1String(MainWindowStyle::kGameInactive));
        m_tracker->endGameSession();
    }
    refreshMiniHud();
}

void PingMonitorWidget::onServerFound(const QString &host, quint16 port, bool serverChanged)
{
    qDebug().noquote() << "[MONITOR] Game server" << QStringLiteral("%1:%2").arg(host).arg(port);
    m_hostLabel->setText(host);
    m_portLabel->setText(QString::number(port));
    m_timeline->setServer(host, port);
    lookupGeoLocation(host);
    m_tracker->serverFound(host, port, serverChanged);
    updateFavoriteButton();
}

void PingMonitorWidget::lookupGeoLocation(const QString &address)
{
    m_geo->lookupGeoLocation(address);
}

void PingMonitorWidget::onConnectionFound(const QString &host, quint16 port)
{
    showTrayNotification(
        QStringLiteral("Соединение найдено"), QStringLiteral("Сервер: %1\nПорт: %2").arg(host).arg(port));
}

void PingMonitorWidget::onConnectionLost()
{
    m_tracker->connectionLost();
    showTrayNotification(
        QStringLiteral("Соединение потеряно"), QStringLiteral("Поиск нового игрового соединения..."));
}

void PingMonitorWidget::onConnectionMissed()
{
    for (QLabel *label : {m_hostLabel, m_geoLabel, m_portLabel, m_pingLabel, m_qualityLabel})
        label->setText(kDash);
    m_geoLabel->setToolTip(QString());
    m_connectionBar->setValue(0);
    m_geo->clearCurrent();
    updateFavoriteButton();
}

void PingMonitorWidget::processPingResult(int ping)
{
    updatePingDisplay(ping);
    m_tracker->addPing(ping);
    m_timeline->addPing(ping);
    refreshMiniHud();
}

void PingMonitorWidget::updatePingDisplay(int ping)
{
    m_pingLabel->setText(QString::number(ping));
    restyle(m_pingLabel, PingQuality::pingStyle(ping));
    m_qualityLabel->setText(PingQuality::text(ping));
    restyle(m_qualityLabel, PingQuality::qualityStyle(ping));
    updateConnectionBar(ping);
    m_monitor->ping()->recordSample(ping);
}

void PingMonitorWidget::updateConnectionBar(int ping)
{
    m_connectionBar->setValue(PingQuality::barValue(ping));
    restyle(m_connectionBar, PingQuality::barStyle(ping));
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
    restyle(m_sessionBar, MainWindowStyle::sessionBarStyle(stability));
    refreshMiniHud();
}

void PingMonitorWidget::onSessionStarted(GameSession *) { }

void PingMonitorWidget::onSessionEnded(GameSession *session)
{
    showTrayNotification(QStringLiteral("Сессия завершена"),
        QStringLiteral("Длительность: %1\nПинг: %2 мс")
            .arg(session->durationString())
            .arg(session->averagePing()));
}

void PingMonitorWidget::checkConnectionHealth() { }

void PingMonitorWidget::publishPort(
    quint16 port, const QString &description, int status, const QString &comment)
{
    qDebug().noquote() << "Publishing port:" << port << "desc:" << description << "status:" << status
                       << "comment:" << comment;
    m_sharedPorts->publishPort(m_nickname, port, description, status, comment);
}

void PingMonitorWidget::onPublishFinished(bool success, const QString &error)
{
    if (success)
        setTransientStatus(QStringLiteral("Порт успешно опубликован"), QString(), 3000);
    else
        setStatus(QStringLiteral("Ошибка публикации: ") + error);
}

// Only a press accepted in the title bar starts a drag: a press lower down that is
// dragged up into the title bar must not move the window.
void PingMonitorWidget::mousePressEvent(QMouseEvent *event)
{
    if (!m_drag.press(event))
        QWidget::mousePressEvent(event);
}

void PingMonitorWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_drag.move(event))
        QWidget::mouseMoveEvent(event);
}

void PingMonitorWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_drag.release(event))
        QWidget::mouseReleaseEvent(event);
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
    restyle(m_onlineIndicator, m_presence->display().indicatorStyle); // blinks were skipped while away
    setWindowOpacity(m_windowOpacity / 100.0);
    saveSettings();
    emit opacityChanged(m_windowOpacity);
}
