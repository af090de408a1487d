#include "favorites/publishportwindow.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

PublishPortWindow::PublishPortWindow(quint16 port, const QString &description, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("publishPortWindow"));
    setWindowTitle(QStringLiteral("Публикация порта"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setFixedSize(500, 250);
    setStyleSheet(QStringLiteral(
        "QDialog#publishPortWindow { background-color:#0f172a; } "
        "QLabel { color:#e2e8f0; font-size:13px; } "
        "QPlainTextEdit { background-color:rgba(30,41,59,200); color:#e2e8f0; border:1px solid "
        "rgba(51,65,85,150); border-radius:8px; padding:4px; font-size:13px; } "
        "QPushButton { background-color:#475569; color:white; border:none; border-radius:6px; "
        "padding:6px 16px; font-weight:bold; } "
        "QPushButton:hover { background-color:#334155; } "
        "QPushButton:default { background-color:#3b82f6; } "
        "QPushButton:default:hover { background-color:#2563eb; }"));

    auto *layout = new QVBoxLayout(this);
    // The description may come from another player: never interpreted as markup.
    auto *text = new QLabel(
        QStringLiteral("Порт: %1\nОписание: %2\n\nВведите дополнительный комментарий (необязательно):")
            .arg(port)
            .arg(description),
        this);
    text->setObjectName(QStringLiteral("publishText"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text);

    m_comment = new QPlainTextEdit(this);
    m_comment->setObjectName(QStringLiteral("publishComment"));
    m_comment->setPlaceholderText(QStringLiteral("Ваш комментарий..."));
    m_comment->setTabChangesFocus(true);
    layout->addWidget(m_comment, 1);

    auto *buttons = new QDialogButtonBox(this);
    m_publish = buttons->addButton(QStringLiteral("Опубликовать"), QDialogButtonBox::AcceptRole);
    m_publish->setObjectName(QStringLiteral("publishButton"));
    QPushButton *cancel = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    for (QPushButton *button : {m_publish, cancel})
        button->setCursor(Qt::PointingHandCursor);
    m_publish->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString PublishPortWindow::comment() const
{
    return m_comment->toPlainText().trimmed();
}
