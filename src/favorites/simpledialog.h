#pragma once

#include "ui/basemovabledialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// The form "Добавить порт в избранное" with which the main window stores the port it is
// connected to. It checks nothing: the caller reads description() and status() after an
// accepted run and decides.
class SimpleDialog final : public BaseMovableDialog
{
    Q_OBJECT

public:
    explicit SimpleDialog(quint16 port, QWidget *parent = nullptr);

    quint16 port() const { return m_port; }
    // The description as typed, trimmed: blanks alone read as no description.
    QString description() const;
    // 0 normal, 1 good, 2 bad.
    int status() const;

    QLineEdit *descriptionEdit() const { return m_description; }
    QComboBox *statusBox() const { return m_status; }
    QPushButton *addButton() const { return m_add; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildForm(QWidget *content);

    quint16 m_port;
    QLineEdit *m_description = nullptr;
    QComboBox *m_status = nullptr;
    QPushButton *m_add = nullptr;
    QWidget *m_frame = nullptr;
};
