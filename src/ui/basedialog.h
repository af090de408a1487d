#pragma once

#include <QDialog>

// A translucent dialog that takes the user's window opacity and keeps one background
// widget (normally an AnimatedBackground) under all its other children.
class BaseDialog : public QDialog
{
    Q_OBJECT

public:
    // applyOpacity: read "windowOpacity" now and at every show.
    explicit BaseDialog(QWidget *parent = nullptr, bool applyOpacity = true);

    // The widget kept covering the whole dialog beneath its siblings. Owned as a child.
    QWidget *backgroundWidget() const { return m_backgroundWidget; }
    void setBackgroundWidget(QWidget *widget);

    // Sets the window opacity from the stored "windowOpacity" percent (default 85).
    void applyWindowOpacity();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

    void fitBackgroundWidget();

private:
    QWidget *m_backgroundWidget = nullptr;
    bool m_applyOpacity = true;
};
