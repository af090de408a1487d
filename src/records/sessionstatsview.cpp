#include "records/sessionstatsview.h"

#include "core/datapaths.h"
#include "records/gamesession.h"
#include "records/recordexporter.h"
#include "records/recordfile.h"
#include "records/sessionmanager.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"
#include "ui/styles.h"

#include <QDate>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <optional>

namespace {

enum Column
{
    StartColumn,
    DurationColumn,
    ServerColumn,
    PortColumn,
    AverageColumn,
    LossColumn,
    JitterColumn,
    MedianColumn,
    P95Column,
    ColumnCount
};

// What a column sorts by where its text would sort wrongly ("9 мс" after "10 мс").
constexpr int SortRole = Qt::UserRole + 1;

class SortableItem final : public QTableWidgetItem
{
public:
    SortableItem(const QString &text, double sortValue) : QTableWidgetItem(text)
    {
        setData(SortRole, sortValue);
    }
    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant mine = data(SortRole);
        const QVariant theirs = other.data(SortRole);
        if (mine.isValid() && theirs.isValid())
            return mine.toDouble() < theirs.toDouble();
        return QTableWidgetItem::operator<(other);
    }
};

QString lossColor(double lossPercent)
{
    const QString cls = RecordExporter::lossClass(lossPercent);
    if (cls == QLatin1String("bad"))
        return QLatin1String(Styles::kStatusRed);
    if (cls == QLatin1String("average"))
        return QLatin1String(Styles::kStatusAmber);
    return QLatin1String(Styles::kStatusGreen);
}

} // namespace

SessionStatsView::SessionStatsView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sessionStatsView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("sessionsSummary"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setStyleSheet(QStringLiteral("color:%1; font-size:12px; background:transparent;")
                                 .arg(QLatin1String(Styles::kTextMuted)));
    layout->addWidget(m_summary);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("sessionsTable"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Начало"), QStringLiteral("Длительность"), QStringLiteral("Сервер"),
            QStringLiteral("Порт"), QStringLiteral("Ср. пинг"), QStringLiteral("Потери"),
            QStringLiteral("Джиттер"), QStringLiteral("Медиана"), QStringLiteral("p95")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setSortingEnabled(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setVisible(false);
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(ServerColumn, QHeaderView::Stretch);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    // The history table's look (the dialog's sheet names it) applies here too.
    m_table->setStyleSheet(
        QStringLiteral("QTableWidget { background-color:rgba(30,41,59,180); "
                       "alternate-background-color:rgba(51,65,85,110); color:#e2e8f0; "
                       "gridline-color:rgba(51,65,85,150); border:1px solid rgba(51,65,85,150); "
                       "border-radius:10px; selection-background-color:rgba(59,130,246,150); "
                       "selection-color:white; font-size:12px; }"));
    layout->addWidget(m_table, 1);
}

void SessionStatsView::showSessions(
    const QList<GameSession *> &sessions, quint16 port, const QDateTime &from, const QDateTime &to)
{
    QList<const GameSession *> shown;
    // As instants: comparing times of different kinds asks the time zone each time.
    const qint64 fromMs = from.toMSecsSinceEpoch();
    const qint64 toMs = to.toMSecsSinceEpoch();
    QList<qint64> starts;
    for (const GameSession *s : sessions) {
        const qint64 start = s->startTime().toMSecsSinceEpoch();
        if ((port == 0 || s->port() == port) && !s->startTime().isNull() && start >= fromMs
            && start <= toMs) {
            shown.append(s);
            starts.append(start);
        }
    }
    // Newest first; the store keeps file order.
    QList<qsizetype> order(shown.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(
        order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return starts[a] > starts[b]; });
    QList<const GameSession *> sorted;
    for (qsizetype i : order)
        sorted.append(shown[i]);
    shown = sorted;

    qint64 totalMs = 0, averageSum = 0, averaged = 0, withLoss = 0;
    m_shownIds.clear();
    for (const GameSession *s : shown) {
        m_shownIds.append(s->id());
        totalMs = RecordFile::addClamped(totalMs, s->duration());
        if (s->pingCount() > 0) {
            averageSum = RecordFile::addClamped(averageSum, s->averagePing());
            ++averaged;
        }
        const std::optional<GameSession::Figures> f = s->figures();
        if (f && f->lossPercent > 0)
            ++withLoss;
    }
    m_summary->setText(
        QStringLiteral("Сессий: %1 · Общее время: %2 · Ср. пинг: %3 · С потерями: %4")
            .arg(shown.size())
            .arg(GameSession::formatClock(totalMs),
                averaged ? QStringLiteral("%1 мс").arg(averageSum / averaged) : QStringLiteral("—"))
            .arg(withLoss));

    const bool sorting = m_table->isSortingEnabled();
    m_table->setSortingEnabled(false);
    m_table->clearContents();
    m_table->setRowCount(int(shown.size()));
    for (int row = 0; row < shown.size(); ++row)
        setRow(row, shown.at(row));
    m_table->setSortingEnabled(sorting);
}

void SessionStatsView::exportReport(SessionManager *sessions)
{
    const QString proposed
        = QDir(DataPaths::writableFolder())
              .filePath(QStringLiteral("game_sessions_%1.html")
                            .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    const QString fileName = FileDialog::getSaveFileName(this, QStringLiteral("Экспорт статистики сессий"),
        proposed, QStringLiteral("HTML файлы (*.html);;CSV файлы (*.csv)"));
    if (fileName.isEmpty())
        return;
    const bool ok = fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)
        ? sessions->exportToCSV(fileName)
        : sessions->exportToHTML(fileName);
    if (ok) {
        MessageBox::information(this, QStringLiteral("Экспорт завершен"),
            QStringLiteral("Статистика сессий успешно экспортирована:\n%1").arg(fileName));
    } else {
        MessageBox::warning(
            this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось экспортировать статистику сессий"));
    }
}

void SessionStatsView::setRow(int row, const GameSession *s)
{
    const std::optional<GameSession::Figures> f = s->figures();
    const RecordExporter::FigureTexts texts = RecordExporter::figureTexts(f);
    const auto put = [&](int column, const QString &text, double sortValue) {
        auto *item = new SortableItem(text, sortValue);
        if (column != ServerColumn)
            item->setTextAlignment(Qt::AlignCenter);
        m_table->setItem(row, column, item);
        return item;
    };
    put(StartColumn, s->startTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")),
        double(s->startTime().toMSecsSinceEpoch()));
    put(DurationColumn, s->durationString(), double(s->duration()));
    put(ServerColumn, s->server(), 0)->setData(SortRole, QVariant()); // by text
    put(PortColumn, QString::number(s->port()), s->port());
    const bool averaged = s->pingCount() > 0;
    put(AverageColumn, averaged ? QStringLiteral("%1 мс").arg(s->averagePing()) : QStringLiteral("—"),
        averaged ? double(s->averagePing()) : -1);
    QTableWidgetItem *loss = put(LossColumn, texts.loss, f ? f->lossPercent : -1);
    if (f)
        loss->setForeground(QColor(lossColor(f->lossPercent)));
    put(JitterColumn, texts.jitter, f ? f->jitter : -1);
    put(MedianColumn, texts.median, f ? f->median : -1);
    put(P95Column, texts.p95, f ? f->p95 : -1);
}
