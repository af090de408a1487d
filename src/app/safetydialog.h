#pragma once

#include "ui/basemovabledialog.h"

class QPushButton;
class QTextEdit;

// The safety declaration shown once at first start. "ПРИНЯТЬ" unlocks when the text has
// been scrolled to its end (at once when it fits without scrolling); Escape declines.
class SafetyDialog : public BaseMovableDialog
{
    Q_OBJECT

public:
    explicit SafetyDialog(QWidget *parent = nullptr);

    QTextEdit *declaration() const { return m_text; }
    QPushButton *acceptButton() const { return m_acceptButton; }

    // The declaration as rich text, with the given date after "Дата сборки: ".
    static QString declarationHtml(const QDate &buildDate);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void unlockIfAtEnd();

    QTextEdit *m_text = nullptr;
    QPushButton *m_acceptButton = nullptr;
};
