#include "app/settingskeys.h"
#include "favorites/favoriteaddwindow.h"
#include "favorites/favoriteeditwindow.h"
#include "favorites/favoriteportsdialog.h"
#include "favorites/favoriteportsmanager.h"
#include "favorites/importcheckwindow.h"
#include "favorites/publishportwindow.h"
#include "favorites/simpledialog.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"
#include "ui/svgbutton.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <functional>

namespace {

// Acts on the modal window with the given object name once it opens while a slot runs.
// Any other modal window is closed, so an unexpected box fails the test instead of hanging it.
class ModalDriver final : public QObject
{
public:
    ModalDriver(const QString &name, std::function<void(QWidget *)> action)
        : m_name(name), m_action(std::move(action))
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
        m_timer.start(10);
    }

    bool fired = false;
    QStringList unexpected;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (!fired && modal->objectName() == m_name) {
            fired = true;
            m_action(modal);
            return;
        }
        if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            unexpected << modal->objectName() + QLatin1Char(':') + modal->windowTitle();
            dialog->reject();
        }
    }

    QString m_name;
    std::function<void(QWidget *)> m_action;
    QTimer m_timer;
};

FavoritePort fav(quint16 port, const QString &description, int status = 0)
{
    return FavoritePort {port, description, QDateTime(QDate(2025, 3, 4), QTime(5, 6)), status};
}

QList<quint16> storedPorts(const FavoritePortsManager &store)
{
    QList<quint16> ports;
    for (const FavoritePort &f : store.favorites())
        ports << f.port;
    return ports;
}

QList<quint16> shownPorts(const QTableWidget *table)
{
    QList<quint16> ports;
    for (int row = 0; row < table->rowCount(); ++row)
        ports << quint16(table->item(row, FavoritePortsDialog::PortColumn)->data(Qt::UserRole).toUInt());
    return ports;
}

