#include "ui/titlebardrag.h"

#include <QMouseEvent>
#include <QRect>
#include <QWidget>

bool TitleBarDrag::press(QMouseEvent *event)
{
    // Every press starts afresh: a drag whose release went elsewhere (a menu or a
    // dialog took the mouse) must not make a later press lower down move the window.
    m_dragging = false;
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
    if (!(event->buttons() & Qt::LeftButton))
        m_dragging = false;
    if (!m_dragging)
        return false;
    m_window->move(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
    return true;
}

bool TitleBarDrag::release(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return false;
    m_dragging = false;
    event->accept();
    return true;
}
