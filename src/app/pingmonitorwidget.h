#pragma once

// The main window: server, port, ping, quality, geolocation, the game session and
// the presence line, over an animated background in a frameless rounded window.
// Decisions live in core objects (ConnectionMonitor, SessionTracker, GeoLocator, ...);
// the slots here turn their results into what the player sees.

#include "core/notificationgate.h"
#include "overlay/settingstarget.h"
#include "ui/titlebardrag.h"

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class AnimatedBackground;
class AutoUpdater;
class ConnectionMonitor;
class FavoritePortsManager;
class GameSession;
class GeoLocator;
class MiniOverlayWidget;
class PingGraphWindow;
class PingTimeline;
class PortHistory;
class PresenceClient;
class QLabel;
class QMenu;
class QNetworkAccessManager;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class Screenshot;
class SessionManager;
class SessionTracker;
class SharedPortsClient;
class SharedPortsDialog;
class SvgButton;

class PingMonitorWidget : public QWidget, public SettingsTarget
{
    Q_OBJECT

public:
    static constexpr int kWindowWidth = 820;
    static constexpr int kWindowHeight = 520;
    static constexpr int kTitleBarHeight = 45;
    static constexpr int kWindowRadius = 16;
    static constexpr int kFirstUpdateCheckMs = 5000;
    static constexpr int kUpdateCheckIntervalMs = 24 * 60 * 60 * 1000;

    // The record files live in the program's folder unless recordsFolder names another.
    explicit PingMonitorWidget(QWidget *parent = nullptr, const QString &recordsFolder = QString());
    ~PingMonitorWidget() override;

    void loadSettings();

    // SettingsTarget: each setter applies at once and saves.
    bool alwaysOnTop() const override { return m_alwaysOnTop; }
    int windowOpacityPercent() const override { return m_windowOpacity; }
    bool autoStart() const override { return m_autoStart; }
    bool miniOverlayEnabled() const override { return m_miniOverlayEnabled; }
    bool notificationsEnabled() const override { return m_notificationsEnabled; }
    int miniOverlayOpacity() const override { return m_miniOverlayOpacity; }
    void setAlwaysOnTop(bool enabled) override;
    void setWindowOpacityPercent(int percent) override;
    void setAutoStart(bool enabled) override;
    void setMiniOverlayEnabled(bool enabled) override;
    void setNotificationsEnabled(bool enabled) override;
    void setMiniOverlayOpacity(int percent) override;
    void saveSettings() override;
    bool changeNickname(const QString &nickname) override;

    // Shows a tray balloon unless notifications are off, there is no tray, or one was
    // shown less than 301 s ago (dropped, not queued).
    void showTrayNotification(const QString &title, const QString &message);

    // Publishes a port to the shared catalogue under the player's nickname.
    void publishPort(quint16 port, const QString &description, int status, const QString &comment);

    // Brings the window back from the tray or the HUD, in front of other windows: the
    // way a second start of the program reaches this one.
    void showFromBackground();

    ConnectionMonitor *monitor() const { return m_monitor; }
    SessionManager *sessionManager() const { return m_sessions; }
    PortHistory *portHistory() const { return m_history; }
    SessionTracker *sessionTracker() const { return m_tracker; }
    FavoritePortsManager *favorites() const { return m_favorites; }
    GeoLocator *geoLocator() const { return m_geo; }
    PresenceClient *presence() const { return m_presence; }
    MiniOverlayWidget *miniHud() const { return m_hud; }
    PingTimeline *pingTimeline() const { return m_timeline; }
    PingGraphWindow *pingGraphWindow() const; // null until first opened
    bool isMiniHudShown() const { return m_miniHudShown; }
    QString nickname() const { return m_nickname; }
    bool isExiting() const { return m_exiting; }
    QMenu *functionsMenu() const { return m_functionsMenu; }
    QMenu *trayMenu() const { return m_trayMenu; }
    QPushButton *favoriteButton() const { return m_favoriteButton; }

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
    void takeScreenshot();
    void onScreenshotCaptured(const QPixmap &screenshot);
    void onScreenshotSaved(const QString &filePath);
    void showFunctionsMenu();
    void showSettings();
    void showFirewallManager();
    void toggleFavorite();
    void showFavoritesContextMenu();
    void showFavoritesDialog();
    void showPortHistory();
    void showPingGraph();
    void showSharedCatalog();
    void checkForUpdates();
    void onUpdateError(const QString &error);
    void lookupGeoLocation(const QString &address);
    void onMiniOverlayFavoriteClicked(quint16 port);
    void onFavoritesChanged();
    void onPublishFinished(bool success, const QString &error);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
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
    void createFavoriteButton(QWidget *portContainer);
    void setupTray();
    void buildMenus();
    void createShortcuts();
    void createMiniHud();
    void connectMonitor();
    void connectRecords();
    void connectWebServices();
    void connectUpdates();
    void loadNickname();

    // Hides the window; the way back is the tray, or the mini HUD when it is enabled.
    // Without either the window only minimises, so it can never be lost.
    void hideToBackground();
    // With no tray to click, a hidden window and no HUD would leave the player nothing
    // to bring the program back with: then the window is shown again.
    void keepReachable();
    bool trayAvailable() const;
    void hideMiniHud();
    void showMiniHud();
    void refreshMiniHud();
    void updateFavoriteButton();
    void runUpdateCheck();
    void performExit();

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
    FavoritePortsManager *m_favorites = nullptr;
    SessionTracker *m_tracker = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    GeoLocator *m_geo = nullptr;
    PresenceClient *m_presence = nullptr;
    SharedPortsClient *m_sharedPorts = nullptr;
    Screenshot *m_screenshot = nullptr;
    AutoUpdater *m_updater = nullptr;
    MiniOverlayWidget *m_hud = nullptr; // a top-level window of its own, deleted with us
    QPointer<SharedPortsDialog> m_sharedCatalog; // made on first use, then kept
    PingTimeline *m_timeline = nullptr; // fed from the start, so the graph has a past when opened
    QPointer<PingGraphWindow> m_graphWindow; // made on first use, then kept
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
    QPushButton *m_favoriteButton = nullptr;
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
    QTimer m_updateTimer;
    TitleBarDrag m_drag;

    bool m_alwaysOnTop = true;
    int m_windowOpacity = 85;
    bool m_autoStart = false;
    bool m_miniOverlayEnabled = true;
    bool m_notificationsEnabled = true;
    int m_miniOverlayOpacity = 85;
    bool m_miniHudShown = false;
    quint16 m_favoritePortOverride = 0; // the HUD's star acts on its own port
    bool m_exiting = false;
};