QString rendered(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

QPushButton *publishButtonOf(QTableWidget *table, int row)
{
    QWidget *holder = table->cellWidget(row, FavoritePortsDialog::ActionsColumn);
    return holder ? holder->findChild<QPushButton *>(QStringLiteral("publishButton")) : nullptr;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestFavoritesDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void tableShowsTheStoreInItsOrder();
    void statusAndDeleteFollowTheSelection();
    void actsOnThePortOfTheSelectedRowUnderSort_data();
    void actsOnThePortOfTheSelectedRowUnderSort();
    void editWithBlankDescriptionIsRefused();
    void addChecksRunInOrder_data();
    void addChecksRunInOrder();
    void addFromTheDialogShowsTheNewRow();
    void importShowsTheCheckFirst_data();
    void importShowsTheCheckFirst();
    void exportThenImportRestoresTheList();
    void hostileDescriptionIsShownLiterally();
    void publishWithoutMainWindowIsAnError();
    void simpleDialogForm_data();
    void simpleDialogForm();

private:
    QTemporaryDir m_dir;
};

void TestFavoritesDialog::init()
{
    QSettings settings = openSettings();
    settings.clear();
    settings.sync();
    MessageBox::clearNextAnswers();
    MessageBox::resetRecord();
    FileDialog::clearNextFileNames();
    FileDialog::resetRecord();
}

void TestFavoritesDialog::tableShowsTheStoreInItsOrder()
{
    FavoritePortsManager store;
    store.addFavorite(fav(9300, QStringLiteral("третий"), 2));
    store.addFavorite(fav(9100, QStringLiteral("первый"), 1));
    store.addFavorite(fav(9200, QStringLiteral("второй"), 7));
    FavoritePortsDialog dialog(&store);
    QTableWidget *table = dialog.table();

    QCOMPARE(shownPorts(table), QList<quint16>({9300, 9100, 9200}));
    QCOMPARE(table->item(0, FavoritePortsDialog::StatusColumn)->text(), QStringLiteral("ПЛОХОЙ"));
    QCOMPARE(table->item(1, FavoritePortsDialog::StatusColumn)->text(), QStringLiteral("ХОРОШИЙ"));
    // An unknown rating reads and colours as normal.
    QCOMPARE(table->item(2, FavoritePortsDialog::StatusColumn)->text(), QStringLiteral("НОРМАЛЬНЫЙ"));
    QCOMPARE(table->item(0, FavoritePortsDialog::PortColumn)->foreground().color(), QColor(0xef, 0x44, 0x44));
    QCOMPARE(table->item(1, FavoritePortsDialog::DescriptionColumn)->foreground().color(),
        QColor(0x22, 0xc5, 0x5e));
    QCOMPARE(
        table->item(2, FavoritePortsDialog::StatusColumn)->foreground().color(), QColor(0xfa, 0xcc, 0x15));
    QCOMPARE(table->item(0, FavoritePortsDialog::AddedColumn)->text(), QStringLiteral("04.03.2025 05:06"));

    // Sorting by the added date follows the time, not the text of the day.
    store.addFavorite(
        FavoritePort {9400, QStringLiteral("старый"), QDateTime(QDate(2024, 12, 31), QTime(0, 0)), 0});
    dialog.refreshTable();
    table->sortByColumn(FavoritePortsDialog::AddedColumn, Qt::AscendingOrder);
    QCOMPARE(shownPorts(table).first(), quint16(9400));
}

void TestFavoritesDialog::statusAndDeleteFollowTheSelection()
{
    FavoritePortsManager store;
    store.addFavorite(fav(9100, QStringLiteral("a")));
    store.addFavorite(fav(9200, QStringLiteral("b")));
    FavoritePortsDialog dialog(&store);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // Focus alone makes a cell current without selecting it; that must not arm Delete.
    dialog.table()->setFocus();
    QVERIFY(!dialog.statusButton()->isEnabled());
    QVERIFY(!dialog.deleteButton()->isEnabled());
    QVERIFY(dialog.addButton()->isEnabled());

    dialog.table()->selectRow(1);
    QVERIFY(dialog.statusButton()->isEnabled());
    QVERIFY(dialog.deleteButton()->isEnabled());
    QCOMPARE(dialog.selectedPort(), quint16(9200));

    // Without a selection the slots do nothing.
    dialog.table()->clearSelection();
    QVERIFY(!dialog.deleteButton()->isEnabled());
    dialog.onDeleteClicked();
    dialog.onChangeStatusClicked();
    QCOMPARE(MessageBox::shownCount(), 0);
    QCOMPARE(storedPorts(store), QList<quint16>({9100, 9200}));
}

void TestFavoritesDialog::actsOnThePortOfTheSelectedRowUnderSort_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<int>("order");
    QTest::newRow("delete, by description")
        << QStringLiteral("delete") << int(FavoritePortsDialog::DescriptionColumn) << int(Qt::AscendingOrder);
    QTest::newRow("delete, by port descending")
        << QStringLiteral("delete") << int(FavoritePortsDialog::PortColumn) << int(Qt::DescendingOrder);
    QTest::newRow("edit, by description")
        << QStringLiteral("edit") << int(FavoritePortsDialog::DescriptionColumn) << int(Qt::AscendingOrder);
    QTest::newRow("edit, by status") << QStringLiteral("edit") << int(FavoritePortsDialog::StatusColumn)
                                     << int(Qt::DescendingOrder);
    QTest::newRow("publish, by description")
        << QStringLiteral("publish") << int(FavoritePortsDialog::DescriptionColumn)
        << int(Qt::AscendingOrder);
}

