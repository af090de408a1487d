#include "core/settingskeys.h"
#include "favorites/favoriteaddwindow.h"
#include "favorites/favoriteeditwindow.h"
#include "favorites/favoriteportsdialog.h"
#include "favorites/favoriteportsmanager.h"
#include "favorites/importcheckwindow.h"
#include "support/modaldriver.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"

#include <QtTest>
#include <QtWidgets>

using Ports = QList<quint16>;

namespace {

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
    }

    void actsOnTheSelectedPortUnderSort_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::newRow("delete, description up")
            << false << int(FavoritePortsDialog::DescriptionColumn) << Qt::AscendingOrder;
        QTest::newRow("delete, port down")
            << false << int(FavoritePortsDialog::PortColumn) << Qt::DescendingOrder;
        QTest::newRow("edit, status down")
            << true << int(FavoritePortsDialog::StatusColumn) << Qt::DescendingOrder;
    }

    void actsOnTheSelectedPortUnderSort()
    {
        QFETCH(bool, edit);
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
        QCOMPARE(shownPorts(table), Ports({9300, 9100, 9500})); // the store's order
        // Focus alone makes a cell current without selecting it; that must not arm the actions,
        // and without a selection they do nothing.
        table->setFocus();
        QVERIFY(!dialog.deleteButton()->isEnabled() && !dialog.statusButton()->isEnabled());
        dialog.onDeleteClicked();
        dialog.onChangeStatusClicked();
        QCOMPARE(MessageBox::shownCount(), 0);
        table->sortByColumn(sortColumn, order);
        QCOMPARE(shownPorts(table).first(), quint16(9500)); // while the store holds it last
        table->selectRow(0);
        QVERIFY(dialog.deleteButton()->isEnabled() && dialog.statusButton()->isEnabled());
        if (!edit) {
            MessageBox::setNextAnswer(QMessageBox::Yes);
            dialog.onDeleteClicked();
            QCOMPARE(rendered(MessageBox::lastShown().text),
                QStringLiteral("Вы уверены, что хотите удалить порт 9500?\n\nОписание: альфа"));
            QCOMPARE(storedPorts(store), Ports({9300, 9100}));
            QVERIFY(!shownPorts(table).contains(9500));
            return;
        }
        ModalDriver driver(
            [](QWidget *window) {
                auto *editor = static_cast<FavoriteEditWindow *>(window);
                QCOMPARE(editor->descriptionEdit()->toPlainText(), QStringLiteral("альфа"));
                editor->descriptionEdit()->setPlainText(QStringLiteral("  новое  "));
                editor->statusBox()->setCurrentIndex(2);
                editor->confirmButton()->click();
            },
            QStringLiteral("favoriteEditWindow"));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.onChangeStatusClicked();
        QVERIFY(driver.fired);
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char(','))));
        QCOMPARE(store.getFavorite(9500), fav(9500, QStringLiteral("новое"), 2));
        QCOMPARE(store.getFavorite(9300).description, QStringLiteral("бета"));
        // The edited port stays selected and its row shows the new text.
        QCOMPARE(dialog.selectedPort(), quint16(9500));
        QCOMPARE(table->item(dialog.rowOfPort(9500), FavoritePortsDialog::DescriptionColumn)->text(),
            QStringLiteral("новое"));
    }

    void addChecksRunInOrder_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("message"); // empty: accepted
        const char *badNumber = "Введите корректный номер порта (9000-9999)";
        const char *range = "Порт должен быть в диапазоне 9000-9999 (вида 9XXX)";
        const char *noText = "Введите описание порта";
        // clang-format off
        QTest::newRow("empty port") << "" << "x" << badNumber;
        QTest::newRow("not a number") << "9a00" << "" << badNumber;
        QTest::newRow("beyond 16 bits") << "70000" << "x" << badNumber;
        QTest::newRow("range before text") << "8999" << "" << range;
        QTest::newRow("10000") << "10000" << "x" << range;
        QTest::newRow("blank text") << "9000" << "   " << noText;
        QTest::newRow("known port, no text") << "9100" << "" << noText;
        QTest::newRow("known port") << "9100" << "другое" << "Порт уже в избранном";
        QTest::newRow("9000") << "9000" << "новый" << "";
        QTest::newRow("9999, trimmed") << "9999" << " новый " << "";
        // clang-format on
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
        QCOMPARE(MessageBox::lastShown().text, message);
        QCOMPARE(window.isVisible(), !message.isEmpty());
        QCOMPARE(store.favorites().size(), message.isEmpty() ? 2 : 1);
        if (message.isEmpty())
            QCOMPARE(store.getFavorite(port.toUShort()).description, QStringLiteral("новый"));
    }

    void importShowsTheCheckFirst_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<QString>("reportHead");
        QTest::addColumn<Ports>("stored");
        QTest::addColumn<QString>("title"); // of the box afterwards; empty: none
        const QByteArray valid("# комментарий\n9050|новый|1\n");
        const char *validReport
            = "Невалидных строк: 0\nПортов вне диапазона: 0\nВалидных портов (9000-9999): 1";
        QTest::newRow("all invalid, go on")
            << QByteArray("abc\n8080|чужой|1\n9100\n") << true
            << "Невалидных строк: 2\nПортов вне диапазона: 1\nВалидных портов (9000-9999): 0" << Ports {9400}
            << "Ошибка";
        QTest::newRow("valid, cancelled") << valid << false << validReport << Ports {9400} << "";
        QTest::newRow("valid, go on")
            << valid << true << validReport << Ports {9400, 9050} << "Импорт завершен";
    }

    void importShowsTheCheckFirst()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, goOn);
        QFETCH(QString, reportHead);
        QFETCH(Ports, stored);
        QFETCH(QString, title);
        const QString path = m_dir.filePath(QStringLiteral("import.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        FavoritePortsManager store;
        store.addFavorite(fav(9400, QStringLiteral("свой")));
        FavoritePortsDialog dialog(&store);
        QString report;
        ModalDriver driver(
            [&](QWidget *window) {
                auto *check = static_cast<ImportCheckWindow *>(window);
                report = check->reportView()->toPlainText();
                (goOn ? check->confirmButton() : check->cancelButton())->click();
            },
            QStringLiteral("importCheckWindow"));
        FileDialog::setNextFileName(path);
        if (!title.isEmpty())
            MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog.onImportClicked();
        QVERIFY(driver.fired);
        QVERIFY2(report.startsWith(reportHead), qPrintable(report));
        QCOMPARE(storedPorts(store), stored);
        QCOMPARE(shownPorts(dialog.table()), stored);
        QCOMPARE(MessageBox::lastShown().title, title);
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
            ModalDriver edit(
                [&](QWidget *window) {
                    auto *editor = static_cast<FavoriteEditWindow *>(window);
                    QCOMPARE(editor->descriptionEdit()->toPlainText(), hostile);
                    editor->descriptionEdit()->setPlainText(QStringLiteral("  \n\t "));
                    MessageBox::setNextAnswer(QMessageBox::Ok);
                    editor->confirmButton()->click();
                    QVERIFY(editor->isVisible());
                    editor->cancelButton()->click();
                },
                QStringLiteral("favoriteEditWindow"));
            dialog.onChangeStatusClicked();
            QVERIFY(edit.fired);
            QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Описание не может быть пустым"));
            QCOMPARE(store.favorites(), QList<FavoritePort>({fav(9100, hostile, 2)}));
        }
        ModalDriver publish(
            [&](QWidget *window) {
                const auto *text = window->findChild<QLabel *>(QStringLiteral("publishText"));
                QCOMPARE(text->textFormat(), Qt::PlainText);
                QVERIFY(text->text().contains(QStringLiteral("Описание: ") + hostile));
                static_cast<QDialog *>(window)->reject();
            },
            QStringLiteral("publishPortWindow"));
        table->cellWidget(0, FavoritePortsDialog::ActionsColumn)
            ->findChild<QPushButton *>(QStringLiteral("publishButton"))
            ->click();
        QVERIFY(publish.fired);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestFavoritesDialog)
#include "tst_favoritesdialog.moc"
