#include "firewall/rangeitemwidget.h"

#include "ui/styles.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

struct Look
{
    QColor fill;
    QColor accent;
    int borderAlpha;
};

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

const QColor kGreen(0x22, 0xc5, 0x5e);
const QColor kBlue(0x3b, 0x82, 0xf6);
const QColor kSlate(0x47, 0x55, 0x69);

QFont textFont(int points, bool bold)
{
    QFont font;
    font.setFamilies({QString::fromLatin1(Styles::kFontTextFamily), QStringLiteral("DejaVu Sans")});
    font.setPointSize(points);
    if (bold)
        font.setWeight(QFont::Bold);
    return font;
}

QFont numberFont(int points)
{
    QFont font;
    font.setFamilies({QString::fromLatin1(Styles::kFontNumbersFamily), QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(points);
    return font;
}

} // namespace

RangeItemWidget::RangeItemWidget(int index, const QString &name, const QString &ports, QWidget *parent)
    : QWidget(parent), m_index(index), m_name(name), m_ports(ports)
{
    setFixedHeight(kHeight);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
}

void RangeItemWidget::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    update();
}

void RangeItemWidget::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

QString RangeItemWidget::badgeText() const
{
    if (m_active)
        return QStringLiteral("АКТИВНО");
    if (m_selected)
        return QStringLiteral("ВЫБРАН");
    return {};
}

QColor RangeItemWidget::accentColor() const
{
    if (m_active)
        return kGreen;
    if (m_selected || m_pressed || m_hovered)
        return kBlue;
    return kSlate;
}

QRectF RangeItemWidget::badgeRect() const
{
    const int top = (height() - 32) / 2;
    return QRectF(QPointF(width() - 88, top + 2), QPointF(width() - 14, top + 29));
}

void RangeItemWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    update();
    event->accept();
}

void RangeItemWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    update();
    event->accept();
    emit clicked(m_index);
}

void RangeItemWidget::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QWidget::enterEvent(event);
}

void RangeItemWidget::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QWidget::leaveEvent(event);
}

void RangeItemWidget::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    Look look {withAlpha(QColor(0x1e, 0x29, 0x3b), 240), kSlate, 120};
    if (m_active)
        look = {withAlpha(kGreen, 60), kGreen, 200};
    else if (m_selected)
        look = {withAlpha(kBlue, 60), kBlue, 200};
    else if (m_pressed)
        look = {withAlpha(kBlue, 80), kBlue, 120};
    else if (m_hovered)
        look = {withAlpha(kBlue, 50), kBlue, 120};

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // The outline takes the state's accent, so the active and chosen rows stand out.
    painter.setPen(QPen(withAlpha(look.accent, look.borderAlpha), 1));
    painter.setBrush(look.fill);
    painter.drawRoundedRect(QRect(2, 2, width() - 4, height() - 4), 10, 10);

    painter.setFont(textFont(12, true));
    painter.setPen(withAlpha(Qt::white, 230));
    painter.drawText(QRect(18, 12, width() - 124, 24), Qt::AlignLeft | Qt::AlignVCenter, m_name);

    painter.setFont(numberFont(10));
    painter.setPen(withAlpha(QColor(0x94, 0xa3, 0xb8), 220));
    painter.drawText(QRect(18, 36, width() - 124, 22), Qt::AlignLeft | Qt::AlignVCenter, m_ports);

    const QString badge = badgeText();
    if (badge.isEmpty())
        return;
    const QRectF rect = badgeRect();
    // Fallback faces are wider than Segoe UI; keep the text inside the pill.
    QFont badgeFont = textFont(10, true);
    while (badgeFont.pointSize() > 7 && QFontMetrics(badgeFont).horizontalAdvance(badge) > rect.width() - 12)
        badgeFont.setPointSize(badgeFont.pointSize() - 1);
    painter.setFont(badgeFont);
    painter.setPen(QPen(look.accent, 1.5));
    painter.setBrush(withAlpha(look.accent, 40));
    painter.drawRoundedRect(rect, 14, 14);
    painter.setPen(look.accent);
    painter.drawText(rect, Qt::AlignCenter, badge);
}
