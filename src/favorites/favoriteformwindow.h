#pragma once

#include "ui/basemovabledialog.h"

#include <QString>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The small frameless windows of the favourites list (edit, add, file check): a rounded
// gradient panel with a heading, the window's fields and a row of two buttons. The
// heading doubles as the drag handle, so the window can be moved aside.
class FavoriteFormWindow : public BaseMovableDialog
{
    Q_OBJECT

public:
    FavoriteFormWindow(
        const QString &heading, const QString &backgroundName, const QSize &size, QWidget *parent = nullptr);

    QPushButton *confirmButton() const { return m_confirmButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }

    // Shared looks of the fields.
    static QString fieldLabelStyle();
    static QString lineEditStyle();
    static QString comboBoxStyle();

protected:
    QVBoxLayout *formLayout() const { return m_formLayout; }
    QLabel *addFieldLabel(const QString &text);
    // Adds the button row; the confirm button runs onConfirm(), the cancel button rejects.
    void addButtons(const QString &confirmText, const QString &cancelText);
    virtual void onConfirm() = 0;

private:
    QVBoxLayout *m_formLayout = nullptr;
    QPushButton *m_confirmButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
