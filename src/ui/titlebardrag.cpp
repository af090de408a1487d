#include "ui/titlebardrag.h"

#include <QMouseEvent>
#include <QRect>
#include <QWidget>

bool TitleBarDrag::press(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_titleBar)
        return false;
    // The title bar may sit inside a container, so compare in the window's coordinates.
    const QRect titleRect(m_titleBar->mapTo(m_window, QPoint(0, 0)), m_titleBar->size());
    if (!titleRect.contains(event->position().toPoint()))
        return false;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
    event->accept();
    return true;
}

bool TitleBarDrag::move(QMouseEvent *event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return false;
    m_window->move(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
    return true;
}

bool TitleBarDrag::release(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    m_dragging = false;
    event->accept();
    return true;
}
