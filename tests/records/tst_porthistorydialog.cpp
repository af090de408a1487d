#include "app/settingskeys.h"
#include "records/porthistory.h"
#include "records/porthistorydialog.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"

#include "records/recordtesthelpers.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using IdList = QList<qint64>;
using ColourMap = QMap<int, QString>;

namespace {

// Six visits with distinct servers, so a server sort differs from the store's order.
// Store order (newest start first): 4, 3, 5, 6, 1, 2, 7. Visit 5 is open; visit 7 lies before the
// days the tests normally show.
const char kHistory[] = "1|9001|10.0.0.1|2025-03-01T00:00:00|2025-03-01T01:00:00|3600000|первый\n"
                        "2|9001|10.0.0.2|2025-02-28T23:59:59|2025-03-01T00:10:59|660000|второй\n"
                        "3|9002|10.0.0.3|2025-03-05T23:59:59|2025-03-06T00:00:59|60000|третий\n"
                        "4|9002|10.0.0.4|2025-03-06T00:00:00|2025-03-06T00:02:00|120000|четвёртый\n"
                        "5|9003|10.0.0.5|2025-03-03T12:00:00||0|открытый\n"
                        "6|27015|10.0.0.6|2025-03-02T08:00:00|2025-03-02T09:00:00|3600000|<b>шестой</b>\n"
                        "7|9004|10.0.0.7|2025-01-28T10:00:00|2025-01-28T10:30:00|1800000|седьмой\n";

enum Column
{
    PortColumn,
    ServerColumn,
    StartColumn,
    EndColumn,
    DescriptionColumn
};

} // namespace

class TestPortHistoryDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void filters_data();
    void filters();
    void statisticsAndColours_data();
    void statisticsAndColours();
    void columnsSortByValue_data();
    void columnsSortByValue();
    void portComboKeepsChoiceAndFallsBack();
    void deleteSelected_data();
    void deleteSelected();
    void clearHistory_data();
    void clearHistory();
    void clearFailureIsReported();
    void exportByExtension_data();
    void exportByExtension();
    void exportFailureAndCancel();
    void headerStateSurvivesReopening();

private:
    std::unique_ptr<PortHistoryDialog> openDialog(FavoriteStatusLookup lookup = {});
    // Sets the range as a player would pick the days in a dialog opened at timeOfDay.
    void setRange(PortHistoryDialog &dialog, const QDate &from, const QDate &to,
        const QTime &timeOfDay = QTime(10, 0));
    static QTableWidget *table(PortHistoryDialog &dialog);
    static QComboBox *combo(PortHistoryDialog &dialog);
    static IdList ids(const QList<PortSession> &sessions);
    static IdList storedIds(const PortHistory &history);
    static qint64 rowId(PortHistoryDialog &dialog, int row);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PortHistory> m_history;
};

void TestPortHistoryDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir(m_dir->path()).mkdir(QStringLiteral("store"));
    const QString path = m_dir->filePath(QStringLiteral("store/port_history.txt"));
    QVERIFY(writeAll(path, QByteArray(kHistory)));
    m_history = std::make_unique<PortHistory>(path);
    QCOMPARE(m_history->sessions().size(), 7);

    QSettings settings = openSettings();
    settings.clear();
    settings.sync();
    MessageBox::clearNextAnswers();
    MessageBox::resetRecord();
    FileDialog::clearNextFileNames();
    FileDialog::resetRecord();
}

void TestPortHistoryDialog::cleanup()
{
    m_history.reset();
    m_dir.reset();
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    QCOMPARE(FileDialog::pendingFileNames(), 0);
}

std::unique_ptr<PortHistoryDialog> TestPortHistoryDialog::openDialog(FavoriteStatusLookup lookup)
{
    auto dialog = std::make_unique<PortHistoryDialog>(m_history.get(), std::move(lookup));
    setRange(*dialog, QDate(2025, 2, 1), QDate(2025, 3, 31));
    return dialog;
}

void TestPortHistoryDialog::setRange(
    PortHistoryDialog &dialog, const QDate &from, const QDate &to, const QTime &timeOfDay)
{
    dialog.findChild<QDateEdit *>(QStringLiteral("fromDateEdit"))->setDateTime(QDateTime(from, timeOfDay));
    dialog.findChild<QDateEdit *>(QStringLiteral("toDateEdit"))->setDateTime(QDateTime(to, timeOfDay));
}

