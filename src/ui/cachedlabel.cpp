#include "ui/cachedlabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

CachedLabel::CachedLabel(const QString &text, QWidget *parent) : QLabel(text, parent) { }

void CachedLabel::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    if (m_picture.isNull() || m_pictureText != text() || m_picture.size() != size() * ratio) {
        m_picture = QPixmap(size() * ratio);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::transparent);
        // The same call QLabel makes for plain text, into the picture instead of the screen.
        QPainter painter(&m_picture);
        painter.setFont(font());
        style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                              palette(), isEnabled(), text(), foregroundRole());
        m_pictureText = text();
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

void CachedLabel::resizeEvent(QResizeEvent *event)
{
    m_picture = QPixmap();
    QLabel::resizeEvent(event);
}

void CachedLabel::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
        m_picture = QPixmap();
        break;
    default:
        break;
    }
    QLabel::changeEvent(event);
}
