#pragma once

#include "shared/sharedport.h"
#include "ui/basemovabledialog.h"

#include <QList>
#include <QPointer>
#include <QString>

class QListWidget;
class QPlainTextEdit;
class QPushButton;
class SharedPortsClient;
class SvgButton;

// The comments on one catalogue entry, with an editor to add one. Borrows the catalogue's
// client; results are tied to this dialog, so several open dialogs never mix entries.
class CommentDialog final : public BaseMovableDialog
{
    Q_OBJECT

public:
    CommentDialog(int portId, const QString &userName, SharedPortsClient *client, QWidget *parent = nullptr);

    int portId() const { return m_portId; }
    QListWidget *commentList() const { return m_list; }
    QPlainTextEdit *editor() const { return m_editor; }
    QPushButton *sendButton() const { return m_sendButton; }
    SvgButton *closeButton() const { return m_closeButton; }

    // The rich text of one row: time, name in bold and the text, the last two escaped.
    static QString rowText(const Comment &comment);

public slots:
    void onCommentsReceived(const QList<Comment> &comments, bool success, const QString &error);
    void onCommentAdded(bool success, const QString &error);
    void onSendClicked();
    void refreshComments();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitRows();

    int m_portId = 0;
    QString m_userName;
    QPointer<SharedPortsClient> m_client;
    QWidget *m_titleBar = nullptr;
    SvgButton *m_closeButton = nullptr;
    QListWidget *m_list = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    QPushButton *m_sendButton = nullptr;
};