QTableWidget *TestPortHistoryDialog::table(PortHistoryDialog &dialog)
{
    return dialog.findChild<QTableWidget *>(QStringLiteral("historyTable"));
}

QComboBox *TestPortHistoryDialog::combo(PortHistoryDialog &dialog)
{
    return dialog.findChild<QComboBox *>(QStringLiteral("portCombo"));
}

IdList TestPortHistoryDialog::ids(const QList<PortSession> &sessions)
{
    IdList result;
    for (const PortSession &s : sessions)
        result << s.id;
    return result;
}

IdList TestPortHistoryDialog::storedIds(const PortHistory &history)
{
    IdList result = ids(history.sessions());
    std::sort(result.begin(), result.end());
    return result;
}

// The id of the visit shown in a row, read from what the user sees (the server column).
qint64 TestPortHistoryDialog::rowId(PortHistoryDialog &dialog, int row)
{
    const QString server = table(dialog)->item(row, ServerColumn)->text();
    return server.section(QLatin1Char('.'), 3).toLongLong();
}

void TestPortHistoryDialog::filters_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<IdList>("expected");

    const QDate jan27(2025, 1, 27), jan28(2025, 1, 28), feb28(2025, 2, 28), mar1(2025, 3, 1),
        mar5(2025, 3, 5), mar6(2025, 3, 6);
    // Opened at 10:00: the range runs from 10:00 of the first day to 10:00 of the day
    // after the last, both bounds included.
    QTest::newRow("first to fifth") << 0 << mar1 << mar5 << IdList {4, 3, 5, 6};
    QTest::newRow("next morning before the opening time") << 9002 << mar5 << mar5 << IdList {4, 3};
    QTest::newRow("one day") << 0 << feb28 << feb28 << IdList {1, 2};
    QTest::newRow("start bound included") << 9004 << jan28 << jan28 << IdList {7};
    QTest::newRow("end bound included") << 9004 << jan27 << jan27 << IdList {7};
    QTest::newRow("port 9001 over all days") << 9001 << feb28 << mar6 << IdList {1, 2};
    QTest::newRow("port 9001 from the first, before 10:00") << 9001 << mar1 << mar6 << IdList {};
    QTest::newRow("open visit") << 9003 << mar1 << mar5 << IdList {5};
    QTest::newRow("range reversed") << 0 << mar6 << mar1 << IdList {};
}

void TestPortHistoryDialog::filters()
{
    QFETCH(int, port);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(IdList, expected);

    auto dialog = openDialog();
    setRange(*dialog, from, to);
    QComboBox *ports = combo(*dialog);
    ports->setCurrentIndex(port == 0 ? 0 : ports->findData(port));
    QCOMPARE(ports->currentData().toInt(), port);

    QCOMPARE(ids(dialog->filteredSessions()), expected);
    QCOMPARE(table(*dialog)->rowCount(), expected.size());
    const auto labels = dialog->findChildren<QLabel *>(QStringLiteral("statLabel"));
    QCOMPARE(labels.value(0)->text(), QStringLiteral("Всего сессий: %1").arg(expected.size()));
}

void TestPortHistoryDialog::statisticsAndColours_data()
{
    QTest::addColumn<bool>("withFavorites");
    QTest::addColumn<QString>("favoriteCount");
    QTest::addColumn<ColourMap>("portColours");

    // 9001 good, 9003 bad, 27015 with an unknown rating (shown as normal); 9002 is no favourite.
    QTest::newRow("with favourites") << true << QStringLiteral("Избранные порты с посещениями: 3")
                                     << ColourMap {{1, QStringLiteral("#22c55e")},
                                            {3, QStringLiteral("#fbbf24")}, {5, QStringLiteral("#ef4444")},
                                            {6, QStringLiteral("#facc15")}};
    QTest::newRow("without favourites")
        << false << QStringLiteral("Избранные порты с посещениями: 0")
        << ColourMap {{1, QStringLiteral("#fbbf24")}, {3, QStringLiteral("#fbbf24")},
               {5, QStringLiteral("#22c55e")}, {6, QStringLiteral("#fbbf24")}};
}

