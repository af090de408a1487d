#pragma once

#include "records/porthistory.h"
#include "ui/basedialog.h"
#include "ui/titlebardrag.h"

#include <QList>

#include <functional>
#include <optional>

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class SessionManager;
class SessionStatsView;

// The rating of a favourite port (0 normal, 1 good, 2 bad), or nothing when the port
// is not a favourite. An empty function stands for "no favourites store".
using FavoriteStatusLookup = std::function<std::optional<int>(quint16 port)>;

// Browses the recorded port visits: filter by port and days, statistics, export,
// deletion of chosen visits and clearing of the whole history. Reads the store when it
// opens and after its own actions; it does not follow the store's signals.
class PortHistoryDialog final : public BaseDialog
{
    Q_OBJECT

public:
    // history must outlive the dialog. favoriteStatus colours favourite ports and counts
    // them in the statistics; it may be empty.
    explicit PortHistoryDialog(
        PortHistory *history, FavoriteStatusLookup favoriteStatus, QWidget *parent = nullptr);
    ~PortHistoryDialog() override;

    // Adds the game sessions page (figures of every session, export of the session
    // report); sessions must outlive the dialog.
    void setSessionManager(SessionManager *sessions);
    // Switches between the port visits and the game sessions.
    void showSessionsPage(bool sessions);

    // The visits shown, in the store's order (newest first), not the table's sort order.
    QList<PortSession> filteredSessions() const { return m_filtered; }
    QWidget *titleBar() const { return m_drag.titleBar(); }

public slots:
    void refreshTable();
    void onFilterChanged();
    void onExportClicked();
    void onClearHistoryClicked();
    void onDeleteSelectedClicked();
    void onSessionSelected();
    void saveTableState();
    void loadTableState();

public:
    void done(int result) override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWidgets();
    void refreshSequence();
    void fillTable();
    void updateStatistics();
    // Returns false when the chosen port is gone and the combo fell back to all ports.
    bool updatePortCombo();
    void setRow(int row, const PortSession &session);
    std::optional<int> favoriteStatus(quint16 port) const;

    PortHistory *m_history;
    FavoriteStatusLookup m_favoriteStatus;
    QList<PortSession> m_filtered;
    TitleBarDrag m_drag;
    bool m_restoringState = false;

    QLabel *m_totalLabel = nullptr;
    QLabel *m_favoritesLabel = nullptr;
    QLabel *m_timeLabel = nullptr;
    QComboBox *m_portCombo = nullptr;
    QDateEdit *m_fromEdit = nullptr;
    QDateEdit *m_toEdit = nullptr;
    QTableWidget *m_table = nullptr;
    SessionManager *m_sessions = nullptr;
    QStackedWidget *m_pages = nullptr;
    SessionStatsView *m_sessionsView = nullptr;
    QPushButton *m_portsPageButton = nullptr;
    QPushButton *m_sessionsPageButton = nullptr;
    QPushButton *m_exportButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_clearButton = nullptr;
};
