#pragma once

#include "shared/sharedport.h"

#include <QColor>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

// Gives a button at least the given size, wider when its styled text and the
// horizontal padding on each side need more room.
void fitButton(QPushButton *button, int width, int height, int padding = 16);

// One card of the shared catalogue: avatar, name, time, port, description, comment and
// either a delete button (the viewer's own entry) or an add-to-favourites button.
// Everything on it came from the network and is shown as plain text.
class PortMessageWidget final : public QWidget
{
    Q_OBJECT

public:
    PortMessageWidget(const SharedPort &port, const QString &viewerName, QWidget *parent = nullptr);

    const SharedPort &port() const { return m_port; }
    bool isOwn() const { return m_own; }
    // Null when the card has the other kind of button.
    QPushButton *deleteButton() const { return m_deleteButton; }
    QPushButton *favoriteButton() const { return m_favoriteButton; }

    QString descriptionText() const;
    QString commentText() const;

    // Fixes the card's height to what its contents need at this width.
    void fitToWidth(int width);

    // Whether this card shows exactly that entry to that viewer, so a refresh may keep it.
    bool shows(const SharedPort &port, const QString &viewerName) const;

    // Up to two upper-case letters for the avatar; "?" for an empty name.
    static QString initials(const QString &userName);
    // A stable, always valid colour per name.
    static QColor userColor(const QString &userName);
    // Splits a listed description at the first comment separator: (description, comment).
    static QPair<QString, QString> splitDescription(const QString &text);

signals:
    void clicked(int portId, const QString &userName);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *plainLabel(const QString &text, const QString &style);

    SharedPort m_port;
    bool m_own = false;
    QLabel *m_description = nullptr;
    QLabel *m_comment = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_favoriteButton = nullptr;
};