void TestFavoritesDialog::actsOnThePortOfTheSelectedRowUnderSort()
{
    QFETCH(QString, action);
    QFETCH(int, sortColumn);
    QFETCH(int, order);

    FavoritePortsManager store;
    store.addFavorite(fav(9300, QStringLiteral("бета"), 0));
    store.addFavorite(fav(9100, QStringLiteral("гамма"), 0));
    store.addFavorite(fav(9500, QStringLiteral("альфа"), 1));
    QList<std::tuple<quint16, QString, int, QString>> published;
    FavoritePortsDialog dialog(
        &store, [&](quint16 port, const QString &description, int status, const QString &comment) {
            published.append({port, description, status, comment});
        });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTableWidget *table = dialog.table();
    table->sortByColumn(sortColumn, Qt::SortOrder(order));

    // Every chosen sort puts 9500 first, while the store holds it last.
    QCOMPARE(shownPorts(table).first(), quint16(9500));
    QCOMPARE(storedPorts(store).first(), quint16(9300));

    if (action == QLatin1String("delete")) {
        table->selectRow(0);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        dialog.onDeleteClicked();
        const MessageBox::Record box = MessageBox::lastShown();
        QCOMPARE(box.title, QStringLiteral("Подтверждение удаления"));
        QCOMPARE(rendered(box.text),
            QStringLiteral("Вы уверены, что хотите удалить порт 9500?\n\nОписание: альфа"));
        QCOMPARE(storedPorts(store), QList<quint16>({9300, 9100}));
        QVERIFY(!shownPorts(table).contains(9500));
        QVERIFY(!dialog.deleteButton()->isEnabled());
    } else if (action == QLatin1String("edit")) {
        table->selectRow(0);
        ModalDriver driver(QStringLiteral("favoriteEditWindow"), [](QWidget *window) {
            auto *editor = static_cast<FavoriteEditWindow *>(window);
            QCOMPARE(editor->descriptionEdit()->toPlainText(), QStringLiteral("альфа"));
            QCOMPARE(editor->statusBox()->currentData().toInt(), 1);
            editor->descriptionEdit()->setPlainText(QStringLiteral("  новое  "));
            editor->statusBox()->setCurrentIndex(2);
            editor->confirmButton()->click();
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.onChangeStatusClicked();
        QVERIFY(driver.fired);
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char(','))));
        QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Порт успешно обновлен"));
        const FavoritePort edited = store.getFavorite(9500);
        QCOMPARE(edited.description, QStringLiteral("новое"));
        QCOMPARE(edited.status, 2);
        QCOMPARE(edited.addedDate, fav(9500, QString()).addedDate);
        QCOMPARE(store.getFavorite(9300).description, QStringLiteral("бета"));
        QCOMPARE(store.getFavorite(9100).description, QStringLiteral("гамма"));
        // The edited port stays selected and its row shows the new text.
        QCOMPARE(dialog.selectedPort(), quint16(9500));
        QCOMPARE(table->item(dialog.rowOfPort(9500), FavoritePortsDialog::DescriptionColumn)->text(),
            QStringLiteral("новое"));
    } else {
        {
            ModalDriver driver(QStringLiteral("publishPortWindow"), [](QWidget *window) {
                auto *publish = static_cast<PublishPortWindow *>(window);
                publish->commentEdit()->setPlainText(QStringLiteral("  заходите вечером \n"));
                publish->publishButton()->click();
            });
            publishButtonOf(table, 0)->click();
            QVERIFY(driver.fired);
        }
        QCOMPARE(published.size(), 1);
        QCOMPARE(published.first(),
            std::make_tuple(quint16(9500), QStringLiteral("альфа"), 1, QStringLiteral("заходите вечером")));

        // Cancelling publishes nothing.
        ModalDriver cancel(QStringLiteral("publishPortWindow"),
            [](QWidget *window) { static_cast<QDialog *>(window)->reject(); });
        publishButtonOf(table, 1)->click();
        QVERIFY(cancel.fired);
        QCOMPARE(published.size(), 1);
    }
}

void TestFavoritesDialog::editWithBlankDescriptionIsRefused()
{
    FavoritePortsManager store;
    store.addFavorite(fav(9100, QStringLiteral("держим"), 1));
    FavoritePortsDialog dialog(&store);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    bool stayedOpen = false;
    ModalDriver driver(QStringLiteral("favoriteEditWindow"), [&](QWidget *window) {
        auto *editor = static_cast<FavoriteEditWindow *>(window);
        editor->descriptionEdit()->setPlainText(QStringLiteral("  \n\t "));
        editor->statusBox()->setCurrentIndex(2);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        editor->confirmButton()->click();
        stayedOpen = editor->isVisible();
        editor->cancelButton()->click();
    });
    // A double click on a row opens its editor.
    QTableWidget *table = dialog.table();
    const QRect cell = table->visualRect(table->model()->index(0, FavoritePortsDialog::StarColumn));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(driver.fired);
    QVERIFY(stayedOpen);
    QCOMPARE(MessageBox::shownCount(), 1);
    QCOMPARE(MessageBox::lastShown().icon, QMessageBox::Warning);
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Ошибка"));
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Описание не может быть пустым"));
    QCOMPARE(store.favorites(), QList<FavoritePort>({fav(9100, QStringLiteral("держим"), 1)}));
}

