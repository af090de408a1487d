#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include "records/clock.h"

// One favourite game port with the user's description and rating.
struct FavoritePort
{
    quint16 port = 0; // 0 marks the empty value
    QString description;
    QDateTime addedDate;
    int status = 0; // 0 normal, 1 good, 2 bad

    bool isNull() const { return port == 0; }
    bool operator==(const FavoritePort &o) const
    {
        return port == o.port && description == o.description && addedDate == o.addedDate
            && status == o.status;
    }
    bool operator!=(const FavoritePort &o) const { return !(*this == o); }
};
Q_DECLARE_METATYPE(FavoritePort)

// The user's favourite ports (9000-9999 only), kept in the settings array
// "FavoritePorts", with a plain text export and import.
class FavoritePortsManager final : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kMinPort = 9000;
    static constexpr quint16 kMaxPort = 9999;

    explicit FavoritePortsManager(QObject *parent = nullptr, Clock clock = {});
    ~FavoritePortsManager() override;

    static bool isAllowedPort(int port) { return port >= kMinPort && port <= kMaxPort; }
    // "НОРМАЛЬНЫЙ", "ХОРОШИЙ" or "ПЛОХОЙ"; unknown values read as normal.
    static QString statusName(int status);

    QList<FavoritePort> favorites() const { return m_favorites; }
    bool isFavorite(quint16 port) const;
    FavoritePort getFavorite(quint16 port) const;

    // Each returns whether the list changed; refusals are logged.
    bool addFavorite(const FavoritePort &favorite);
    bool removeFavorite(quint16 port);
    bool updateFavorite(quint16 oldPort, const FavoritePort &favorite);
    bool setFavoriteStatus(quint16 port, int status);

    bool saveFavorites();
    void loadFavorites();

    bool exportToFile(const QString &filePath) const;
    bool importFromFile(const QString &filePath);
    QStringList validateImportFile(const QString &filePath) const;

signals:
    void favoriteAdded(const FavoritePort &port);
    void favoriteRemoved(quint16 port);
    void favoriteUpdated(const FavoritePort &port);
    void favoritesImported(int count);
    void favoritesChanged();

private:
    qsizetype indexOf(quint16 port) const;

    Clock m_clock;
    QList<FavoritePort> m_favorites;
};
