#include "shared/commentdialog.h"

#include "shared/catalogstyles.h"

#include "shared/sharedportsclient.h"
#include "ui/dialogchrome.h"
#include "ui/messagebox.h"
#include "ui/svgbutton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kRowPadding = 8;
} // namespace

CommentDialog::CommentDialog(int portId, const QString &userName, SharedPortsClient *client, QWidget *parent)
    : BaseMovableDialog(parent), m_portId(portId), m_userName(userName), m_client(client)
{
    DialogChrome::Options options;
    options.title = QStringLiteral("Ваш коментарий");
    options.fixedSize = QSize(500, 420);
    options.backgroundPanel = false;
    options.titleStyle = QString::fromLatin1(CommentsStyles::kHeadingStyle);
    options.closeAction = DialogChrome::CloseAction::Accept;
    options.contentMargins = QMargins(0, 0, 0, 0);
    options.contentSpacing = 0;
    DialogChrome chrome = DialogChrome::build(this, options);
    chrome.iconLabel->hide();
    chrome.titleLabel->setText(QStringLiteral("💬 ВАШ КОМЕНТАРИЙ"));
    chrome.separator->setStyleSheet(QString::fromLatin1(CommentsStyles::kSeparatorStyle));
    m_titleBar = chrome.titleBar;
    m_titleBar->setCursor(Qt::SizeAllCursor);
    m_closeButton = chrome.closeButton;

    m_list = new QListWidget(chrome.content);
    m_list->setObjectName(QStringLiteral("commentList"));
    m_list->setStyleSheet(QString::fromLatin1(CommentsStyles::kListStyle));
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->viewport()->installEventFilter(this);
    chrome.contentLayout->addWidget(m_list, 1);

    auto *bottom = new QWidget(chrome.content);
    bottom->setStyleSheet(QStringLiteral("background:transparent;"));
    auto *bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(12, 8, 12, 12);
    bottomLayout->setSpacing(8);
    m_editor = new QPlainTextEdit(bottom);
    m_editor->setObjectName(QStringLiteral("commentEditor"));
    m_editor->setPlaceholderText(QStringLiteral("Написать комментарий..."));
    m_editor->setMaximumHeight(80);
    m_editor->setStyleSheet(QString::fromLatin1(CommentsStyles::kEditorStyle));
    bottomLayout->addWidget(m_editor);
    auto *row = new QHBoxLayout;
    row->addStretch();
    m_sendButton = new QPushButton(QStringLiteral("📤 Отправить"), bottom);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setFixedSize(120, 32);
    m_sendButton->setCursor(Qt::PointingHandCursor);
    m_sendButton->setStyleSheet(QString::fromLatin1(CommentsStyles::kSendStyle));
    connect(m_sendButton, &QPushButton::clicked, this, &CommentDialog::onSendClicked);
    row->addWidget(m_sendButton);
    bottomLayout->addLayout(row);
    chrome.contentLayout->addWidget(bottom);

    refreshComments();
}

QString CommentDialog::rowText(const Comment &comment)
{
    // Concatenated, not arg()-chained, so a "%3" in a name stays as typed.
    return QLatin1Char('[') + comment.createdAt.toString(QStringLiteral("dd.MM HH:mm"))
        + QStringLiteral("] <b>") + comment.userName.toHtmlEscaped() + QStringLiteral("</b>: ")
        + comment.comment.toHtmlEscaped();
}

void CommentDialog::refreshComments()
{
    if (!m_client)
        return;
    m_client->fetchComments(
        m_portId, this, [this](const QList<Comment> &comments, bool success, const QString &error) {
            onCommentsReceived(comments, success, error);
        });
}

void CommentDialog::onCommentsReceived(const QList<Comment> &comments, bool success, const QString &error)
{
    Q_UNUSED(error)
    if (!success)
        return;
    m_list->clear();
    for (const Comment &comment : comments) {
        auto *label = new QLabel(m_list);
        label->setObjectName(QStringLiteral("commentRow"));
        label->setTextFormat(Qt::RichText);
        label->setText(rowText(comment));
        label->setWordWrap(true);
        label->setStyleSheet(QString::fromLatin1(CommentsStyles::kRowStyle));
        // The text is escaped, but keep rich text from following or fetching anything.
        label->setOpenExternalLinks(false);
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        auto *item = new QListWidgetItem(m_list);
        m_list->setItemWidget(item, label);
    }
    fitRows();
    m_list->scrollToBottom();
}

void CommentDialog::fitRows()
{
    // Wrapped rows are as high as their text needs at the list's current width. The row
    // widget sits inside the item's padding and bottom border, so the item adds them.
    const int width = m_list->viewport()->width();
    const int inner = width - 2 * kRowPadding;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem *item = m_list->item(row);
        if (auto *label = qobject_cast<QLabel *>(m_list->itemWidget(item))) {
            label->ensurePolished(); // the sheet's own padding counts
            int height = label->heightForWidth(inner);
            if (height <= 0)
                height = label->sizeHint().height();
            item->setSizeHint(QSize(width, height + 2 * kRowPadding + 1));
        }
    }
}

bool CommentDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) {
        fitRows();
        m_list->scrollToBottom();
    }
    return BaseMovableDialog::eventFilter(watched, event);
}

void CommentDialog::onSendClicked()
{
    const QString text = m_editor->toPlainText().trimmed();
    if (text.isEmpty() || !m_client)
        return;
    m_sendButton->setEnabled(false);
    m_client->addComment(m_portId, m_userName, text, this,
        [this](bool success, const QString &error) { onCommentAdded(success, error); });
}

void CommentDialog::onCommentAdded(bool success, const QString &error)
{
    m_sendButton->setEnabled(true);
    if (success) {
        const QPointer<CommentDialog> self(this);
        MessageBox::information(this, QStringLiteral("Успех"), QStringLiteral("Комментарий отправлен"));
        if (!self)
            return;
        m_editor->clear();
        refreshComments();
    } else {
        MessageBox::warning(
            this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось отправить:\n") + error);
    }
}