void TestFavoritesDialog::addChecksRunInOrder_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("message"); // empty: accepted

    const QString badNumber = QStringLiteral("Введите корректный номер порта (9000-9999)");
    const QString range = QStringLiteral("Порт должен быть в диапазоне 9000-9999 (вида 9XXX)");
    const QString noText = QStringLiteral("Введите описание порта");
    const QString known = QStringLiteral("Порт уже в избранном");
    QTest::newRow("empty port") << QString() << QStringLiteral("x") << badNumber;
    QTest::newRow("port 0") << QStringLiteral("0") << QStringLiteral("x") << badNumber;
    QTest::newRow("not a number, no text") << QStringLiteral("9a00") << QString() << badNumber;
    QTest::newRow("above 16 bits") << QStringLiteral("70000") << QStringLiteral("x") << badNumber;
    QTest::newRow("8999 before the text check") << QStringLiteral("8999") << QString() << range;
    QTest::newRow("10000") << QStringLiteral("10000") << QStringLiteral("x") << range;
    QTest::newRow("no text") << QStringLiteral("9000") << QString() << noText;
    QTest::newRow("blanks only") << QStringLiteral("9000") << QStringLiteral("   ") << noText;
    QTest::newRow("known port, no text") << QStringLiteral("9100") << QString() << noText;
    QTest::newRow("known port") << QStringLiteral("9100") << QStringLiteral("другое") << known;
    QTest::newRow("9000 accepted") << QStringLiteral("9000") << QStringLiteral("новый") << QString();
    QTest::newRow("9999 accepted, trimmed")
        << QStringLiteral("9999") << QStringLiteral(" новый ") << QString();
}

