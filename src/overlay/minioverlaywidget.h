#pragma once

#include <QDateTime>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPropertyAnimation;
class QPushButton;
class QTimer;

// The mini HUD: a small always-on-top tool window with ping, port and session time,
// shown while the main window is hidden. It never takes the keyboard focus (the game
// keeps it), fades in and out, brightens under the mouse and remembers its place.
class MiniOverlayWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity)

public:
    // What the HUD needs to know about a favourite port.
    struct Favorite
    {
        QString description;
        int status = 0; // 0 normal, 1 good, 2 bad
        QDateTime addedDate;
    };
    // Answers "is this port a favourite, and what is it?" from the favourites store.
    using FavoriteLookup = std::function<std::optional<Favorite>(quint16 port)>;

    static constexpr int kWidth = 180;
    static constexpr int kHeight = 100;
    static constexpr int kPlacementIntervalMs = 2000;
    static constexpr int kFadeMs = 200;
    static constexpr double kHoverCap = 0.95;

    explicit MiniOverlayWidget(QWidget *parent = nullptr);
    ~MiniOverlayWidget() override;

    // Base opacity from a percent clamped to 30..100. A changed value is applied and the
    // percent, as given, is written to "miniOverlayOpacity".
    void setOpacityPercent(int percent);
    double opacity() const { return m_baseOpacity; }
    void setOpacity(double opacity);
    double targetOpacity() const { return m_targetOpacity; }
    bool isHovered() const { return m_hovered; }

    // ping in ms (999 or below 1: no value), port (0: none), session time text.
    void updateValues(int ping, quint16 port, const QString &sessionTime);
    quint16 currentPort() const { return m_currentPort; }

    // An empty lookup means there is no favourites store.
    void setFavoriteLookup(FavoriteLookup lookup);

    // Reads the favourites from a store with the FavoritePortsManager interface
    // (isFavorite, getFavorite, and the signals favoriteAdded, favoriteRemoved and
    // favoriteUpdated) and follows its changes of the shown port. The store is not owned;
    // null detaches. A store destroyed first simply stops answering.
    template<typename Store> void setFavoritesManager(Store *store);

    // The screen place used when no position is saved: 15 px from the right, 25 from the top.
    static QPoint defaultPosition(const QRect &availableGeometry);

    // The colour a ping is shown in (1..998).
    static QString pingColor(int ping);

signals:
    void doubleClicked();
    void restoreRequested();
    void firewallRequested();
    void favoriteClicked(quint16 port);
    void hideRequested();
    void settingsRequested();

public slots:
    void updatePosition();
    void fadeIn();
    void fadeOut();
    void onFirewallButtonClicked();
    void onFavoriteButtonClicked();
    void onEyeButtonClicked();
    // The favourites store changed this port; refresh the star if it is ours.
    void onFavoriteChanged(quint16 port);
    void refreshFavoriteButton();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildUi();
    QPushButton *makeIconButton(const QByteArray &svg, const QString &toolTip);
    void restorePosition();
    void placeAtDefault();
    void savePosition();
    void animateOpacity(double from, double to);

    QLabel *m_pingCaption = nullptr;
    QLabel *m_pingValue = nullptr;
    QLabel *m_portCaption = nullptr;
    QLabel *m_portValue = nullptr;
    QLabel *m_sessionCaption = nullptr;
    QLabel *m_sessionValue = nullptr;
    QPushButton *m_firewallButton = nullptr;
    QPushButton *m_favoriteButton = nullptr;
    QPushButton *m_hideButton = nullptr;
    QPushButton *m_settingsButton = nullptr;

    QPoint m_dragOffset;
    bool m_hovered = false;
    quint16 m_currentPort = 0;
    QTimer *m_placementTimer = nullptr;
    bool m_placementWanted = true;
    QPropertyAnimation *m_opacityAnimation = nullptr;
    double m_baseOpacity = 0.85;
    double m_targetOpacity = 0.85;
    FavoriteLookup m_favoriteLookup;
    QImage m_panel; // the painted panel, kept until the hover or the size changes
    bool m_panelHovered = false;
    QPointer<QObject> m_favoritesStore;
};

template<typename Store> void MiniOverlayWidget::setFavoritesManager(Store *store)
{
    if (m_favoritesStore)
        QObject::disconnect(m_favoritesStore, nullptr, this, nullptr);
    m_favoritesStore = store;
    if (!store) {
        setFavoriteLookup({});
        return;
    }
    connect(store, &Store::favoriteAdded, this,
        [this](const auto &favorite) { onFavoriteChanged(favorite.port); });
    connect(store, &Store::favoriteRemoved, this, [this](quint16 port) { onFavoriteChanged(port); });
    connect(store, &Store::favoriteUpdated, this,
        [this](const auto &favorite) { onFavoriteChanged(favorite.port); });
    const QPointer<Store> guard(store);
    setFavoriteLookup([guard](quint16 port) -> std::optional<Favorite> {
        if (!guard || !guard->isFavorite(port))
            return std::nullopt;
        const auto favorite = guard->getFavorite(port);
        return Favorite {favorite.description, favorite.status, favorite.addedDate};
    });
}
