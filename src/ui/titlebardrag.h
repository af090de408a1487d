#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

// Moves a frameless window while the left button holds its title bar. Only a left press
// accepted in the title bar starts a drag; moves without it pass on. Shared by the main
// window and the movable dialogs, which forward their mouse events here.
class TitleBarDrag final
{
public:
    explicit TitleBarDrag(QWidget *window) : m_window(window) { }

    void setTitleBar(QWidget *titleBar) { m_titleBar = titleBar; }
    QWidget *titleBar() const { return m_titleBar; }
    bool isDragging() const { return m_dragging; }
    QPoint dragOffset() const { return m_dragOffset; }

    // Each returns true when it handled (and accepted) the event.
    bool press(QMouseEvent *event);
    bool move(QMouseEvent *event);
    bool release(QMouseEvent *event);

private:
    QWidget *m_window;
    QWidget *m_titleBar = nullptr;
    QPoint m_dragOffset;
    bool m_dragging = false;
};
