#pragma once

// The main window: server, port, ping, quality, geolocation, the game session and
// the presence line, over an animated background in a frameless rounded window.
// Decisions live in core objects (ConnectionMonitor, PingEngine, ...); the slots
// here turn their results into what the player sees.

#include "app/notificationgate.h"

#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class AnimatedBackground;
class ConnectionMonitor;
class GameSession;
class GeoLocator;
class PingEngine;
class PortHistory;
class PresenceClient;
class QNetworkAccessManager;
class SessionManager;
class SessionTracker;
class SharedPortsClient;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class SvgButton;

class PingMonitorWidget : public QWidget
{
    Q_OBJECT

public:
    explicit PingMonitorWidget(QWidget *parent = nullptr);
    ~PingMonitorWidget() override;

    void loadSettings();
    void saveSettings();

    void setAlwaysOnTop(bool enabled);
    void setWindowOpacityPercent(int percent);
    void setNotificationsEnabled(bool enabled);

    // Shows a tray balloon unless notifications are off, there is no tray, or one was
    // shown less than 301 s ago (dropped, not queued).
    void showTrayNotification(const QString &title, const QString &message);

    // Publishes a port to the shared catalogue under the player's nickname.
    void publishPort(quint16 port, const QString &description, int status, const QString &comment);

    ConnectionMonitor *monitor() const { return m_monitor; }
    SessionManager *sessionManager() const { return m_sessions; }
    PortHistory *portHistory() const { return m_history; }
    SessionTracker *sessionTracker() const { return m_tracker; }
    GeoLocator *geoLocator() const { return m_geo; }
    PresenceClient *presence() const { return m_presence; }
    QString nickname() const { return m_nickname; }
    int windowOpacityPercent() const { return m_windowOpacity; }
    bool isExiting() const { return m_exiting; }
    QMenu *functionsMenu() const { return m_functionsMenu; }
    QMenu *trayMenu() const { return m_trayMenu; }

    // A confirmed exit ends the process at once. Tests replace how.
    using ExitHook = std::function<void(int)>;
    static void setExitHook(ExitHook hook);

signals:
    void opacityChanged(int percent);
    void onlineCountChanged(int count);
    // Emitted for every balloon that passed the rate limit (also without a tray,
    // so a desktop without one can still log what would have been shown).
    void trayNotificationShown(const QString &title, const QString &message);

public slots:
    void updateTarget();
    void openTelegram();
    void toggleWindowVisibility();
    void startPingMeasurement();
    void processPingResult(int ping);
    void updateCurrentSessionDisplay();
    void onSessionStarted(GameSession *session);
    void onSessionEnded(GameSession *session);
    void checkConnectionHealth();
    void showFunctionsMenu();
    void lookupGeoLocation(const QString &address);
    void onPublishFinished(bool success, const QString &error);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildUi();
    QWidget *buildTitleBar();
    QWidget *buildMetricsPanel();
    QWidget *buildSessionPanel();
    QWidget *buildBottomPanel();
    void setupTray();
    void buildMenus();
    void createShortcuts();
    // Hides the window; the way back is the tray, or the mini HUD when it is enabled.
    // Without either the window only minimises, so it can never be lost.
    void hideToBackground();
    void endGameSession();
    void performExit();
    void connectMonitor();
    void connectRecords();
    void connectWebServices();
    void loadNickname();

    void setStatus(const QString &text, const QString &style = QString());
    // Sets a message that clears itself after ms unless another message replaced it.
    void setTransientStatus(const QString &text, const QString &style, int ms);

    void onGameStateChanged(bool running);
    void onServerFound(const QString &host, quint16 port, bool serverChanged);
    void onConnectionFound(const QString &host, quint16 port);
    void onConnectionLost();
    void onConnectionMissed();
    void updatePingDisplay(int ping);
    void updateConnectionBar(int ping);

    ConnectionMonitor *m_monitor = nullptr;
    SessionManager *m_sessions = nullptr;
    PortHistory *m_history = nullptr;
    SessionTracker *m_tracker = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    GeoLocator *m_geo = nullptr;
    PresenceClient *m_presence = nullptr;
    SharedPortsClient *m_sharedPorts = nullptr;
    NotificationGate m_notifications;
    QString m_nickname;
    int m_nicknameChangeCount = 0;

    AnimatedBackground *m_background = nullptr;
    QWidget *m_titleBar = nullptr;
    SvgButton *m_functionsButton = nullptr;
    SvgButton *m_minimizeButton = nullptr;
    SvgButton *m_closeButton = nullptr;
    QLabel *m_gameStateLabel = nullptr;
    QLabel *m_hostLabel = nullptr;
    QLabel *m_portLabel = nullptr;
    QLabel *m_pingLabel = nullptr;
    QLabel *m_qualityLabel = nullptr;
    QLabel *m_geoLabel = nullptr;
    QProgressBar *m_connectionBar = nullptr;
    QLabel *m_sessionTimerLabel = nullptr;
    QLabel *m_sessionPingLabel = nullptr;
    QLabel *m_sessionStabilityLabel = nullptr;
    QLabel *m_networkTypeLabel = nullptr;
    QProgressBar *m_sessionBar = nullptr;
    QLabel *m_onlineIndicator = nullptr;
    QLabel *m_onlineCountLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
    QMenu *m_functionsMenu = nullptr;

    QTimer m_sessionDisplayTimer;
    QPoint m_dragOffset;

    bool m_alwaysOnTop = true;
    int m_windowOpacity = 85;
    bool m_autoStart = false;
    bool m_miniOverlayEnabled = true;
    bool m_notificationsEnabled = true;
    int m_miniOverlayOpacity = 85;
    bool m_exiting = false;
};
