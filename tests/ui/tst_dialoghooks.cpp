#include "ui/filedialog.h"
#include "ui/messagebox.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Watches for a modal box while a call runs; answers it by clicking the button with the given text.
struct ModalWatcher
{
    explicit ModalWatcher(const QString &clickText = QString())
    {
        QObject::connect(&timer, &QTimer::timeout, [this, clickText] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            sawBox = true;
            for (QAbstractButton *button : box->buttons())
                if (button->text() == clickText)
                    return button->click();
            box->reject();
        });
        timer.start(10);
    }

    QTimer timer;
    bool sawBox = false;
};

} // namespace

class TestDialogHooks : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        MessageBox::clearNextAnswers();
        MessageBox::resetRecord();
        FileDialog::clearNextFileNames();
        FileDialog::resetRecord();
    }

    void queuedAnswersAreReturnedWithoutShowing()
    {
        const QString title = QStringLiteral("Удаление");
        const QString text = QStringLiteral("Удалить порт <b>9123</b>?");
        ModalWatcher watcher;
        MessageBox::setNextAnswer(QMessageBox::Ok);
        MessageBox::setNextAnswer(QMessageBox::No);
        QCOMPARE(MessageBox::warning(nullptr, title, text), QMessageBox::Ok);
        QCOMPARE(MessageBox::lastShown().icon, QMessageBox::Warning);
        QCOMPARE(MessageBox::question(nullptr, title, text), QMessageBox::No);
        QCOMPARE(MessageBox::pendingAnswers(), 0);
        QCOMPARE(MessageBox::shownCount(), 2);
        const MessageBox::Record record = MessageBox::lastShown();
        QCOMPARE(record.icon, QMessageBox::Question);
        QCOMPARE(record.title, title);
        QCOMPARE(record.text, text);
        QCOMPARE(record.buttons, QMessageBox::Yes | QMessageBox::No);
        // A box run modally would have spun the event loop and met the watcher.
        QVERIFY(!watcher.sawBox);
    }

    void realBoxIsRussian()
    {
        // No queued answer: the box really runs, and the watcher answers it.
        ModalWatcher watcher(QStringLiteral("Нет"));
        QCOMPARE(MessageBox::question(nullptr, QStringLiteral("Выход"), QStringLiteral("Выйти?")),
            QMessageBox::No);
        QVERIFY(watcher.sawBox);
    }

    void queuedFileNamesAreReturnedWithoutShowing()
    {
        const QString caption = QStringLiteral("Экспорт избранных портов");
        const QString filter = QStringLiteral("Текстовые файлы (*.txt)");
        FileDialog::setNextFileName(QStringLiteral("/tmp/ports.txt"));
        FileDialog::setNextFileName(QString()); // cancelled
        QCOMPARE(FileDialog::getSaveFileName(nullptr, caption, QStringLiteral("/tmp"), filter),
            QStringLiteral("/tmp/ports.txt"));
        QCOMPARE(FileDialog::getOpenFileName(nullptr, caption, QStringLiteral("/tmp"), filter), QString());
        QCOMPARE(FileDialog::pendingFileNames(), 0);
        QCOMPARE(FileDialog::lastShown().caption, caption);
        QCOMPARE(FileDialog::lastShown().filter, filter);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestDialogHooks)
#include "tst_dialoghooks.moc"
