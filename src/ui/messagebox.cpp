#include "ui/messagebox.h"

#include "ui/styles.h"

#include <QAbstractButton>
#include <QPointer>
#include <QQueue>

namespace {

QQueue<QMessageBox::StandardButton> &answers()
{
    static QQueue<QMessageBox::StandardButton> queue;
    return queue;
}

MessageBox::Record &lastRecord()
{
    static MessageBox::Record record;
    return record;
}

int &counter()
{
    static int count = 0;
    return count;
}

} // namespace

QMessageBox::StandardButton MessageBox::information(QWidget *parent, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return show(QMessageBox::Information, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton MessageBox::warning(QWidget *parent, const QString &title, const QString &text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return show(QMessageBox::Warning, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton MessageBox::critical(QWidget *parent, const QString &title, const QString &text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return show(QMessageBox::Critical, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton MessageBox::question(QWidget *parent, const QString &title, const QString &text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return show(QMessageBox::Question, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton MessageBox::show(QMessageBox::Icon icon, QWidget *parent, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
    Qt::TextFormat format)
{
    Record &record = lastRecord();
    record = Record {icon, title, text, buttons, QMessageBox::NoButton};
    ++counter();

    if (!answers().isEmpty()) {
        record.answer = answers().dequeue();
        return record.answer;
    }

    // The parent may be destroyed while the box runs its own event loop.
    QPointer<QMessageBox> box = new QMessageBox(icon, title, text, buttons, parent);
    box->setTextFormat(format);
    if (defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(defaultButton);
    style(box);
    box->exec();
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    if (box) {
        answer = box->standardButton(box->clickedButton());
        delete box;
    }
    // Closing with Escape or the window's close button gives the escape button's role.
    if (answer == QMessageBox::NoButton)
        answer = buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel
            : buttons.testFlag(QMessageBox::No)        ? QMessageBox::No
                                                       : QMessageBox::Ok;
    lastRecord().answer = answer;
    return answer;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer)
{
    answers().enqueue(answer);
}

void MessageBox::clearNextAnswers()
{
    answers().clear();
}

int MessageBox::pendingAnswers()
{
    return int(answers().size());
}

MessageBox::Record MessageBox::lastShown()
{
    return lastRecord();
}

int MessageBox::shownCount()
{
    return counter();
}

void MessageBox::resetRecord()
{
    lastRecord() = Record {};
    counter() = 0;
}

void MessageBox::style(QMessageBox *box)
{
    box->setStyleSheet(QString::fromLatin1(Styles::kMessageBox));
    static const struct
    {
        QMessageBox::StandardButton button;
        const char *text;
    } texts[] = {
        {QMessageBox::Yes, "Да"},
        {QMessageBox::No, "Нет"},
        {QMessageBox::Cancel, "Отмена"},
        {QMessageBox::Save, "Сохранить"},
        {QMessageBox::Close, "Закрыть"},
        {QMessageBox::Ok, "OK"},
    };
    for (const auto &entry : texts) {
        if (QAbstractButton *button = box->button(entry.button))
            button->setText(QString::fromUtf8(entry.text));
    }
}