void TestPortHistoryDialog::statisticsAndColours()
{
    QFETCH(bool, withFavorites);
    QFETCH(QString, favoriteCount);
    QFETCH(ColourMap, portColours);

    FavoriteStatusLookup lookup;
    if (withFavorites) {
        lookup = [](quint16 port) -> std::optional<int> {
            const QMap<quint16, int> favorites {{9001, 1}, {9003, 2}, {27015, 7}};
            if (!favorites.contains(port))
                return std::nullopt;
            return favorites.value(port);
        };
    }
    auto dialog = openDialog(lookup);
    const auto labels = dialog->findChildren<QLabel *>(QStringLiteral("statLabel"));
    QCOMPARE(labels.size(), 3);
    QCOMPARE(labels.at(0)->text(), QStringLiteral("Всего сессий: 6"));
    QCOMPARE(labels.at(1)->text(), favoriteCount);
    // Closed visits only: 1 h + 11 min + 1 min + 2 min + 1 h.
    QCOMPARE(labels.at(2)->text(), QStringLiteral("Общее время: 02:14:00"));

    QTableWidget *view = table(*dialog);
    for (int row = 0; row < view->rowCount(); ++row) {
        const qint64 id = rowId(*dialog, row);
        if (!portColours.contains(int(id)))
            continue;
        QCOMPARE(view->item(row, PortColumn)->foreground().color().name(), portColours.value(int(id)));
        const QString end = view->item(row, EndColumn)->text();
        QCOMPARE(end == QStringLiteral("Активна"), id == 5);
    }
}

void TestPortHistoryDialog::columnsSortByValue_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");

    // Text order would put "27015" before "9001" and "06.03.2025" before "28.01.2025".
    QTest::newRow("port, by number") << int(PortColumn)
                                     << QStringList {QStringLiteral("9001"), QStringLiteral("9001"),
                                            QStringLiteral("9002"), QStringLiteral("9002"),
                                            QStringLiteral("9003"), QStringLiteral("9004"),
                                            QStringLiteral("27015")};
    QTest::newRow("start time, by date")
        << int(StartColumn)
        << QStringList {QStringLiteral("7"), QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("6"),
               QStringLiteral("5"), QStringLiteral("3"), QStringLiteral("4")};
    QTest::newRow("end time, open visit last")
        << int(EndColumn)
        << QStringList {QStringLiteral("7"), QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("6"),
               QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5")};
}

void TestPortHistoryDialog::columnsSortByValue()
{
    QFETCH(int, column);
    QFETCH(QStringList, ascending);

    auto dialog = openDialog();
    setRange(*dialog, QDate(2025, 1, 1), QDate(2025, 3, 31));
    QTableWidget *view = table(*dialog);
    view->sortByColumn(column, Qt::AscendingOrder);
    QStringList shown;
    for (int row = 0; row < view->rowCount(); ++row) {
        // Visits of one port come in no set order, so that column is compared by port.
        shown << (column == PortColumn ? view->item(row, PortColumn)->text()
                                       : QString::number(rowId(*dialog, row)));
    }
    QCOMPARE(shown, ascending);
}

void TestPortHistoryDialog::portComboKeepsChoiceAndFallsBack()
{
    auto dialog = openDialog();
    QComboBox *ports = combo(*dialog);
    QStringList items;
    for (int i = 0; i < ports->count(); ++i)
        items << ports->itemText(i);
    QCOMPARE(items,
        QStringList({QStringLiteral("Все порты"), QStringLiteral("9001"), QStringLiteral("9002"),
            QStringLiteral("9003"), QStringLiteral("9004"), QStringLiteral("27015")}));

    ports->setCurrentIndex(ports->findData(9002));
    // The list covers the whole history, not only the days shown.
    setRange(*dialog, QDate(2025, 3, 6), QDate(2025, 3, 6), QTime(0, 0));
    QCOMPARE(ports->count(), 6);
    dialog->refreshTable();
    QCOMPARE(ports->currentData().toInt(), 9002);
    QCOMPARE(ids(dialog->filteredSessions()), IdList({4}));

    table(*dialog)->selectAll();
    MessageBox::setNextAnswer(QMessageBox::Yes);
    dialog->onDeleteSelectedClicked();
    setRange(*dialog, QDate(2025, 2, 1), QDate(2025, 3, 31));
    table(*dialog)->selectAll();
    MessageBox::setNextAnswer(QMessageBox::Yes);
    dialog->onDeleteSelectedClicked();

    QCOMPARE(ports->currentIndex(), 0);
    QCOMPARE(ports->currentText(), QStringLiteral("Все порты"));
    QCOMPARE(ports->findData(9002), -1);
    QCOMPARE(ids(dialog->filteredSessions()), IdList({5, 6, 1, 2}));
}

