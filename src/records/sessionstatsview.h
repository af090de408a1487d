#pragma once

#include <QDateTime>
#include <QList>
#include <QWidget>

class GameSession;
class QLabel;
class SessionManager;
class QTableWidget;

// The game sessions page of the history window: one row per session with the figures
// the session file keeps (average as before, then loss, jitter, median and p95), and a
// line that sums up the sessions shown.
class SessionStatsView final : public QWidget
{
    Q_OBJECT

public:
    explicit SessionStatsView(QWidget *parent = nullptr);

    // Shows the sessions that started within [from, to] on port (0: any port), newest first.
    void showSessions(
        const QList<GameSession *> &sessions, quint16 port, const QDateTime &from, const QDateTime &to);
    // Asks for a file and writes the report of every session of sessions there (HTML, or
    // CSV for a name ending in ".csv"), telling the player how it went.
    void exportReport(SessionManager *sessions);
    // The ids shown, newest first.
    QList<qint64> shownIds() const { return m_shownIds; }

private:
    void setRow(int row, const GameSession *session);

    QLabel *m_summary = nullptr;
    QTableWidget *m_table = nullptr;
    QList<qint64> m_shownIds;
};
