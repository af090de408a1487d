#include "ui/filedialog.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// Watches for a modal box while a call runs; answers it by clicking the button with the given text.
class ModalWatcher : public QObject
{
public:
    explicit ModalWatcher(const QString &clickText = QString()) : m_clickText(clickText)
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
        m_timer.start();
    }

    bool sawBox = false;
    QString styleSheet;
    QStringList buttonTexts;

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        sawBox = true;
        styleSheet = box->styleSheet();
        for (QAbstractButton *button : box->buttons())
            buttonTexts << button->text();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == m_clickText) {
                button->click();
                return;
            }
        }
        box->reject();
    }

    QString m_clickText;
    QTimer m_timer;
};

} // namespace

class TestDialogHooks : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void queuedAnswerIsReturnedWithoutShowing_data();
    void queuedAnswerIsReturnedWithoutShowing();
    void answersAreUsedInOrder();
    void realBoxIsDarkAndRussian_data();
    void realBoxIsDarkAndRussian();

    void queuedFileNameIsReturnedWithoutShowing_data();
    void queuedFileNameIsReturnedWithoutShowing();
};

void TestDialogHooks::init()
{
    MessageBox::clearNextAnswers();
    MessageBox::resetRecord();
    FileDialog::clearNextFileNames();
    FileDialog::resetRecord();
}

void TestDialogHooks::queuedAnswerIsReturnedWithoutShowing_data()
{
    QTest::addColumn<int>("kind"); // 0 information, 1 warning, 2 question
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<QMessageBox::Icon>("icon");

    QTest::newRow("information") << 0 << QMessageBox::Ok << QMessageBox::Information;
    QTest::newRow("warning") << 1 << QMessageBox::Ok << QMessageBox::Warning;
    QTest::newRow("question yes") << 2 << QMessageBox::Yes << QMessageBox::Question;
    QTest::newRow("question no") << 2 << QMessageBox::No << QMessageBox::Question;
}

void TestDialogHooks::queuedAnswerIsReturnedWithoutShowing()
{
    QFETCH(int, kind);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QMessageBox::Icon, icon);

    const QString title = QStringLiteral("Удаление");
    const QString text = QStringLiteral("Удалить порт <b>9123</b>?");
    ModalWatcher watcher;
    MessageBox::setNextAnswer(answer);
    QCOMPARE(MessageBox::pendingAnswers(), 1);

    QMessageBox::StandardButton result = QMessageBox::NoButton;
    switch (kind) {
    case 0:
        result = MessageBox::information(nullptr, title, text);
        break;
    case 1:
        result = MessageBox::warning(nullptr, title, text);
        break;
    default:
        result = MessageBox::question(nullptr, title, text);
        break;
    }
    QCOMPARE(result, answer);
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    QCOMPARE(MessageBox::shownCount(), 1);
    const MessageBox::Record record = MessageBox::lastShown();
    QCOMPARE(record.icon, icon);
    QCOMPARE(record.title, title);
    QCOMPARE(record.text, text);
    QCOMPARE(record.answer, answer);
    if (kind == 2)
        QCOMPARE(record.buttons, QMessageBox::Yes | QMessageBox::No);

    // A box run modally would have spun the event loop and met the watcher.
    QVERIFY(!watcher.sawBox);
}

void TestDialogHooks::answersAreUsedInOrder()
{
    MessageBox::setNextAnswer(QMessageBox::Yes);
    MessageBox::setNextAnswer(QMessageBox::No);
    QCOMPARE(MessageBox::question(nullptr, QStringLiteral("1"), QStringLiteral("first")), QMessageBox::Yes);
    QCOMPARE(MessageBox::question(nullptr, QStringLiteral("2"), QStringLiteral("second")), QMessageBox::No);
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("second"));
    QCOMPARE(MessageBox::shownCount(), 2);
}

void TestDialogHooks::realBoxIsDarkAndRussian_data()
{
    QTest::addColumn<QString>("click");
    QTest::addColumn<QMessageBox::StandardButton>("expected");
    QTest::newRow("yes") << QStringLiteral("Да") << QMessageBox::Yes;
    QTest::newRow("no") << QStringLiteral("Нет") << QMessageBox::No;
}

void TestDialogHooks::realBoxIsDarkAndRussian()
{
    QFETCH(QString, click);
    QFETCH(QMessageBox::StandardButton, expected);

    // No queued answer: the box really runs, and the watcher answers it.
    ModalWatcher watcher(click);
    const QMessageBox::StandardButton result
        = MessageBox::question(nullptr, QStringLiteral("Выход"), QStringLiteral("Выйти?"));
    QVERIFY(watcher.sawBox);
    QCOMPARE(result, expected);
    QCOMPARE(MessageBox::lastShown().answer, expected);
    QVERIFY(watcher.styleSheet.contains(QStringLiteral("#0f172a")));
    QVERIFY(watcher.styleSheet.contains(QStringLiteral("#2563eb")));
    QVERIFY(watcher.buttonTexts.contains(QStringLiteral("Да")));
    QVERIFY(watcher.buttonTexts.contains(QStringLiteral("Нет")));
}

void TestDialogHooks::queuedFileNameIsReturnedWithoutShowing_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("name");
    QTest::newRow("save chosen") << true << QStringLiteral("/tmp/ports.txt");
    QTest::newRow("save cancelled") << true << QString();
    QTest::newRow("open chosen") << false << QStringLiteral("/tmp/import.txt");
    QTest::newRow("open cancelled") << false << QString();
}

void TestDialogHooks::queuedFileNameIsReturnedWithoutShowing()
{
    QFETCH(bool, save);
    QFETCH(QString, name);

    FileDialog::setNextFileName(name);
    const QString caption = QStringLiteral("Экспорт избранных портов");
    const QString filter = QStringLiteral("Текстовые файлы (*.txt)");
    const QString result = save
        ? FileDialog::getSaveFileName(nullptr, caption, QStringLiteral("/tmp"), filter)
        : FileDialog::getOpenFileName(nullptr, caption, QStringLiteral("/tmp"), filter);
    QCOMPARE(result, name);
    QCOMPARE(FileDialog::pendingFileNames(), 0);
    QCOMPARE(FileDialog::shownCount(), 1);
    QCOMPARE(FileDialog::lastShown().caption, caption);
    QCOMPARE(FileDialog::lastShown().directory, QStringLiteral("/tmp"));
    QCOMPARE(FileDialog::lastShown().filter, filter);
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestDialogHooks)
#include "tst_dialoghooks.moc"
