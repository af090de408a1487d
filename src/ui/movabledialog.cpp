#include "ui/movabledialog.h"

#include "ui/windowshape.h"

#include <QMouseEvent>

MovableDialog::MovableDialog(QWidget *parent) : BaseDialog(parent, true), m_drag(this)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

void MovableDialog::mousePressEvent(QMouseEvent *event)
{
    if (!m_drag.press(event))
        BaseDialog::mousePressEvent(event);
}

void MovableDialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_drag.isDragging()) {
        m_drag.release(event);
        applyRoundedMask(this, 16);
        update();
        repaint();
        return;
    }
    BaseDialog::mouseReleaseEvent(event);
}

void MovableDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_drag.move(event))
        BaseDialog::mouseMoveEvent(event);
}