void TestFavoritesDialog::addChecksRunInOrder()
{
    QFETCH(QString, port);
    QFETCH(QString, description);
    QFETCH(QString, message);

    FavoritePortsManager store;
    store.addFavorite(fav(9100, QStringLiteral("был"), 2));
    FavoriteAddWindow window(&store);
    window.show();
    window.portEdit()->setText(port);
    window.descriptionEdit()->setText(description);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    window.confirmButton()->click();

    if (message.isEmpty()) {
        QCOMPARE(MessageBox::shownCount(), 0);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        const FavoritePort added = store.getFavorite(port.toUShort());
        QCOMPARE(added.description, QStringLiteral("новый"));
        QCOMPARE(added.status, 0);
        QVERIFY(qAbs(added.addedDate.secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(store.favorites().size(), 2);
    } else {
        QCOMPARE(MessageBox::shownCount(), 1);
        QCOMPARE(MessageBox::lastShown().icon, QMessageBox::Warning);
        QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Ошибка"));
        QCOMPARE(MessageBox::lastShown().text, message);
        QVERIFY(window.isVisible());
        QCOMPARE(store.favorites(), QList<FavoritePort>({fav(9100, QStringLiteral("был"), 2)}));
    }
}

void TestFavoritesDialog::addFromTheDialogShowsTheNewRow()
{
    FavoritePortsManager store;
    FavoritePortsDialog dialog(&store);
    ModalDriver driver(QStringLiteral("favoriteAddWindow"), [](QWidget *window) {
        auto *adder = static_cast<FavoriteAddWindow *>(window);
        // Typed keys go through the validator: the fifth digit of 99999 is refused.
        QTest::keyClicks(adder->portEdit(), QStringLiteral("92345"));
        QCOMPARE(adder->portEdit()->text(), QStringLiteral("9234"));
        adder->descriptionEdit()->setText(QStringLiteral("вечерний"));
        adder->confirmButton()->click();
    });
    dialog.onAddNewClicked();
    QVERIFY(driver.fired);
    QCOMPARE(shownPorts(dialog.table()), QList<quint16>({9234}));
    QCOMPARE(
        dialog.table()->item(0, FavoritePortsDialog::DescriptionColumn)->text(), QStringLiteral("вечерний"));
}

void TestFavoritesDialog::importShowsTheCheckFirst_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<QStringList>("reportHead");
    QTest::addColumn<QList<quint16>>("ports");
    QTest::addColumn<QString>("message"); // empty: no box

    const QByteArray invalid = "abc\n8080|чужой|1\n9100\n";
    const QStringList invalidHead {QStringLiteral("Невалидных строк: 2"),
        QStringLiteral("Портов вне диапазона: 1"), QStringLiteral("Валидных портов (9000-9999): 0"),
        QStringLiteral("Найдено строк: 3"), QStringLiteral("Строка 1: Неверный формат")};
    const QByteArray valid = "# комментарий\n9050|новый|1\n";
    const QStringList validHead {QStringLiteral("Невалидных строк: 0"),
        QStringLiteral("Портов вне диапазона: 0"), QStringLiteral("Валидных портов (9000-9999): 1"),
        QStringLiteral("Найдено строк: 2")};

    QTest::newRow("all invalid, go on") << invalid << true << invalidHead << QList<quint16>({9400})
                                        << QStringLiteral("Не удалось импортировать порты");
    QTest::newRow("valid, cancelled") << valid << false << validHead << QList<quint16>({9400}) << QString();
    QTest::newRow("valid, go on")
        << valid << true << validHead << QList<quint16>({9400, 9050})
        << QStringLiteral("Избранные порты успешно импортированы (неподходящие порты пропущены)");
}

void TestFavoritesDialog::importShowsTheCheckFirst()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, goOn);
    QFETCH(QStringList, reportHead);
    QFETCH(QList<quint16>, ports);
    QFETCH(QString, message);

    const QString path = m_dir.filePath(QStringLiteral("import.txt"));
    writeFile(path, content);
    FavoritePortsManager store;
    store.addFavorite(fav(9400, QStringLiteral("свой")));
    FavoritePortsDialog dialog(&store);

    QStringList report;
    QString continueText;
    ModalDriver driver(QStringLiteral("importCheckWindow"), [&](QWidget *window) {
        auto *check = static_cast<ImportCheckWindow *>(window);
        report = check->reportView()->toPlainText().split(QLatin1Char('\n'));
        continueText = check->confirmButton()->text();
        (goOn ? check->confirmButton() : check->cancelButton())->click();
    });
    FileDialog::setNextFileName(path);
    if (!message.isEmpty())
        MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.onImportClicked();

    QVERIFY(driver.fired);
    QCOMPARE(FileDialog::lastShown().caption, QStringLiteral("Импорт избранных портов"));
    QCOMPARE(report.mid(0, reportHead.size()), reportHead);
    QCOMPARE(continueText, QStringLiteral("Продолжить импорт"));
    QCOMPARE(storedPorts(store), ports);
    QCOMPARE(shownPorts(dialog.table()), ports);
    QCOMPARE(MessageBox::shownCount(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QCOMPARE(MessageBox::lastShown().text, message);
}

void TestFavoritesDialog::exportThenImportRestoresTheList()
{
    const QList<FavoritePort> original {fav(9300, QStringLiteral("вечер | ночь"), 2),
        fav(9001, QStringLiteral("<b>утро</b>"), 1), fav(9999, QStringLiteral("день"), 0)};
    FavoritePortsManager store;
    for (const FavoritePort &f : original)
        store.addFavorite(f);
    FavoritePortsDialog dialog(&store);

    // A cancelled save dialog writes nothing and says nothing.
    FileDialog::setNextFileName(QString());
    dialog.onExportClicked();
    QCOMPARE(MessageBox::shownCount(), 0);

    const QString path = m_dir.filePath(QStringLiteral("export.txt"));
    FileDialog::setNextFileName(path);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.onExportClicked();
    QCOMPARE(FileDialog::lastShown().caption, QStringLiteral("Экспорт избранных портов"));
    QCOMPARE(FileDialog::lastShown().filter, QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*.*)"));
    QVERIFY(QFileInfo(FileDialog::lastShown().directory)
                .fileName()
                .startsWith(QStringLiteral("torval_favorite_ports_")));
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Экспорт завершен"));
    QVERIFY(
        MessageBox::lastShown().text.startsWith(QStringLiteral("Избранные порты успешно экспортированы:\n")));

    for (const FavoritePort &f : original)
        store.removeFavorite(f.port);
    dialog.refreshTable();
    QCOMPARE(dialog.table()->rowCount(), 0);

    ModalDriver driver(QStringLiteral("importCheckWindow"),
        [](QWidget *window) { static_cast<ImportCheckWindow *>(window)->confirmButton()->click(); });
    FileDialog::setNextFileName(path);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.onImportClicked();
    QVERIFY(driver.fired);
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Импорт завершен"));

    // The file lists ports in ascending order; dates are the import's.
    QCOMPARE(storedPorts(store), QList<quint16>({9001, 9300, 9999}));
    for (const FavoritePort &f : original) {
        QCOMPARE(store.getFavorite(f.port).description, f.description);
        QCOMPARE(store.getFavorite(f.port).status, f.status);
    }
    QCOMPARE(dialog.table()->rowCount(), 3);

    // A failing export reports the failure.
    FileDialog::setNextFileName(m_dir.filePath(QStringLiteral("missing/dir/export.txt")));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.onExportClicked();
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Не удалось экспортировать порты"));
}

void TestFavoritesDialog::hostileDescriptionIsShownLiterally()
{
    const QString hostile = QStringLiteral("<img src=x> <b>жирный</b> & Co");
    FavoritePortsManager store;
    store.addFavorite(fav(9100, hostile, 2));
    FavoritePortsDialog dialog(&store, [](quint16, const QString &, int, const QString &) {});
    QTableWidget *table = dialog.table();

    const QTableWidgetItem *item = table->item(0, FavoritePortsDialog::DescriptionColumn);
    QCOMPARE(item->text(), hostile);
    QCOMPARE(rendered(item->toolTip()), hostile);

    table->selectRow(0);
    MessageBox::setNextAnswer(QMessageBox::No);
    dialog.onDeleteClicked();
    QVERIFY(rendered(MessageBox::lastShown().text).endsWith(QStringLiteral("Описание: ") + hostile));
    QVERIFY(store.isFavorite(9100));

    {
        ModalDriver edit(QStringLiteral("favoriteEditWindow"), [&](QWidget *window) {
            auto *editor = static_cast<FavoriteEditWindow *>(window);
            QCOMPARE(editor->descriptionEdit()->toPlainText(), hostile);
            editor->cancelButton()->click();
        });
        dialog.onChangeStatusClicked();
        QVERIFY(edit.fired);
    }

    ModalDriver publish(QStringLiteral("publishPortWindow"), [&](QWidget *window) {
        const auto *text = window->findChild<QLabel *>(QStringLiteral("publishText"));
        QCOMPARE(text->textFormat(), Qt::PlainText);
        QVERIFY(text->text().contains(QStringLiteral("Описание: ") + hostile));
        static_cast<QDialog *>(window)->reject();
    });
    publishButtonOf(table, 0)->click();
    QVERIFY(publish.fired);
}

void TestFavoritesDialog::publishWithoutMainWindowIsAnError()
{
    FavoritePortsManager store;
    store.addFavorite(fav(9100, QStringLiteral("a")));
    FavoritePortsDialog dialog(&store);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    publishButtonOf(dialog.table(), 0)->click();
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Ошибка"));
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Не удалось найти главное окно приложения"));
}

void TestFavoritesDialog::simpleDialogForm_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("result");
    QTest::newRow("add button") << QStringLiteral("button") << int(QDialog::Accepted);
    QTest::newRow("return in the field") << QStringLiteral("return") << int(QDialog::Accepted);
    QTest::newRow("escape") << QStringLiteral("escape") << int(QDialog::Rejected);
    QTest::newRow("close button") << QStringLiteral("close") << int(QDialog::Rejected);
}

