#include "monitor/pinggraphview.h"

#include "monitor/pinggraphaxes.h"
#include "monitor/pingquality.h"
#include "monitor/pingtimeline.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Room around the plot: ping labels left, time labels below, the loss lane above.
constexpr double kLeft = 44;
constexpr double kRight = 14;
constexpr double kTop = 24;
constexpr double kBottom = 24;
constexpr double kLossLane = 10;
constexpr int kHoverReachPx = 12;

const QColor kLossColor(0xf4, 0x43, 0x36);
const QColor kLineColor(0xcb, 0xd5, 0xe1);
const QColor kMuted(0x94, 0xa3, 0xb8);
const QColor kGrid(148, 163, 184, 38);

QFont numbersFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Consolas"), QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixelSize);
    return font;
}

QFont textFont(int pixelSize, int weight = QFont::Normal)
{
    QFont font;
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    return font;
}

QString pingText(int ping)
{
    return ping >= PingTimeline::kLost ? QStringLiteral("нет ответа") : QStringLiteral("%1 мс").arg(ping);
}

} // namespace

PingGraphView::PingGraphView(PingTimeline *timeline, const QColor &backdrop, QWidget *parent)
    : QWidget(parent), m_timeline(timeline), m_backdropColor(backdrop)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setMinimumSize(360, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PingGraphView::setSpanMs(qint64 spanMs)
{
    m_spanMs = qMax<qint64>(spanMs, 10 * 1000);
    update();
}

QRectF PingGraphView::plotRect() const
{
    return QRectF(rect()).adjusted(kLeft, kTop, -kRight, -kBottom);
}

double PingGraphView::xOf(qint64 atMs, qint64 nowMs) const
{
    const QRectF plot = plotRect();
    return plot.left() + plot.width() * double(atMs - (nowMs - m_spanMs)) / double(m_spanMs);
}

int PingGraphView::hoverIndex(qint64 nowMs) const
{
    const QRectF plot = plotRect();
    if (m_hoverX < plot.left() - kHoverReachPx || m_hoverX > plot.right() + kHoverReachPx)
        return -1;
    const qint64 from = nowMs - m_spanMs;
    const qint64 at = from + qint64((m_hoverX - plot.left()) / plot.width() * double(m_spanMs));
    const int index = m_timeline->nearestIndex(at, from);
    if (index < 0 || std::abs(xOf(m_timeline->sample(index).atMs, nowMs) - m_hoverX) > kHoverReachPx)
        return -1;
    return index;
}

QString PingGraphView::hoverText() const
{
    const int index = hoverIndex(PingTimeline::now());
    if (index < 0)
        return QString();
    const PingTimeline::Sample sample = m_timeline->sample(index);
    return QDateTime::fromMSecsSinceEpoch(sample.atMs).toString(QStringLiteral("HH:mm:ss"))
        + QStringLiteral("  ·  ") + pingText(sample.ping);
}

void PingGraphView::mouseMoveEvent(QMouseEvent *event)
{
    m_hoverX = int(event->position().x());
    update();
    QWidget::mouseMoveEvent(event);
}

void PingGraphView::leaveEvent(QEvent *event)
{
    m_hoverX = -1;
    update();
    QWidget::leaveEvent(event);
}

void PingGraphView::paintMessage(QPainter &painter, const QString &title, const QString &hint)
{
    m_frame.message = title;
    const QRectF area = QRectF(rect()).adjusted(20, 20, -20, -20);
    painter.setPen(QColor(0xcb, 0xd5, 0xe1));
    painter.setFont(textFont(17, QFont::DemiBold));
    painter.drawText(
        area.adjusted(0, 0, 0, -area.height() / 2 + 4), Qt::AlignHCenter | Qt::AlignBottom, title);
    painter.setPen(kMuted);
    painter.setFont(textFont(12));
    painter.drawText(area.adjusted(0, area.height() / 2 + 8, 0, 0),
        Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, hint);
}

void PingGraphView::paintBackdrop(QPainter &painter, int top)
{
    // The box, the bands and the ping grid change only with the axis: drawn once, then copied.
    const qreal ratio = devicePixelRatioF();
    if (m_backdrop.isNull() || m_backdropTop != top || m_backdrop.size() != size() * ratio) {
        m_backdrop = QPixmap(size() * ratio);
        m_backdrop.setDevicePixelRatio(ratio);
        m_backdrop.fill(m_backdropColor);
        m_backdropTop = top;
        QPainter layer(&m_backdrop);
        layer.setRenderHint(QPainter::Antialiasing);
        layer.setPen(QPen(QColor(51, 65, 85, 150), 1));
        layer.setBrush(QColor(30, 41, 59, 180));
        layer.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        if (top > 0) {
            // Quality bands, the colours of the quality label.
            const QRectF plot = plotRect();
            static constexpr int kBounds[] = {0, 30, 60, 100, 200};
            for (std::size_t band = 0; band < std::size(kBounds) && kBounds[band] < top; ++band) {
                const int high = band + 1 < std::size(kBounds) ? qMin(kBounds[band + 1], top) : top;
                QColor color(PingQuality::color(kBounds[band]));
                color.setAlpha(30);
                layer.fillRect(QRectF(QPointF(plot.left(), yOf(high, top)),
                                   QPointF(plot.right(), yOf(kBounds[band], top))),
                    color);
            }
            layer.setFont(numbersFont(10));
            for (int value = 0; value <= top; value += PingGraphAxes::pingStep(top)) {
                const double y = yOf(value, top);
                layer.setPen(kGrid);
                layer.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
                layer.setPen(kMuted);
                layer.drawText(QRectF(0, y - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                    QString::number(value));
            }
            layer.drawText(
                QRectF(0, 2, kLeft + 40, kTop - 4), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral(" мс"));
        }
    }
    // The picture holds the window's own colour (partly transparent): it replaces what is there.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(0, 0, m_backdrop);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

double PingGraphView::yOf(int ping, int top) const
{
    const QRectF plot = plotRect();
    return plot.bottom() - plot.height() * double(qMin(ping, top)) / double(top);
}

void PingGraphView::paintEvent(QPaintEvent *)
{
    m_frame = Frame();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const qint64 now = PingTimeline::now();
    const qint64 from = now - m_spanMs;
    const int first = m_timeline->firstIndexFrom(from);
    const int count = m_timeline->size();
    if (first >= count) {
        paintBackdrop(painter, 0);
        if (m_timeline->isGameRunning())
            paintMessage(painter, QStringLiteral("Ожидание замеров пинга..."),
                QStringLiteral("Линия появится с первым замером: пинг меряется раз в секунду, пока известно "
                               "игровое соединение."));
        else
            paintMessage(painter, QStringLiteral("Игра не запущена"),
                QStringLiteral("График начнётся сам, когда KESTREL найдёт Русскую Рыбалку 4 и её сервер."));
        return;
    }

    int maxAnswered = -1;
    for (int i = first; i < count; ++i) {
        const int ping = m_timeline->sample(i).ping;
        if (ping < PingTimeline::kLost)
            maxAnswered = qMax(maxAnswered, ping);
    }
    const int top = PingGraphAxes::pingTop(maxAnswered);
    m_frame.pingTop = top;
    paintBackdrop(painter, top);
    paintTimeGrid(painter, now);
    paintSamples(painter, first, now, top);
    paintMarks(painter, now);
    paintHover(painter, now, top);
}

void PingGraphView::paintTimeGrid(QPainter &painter, qint64 now)
{
    const QRectF plot = plotRect();
    const qint64 from = now - m_spanMs;
    painter.setFont(numbersFont(10));
    const qint64 timeStep = PingGraphAxes::timeStepMs(m_spanMs);
    const QString format = PingGraphAxes::timeFormat(timeStep);
    // Shapes as tall as the plot cost the rasteriser a pass over every row they cross, and
    // smoothed ones several times that: the grid is drawn on whole pixels.
    QList<QLine> grid;
    painter.setPen(kMuted);
    for (qint64 tick : PingGraphAxes::timeTicks(from, now, timeStep)) {
        const int x = int(std::lround(xOf(tick, now)));
        grid.append(QLine(x, int(plot.top()), x, int(plot.bottom())));
        painter.drawText(QRectF(x - 30, plot.bottom() + 4, 60, kBottom - 6), Qt::AlignHCenter | Qt::AlignTop,
            QDateTime::fromMSecsSinceEpoch(tick).toString(format));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(kGrid);
    painter.drawLines(grid);
    painter.setRenderHint(QPainter::Antialiasing);
}

void PingGraphView::paintSamples(QPainter &painter, int first, qint64 now, int top)
{
    const QRectF plot = plotRect();
    const int count = m_timeline->size();
    auto yOf = [&](int ping) { return this->yOf(ping, top); };

    // The line: one point per sample while they are sparse; where several fall on one
    // pixel column, their lowest and highest. Losses and gaps break it.
    const double pxPerSample = plot.width() * 1000.0 / double(m_spanMs);
    QList<QPolygonF> runs(1);
    QList<double> lossXs;
    QList<QPair<QPointF, int>> dots; // sparse samples, each drawn in its quality colour
    int column = INT_MIN;
    double low = 0;
    double high = 0;
    qint64 previousAt = LLONG_MIN;
    auto flushColumn = [&] {
        if (column == INT_MIN)
            return;
        runs.last().append(QPointF(column, low));
        if (high < low)
            runs.last().append(QPointF(column, high));
        column = INT_MIN;
    };
    auto breakLine = [&] {
        flushColumn();
        if (!runs.last().isEmpty())
            runs.append(QPolygonF());
    };
    for (int i = first; i < count; ++i) {
        const PingTimeline::Sample sample = m_timeline->sample(i);
        const double x = xOf(sample.atMs, now);
        if (sample.atMs - previousAt > kGapMs)
            breakLine();
        previousAt = sample.atMs;
        if (sample.ping >= PingTimeline::kLost) {
            breakLine();
            if (lossXs.isEmpty() || int(x) != int(lossXs.last()))
                lossXs.append(x);
            continue;
        }
        const double y = yOf(sample.ping);
        if (pxPerSample >= 2) {
            runs.last().append(QPointF(x, y));
            if (pxPerSample >= 6)
                dots.append({QPointF(x, y), sample.ping});
            continue;
        }
        if (int(x) != column) {
            flushColumn();
            column = int(x);
            low = high = y;
        } else {
            low = qMax(low, y);
            high = qMin(high, y);
        }
    }
    flushColumn();

    QPainterPath lossMarks;
    lossMarks.setFillRule(Qt::WindingFill); // neighbours overlap; alternate filling would cut them out
    const double lossWidth = qMax(2.0, pxPerSample);
    for (double x : std::as_const(lossXs))
        lossMarks.addRect(QRectF(x - lossWidth / 2, plot.top() - kLossLane - 2, lossWidth, kLossLane));
    painter.fillPath(lossMarks, kLossColor);
    m_frame.lossMarks = int(lossXs.size());

    // A smoothed line is drawn as separate segments: as one polyline it would be filled as a
    // shape over its whole height, at ten times the cost. Under a pixel a second the columns
    // touch and smoothing them shows nothing more.
    const bool dense = pxPerSample < 1;
    painter.setRenderHint(QPainter::Antialiasing, !dense);
    painter.setPen(QPen(kLineColor, pxPerSample >= 2 ? 1.6 : 0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QList<QLineF> segments;
    for (const QPolygonF &run : std::as_const(runs)) {
        m_frame.linePoints += int(run.size());
        if (run.size() == 1)
            painter.drawPoint(run.first());
        else if (dense)
            painter.drawPolyline(run);
        for (qsizetype i = 1; !dense && i < run.size(); ++i)
            segments.append(QLineF(run.at(i - 1), run.at(i)));
    }
    painter.drawLines(segments);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const auto &[point, ping] : std::as_const(dots)) {
        painter.setBrush(QColor(PingQuality::color(ping)));
        painter.drawEllipse(point, 2.6, 2.6);
    }
}

void PingGraphView::paintMarks(QPainter &painter, qint64 now)
{
    const QRectF plot = plotRect();
    const qint64 from = now - m_spanMs;
    // Where the server changed or the game ended.
    painter.setFont(textFont(10, QFont::DemiBold));
    QList<QRectF> captions; // a caption that would cover another goes a row lower
    for (const PingTimeline::Mark &mark : m_timeline->marks()) {
        if (mark.atMs < from || mark.atMs > now)
            continue;
        const bool ended = mark.kind == PingTimeline::MarkKind::GameEnded;
        const QColor color = ended ? QColor(0xf8, 0x71, 0x71) : QColor(0xfb, 0xbf, 0x24);
        const QString caption
            = ended ? QStringLiteral("игра завершена") : QStringLiteral("сервер ") + mark.label;
        const double x = xOf(mark.atMs, now);
        painter.setPen(QPen(color, 1.2, Qt::DashLine));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        const QFontMetricsF metrics(painter.font());
        const double width = metrics.horizontalAdvance(caption) + 10;
        const double left = x + 4 + width > plot.right() ? x - 4 - width : x + 4;
        QRectF box(left, plot.top() + 4, width, metrics.height() + 4);
        while (std::any_of(
            captions.cbegin(), captions.cend(), [&](const QRectF &r) { return r.intersects(box); }))
            box.translate(0, box.height() + 3);
        captions.append(box);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(15, 23, 42, 210));
        painter.drawRoundedRect(box, 4, 4);
        painter.setPen(color);
        painter.drawText(box, Qt::AlignCenter, caption);
        m_frame.marks.append(caption);
    }
}

void PingGraphView::paintHover(QPainter &painter, qint64 now, int top)
{
    const QRectF plot = plotRect();
    auto yOf = [&](int ping) { return this->yOf(ping, top); };
    // The sample under the pointer.
    const int hovered = hoverIndex(now);
    if (hovered >= 0) {
        const PingTimeline::Sample sample = m_timeline->sample(hovered);
        const double x = xOf(sample.atMs, now);
        const bool lost = sample.ping >= PingTimeline::kLost;
        const double y = lost ? plot.top() - kLossLane / 2 - 2 : yOf(sample.ping);
        painter.setPen(QPen(QColor(0x60, 0xa5, 0xfa, 160), 1));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(QPen(QColor(0x0f, 0x17, 0x2a), 1.5));
        painter.setBrush(lost ? kLossColor : QColor(PingQuality::color(sample.ping)));
        painter.drawEllipse(QPointF(x, y), 4.5, 4.5);

        const QString text = hoverText();
        painter.setFont(numbersFont(12));
        const QFontMetricsF metrics(painter.font());
        const QSizeF size(metrics.horizontalAdvance(text) + 16, metrics.height() + 8);
        QPointF corner(x + 10, qBound(plot.top(), y - size.height() - 6, plot.bottom() - size.height()));
        if (corner.x() + size.width() > plot.right())
            corner.setX(x - 10 - size.width());
        const QRectF box(corner, size);
        painter.setPen(QPen(QColor(0x3b, 0x82, 0xf6), 1));
        painter.setBrush(QColor(0x1e, 0x29, 0x3b, 235));
        painter.drawRoundedRect(box, 6, 6);
        painter.setPen(kLineColor);
        painter.drawText(box, Qt::AlignCenter, text);
    }
}
