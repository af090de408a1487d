#include "ui/framecompositor.h"

#include "ui/animatedbackground.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

QRectF deviceRect(const QRect &rect, qreal ratio)
{
    return QRectF(rect.x() * ratio, rect.y() * ratio, rect.width() * ratio, rect.height() * ratio);
}

qint64 area(const QRegion &region)
{
    qint64 pixels = 0;
    for (const QRect &r : region)
        pixels += qint64(r.width()) * r.height();
    return pixels;
}

} // namespace

FrameCompositor::FrameCompositor(AnimatedBackground *background)
    : QWidget(background->parentWidget()), m_background(background)
{
    setObjectName(QStringLiteral("frameCompositor"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    background->setCompositor(this);
    if (QWidget *host = parentWidget()) {
        setGeometry(host->rect());
        host->installEventFilter(this);
    }
    raise();
    setVisible(!background->isHidden());
}

void FrameCompositor::present(const QRegion &region)
{
    QWidget *top = window();
    // Changes below are painted first, the ordinary way, so the pictures learn of them.
    QCoreApplication::sendPostedEvents(top, QEvent::UpdateRequest);
    const QRegion frame = region & rect();
    if (frame.isEmpty() || !isVisible())
        return;
    m_presenting = true;
    m_presented = frame;
    // Opaque, the sheet alone is repainted: nothing under it is asked to paint.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    repaint(frame);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_presenting = false;
    m_presented = QRegion();
}

void FrameCompositor::paintEvent(QPaintEvent *event)
{
    const QRegion region = event->region();
    if (!m_presenting) {
        // An ordinary paint: the toolkit has just painted everything below as it is now.
        render(region);
        return;
    }
    // Anything in this paint that was not asked for, or not yet seen, is rendered first.
    const QRegion stale = (region - m_presented) + (region - m_valid);
    if (!stale.isEmpty())
        render(stale);
    ++m_presentedFrames;

    QPainter painter(this);
    const qreal ratio = m_foreground.devicePixelRatio();
    const QPoint backgroundOrigin = m_background ? m_background->pos() : QPoint();
    for (const QRect &r : region) {
        if (!m_backdropEmpty)
            painter.drawImage(r, m_backdrop, deviceRect(r, ratio));
        if (m_background && m_background->isVisible()) {
            painter.translate(backgroundOrigin);
            // The region was cleared for this paint; with nothing of the window's own beneath,
            // the gradient is copied in.
            m_background->paintScene(painter, r.translated(-backgroundOrigin), m_backdropEmpty);
            painter.translate(-backgroundOrigin);
        }
        painter.drawImage(r, m_foreground, deviceRect(r, ratio));
    }
}

void FrameCompositor::render(const QRegion &requested)
{
    QWidget *host = parentWidget();
    if (!host)
        return;
    const QRegion region = requested & rect();
    if (region.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    if (m_foreground.isNull() || m_foreground.deviceIndependentSize().toSize() != size()
        || !qFuzzyCompare(m_foreground.devicePixelRatio(), ratio)) {
        m_foreground = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        m_foreground.setDevicePixelRatio(ratio);
        m_foreground.fill(Qt::transparent);
        m_backdrop = m_foreground;
        m_backdropEmpty = true;
        m_valid = QRegion();
    }
    for (QImage *picture : {&m_backdrop, &m_foreground}) {
        QPainter painter(picture);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        for (const QRect &r : region)
            painter.fillRect(r, Qt::transparent);
    }

    // render() places the top-left corner of the region's bounds at the given offset.
    host->render(&m_backdrop, region.boundingRect().topLeft(), region, QWidget::DrawWindowBackground);
    if (m_backdropEmpty) {
        for (const QRect &r : region) {
            const QRect device = deviceRect(r, ratio).toAlignedRect() & m_backdrop.rect();
            for (int y = device.top(); y <= device.bottom() && m_backdropEmpty; ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(m_backdrop.constScanLine(y));
                for (int x = device.left(); x <= device.right(); ++x) {
                    if (qAlpha(line[x]) != 0) {
                        m_backdropEmpty = false;
                        break;
                    }
                }
            }
        }
    }

    for (QObject *object : host->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (!child || child == this || child == m_background || child->isWindow() || child->isHidden())
            continue;
        const QRegion part = region.translated(-child->pos()) & child->rect();
        if (part.isEmpty())
            continue;
        child->render(
            &m_foreground, child->pos() + part.boundingRect().topLeft(), part, QWidget::DrawChildren);
    }
    m_valid += region;
    m_renderedPixels += area(region);
}

void FrameCompositor::releasePictures()
{
    m_backdrop = QImage();
    m_foreground = QImage();
    m_valid = QRegion();
    m_backdropEmpty = true;
}

bool FrameCompositor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget()) {
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(parentWidget()->rect());
            releasePictures();
            break;
        case QEvent::Hide:
            // Everything is painted again when the window comes back.
            releasePictures();
            break;
        case QEvent::WindowStateChange:
            // A minimised window paints nothing (some window systems still keep it mapped);
            // restored, it is painted whole.
            if (parentWidget()->isWindow())
                parentWidget()->setUpdatesEnabled(!parentWidget()->isMinimized());
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