void TestFavoritesDialog::simpleDialogForm()
{
    QFETCH(QString, way);
    QFETCH(int, result);

    SimpleDialog dialog(9123);
    QCOMPARE(dialog.size(), QSize(480, 520));
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("portLabel"))->text(), QStringLiteral("9123"));
    QCOMPARE(dialog.statusBox()->count(), 3);
    QCOMPARE(dialog.status(), 0);
    QVERIFY(!dialog.mask().contains(QPoint(1, 1)));
    QVERIFY(dialog.mask().contains(QPoint(240, 260)));

    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    dialog.descriptionEdit()->setFocus();
    QTest::keyClicks(dialog.descriptionEdit(), QStringLiteral("  fishing spot "));
    dialog.statusBox()->setCurrentIndex(1);

    if (way == QLatin1String("button"))
        dialog.addButton()->click();
    else if (way == QLatin1String("return"))
        QTest::keyClick(dialog.descriptionEdit(), Qt::Key_Return);
    else if (way == QLatin1String("escape"))
        QTest::keyClick(dialog.descriptionEdit(), Qt::Key_Escape);
    else
        dialog.findChild<SvgButton *>(QStringLiteral("closeButton"))->click();

    QCOMPARE(dialog.result(), result);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(accepted.count(), result == QDialog::Accepted ? 1 : 0);
    QCOMPARE(dialog.description(), QStringLiteral("fishing spot"));
    QCOMPARE(dialog.status(), 1);
    QCOMPARE(dialog.port(), quint16(9123));
}

QTEST_MAIN(TestFavoritesDialog)
#include "tst_favoritesdialog.moc"
