#pragma once

#include "ui/basemovabledialog.h"

class QPushButton;
class QTextEdit;
class SvgButton;

// The firewall manager's help window: how to choose, apply and clear a range, the
// five ranges, and the "ОЧИСТИТЬ ПРАВИЛА" button that leads to removing the rule.
class FirewallHelpDialog final : public BaseMovableDialog
{
    Q_OBJECT

public:
    explicit FirewallHelpDialog(QWidget *parent = nullptr);

    // The help text as rich text (five coloured blocks).
    static QString helpHtml();

    QTextEdit *textBox() const { return m_text; }
    QPushButton *clearButton() const { return m_clearButton; }
    SvgButton *closeButton() const { return m_closeButton; }
    // True once the window was closed through "ОЧИСТИТЬ ПРАВИЛА".
    bool clearRequested() const { return m_clearRequested; }

private:
    QTextEdit *m_text = nullptr;
    QPushButton *m_clearButton = nullptr;
    SvgButton *m_closeButton = nullptr;
    bool m_clearRequested = false;
};
