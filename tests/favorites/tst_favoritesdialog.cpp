#include "core/settingskeys.h"
#include "favorites/favoriteaddwindow.h"
#include "favorites/favoriteeditwindow.h"
#include "favorites/favoriteportsdialog.h"
#include "favorites/favoriteportsmanager.h"
#include "favorites/importcheckwindow.h"
#include "favorites/publishportwindow.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <functional>

using Ports = QList<quint16>;

namespace {

// Acts on the modal window with the given object name once it opens while a slot runs.
// Any other modal dialog is rejected, so an unexpected box fails the test instead of hanging it.
class ModalDriver final : public QObject
{
public:
    ModalDriver(const QString &name, std::function<void(QWidget *)> action)
        : m_name(name), m_action(std::move(action))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && !fired && modal->objectName() == m_name) {
                fired = true;
                m_action(modal);
            } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
                unexpected << modal->objectName();
                dialog->reject();
            }
        });
        m_timer.start(10);
    }
    bool fired = false;
    QStringList unexpected;

private:
    QString m_name;
    std::function<void(QWidget *)> m_action;
    QTimer m_timer;
};

FavoritePort fav(quint16 port, const QString &description, int status = 0)
{
    return FavoritePort {port, description, QDateTime(QDate(2025, 3, 4), QTime(5, 6)), status};
}

Ports storedPorts(const FavoritePortsManager &store)
{
    Ports ports;
    for (const FavoritePort &f : store.favorites())
        ports << f.port;
    return ports;
}

Ports shownPorts(const QTableWidget *table)
{
    Ports ports;
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
    return table->cellWidget(row, FavoritePortsDialog::ActionsColumn)
        ->findChild<QPushButton *>(QStringLiteral("publishButton"));
}

} // namespace

class TestFavoritesDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        openSettings().clear();
        MessageBox::clearNextAnswers();
        MessageBox::resetRecord();
        FileDialog::clearNextFileNames();
        FileDialog::resetRecord();
    }

    void statusAndDeleteFollowTheSelection()
    {
        FavoritePortsManager store;
        store.addFavorite(fav(9200, QStringLiteral("a"), 7));
        store.addFavorite(fav(9100, QStringLiteral("b")));
        FavoritePortsDialog dialog(&store);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(shownPorts(dialog.table()), Ports({9200, 9100})); // the store's order
        QCOMPARE(
            dialog.table()->item(0, FavoritePortsDialog::StatusColumn)->text(), QStringLiteral("НОРМАЛЬНЫЙ"));

        // Focus alone makes a cell current without selecting it; that must not arm Delete.
        dialog.table()->setFocus();
        QVERIFY(!dialog.statusButton()->isEnabled());
        QVERIFY(!dialog.deleteButton()->isEnabled());
        dialog.table()->selectRow(1);
        QVERIFY(dialog.statusButton()->isEnabled());
        QVERIFY(dialog.deleteButton()->isEnabled());
        QCOMPARE(dialog.selectedPort(), quint16(9100));
        dialog.table()->clearSelection();
        QVERIFY(!dialog.deleteButton()->isEnabled());
        dialog.onDeleteClicked(); // without a selection the slots do nothing
        dialog.onChangeStatusClicked();
        QCOMPARE(MessageBox::shownCount(), 0);
        QCOMPARE(storedPorts(store), Ports({9200, 9100}));
    }

    void actsOnTheSelectedPortUnderSort_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<Qt::SortOrder>("order");
        const auto row = [](const char *action, int column, Qt::SortOrder order) {
            QTest::addRow("%s, column %d, order %d", action, column, int(order))
                << QString::fromLatin1(action) << column << order;
        };
        row("delete", FavoritePortsDialog::DescriptionColumn, Qt::AscendingOrder);
        row("delete", FavoritePortsDialog::PortColumn, Qt::DescendingOrder);
        row("edit", FavoritePortsDialog::StatusColumn, Qt::DescendingOrder);
    }

    void actsOnTheSelectedPortUnderSort()
    {
        QFETCH(QString, action);
        QFETCH(int, sortColumn);
        QFETCH(Qt::SortOrder, order);
        FavoritePortsManager store;
        store.addFavorite(fav(9300, QStringLiteral("бета")));
        store.addFavorite(fav(9100, QStringLiteral("гамма")));
        store.addFavorite(fav(9500, QStringLiteral("альфа"), 1));
        FavoritePortsDialog dialog(&store);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTableWidget *table = dialog.table();
        table->sortByColumn(sortColumn, order);
        QCOMPARE(shownPorts(table).first(), quint16(9500)); // while the store holds it last
        table->selectRow(0);

        if (action == QLatin1String("delete")) {
            MessageBox::setNextAnswer(QMessageBox::Yes);
            dialog.onDeleteClicked();
            QCOMPARE(rendered(MessageBox::lastShown().text),
                QStringLiteral("Вы уверены, что хотите удалить порт 9500?\n\nОписание: альфа"));
            QCOMPARE(storedPorts(store), Ports({9300, 9100}));
            QVERIFY(!shownPorts(table).contains(9500));
        } else {
            ModalDriver driver(QStringLiteral("favoriteEditWindow"), [](QWidget *window) {
                auto *editor = static_cast<FavoriteEditWindow *>(window);
                QCOMPARE(editor->descriptionEdit()->toPlainText(), QStringLiteral("альфа"));
                editor->descriptionEdit()->setPlainText(QStringLiteral("  новое  "));
                editor->statusBox()->setCurrentIndex(2);
                editor->confirmButton()->click();
            });
            MessageBox::setNextAnswer(QMessageBox::Ok);
            dialog.onChangeStatusClicked();
            QVERIFY(driver.fired);
            QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char(','))));
            QCOMPARE(store.getFavorite(9500), FavoritePort(fav(9500, QStringLiteral("новое"), 2)));
            QCOMPARE(store.getFavorite(9300).description, QStringLiteral("бета"));
            // The edited port stays selected and its row shows the new text.
            QCOMPARE(dialog.selectedPort(), quint16(9500));
            QCOMPARE(table->item(dialog.rowOfPort(9500), FavoritePortsDialog::DescriptionColumn)->text(),
                QStringLiteral("новое"));
        }
    }

    void addChecksRunInOrder_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("message"); // empty: accepted
        const auto row = [](const char *port, const char *text, const char *message) {
            QTest::addRow("'%s' '%s'", port, text)
                << QString::fromUtf8(port) << QString::fromUtf8(text) << QString::fromUtf8(message);
        };
        const char *badNumber = "Введите корректный номер порта (9000-9999)";
        const char *range = "Порт должен быть в диапазоне 9000-9999 (вида 9XXX)";
        row("", "x", badNumber);
        row("9a00", "", badNumber);
        row("70000", "x", badNumber);
        row("8999", "", range); // before the text check
        row("10000", "x", range);
        row("9000", "   ", "Введите описание порта");
        row("9100", "", "Введите описание порта"); // a known port without text
        row("9100", "другое", "Порт уже в избранном");
        row("9000", "новый", "");
        row("9999", " новый ", "");
    }

    void addChecksRunInOrder()
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
        if (!message.isEmpty())
            MessageBox::setNextAnswer(QMessageBox::Ok);
        window.confirmButton()->click();
        QCOMPARE(MessageBox::shownCount(), message.isEmpty() ? 0 : 1);
        if (message.isEmpty()) {
            QCOMPARE(window.result(), int(QDialog::Accepted));
            QCOMPARE(store.getFavorite(port.toUShort()).description, QStringLiteral("новый"));
            QCOMPARE(store.favorites().size(), 2);
        } else {
            QCOMPARE(MessageBox::lastShown().text, message);
            QVERIFY(window.isVisible());
            QCOMPARE(store.favorites().size(), 1);
        }
    }

    void importShowsTheCheckFirst_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<QStringList>("reportHead");
        QTest::addColumn<QString>("message"); // empty: no box
        QTest::newRow("all invalid, go on")
            << QByteArray("abc\n8080|чужой|1\n9100\n") << true
            << QStringList {QStringLiteral("Невалидных строк: 2"), QStringLiteral("Портов вне диапазона: 1"),
                   QStringLiteral("Валидных портов (9000-9999): 0")}
            << QStringLiteral("Не удалось импортировать порты");
        QTest::newRow("valid, cancelled")
            << QByteArray("# комментарий\n9050|новый|1\n") << false
            << QStringList {QStringLiteral("Невалидных строк: 0"), QStringLiteral("Портов вне диапазона: 0"),
                   QStringLiteral("Валидных портов (9000-9999): 1")}
            << QString();
    }

    void importShowsTheCheckFirst()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, goOn);
        QFETCH(QStringList, reportHead);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QStringLiteral("import.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        FavoritePortsManager store;
        store.addFavorite(fav(9400, QStringLiteral("свой")));
        FavoritePortsDialog dialog(&store);
        QStringList report;
        ModalDriver driver(QStringLiteral("importCheckWindow"), [&](QWidget *window) {
            auto *check = static_cast<ImportCheckWindow *>(window);
            report = check->reportView()->toPlainText().split(QLatin1Char('\n'));
            (goOn ? check->confirmButton() : check->cancelButton())->click();
        });
        FileDialog::setNextFileName(path);
        if (!message.isEmpty())
            MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.onImportClicked();
        QVERIFY(driver.fired);
        QCOMPARE(report.mid(0, reportHead.size()), reportHead);
        QCOMPARE(storedPorts(store), Ports({9400}));
        QCOMPARE(shownPorts(dialog.table()), Ports({9400}));
        QCOMPARE(MessageBox::shownCount(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(MessageBox::lastShown().text, message);
    }

    void exportThenImportRestoresTheList()
    {
        const QList<FavoritePort> original {fav(9300, QStringLiteral("вечер | ночь"), 2),
            fav(9001, QStringLiteral("<b>утро</b>"), 1), fav(9999, QStringLiteral("день"), 0)};
        FavoritePortsManager store;
        for (const FavoritePort &f : original)
            store.addFavorite(f);
        FavoritePortsDialog dialog(&store);
        FileDialog::setNextFileName(m_dir.filePath(QStringLiteral("missing/dir/export.txt")));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.onExportClicked();
        QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Не удалось экспортировать порты"));

        const QString path = m_dir.filePath(QStringLiteral("export.txt"));
        FileDialog::setNextFileName(path);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.onExportClicked();
        QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Экспорт завершен"));
        for (const FavoritePort &f : original)
            store.removeFavorite(f.port);
        dialog.refreshTable();
        ModalDriver driver(QStringLiteral("importCheckWindow"),
            [](QWidget *window) { static_cast<ImportCheckWindow *>(window)->confirmButton()->click(); });
        FileDialog::setNextFileName(path);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.onImportClicked();
        QVERIFY(driver.fired);
        QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Импорт завершен"));
        // The file lists ports in ascending order; dates are the import's.
        QCOMPARE(storedPorts(store), Ports({9001, 9300, 9999}));
        QCOMPARE(shownPorts(dialog.table()), Ports({9001, 9300, 9999}));
        for (const FavoritePort &f : original) {
            QCOMPARE(store.getFavorite(f.port).description, f.description);
            QCOMPARE(store.getFavorite(f.port).status, f.status);
        }
    }

    void hostileDescriptionIsShownLiterally()
    {
        const QString hostile = QStringLiteral("<img src=x> <b>жирный</b> & Co");
        FavoritePortsManager store;
        store.addFavorite(fav(9100, hostile, 2));
        FavoritePortsDialog dialog(&store, [](quint16, const QString &, int, const QString &) {});
        QTableWidget *table = dialog.table();
        QCOMPARE(table->item(0, FavoritePortsDialog::DescriptionColumn)->text(), hostile);
        QCOMPARE(rendered(table->item(0, FavoritePortsDialog::DescriptionColumn)->toolTip()), hostile);
        table->selectRow(0);
        MessageBox::setNextAnswer(QMessageBox::No);
        dialog.onDeleteClicked();
        QVERIFY(rendered(MessageBox::lastShown().text).endsWith(QStringLiteral("Описание: ") + hostile));
        QVERIFY(store.isFavorite(9100));
        {
            // The editor shows the text as typed, and refuses to clear it.
            bool stayedOpen = false;
            ModalDriver edit(QStringLiteral("favoriteEditWindow"), [&](QWidget *window) {
                auto *editor = static_cast<FavoriteEditWindow *>(window);
                QCOMPARE(editor->descriptionEdit()->toPlainText(), hostile);
                editor->descriptionEdit()->setPlainText(QStringLiteral("  \n\t "));
                MessageBox::setNextAnswer(QMessageBox::Ok);
                editor->confirmButton()->click();
                stayedOpen = editor->isVisible();
                editor->cancelButton()->click();
            });
            dialog.onChangeStatusClicked();
            QVERIFY(edit.fired);
            QVERIFY(stayedOpen);
            QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Описание не может быть пустым"));
            QCOMPARE(store.favorites(), QList<FavoritePort>({fav(9100, hostile, 2)}));
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

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestFavoritesDialog)
#include "tst_favoritesdialog.moc"
