#pragma once

#include "ui/basedialog.h"
#include "ui/titlebardrag.h"

// A frameless dialog dragged by its title bar that re-applies its rounded mask when a
// drag ends (the settings dialog and the screenshot preview).
class MovableDialog : public BaseDialog
{
    Q_OBJECT

public:
    explicit MovableDialog(QWidget *parent = nullptr);

    QWidget *titleBar() const { return m_drag.titleBar(); }
    void setTitleBar(QWidget *titleBar) { m_drag.setTitleBar(titleBar); }
    bool isDragging() const { return m_drag.isDragging(); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    TitleBarDrag m_drag;
};
