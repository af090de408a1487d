#include "ui/basemovabledialog.h"

#include <QMouseEvent>

BaseMovableDialog::BaseMovableDialog(QWidget *parent) : BaseDialog(parent, true), m_drag(this)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

void BaseMovableDialog::mousePressEvent(QMouseEvent *event)
{
    if (!m_drag.press(event))
        BaseDialog::mousePressEvent(event);
}

void BaseMovableDialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_drag.release(event))
        BaseDialog::mouseReleaseEvent(event);
}

void BaseMovableDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_drag.move(event))
        BaseDialog::mouseMoveEvent(event);
}
