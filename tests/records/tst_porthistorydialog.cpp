#include <QtTest>
#include <QtWidgets>

#include "core/settingskeys.h"
#include "records/porthistorydialog.h"
#include "records/recordtesthelpers.h"
#include "records/sessionmanager.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"

using namespace Qt::StringLiterals;

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

constexpr int ServerColumn = 1;

template<typename T = QTableWidget> T *child(QWidget *d, const char *name = "historyTable")
{
    return d->findChild<T *>(QLatin1String(name));
}

// Sets the range as a player picks the days in a dialog opened at 10:00, and the port.
void filter(QWidget *d, const QDate &from, const QDate &to, int port = 0)
{
    child<QDateEdit>(d, "fromDateEdit")->setDateTime(QDateTime(from, QTime(10, 0)));
    child<QDateEdit>(d, "toDateEdit")->setDateTime(QDateTime(to, QTime(10, 0)));
    QComboBox *combo = child<QComboBox>(d, "portCombo");
    combo->setCurrentIndex(port ? combo->findData(port) : 0);
}

// A table's cells from column from to column to, row by row, as the user sees them.
QString cells(QTableWidget *view, int from, int to)
{
    QStringList text;
    for (int row = 0; row < view->rowCount(); ++row) {
        for (int column = from; column <= to; ++column)
            text << view->item(row, column)->text();
    }
    return text.join(QLatin1Char('|'));
}

} // namespace

class TestPortHistoryDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(writeAll(path("port_history.txt"), kHistory));
        m_history = std::make_unique<PortHistory>(path("port_history.txt"));
        // Newest first, 2, 1, 3; 3 is before the days normally shown and from an older file.
        QVERIFY(writeAll(path("game_sessions.txt"),
            "1|10.1.0.1|9001|2025-03-02T10:00:00|2025-03-02T11:00:00|3600000|U|40|30|60|100|9|0.0|2.5|40|55\n"
            "2|10.1.0.2|9002|2025-03-04T10:00:00|2025-03-04T11:00:00|3600000|U|120|30|999|60|9|6.0|14.2|90|"
            "300\n"
            "3|10.1.0.3|9002|2025-01-04T10:00:00|2025-01-04T11:00:00|3600000|U|40|30|60|100|9\n"));
        m_sessions = std::make_unique<SessionManager>(path("game_sessions.txt"));
        openSettings().clear();
        MessageBox::resetRecord();
    }

    void filters_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("expected"); // newest first
        const QDate jan27(2025, 1, 27), mar1(2025, 3, 1), mar5(2025, 3, 5), mar6(2025, 3, 6);
        // The range runs from 10:00 of the first day to 10:00 of the day after the last.
        QTest::newRow("first to fifth") << 0 << mar1 << mar5 << u"10.0.0.4|10.0.0.3|10.0.0.5|10.0.0.6"_s;
        QTest::newRow("next morning before the opening time")
            << 9002 << mar5 << mar5 << u"10.0.0.4|10.0.0.3"_s;
        QTest::newRow("end bound included") << 9004 << jan27 << jan27 << u"10.0.0.7"_s;
        QTest::newRow("port 9001 from the first, before 10:00") << 9001 << mar1 << mar6 << QString();
    }

    void filters()
    {
        QFETCH(int, port);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, expected);
        auto dialog = openDialog();
        filter(dialog.get(), from, to, port);
        QCOMPARE(cells(child(dialog.get()), 1, 1), expected);
        QCOMPARE(child<QLabel>(dialog.get(), "statLabel")->text(),
            u"Всего сессий: %1"_s.arg(dialog->filteredSessions().size()));
    }

    void deleteSelected_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("remaining"); // the ids of the visits left
        // Sorted by server, descending, the rows show 6, 5, 4, 3, 2, 1.
        QTest::newRow("two rows under a sort") << QList<int> {2, 5} << QMessageBox::Yes << u"23567"_s;
        QTest::newRow("the open visit is kept")
            << QList<int> {0, 1, 2, 3, 4, 5} << QMessageBox::Yes << u"57"_s;
        QTest::newRow("answered no") << QList<int> {0} << QMessageBox::No << u"1234567"_s;
    }

    void deleteSelected()
    {
        QFETCH(QList<int>, rows);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, remaining);
        auto dialog = openDialog();
        QTableWidget *view = child(dialog.get());
        view->sortByColumn(ServerColumn, Qt::DescendingOrder);
        for (int row : rows)
            view->selectionModel()->select(
                view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        MessageBox::setNextAnswer(answer);
        dialog->onDeleteSelectedClicked();
        QCOMPARE(MessageBox::lastShown().text, u"Удалить выбранные %1 сессий?"_s.arg(rows.size()));
        QCOMPARE(view->rowCount(), remaining.size() - 1); // visit 7 is outside the days shown
        QString left;
        for (const PortSession &s : PortHistory(path("port_history.txt")).sessions())
            left += QString::number(s.id);
        QCOMPARE(left, remaining);
    }

    // Each page exports its whole store, whatever the filter shows, by the name's extension.
    void exportByPageAndExtension_data()
    {
        QTest::addColumn<bool>("sessionsPage");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("start"); // of the file written; empty: none
        QTest::newRow("visits, CSV in capitals") << false << u"R.CSV"_s << u"ID;Порт;"_s;
        QTest::newRow("sessions, csv") << true << u"s.csv"_s << u"ID;Дата;"_s;
        QTest::newRow("sessions, .csv inside the name") << true << u"s.csv.html"_s << u"<!DOC"_s;
        QTest::newRow("unwritable") << true << u"missing/s.csv"_s << QString();
    }

    void exportByPageAndExtension()
    {
        QFETCH(bool, sessionsPage);
        QFETCH(QString, name);
        QFETCH(QString, start);
        auto dialog = openDialog();
        dialog->setSessionManager(m_sessions.get());
        dialog->showSessionsPage(sessionsPage);
        filter(dialog.get(), QDate(2025, 3, 1), QDate(2025, 3, 1), 9001);
        FileDialog::setNextFileName(m_dir->filePath(name));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        dialog->onExportClicked();
        const QString written = QString::fromUtf8(readAll(m_dir->filePath(name)));
        QVERIFY(written.startsWith(start));
        QCOMPARE(MessageBox::lastShown().title, start.isEmpty() ? u"Ошибка"_s : u"Экспорт завершен"_s);
        QCOMPARE(written.contains("10.1.0.3"_L1), sessionsPage && !start.isEmpty());
        QCOMPARE(written.contains("10.0.0.7"_L1), !sessionsPage);
    }

    // The sessions page lists the sessions of the days and port chosen with their figures.
    void sessionsPage()
    {
        auto dialog = openDialog();
        QVERIFY(child<QPushButton>(dialog.get(), "sessionsPageButton")->isHidden());
        dialog->setSessionManager(m_sessions.get());
        child<QPushButton>(dialog.get(), "sessionsPageButton")->click();
        QTableWidget *view = child(dialog.get(), "sessionsTable");
        QVERIFY(
            view->isVisibleTo(dialog.get()) && child<QPushButton>(dialog.get(), "clearButton")->isHidden());
        QCOMPARE(cells(view, 2, 8),
            u"10.1.0.2|9002|120 мс|6,0 %|14,2 мс|90 мс|300 мс|10.1.0.1|9001|40 мс|0,0 %|2,5 мс|40 мс|55 мс"_s);
        QCOMPARE(view->item(0, 5)->foreground().color().name(), u"#ef4444"_s);
        filter(dialog.get(), QDate(2025, 1, 1), QDate(2025, 3, 2), 9002);
        QCOMPARE(cells(view, 2, 8), u"10.1.0.3|9002|40 мс|—|—|—|—"_s); // from an older file: no figures
    }

private:
    QString path(const char *name) const { return m_dir->filePath(QLatin1String(name)); }
    std::unique_ptr<PortHistoryDialog> openDialog()
    {
        auto dialog = std::make_unique<PortHistoryDialog>(m_history.get(), FavoriteStatusLookup());
        filter(dialog.get(), QDate(2025, 2, 1), QDate(2025, 3, 31));
        return dialog;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PortHistory> m_history;
    std::unique_ptr<SessionManager> m_sessions;
};

QTEST_MAIN(TestPortHistoryDialog)
#include "tst_porthistorydialog.moc"
