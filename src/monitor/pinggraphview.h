#pragma once

#include <QColor>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

class PingTimeline;

// The plot of the ping graph: the shown span of the timeline as a line over the five
// quality bands, lost pings as red marks along the top edge, the server changes and game
// ends as vertical lines, and the nearest sample under the pointer.
class PingGraphView final : public QWidget
{
    Q_OBJECT

public:
    // Consecutive pings further apart than this are not joined: the connection was gone.
    static constexpr qint64 kGapMs = 2500;

    // What the last paint drew, so it can be checked without reading pixels.
    struct Frame
    {
        int linePoints = 0;
        int lossMarks = 0; // loss marks drawn (neighbours on one pixel make one)
        QStringList marks; // the captions of the change lines
        QString message; // drawn instead of a plot; empty when there is one
        int pingTop = 0;
    };

    // backdrop: the colour of the window around the plot, which the plot paints itself so
    // that it is opaque and nothing under it is drawn again when it changes.
    PingGraphView(PingTimeline *timeline, const QColor &backdrop, QWidget *parent = nullptr);

    void setSpanMs(qint64 spanMs);
    qint64 spanMs() const { return m_spanMs; }
    const Frame &lastFrame() const { return m_frame; }
    // Time and value of the sample under the pointer; empty when there is none.
    QString hoverText() const;

    QSize sizeHint() const override { return QSize(720, 280); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QRectF plotRect() const;
    double xOf(qint64 atMs, qint64 nowMs) const;
    int hoverIndex(qint64 nowMs) const;
    double yOf(int ping, int top) const;
    void paintBackdrop(QPainter &painter, int top); // top 0: the box alone
    void paintMessage(QPainter &painter, const QString &title, const QString &hint);
    void paintTimeGrid(QPainter &painter, qint64 now);
    void paintSamples(QPainter &painter, int first, qint64 now, int top); // the line, losses, dots
    void paintMarks(QPainter &painter, qint64 now);
    void paintHover(QPainter &painter, qint64 now, int top);

    PingTimeline *m_timeline;
    QColor m_backdropColor;
    qint64 m_spanMs = 10 * 60 * 1000;
    int m_hoverX = -1;
    Frame m_frame;
    QPixmap m_backdrop;
    int m_backdropTop = -1;
};
