#include "core/settingskeys.h"
#include "records/porthistory.h"
#include "records/porthistorydialog.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"

#include "records/recordtesthelpers.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QMap>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using IdList = QList<qint64>;
using ColourMap = QMap<int, QString>;

namespace {

// Distinct servers, so a server sort differs from the store's order. Store order (newest
// start first): 4, 3, 5, 6, 1, 2, 7. Visit 5 is open; 7 lies before the days normally shown.
const char kHistory[] = "1|9001|10.0.0.1|2025-03-01T00:00:00|2025-03-01T01:00:00|3600000|первый\n"
                        "2|9001|10.0.0.2|2025-02-28T23:59:59|2025-03-01T00:10:59|660000|второй\n"
                        "3|9002|10.0.0.3|2025-03-05T23:59:59|2025-03-06T00:00:59|60000|третий\n"
                        "4|9002|10.0.0.4|2025-03-06T00:00:00|2025-03-06T00:02:00|120000|четвёртый\n"
                        "5|9003|10.0.0.5|2025-03-03T12:00:00||0|открытый\n"
                        "6|27015|10.0.0.6|2025-03-02T08:00:00|2025-03-02T09:00:00|3600000|<b>шестой</b>\n"
                        "7|9004|10.0.0.7|2025-01-28T10:00:00|2025-01-28T10:30:00|1800000|седьмой\n";

constexpr int PortColumn = 0, ServerColumn = 1, EndColumn = 3;

QTableWidget *table(PortHistoryDialog &d)
{
    return d.findChild<QTableWidget *>(QStringLiteral("historyTable"));
}
QComboBox *combo(PortHistoryDialog &d)
{
    return d.findChild<QComboBox *>(QStringLiteral("portCombo"));
}
QString statLabel(PortHistoryDialog &d, int i)
{
    return d.findChildren<QLabel *>(QStringLiteral("statLabel")).value(i)->text();
}

// Sets the range as a player picks the days in a dialog opened at timeOfDay.
void setRange(PortHistoryDialog &d, const QDate &from, const QDate &to, const QTime &timeOfDay = QTime(10, 0))
{
    d.findChild<QDateEdit *>(QStringLiteral("fromDateEdit"))->setDateTime(QDateTime(from, timeOfDay));
    d.findChild<QDateEdit *>(QStringLiteral("toDateEdit"))->setDateTime(QDateTime(to, timeOfDay));
}

IdList ids(const QList<PortSession> &sessions, bool sorted = false)
{
    IdList result;
    for (const PortSession &s : sessions)
        result << s.id;
    if (sorted)
        std::sort(result.begin(), result.end());
    return result;
}

// The id of the visit in a row, read from what the user sees (the server column).
qint64 rowId(PortHistoryDialog &d, int row)
{
    return table(d)->item(row, ServerColumn)->text().section(QLatin1Char('.'), 3).toLongLong();
}

} // namespace

class TestPortHistoryDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("store")));
        const QString path = m_dir->filePath(QStringLiteral("store/port_history.txt"));
        QVERIFY(writeAll(path, QByteArray(kHistory)));
        m_history = std::make_unique<PortHistory>(path);
        openSettings().clear();
        MessageBox::clearNextAnswers();
        MessageBox::resetRecord();
        FileDialog::clearNextFileNames();
        FileDialog::resetRecord();
    }

    void cleanup()
    {
        m_history.reset();
        m_dir.reset();
        QCOMPARE(MessageBox::pendingAnswers(), 0);
        QCOMPARE(FileDialog::pendingFileNames(), 0);
    }

    void filters_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<IdList>("expected");
        const QDate jan27(2025, 1, 27), jan28(2025, 1, 28), mar1(2025, 3, 1), mar5(2025, 3, 5),
            mar6(2025, 3, 6);
        // Opened at 10:00: the range runs from 10:00 of the first day to 10:00 of the day
        // after the last, both bounds included.
        QTest::newRow("first to fifth") << 0 << mar1 << mar5 << IdList {4, 3, 5, 6};
        QTest::newRow("next morning before the opening time") << 9002 << mar5 << mar5 << IdList {4, 3};
        QTest::newRow("start bound included") << 9004 << jan28 << jan28 << IdList {7};
        QTest::newRow("end bound included") << 9004 << jan27 << jan27 << IdList {7};
        QTest::newRow("port 9001 from the first, before 10:00") << 9001 << mar1 << mar6 << IdList {};
        QTest::newRow("open visit") << 9003 << mar1 << mar5 << IdList {5};
        QTest::newRow("range reversed") << 0 << mar6 << mar1 << IdList {};
    }

    void filters()
    {
        QFETCH(int, port);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(IdList, expected);
        auto dialog = openDialog();
        setRange(*dialog, from, to);
        combo(*dialog)->setCurrentIndex(port == 0 ? 0 : combo(*dialog)->findData(port));
        QCOMPARE(combo(*dialog)->currentData().toInt(), port);
        QCOMPARE(ids(dialog->filteredSessions()), expected);
        QCOMPARE(table(*dialog)->rowCount(), expected.size());
        QCOMPARE(statLabel(*dialog, 0), QStringLiteral("Всего сессий: %1").arg(expected.size()));
    }

    void statisticsAndColours()
    {
        // 9001 good, 9003 bad, 27015 with an unknown rating (shown as normal); 9002 is no favourite.
        auto dialog = openDialog([](quint16 port) -> std::optional<int> {
            const QMap<quint16, int> favorites {{9001, 1}, {9003, 2}, {27015, 7}};
            return favorites.contains(port) ? std::optional<int>(favorites.value(port)) : std::nullopt;
        });
        QCOMPARE(statLabel(*dialog, 0), QStringLiteral("Всего сессий: 6"));
        QCOMPARE(statLabel(*dialog, 1), QStringLiteral("Избранные порты с посещениями: 3"));
        // Closed visits only: 1 h + 11 min + 1 min + 2 min + 1 h.
        QCOMPARE(statLabel(*dialog, 2), QStringLiteral("Общее время: 02:14:00"));
        const ColourMap colours {{1, QStringLiteral("#22c55e")}, {3, QStringLiteral("#fbbf24")},
            {5, QStringLiteral("#ef4444")}, {6, QStringLiteral("#facc15")}};
        QTableWidget *view = table(*dialog);
        for (int row = 0; row < view->rowCount(); ++row) {
            const int id = int(rowId(*dialog, row));
            QCOMPARE(view->item(row, EndColumn)->text() == QStringLiteral("Активна"), id == 5);
            if (colours.contains(id))
                QCOMPARE(view->item(row, PortColumn)->foreground().color().name(), colours.value(id));
        }
    }

    void columnsSortByValue_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<IdList>("ascending");
        // Text order would put "27015" before "9001" and "06.03.2025" before "28.01.2025".
        QTest::newRow("port, by number")
            << int(PortColumn) << IdList {9001, 9001, 9002, 9002, 9003, 9004, 27015};
        QTest::newRow("end time, open visit last") << int(EndColumn) << IdList {7, 2, 1, 6, 3, 4, 5};
    }

    void columnsSortByValue()
    {
        QFETCH(int, column);
        auto dialog = openDialog();
        setRange(*dialog, QDate(2025, 1, 1), QDate(2025, 3, 31));
        QTableWidget *view = table(*dialog);
        view->sortByColumn(column, Qt::AscendingOrder);
        IdList shown;
        for (int row = 0; row < view->rowCount(); ++row) // one port's visits come in no set order
            shown << (column == PortColumn ? view->item(row, PortColumn)->text().toLongLong()
                                           : rowId(*dialog, row));
        QTEST(shown, "ascending");
    }

    void deleteSelected_data()
    {
        QTest::addColumn<bool>("sortByServer");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<IdList>("remaining");
        QTest::addColumn<QString>("box");
        // Sorted by server, descending, rows show 6, 5, 4, 3, 2, 1; unsorted 4, 3, 5, 6, 1, 2.
        const QString two = QStringLiteral("Удалить выбранные 2 сессий?");
        QTest::newRow("first row under a sort")
            << true << QList<int> {0} << QMessageBox::Yes << IdList {1, 2, 3, 4, 5, 7}
            << QStringLiteral("Удалить выбранные 1 сессий?");
        QTest::newRow("two rows under a sort")
            << true << QList<int> {2, 5} << QMessageBox::Yes << IdList {2, 3, 5, 6, 7} << two;
        QTest::newRow("open visit is kept") << false << QList<int> {0, 1, 2, 3, 4, 5} << QMessageBox::Yes
                                            << IdList {5, 7} << QStringLiteral("Удалить выбранные 6 сессий?");
        QTest::newRow("answered no") << true << QList<int> {0, 1} << QMessageBox::No
                                     << IdList {1, 2, 3, 4, 5, 6, 7} << two;
        QTest::newRow("nothing selected")
            << true << QList<int> {} << QMessageBox::Ok << IdList {1, 2, 3, 4, 5, 6, 7}
            << QStringLiteral("Выберите сессии для удаления");
    }

    void deleteSelected()
    {
        QFETCH(bool, sortByServer);
        QFETCH(QList<int>, rows);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(IdList, remaining);
        auto dialog = openDialog();
        QTableWidget *view = table(*dialog);
        if (sortByServer)
            view->sortByColumn(ServerColumn, Qt::DescendingOrder);
        for (int row : rows)
            view->selectionModel()->select(
                view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        MessageBox::setNextAnswer(answer);
        dialog->onDeleteSelectedClicked();
        QCOMPARE(MessageBox::shownCount(), 1);
        QTEST(MessageBox::lastShown().text, "box");
        QCOMPARE(ids(m_history->sessions(), true), remaining);
        QCOMPARE(view->rowCount(), remaining.size() - 1); // visit 7 is outside the days shown
        QCOMPARE(ids(PortHistory(m_history->filePath()).sessions(), true), remaining);
    }

    void clearHistory_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("folderGone");
        QTest::addColumn<QString>("lastTitle");
        QTest::newRow("yes") << QMessageBox::Yes << false << QStringLiteral("Успех");
        QTest::newRow("no") << QMessageBox::No << false << QStringLiteral("Подтверждение");
        QTest::newRow("yes, rewrite fails") << QMessageBox::Yes << true << QStringLiteral("Ошибка");
    }

    void clearHistory()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, folderGone);
        auto dialog = openDialog();
        if (folderGone)
            QVERIFY(QDir(m_dir->filePath(QStringLiteral("store"))).removeRecursively());
        MessageBox::setNextAnswer(answer);
        if (answer == QMessageBox::Yes)
            MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog->onClearHistoryClicked();
        QTEST(MessageBox::lastShown().title, "lastTitle");
        const bool cleared = answer == QMessageBox::Yes && !folderGone;
        QCOMPARE(m_history->sessions().size(), cleared ? 0 : 7);
        QCOMPARE(table(*dialog)->rowCount(), cleared ? 0 : 6);
        QCOMPARE(combo(*dialog)->count(), cleared ? 1 : 6);
    }

    void exportByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("start"); // of the file written; empty: none
        const QString csv = QStringLiteral("ID;Порт;Сервер;Время начала;Время окончания;");
        const QString html = QStringLiteral("<!DOCTYPE html>\n");
        QTest::newRow("csv") << QStringLiteral("report.csv") << csv;
        QTest::newRow("csv in capitals") << QStringLiteral("REPORT.CSV") << csv;
        QTest::newRow("no extension") << QStringLiteral("report") << html;
        QTest::newRow("csv inside the name") << QStringLiteral("report.csv.txt") << html;
        QTest::newRow("cancelled") << QString() << QString();
        QTest::newRow("unwritable") << QStringLiteral("missing/report.csv") << QString();
    }

    void exportByExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, start);
        auto dialog = openDialog();
        // Only one port shown: the export still covers the whole history.
        combo(*dialog)->setCurrentIndex(combo(*dialog)->findData(9002));
        const QString path = name.isEmpty() ? QString() : m_dir->filePath(name);
        FileDialog::setNextFileName(path);
        if (!name.isEmpty())
            MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog->onExportClicked();
        QCOMPARE(MessageBox::shownCount(), name.isEmpty() ? 0 : 1);
        const QString written = QString::fromUtf8(readAll(path));
        QVERIFY(written.startsWith(start));
        if (start.isEmpty() && !name.isEmpty())
            QCOMPARE(MessageBox::lastShown().text, QStringLiteral("Не удалось экспортировать историю"));
        if (start.isEmpty())
            return;
        QCOMPARE(MessageBox::lastShown().text,
            QStringLiteral("История портов успешно экспортирована:\n%1").arg(path));
        QCOMPARE(start.startsWith(QLatin1String("ID")) ? written.count(QLatin1Char('\n'))
                                                       : written.count(QStringLiteral("<td><b>")),
            start.startsWith(QLatin1String("ID")) ? 8 : 7);
    }

private:
    std::unique_ptr<PortHistoryDialog> openDialog(FavoriteStatusLookup lookup = {})
    {
        auto dialog = std::make_unique<PortHistoryDialog>(m_history.get(), std::move(lookup));
        setRange(*dialog, QDate(2025, 2, 1), QDate(2025, 3, 31));
        return dialog;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PortHistory> m_history;
};

QTEST_MAIN(TestPortHistoryDialog)
#include "tst_porthistorydialog.moc"