void TestPortHistoryDialog::deleteSelected_data()
{
    QTest::addColumn<bool>("sortByServer");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<IdList>("remaining");
    QTest::addColumn<QString>("lastBox");

    // Sorted by server, descending: rows show visits 6, 5, 4, 3, 2, 1; unsorted 4, 3, 5, 6, 1, 2.
    QTest::newRow("first row under a sort")
        << true << QList<int> {0} << QMessageBox::Yes << IdList {1, 2, 3, 4, 5, 7}
        << QStringLiteral("Удалить выбранные 1 сессий?");
    QTest::newRow("two rows under a sort")
        << true << QList<int> {2, 5} << QMessageBox::Yes << IdList {2, 3, 5, 6, 7}
        << QStringLiteral("Удалить выбранные 2 сессий?");
    QTest::newRow("unsorted") << false << QList<int> {0} << QMessageBox::Yes << IdList {1, 2, 3, 5, 6, 7}
                              << QStringLiteral("Удалить выбранные 1 сессий?");
    QTest::newRow("open visit is kept") << false << QList<int> {0, 1, 2, 3, 4, 5} << QMessageBox::Yes
                                        << IdList {5, 7} << QStringLiteral("Удалить выбранные 6 сессий?");
    QTest::newRow("answered no") << true << QList<int> {0, 1} << QMessageBox::No
                                 << IdList {1, 2, 3, 4, 5, 6, 7}
                                 << QStringLiteral("Удалить выбранные 2 сессий?");
    QTest::newRow("nothing selected")
        << true << QList<int> {} << QMessageBox::Ok << IdList {1, 2, 3, 4, 5, 6, 7}
        << QStringLiteral("Выберите сессии для удаления");
}

void TestPortHistoryDialog::deleteSelected()
{
    QFETCH(bool, sortByServer);
    QFETCH(QList<int>, rows);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(IdList, remaining);
    QFETCH(QString, lastBox);

    auto dialog = openDialog();
    QTableWidget *view = table(*dialog);
    if (sortByServer)
        view->sortByColumn(ServerColumn, Qt::DescendingOrder);
    auto *deleteButton = dialog->findChild<QPushButton *>(QStringLiteral("deleteButton"));
    QVERIFY(!deleteButton->isEnabled());
    for (int row : rows)
        view->selectionModel()->select(
            view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(deleteButton->isEnabled(), !rows.isEmpty());

    MessageBox::setNextAnswer(answer);
    dialog->onDeleteSelectedClicked();

    QCOMPARE(MessageBox::shownCount(), 1);
    QCOMPARE(MessageBox::lastShown().text, lastBox);
    QCOMPARE(storedIds(*m_history), remaining);
    QCOMPARE(view->rowCount(), remaining.size() - 1); // visit 7 is outside the days shown
    // The file agrees with memory.
    PortHistory reloaded(m_history->filePath());
    QCOMPARE(storedIds(reloaded), remaining);
}

void TestPortHistoryDialog::clearHistory_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("rowsAfter");
    QTest::addColumn<QString>("lastTitle");

    QTest::newRow("yes") << QMessageBox::Yes << 0 << QStringLiteral("Успех");
    QTest::newRow("no") << QMessageBox::No << 7 << QStringLiteral("Подтверждение");
}

void TestPortHistoryDialog::clearHistory()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, rowsAfter);
    QFETCH(QString, lastTitle);

    auto dialog = openDialog();
    
    MessageBox::setNextAnswer(answer);
    if (answer == QMessageBox::Yes)
        MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog->onClearHistoryClicked();

    QCOMPARE(m_history->sessions().size(), rowsAfter);
    QCOMPARE(table(*dialog)->rowCount(), rowsAfter == 0 ? 0 : 6);
    QCOMPARE(combo(*dialog)->count(), rowsAfter == 0 ? 1 : 6);
    QCOMPARE(MessageBox::lastShown().title, lastTitle);
    if (answer == QMessageBox::Yes) {
        QCOMPARE(MessageBox::shownCount(), 2);
        QCOMPARE(MessageBox::lastShown().text, QStringLiteral("История портов успешно очищена"));
        QCOMPARE(dialog->findChildren<QLabel *>(QStringLiteral("statLabel")).value(2)->text(),
            QStringLiteral("Общее время: 00:00:00"));
    } else {
        QCOMPARE(MessageBox::lastShown().icon, QMessageBox::Warning);
        QCOMPARE(MessageBox::lastShown().buttons, QMessageBox::Yes | QMessageBox::No);
    }
}

