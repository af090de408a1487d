#pragma once

#include "ui/basemovabledialog.h"

#include <QTimer>

class CachedLabel;
class PingGraphView;
class PingTimeline;
class QButtonGroup;

// "График пинга": the current game's pings over the last 1, 10 or 60 minutes with the
// figures of the shown span under the plot. Not modal: it stays open beside the game and
// follows the timeline as pings arrive. It remembers where it stood and which span it
// showed.
class PingGraphWindow final : public BaseMovableDialog
{
    Q_OBJECT

public:
    static constexpr int kSpanMinutes[] = {1, 10, 60};

    explicit PingGraphWindow(PingTimeline *timeline, QWidget *parent = nullptr);

    // One of kSpanMinutes; anything else is taken as 10.
    void setSpanMinutes(int minutes);
    int spanMinutes() const { return m_spanMinutes; }
    PingGraphView *view() const { return m_view; }

    // The menu icon: a pulse line in the icon set's manner.
    static QByteArray iconSvg(const QColor &color = QColor(0x4a, 0xde, 0x80), int size = 16);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QWidget *buildHeader();
    QWidget *buildFigures();
    void onTimelineChanged();
    void refresh();
    void savePosition();

    PingTimeline *m_timeline;
    PingGraphView *m_view = nullptr;
    QButtonGroup *m_spanButtons = nullptr;
    CachedLabel *m_stateLabel = nullptr;
    CachedLabel *m_countLabel = nullptr;
    QList<CachedLabel *> m_figures; // current, minimum, median, p95, maximum, jitter, loss
    int m_spanMinutes = 10;
    // Moves the time axis on when no ping arrives; each ping restarts it, so the plot is
    // drawn once a second either way.
    QTimer m_tick;
};
