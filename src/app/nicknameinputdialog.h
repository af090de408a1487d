#pragma once

#include "ui/basemovabledialog.h"

class QLineEdit;
class QPushButton;

// Asks for the game nickname at first start. "Продолжить" (or Return) accepts, "Выйти"
// (or Escape) declines. The text is not checked: a blank answer is the caller's to handle.
class NicknameInputDialog : public BaseMovableDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxLength = 30;

    explicit NicknameInputDialog(QWidget *parent = nullptr);

    // The typed text without surrounding white space.
    QString nickname() const;

    QLineEdit *lineEdit() const { return m_lineEdit; }
    QPushButton *continueButton() const { return m_continueButton; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QLineEdit *m_lineEdit = nullptr;
    QPushButton *m_continueButton = nullptr;
    QPushButton *m_exitButton = nullptr;
};