void TestPortHistoryDialog::clearFailureIsReported()
{
    auto dialog = openDialog();
    // The store cannot rewrite a file whose folder has gone.
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("store"))).removeRecursively());
    MessageBox::setNextAnswer(QMessageBox::Yes);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog->onClearHistoryClicked();

    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Ошибка"));
    QCOMPARE(MessageBox::lastShown().icon, QMessageBox::Warning);
    QCOMPARE(m_history->sessions().size(), 7);
    QCOMPARE(table(*dialog)->rowCount(), 6);
}

void TestPortHistoryDialog::exportByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("csv");

    QTest::newRow("csv") << QStringLiteral("report.csv") << true;
    QTest::newRow("csv in capitals") << QStringLiteral("REPORT.CSV") << true;
    QTest::newRow("html") << QStringLiteral("report.html") << false;
    QTest::newRow("no extension") << QStringLiteral("report") << false;
    QTest::newRow("csv inside the name") << QStringLiteral("report.csv.txt") << false;
}

void TestPortHistoryDialog::exportByExtension()
{
    QFETCH(QString, name);
    QFETCH(bool, csv);

    auto dialog = openDialog();
    // Only one port shown: the export still covers the whole history.
    combo(*dialog)->setCurrentIndex(combo(*dialog)->findData(9002));
    const QString path = m_dir->filePath(name);
    FileDialog::setNextFileName(path);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog->onExportClicked();

    const FileDialog::Record asked = FileDialog::lastShown();
    QCOMPARE(asked.caption, QStringLiteral("Экспорт истории портов"));
    QCOMPARE(asked.directory,
        QStringLiteral("port_history_%1.html")
            .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    QCOMPARE(asked.filter, QStringLiteral("HTML файлы (*.html);;CSV файлы (*.csv)"));

    const QString written = QString::fromUtf8(readAll(path));
    if (csv) {
        QVERIFY(written.startsWith(QStringLiteral("ID;Порт;Сервер;Время начала;Время окончания;")));
        QCOMPARE(written.count(QLatin1Char('\n')), 8);
    } else {
        QVERIFY(written.startsWith(QStringLiteral("<!DOCTYPE html>\n")));
        QCOMPARE(written.count(QStringLiteral("<td><b>")), 7);
    }
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Экспорт завершен"));
    QCOMPARE(
        MessageBox::lastShown().text, QStringLiteral("История портов успешно экспортирована:\n%1").arg(path));
}

void TestPortHistoryDialog::exportFailureAndCancel()
{
    auto dialog = openDialog();
    FileDialog::setNextFileName(QString());
    dialog->onExportClicked();
    QCOMPARE(FileDialog::shownCount(), 1);
    QCOMPARE(MessageBox::shownCount(), 0);

    FileDialog::setNextFileName(m_dir->filePath(QStringLiteral("missing/report.csv")));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog->onExportClicked();
    QCOMPARE(MessageBox::shownCount(), 1);
    QCOMPARE(MessageBox::lastShown().title, QStringLiteral("Ошибка"));
    QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Не удалось экспортировать историю"));
}

void TestPortHistoryDialog::headerStateSurvivesReopening()
{
    const QString stateKey = QString::fromLatin1(SettingsKeys::kPortHistoryHeaderState);
    {
        auto dialog = openDialog();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        table(*dialog)->sortByColumn(ServerColumn, Qt::DescendingOrder);
        dialog->accept();
    }
    QSettings settings = openSettings();
    QVERIFY(settings.contains(stateKey));
    QVERIFY(settings.value(QString::fromLatin1(SettingsKeys::kPortHistoryColumnWidth).arg(0)).toInt() > 20);

    auto dialog = openDialog();
    QHeaderView *header = table(*dialog)->horizontalHeader();
    QCOMPARE(header->sortIndicatorSection(), int(ServerColumn));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(rowId(*dialog, 0), 6);
    QCOMPARE(rowId(*dialog, 5), 1);
    QCOMPARE(table(*dialog)->rowCount(), 6);

    // A later sort replaces the stored one at once, without closing the window.
    table(*dialog)->sortByColumn(StartColumn, Qt::AscendingOrder);
    QHeaderView probe(Qt::Horizontal);
    QVERIFY(probe.restoreState(openSettings().value(stateKey).toByteArray()));
    QCOMPARE(probe.sortIndicatorSection(), int(StartColumn));
    QCOMPARE(probe.sortIndicatorOrder(), Qt::AscendingOrder);
}

QTEST_MAIN(TestPortHistoryDialog)
#include "tst_porthistorydialog.moc"
