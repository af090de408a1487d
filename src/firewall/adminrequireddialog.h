#pragma once

#include "ui/basemovabledialog.h"

class QPushButton;
class SvgButton;

// Shown at start-up when the program runs without administrator rights. However it is
// closed, the program ends afterwards.
class AdminRequiredDialog : public BaseMovableDialog
{
    Q_OBJECT

public:
    explicit AdminRequiredDialog(QWidget *parent = nullptr);

    SvgButton *closeButton() const { return m_closeButton; }
    QPushButton *confirmButton() const { return m_confirmButton; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *m_titleBar = nullptr;
    SvgButton *m_closeButton = nullptr;
    QPushButton *m_confirmButton = nullptr;
};
