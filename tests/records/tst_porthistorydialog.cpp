#include "core/settingskeys.h"
#include "records/porthistory.h"
#include "records/porthistorydialog.h"
#include "records/sessionmanager.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"

#include "records/recordtesthelpers.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using IdList = QList<qint64>;

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

template<typename T> T *child(PortHistoryDialog &d, const char *name)
{
    return d.findChild<T *>(QLatin1String(name));
}

// Sets the range as a player picks the days in a dialog opened at 10:00.
void setRange(PortHistoryDialog &d, const QDate &from, const QDate &to)
{
    child<QDateEdit>(d, "fromDateEdit")->setDateTime(QDateTime(from, QTime(10, 0)));
    child<QDateEdit>(d, "toDateEdit")->setDateTime(QDateTime(to, QTime(10, 0)));
}

void choosePort(PortHistoryDialog &d, int port)
{
    QComboBox *combo = child<QComboBox>(d, "portCombo");
    combo->setCurrentIndex(port ? combo->findData(port) : 0);
}

IdList sorted(const QList<PortSession> &sessions)
{
    IdList result;
    for (const PortSession &s : sessions)
        result << s.id;
    std::sort(result.begin(), result.end());
    return result;
}

// The ids of the rows as shown, read from what the user sees (the server column).
IdList shownIds(PortHistoryDialog &d)
{
    IdList ids;
    QTableWidget *view = child<QTableWidget>(d, "historyTable");
    for (int row = 0; row < view->rowCount(); ++row)
        ids << view->item(row, ServerColumn)->text().section(QLatin1Char('.'), 3).toLongLong();
    return ids;
}

} // namespace

class TestPortHistoryDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("store"))
            && writeAll(path("port_history.txt"), kHistory));
        m_history = std::make_unique<PortHistory>(path("port_history.txt"));
        openSettings().clear();
        MessageBox::clearNextAnswers();
        MessageBox::resetRecord();
        FileDialog::clearNextFileNames();
    }

    void cleanup()
    {
        m_history.reset();
        QCOMPARE(MessageBox::pendingAnswers(), 0);
        QCOMPARE(FileDialog::pendingFileNames(), 0);
    }

    void filters_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<IdList>("expected"); // sorted
        const QDate jan27(2025, 1, 27), mar1(2025, 3, 1), mar5(2025, 3, 5), mar6(2025, 3, 6);
        // The range runs from 10:00 of the first day to 10:00 of the day after the last.
        QTest::newRow("first to fifth") << 0 << mar1 << mar5 << IdList {3, 4, 5, 6};
        QTest::newRow("next morning before the opening time") << 9002 << mar5 << mar5 << IdList {3, 4};
        QTest::newRow("end bound included") << 9004 << jan27 << jan27 << IdList {7};
        QTest::newRow("port 9001 from the first, before 10:00") << 9001 << mar1 << mar6 << IdList {};
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
        choosePort(*dialog, port);
        QCOMPARE(sorted(dialog->filteredSessions()), expected);
        QCOMPARE(child<QLabel>(*dialog, "statLabel")->text(),
            QStringLiteral("Всего сессий: %1").arg(expected.size()));
    }

    void statisticsColoursAndSorting()
    {
        // 9001 good, 9003 bad, 27015 with an unknown rating (shown as normal); 9002 is no favourite.
        auto dialog = openDialog([](quint16 port) -> std::optional<int> {
            const QMap<quint16, int> favorites {{9001, 1}, {9003, 2}, {27015, 7}};
            return favorites.contains(port) ? std::optional<int>(favorites.value(port)) : std::nullopt;
        });
        const QList<QLabel *> stats = dialog->findChildren<QLabel *>(QStringLiteral("statLabel"));
        QCOMPARE(stats.at(1)->text(), QStringLiteral("Избранные порты с посещениями: 3"));
        QCOMPARE(stats.at(2)->text(), QStringLiteral("Общее время: 02:14:00")); // closed visits only
        QTableWidget *view = child<QTableWidget>(*dialog, "historyTable");
        QStringList colours; // in the store's order 4, 3, 5, 6, 1, 2
        for (int row = 0; row < view->rowCount(); ++row)
            colours << view->item(row, PortColumn)->foreground().color().name();
        QCOMPARE(colours.join(QLatin1Char(' ')),
            QStringLiteral("#fbbf24 #fbbf24 #ef4444 #facc15 #22c55e #22c55e"));
        QCOMPARE(view->item(2, EndColumn)->text(), QStringLiteral("Активна"));
        // Text order would put "9004" before "27015" and "28.01.2025" after "06.03.2025".
        setRange(*dialog, QDate(2025, 1, 1), QDate(2025, 3, 31));
        view->sortByColumn(EndColumn, Qt::AscendingOrder);
        QCOMPARE(shownIds(*dialog), (IdList {7, 2, 1, 6, 3, 4, 5}));
        view->sortByColumn(PortColumn, Qt::DescendingOrder);
        QCOMPARE(view->item(0, PortColumn)->text(), QStringLiteral("27015"));
    }

    void deleteSelected_data()
    {
        QTest::addColumn<bool>("sortByServer");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<IdList>("remaining");
        // Sorted by server, descending, rows show 6, 5, 4, 3, 2, 1; unsorted 4, 3, 5, 6, 1, 2.
        QTest::newRow("two rows under a sort")
            << true << QList<int> {2, 5} << QMessageBox::Yes << IdList {2, 3, 5, 6, 7};
        QTest::newRow("open visit is kept")
            << false << QList<int> {0, 1, 2, 3, 4, 5} << QMessageBox::Yes << IdList {5, 7};
        QTest::newRow("answered no") << true << QList<int> {0} << QMessageBox::No
                                     << IdList {1, 2, 3, 4, 5, 6, 7};
    }

    void deleteSelected()
    {
        QFETCH(bool, sortByServer);
        QFETCH(QList<int>, rows);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(IdList, remaining);
        auto dialog = openDialog();
        QTableWidget *view = child<QTableWidget>(*dialog, "historyTable");
        if (sortByServer)
            view->sortByColumn(ServerColumn, Qt::DescendingOrder);
        for (int row : rows)
            view->selectionModel()->select(
                view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        MessageBox::setNextAnswer(answer);
        dialog->onDeleteSelectedClicked();
        QCOMPARE(
            MessageBox::lastShown().text, QStringLiteral("Удалить выбранные %1 сессий?").arg(rows.size()));
        QCOMPARE(view->rowCount(), remaining.size() - 1); // visit 7 is outside the days shown
        QCOMPARE(sorted(PortHistory(path("port_history.txt")).sessions()), remaining);
    }

    void clearHistory_data()
    {
        QTest::addColumn<bool>("folderGone");
        QTest::newRow("cleared") << false;
        QTest::newRow("the rewrite fails: all kept") << true;
    }

    void clearHistory()
    {
        QFETCH(bool, folderGone);
        auto dialog = openDialog();
        QVERIFY(!folderGone || QDir(m_dir->filePath(QStringLiteral("store"))).removeRecursively());
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog->onClearHistoryClicked();
        QCOMPARE(
            MessageBox::lastShown().title, folderGone ? QStringLiteral("Ошибка") : QStringLiteral("Успех"));
        QCOMPARE(m_history->sessions().size(), folderGone ? 7 : 0);
        QCOMPARE(child<QTableWidget>(*dialog, "historyTable")->rowCount(), folderGone ? 6 : 0);
        QCOMPARE(child<QComboBox>(*dialog, "portCombo")->count(), folderGone ? 6 : 1);
    }

    // Each page exports its whole store, whatever the filter shows, by the name's extension.
    void exportByPageAndExtension_data()
    {
        QTest::addColumn<bool>("sessionsPage");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("start"); // of the file written; empty: none
        QTest::newRow("visits, CSV in capitals")
            << false << QStringLiteral("R.CSV") << QStringLiteral("ID;Порт;");
        QTest::newRow("visits, .csv inside the name")
            << false << QStringLiteral("r.csv.txt") << QStringLiteral("<!DOC");
        QTest::newRow("sessions, csv") << true << QStringLiteral("s.csv") << QStringLiteral("ID;Дата;");
        QTest::newRow("sessions, html") << true << QStringLiteral("s.html") << QStringLiteral("<!DOC");
        QTest::newRow("cancelled") << false << QString() << QString();
        QTest::newRow("unwritable") << true << QStringLiteral("missing/s.csv") << QString();
    }

    void exportByPageAndExtension()
    {
        QFETCH(bool, sessionsPage);
        QFETCH(QString, name);
        QFETCH(QString, start);
        SessionManager sessions(path("game_sessions.txt"));
        sessions.startNewSession(QStringLiteral("10.0.0.9"), 9002)->addPing(40);
        auto dialog = openDialog();
        dialog->setSessionManager(&sessions);
        dialog->showSessionsPage(sessionsPage);
        choosePort(*dialog, 9001);
        const QString file = name.isEmpty() ? QString() : m_dir->filePath(name);
        FileDialog::setNextFileName(file);
        if (!name.isEmpty())
            MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog->onExportClicked();
        const QString written = QString::fromUtf8(readAll(file));
        QVERIFY(written.startsWith(start));
        QCOMPARE(MessageBox::shownCount(), name.isEmpty() ? 0 : 1);
        if (!name.isEmpty() && start.isEmpty())
            QCOMPARE(
                MessageBox::lastShown().text, QStringLiteral("Не удалось экспортировать статистику сессий"));
        if (!start.isEmpty()) {
            QCOMPARE(written.contains(QLatin1String("10.0.0.9")), sessionsPage);
            QCOMPARE(written.contains(QLatin1String("10.0.0.7")), !sessionsPage);
        }
    }

    // The sessions page lists the sessions of the days and port chosen, with their figures.
    void sessionsPage()
    {
        QVERIFY(writeAll(path("game_sessions.txt"),
            "1|10.0.0.1|9001|2025-03-02T10:00:00|2025-03-02T11:00:00|3600000|U|40|30|60|100|9|0.0|2.5|40|55\n"
            "2|10.0.0.2|9002|2025-03-04T10:00:00|2025-03-04T11:00:00|3600000|U|120|30|999|60|9|6.0|14.2|90|"
            "300\n"
            "3|10.0.0.3|9002|2025-01-04T10:00:00|2025-01-04T11:00:00|3600000|U|40|30|60|100|9\n"));
        SessionManager sessions(path("game_sessions.txt"));
        auto dialog = openDialog();
        QPushButton *switchButton = child<QPushButton>(*dialog, "sessionsPageButton");
        QVERIFY(switchButton->isHidden());
        dialog->setSessionManager(&sessions);
        switchButton->click();
        QTableWidget *view = child<QTableWidget>(*dialog, "sessionsTable");
        QVERIFY(view->isVisibleTo(dialog.get()) && child<QPushButton>(*dialog, "clearButton")->isHidden());
        const auto rows = [&] {
            QStringList text;
            for (int row = 0; row < view->rowCount(); ++row) {
                for (int column = 2; column < view->columnCount(); ++column)
                    text << view->item(row, column)->text();
            }
            return text.join(QLatin1Char('|'));
        };
        // Newest first; session 3 is before the days shown.
        QCOMPARE(rows(),
            QStringLiteral("10.0.0.2|9002|120 мс|6,0 %|14,2 мс|90 мс|300 мс|10.0.0.1|9001|40 мс|0,0 %|2,5 "
                           "мс|40 мс|55 мс"));
        QCOMPARE(view->item(0, 5)->foreground().color().name(), QStringLiteral("#ef4444"));
        setRange(*dialog, QDate(2025, 1, 1), QDate(2025, 3, 2));
        choosePort(*dialog, 9002);
        QCOMPARE(rows(), QStringLiteral("10.0.0.3|9002|40 мс|—|—|—|—")); // from an older file: no figures
    }

private:
    QString path(const char *name) const
    {
        return m_dir->filePath(QStringLiteral("store/") + QLatin1String(name));
    }
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
