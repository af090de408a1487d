#include "ui/svgbutton.h"

#include <QCursor>
#include <QEnterEvent>
#include <QPainter>
#include <QToolTip>

SvgButton::SvgButton(const QByteArray &svg, QWidget *parent) : QPushButton(parent)
{
    m_renderer.load(svg);
    setFixedSize(22, 22);
    setCursor(Qt::PointingHandCursor);
    setObjectName(QStringLiteral("svgButton"));
}

void SvgButton::setSvg(const QByteArray &svg)
{
    m_renderer.load(svg);
    update();
}

void SvgButton::enterEvent(QEnterEvent *event)
{
    update();
    // The favourite button explains the port's state at once instead of after the delay.
    if (objectName() == QLatin1String("favoriteButton") && !toolTip().isEmpty())
        QToolTip::showText(event->globalPosition().toPoint(), toolTip(), this, rect(), 10000);
    QPushButton::enterEvent(event);
}

void SvgButton::leaveEvent(QEvent *event)
{
    update();
    QPushButton::leaveEvent(event);
}

void SvgButton::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    if (!m_renderer.isValid())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    m_renderer.render(&painter, QRectF(4, 4, width() - 8, height() - 8));
}
