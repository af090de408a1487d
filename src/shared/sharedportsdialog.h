#pragma once

#include "shared/sharedport.h"
#include "ui/basemovabledialog.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>

#include "shared/commentdialog.h"
class FavoritePortsManager;
class PortMessageWidget;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class SharedPortsClient;
class SvgButton;

// "Сеть портов": the shared catalogue as cards, publishing a favourite with a comment,
// withdrawing own entries, copying others' entries to the favourites and opening their
// comments. Created once and kept; closing only hides it.
//
// When the parent window declares the signals onlineCountChanged(int) and
// opacityChanged(int) they are followed at once; otherwise connect them to the slots.
class SharedPortsDialog final : public BaseMovableDialog
{
    Q_OBJECT

public:
    static constexpr int kRefreshIntervalMs = 60000;
    // Up to this many card changes a refresh keeps repainting on.
    static constexpr int kQuietChanges = 8;

    SharedPortsDialog(const QString &userName, FavoritePortsManager *favorites, QWidget *parent = nullptr);
    ~SharedPortsDialog() override;

    QString userName() const { return m_userName; }
    // Stores the nickname and reloads the catalogue (cards are "own" by exact name).
    void setUserName(const QString &userName);

    // Starts a catalogue request unless one is in flight; refills the favourites box.
    void loadPorts();
    void refreshFavoritesCombo();

    SharedPortsClient *client() const { return m_client; }
    bool isLoading() const { return m_loading; }
    int selectedPortId() const { return m_selectedPortId; }
    bool isAtBottom() const { return m_atBottom; }
    const QList<SharedPort> &ports() const { return m_ports; }
    QListWidget *portList() const { return m_list; }
    // The card in list order; null past the end or on the placeholder row.
    PortMessageWidget *cardAt(int row) const;
    int cardCount() const;
    QComboBox *favoritesCombo() const { return m_favoritesCombo; }
    QPlainTextEdit *commentEditor() const { return m_commentEdit; }
    QPushButton *publishButton() const { return m_publishButton; }
    QPushButton *emojiButton() const { return m_emojiButton; }
    QFrame *emojiPopup() const { return m_emojiPopup; }
    QLabel *onlineCountLabel() const { return m_onlineCount; }
    QLabel *onlineDot() const { return m_onlineDot; }
    SvgButton *closeButton() const { return m_closeButton; }
    // The open comments window of an entry, if any.
    CommentDialog *commentDialogFor(int portId) const { return m_commentDialogs.value(portId); }

    static QStringList emojis();

public slots:
    void onPortsReceived(const QList<SharedPort> &ports, bool success, const QString &error);
    void onPublishFinished(bool success, const QString &error);
    void onUnpublishFinished(bool success, const QString &error);
    void onTimerRefresh();
    void onPublishClicked();
    void onCommentTextChanged();
    void onOnlineCountChanged(int count);
    void onOpacityChanged(int percent);
    void onPortClicked(int portId, const QString &userName);
    void onScrollBarChanged(int value);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    QWidget *buildPublishPanel(QWidget *parent);
    void buildEmojiPopup();
    void followOwner(QWidget *owner);
    // Puts a card for the entry into the empty row.
    void addCard(const SharedPort &port, int row);
    // How many cards must be made or removed for the list to show exactly these entries.
    int cardsToChange(const QList<SharedPort> &ports) const;
    // Makes the list so, keeping every card that already shows its entry.
    void syncCards();
    int cardWidth() const;
    void deletePort(const SharedPort &port);
    void addToFavorites(const SharedPort &port);
    void openComments(int portId);
    void insertEmoji(const QString &emoji);
    void reloadAfterChange();

    SharedPortsClient *m_client = nullptr;
    QPointer<FavoritePortsManager> m_favorites;
    QString m_userName;
    QList<SharedPort> m_ports;
    QTimer *m_refreshTimer = nullptr;
    int m_selectedPortId = -1;
    quint16 m_selectedFavorite = 0;
    bool m_atBottom = true;
    bool m_loading = false;
    bool m_reloadPending = false;
    int m_ownerOpacityPercent = -1; // -1: no owner window has told it

    SvgButton *m_closeButton = nullptr;
    QListWidget *m_list = nullptr;
    QComboBox *m_favoritesCombo = nullptr;
    QPlainTextEdit *m_commentEdit = nullptr;
    QPushButton *m_emojiButton = nullptr;
    QFrame *m_emojiPopup = nullptr;
    QPushButton *m_publishButton = nullptr;
    QLabel *m_onlineDot = nullptr;
    QLabel *m_onlineCount = nullptr;
    QHash<int, QPointer<CommentDialog>> m_commentDialogs;
};
