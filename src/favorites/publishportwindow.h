#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// Asks for an optional comment before a favourite goes to the shared catalogue.
class PublishPortWindow final : public QDialog
{
    Q_OBJECT

public:
    PublishPortWindow(quint16 port, const QString &description, QWidget *parent = nullptr);

    // The comment as typed, trimmed.
    QString comment() const;
    QPlainTextEdit *commentEdit() const { return m_comment; }
    QPushButton *publishButton() const { return m_publish; }

private:
    QPlainTextEdit *m_comment = nullptr;
    QPushButton *m_publish = nullptr;
};
