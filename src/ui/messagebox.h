#pragma once

#include <QMessageBox>
#include <QString>

// <windows.h> defines MessageBox as a macro for MessageBoxW; this class keeps its own name.
#ifdef MessageBox
#undef MessageBox
#endif

// The program's message boxes: dark style, Russian button texts, plain-text messages.
// Tests queue answers with setNextAnswer(); a queued answer is returned without
// showing anything, so modal flows run headless.
class MessageBox final
{
public:
    struct Record
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
    };

    static QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton critical(QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // Yes/No by default, with No as the safe default for destructive steps.
    static QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
        QMessageBox::StandardButton defaultButton = QMessageBox::No);

    static QMessageBox::StandardButton show(QMessageBox::Icon icon, QWidget *parent, const QString &title,
        const QString &text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
        Qt::TextFormat format = Qt::PlainText);

    // Queues the answer for the next box; several calls answer several boxes in order.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static void clearNextAnswers();
    static int pendingAnswers();

    // The last box asked for (shown or answered from the queue), and how many there were.
    static Record lastShown();
    static int shownCount();
    static void resetRecord();

    // Applies the dark message-box look and Russian button texts to a box built elsewhere.
    static void style(QMessageBox *box);
};
