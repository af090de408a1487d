#include "records/porthistorydialog.h"

#include "core/datapaths.h"
#include "core/settingskeys.h"
#include "records/recordfile.h"
#include "records/sessionmanager.h"
#include "records/sessionstatsview.h"
#include "ui/dialogchrome.h"
#include "ui/filedialog.h"
#include "ui/messagebox.h"
#include "ui/styles.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTableWidget>

#include <algorithm>
#include <limits>

namespace {

enum Column
{
    PortColumn,
    ServerColumn,
    StartColumn,
    EndColumn,
    DescriptionColumn,
    ColumnCount
};

constexpr int IdRole = Qt::UserRole;
// What a column sorts by when its text would sort wrongly ("02.01.2025" before "01.03.2025",
// "10000" before "9000").
constexpr int SortRole = Qt::UserRole + 1;

const char *const kDateTimeFormat = "dd.MM.yyyy HH:mm:ss";

class SortableItem final : public QTableWidgetItem
{
public:
    using QTableWidgetItem::QTableWidgetItem;

    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant mine = data(SortRole);
        const QVariant theirs = other.data(SortRole);
        if (mine.isValid() && theirs.isValid())
            return mine.toLongLong() < theirs.toLongLong();
        return QTableWidgetItem::operator<(other);
    }
};

// The framing line drawn over the window's children, which would otherwise hide it.
class BorderOverlay final : public QWidget
{
public:
    explicit BorderOverlay(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(QColor(0x3b, 0x82, 0xf6, 120));
        pen.setWidthF(1.5);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 14, 14);
    }
};

QString statusColor(int status)
{
    switch (status) {
    case 1:
        return QLatin1String(Styles::kPortStatusGood);
    case 2:
        return QLatin1String(Styles::kPortStatusBad);
    default:
        return QLatin1String(Styles::kPortStatusNormal);
    }
}

QString contentStyle()
{
    return QStringLiteral(
        "QWidget#contentWidget { background:transparent; }"
        "QWidget#statsWidget, QWidget#filterWidget { background:transparent; }"
        "QLabel#statLabel { color:#e2e8f0; font-size:13px; background-color:rgba(30, 41, 59, 150); "
        "border:1px solid rgba(51,65,85,150); border-radius:8px; padding:8px 14px; }"
        "QLabel#filterLabel { color:#94a3b8; font-size:12px; background:transparent; }"
        "QComboBox, QDateEdit { background-color:rgba(30,41,59,200); color:#e2e8f0; "
        "border:1px solid rgba(51,65,85,150); border-radius:6px; padding:4px 8px; font-size:12px; "
        "min-height:22px; }"
        "QComboBox:hover, QDateEdit:hover { border-color:#3b82f6; }"
        "QComboBox QAbstractItemView { background-color:#1e293b; color:#e2e8f0; "
        "selection-background-color:#3b82f6; border:1px solid rgba(51,65,85,150); }"
        "QCalendarWidget QWidget { background-color:#1e293b; color:#e2e8f0; "
        "alternate-background-color:#0f172a; }"
        "QCalendarWidget QToolButton { background:transparent; color:#e2e8f0; }"
        "QCalendarWidget QAbstractItemView:enabled { selection-background-color:#3b82f6; "
        "selection-color:white; }"
        "QTableWidget#historyTable { background-color:rgba(30,41,59,180); "
        "alternate-background-color:rgba(51,65,85,110); color:#e2e8f0; "
        "gridline-color:rgba(51,65,85,150); border:1px solid rgba(51,65,85,150); border-radius:10px; "
        "selection-background-color:rgba(59,130,246,150); selection-color:white; font-size:12px; }"
        "QHeaderView { background:transparent; border:none; }"
        "QHeaderView::section { background-color:rgba(15,23,42,220); "
        "color:#94a3b8; border:none; border-bottom:1px solid rgba(51,65,85,150); padding:6px; "
        "font-weight:600; font-size:12px; }"
        "QScrollBar:vertical { background:transparent; width:10px; margin:2px; }"
        "QScrollBar::handle:vertical { background:rgba(100,116,139,150); border-radius:4px; "
        "min-height:24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height:0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background:none; }");
}

QString buttonPadding()
{
    return QStringLiteral(" QPushButton { padding:8px 18px; font-size:13px; }"
                          " QPushButton:disabled { background:#334155; color:#64748b; border:none; }");
}

} // namespace

PortHistoryDialog::PortHistoryDialog(
    PortHistory *history, FavoriteStatusLookup favoriteStatus, QWidget *parent)
    : BaseDialog(parent, true), m_history(history), m_favoriteStatus(std::move(favoriteStatus)), m_drag(this)
{
    Q_ASSERT(m_history);
    buildWidgets();
    updatePortCombo();
    loadTableState();
    refreshSequence();
}

PortHistoryDialog::~PortHistoryDialog() = default;

void PortHistoryDialog::buildWidgets()
{
    DialogChrome::Options options;
    options.title = QStringLiteral("ИСТОРИЯ ПОДКЛЮЧЕНИЙ");
    options.fixedSize = QSize(950, 650);
    options.closeAction = DialogChrome::CloseAction::Accept;
    const DialogChrome chrome = DialogChrome::build(this, options);
    // The chrome shows its title in the bar; the system's window title is a different text.
    setWindowTitle(QStringLiteral("История портов"));
    m_drag.setTitleBar(chrome.titleBar);

    QWidget *content = chrome.content;
    content->setObjectName(QStringLiteral("contentWidget"));
    content->setStyleSheet(contentStyle());
    QVBoxLayout *layout = chrome.contentLayout;

    auto *stats = new QWidget(content);
    stats->setObjectName(QStringLiteral("statsWidget"));
    auto *statsLayout = new QHBoxLayout(stats);
    statsLayout->setContentsMargins(0, 0, 0, 0);
    statsLayout->setSpacing(12);
    auto makeStat = [&](const QString &text) {
        auto *label = new QLabel(text, stats);
        label->setObjectName(QStringLiteral("statLabel"));
        label->setTextFormat(Qt::PlainText);
        statsLayout->addWidget(label);
        return label;
    };
    m_totalLabel = makeStat(QStringLiteral("Всего сессий: 0"));
    m_favoritesLabel = makeStat(QStringLiteral("Избранные порты с посещениями: 0"));
    m_timeLabel = makeStat(QStringLiteral("Общее время: 00:00:00"));
    statsLayout->addStretch();
    layout->addWidget(stats);

    auto *filter = new QWidget(content);
    filter->setObjectName(QStringLiteral("filterWidget"));
    auto *filterLayout = new QHBoxLayout(filter);
    filterLayout->setContentsMargins(0, 0, 0, 0);
    filterLayout->setSpacing(8);
    auto addFilterLabel = [&](const QString &text) {
        auto *label = new QLabel(text, filter);
        label->setObjectName(QStringLiteral("filterLabel"));
        filterLayout->addWidget(label);
    };
    addFilterLabel(QStringLiteral("Порт:"));
    m_portCombo = new QComboBox(filter);
    m_portCombo->setObjectName(QStringLiteral("portCombo"));
    m_portCombo->setMinimumWidth(100);
    m_portCombo->addItem(QStringLiteral("Все порты"), 0);
    filterLayout->addWidget(m_portCombo);
    filterLayout->addSpacing(12);

    const QDateTime now = QDateTime::currentDateTime();
    // The edits show dates only but keep the time of day the dialog was opened at,
    // and the range bounds carry it.
    auto makeDateEdit = [&](const QString &name, const QDateTime &initial) {
        auto *edit = new QDateEdit(filter);
        edit->setDateTime(initial);
        edit->setObjectName(name);
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        filterLayout->addWidget(edit);
        return edit;
    };
    addFilterLabel(QStringLiteral("С:"));
    m_fromEdit = makeDateEdit(QStringLiteral("fromDateEdit"), now.addDays(-30));
    addFilterLabel(QStringLiteral("По:"));
    m_toEdit = makeDateEdit(QStringLiteral("toDateEdit"), now);
    filterLayout->addStretch();
    // Port visits or game sessions; the switch appears once the dialog has the sessions.
    auto *pageSwitch = new QHBoxLayout;
    pageSwitch->setSpacing(0);
    filterLayout->addLayout(pageSwitch);
    const auto makePageButton = [&](const QString &text, const QString &name, const char *corners) {
        auto *button = new QPushButton(text, filter);
        button->setObjectName(name);
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QStringLiteral("QPushButton { background:rgba(30,41,59,200); color:#94a3b8; "
                                             "border:1px solid rgba(51,65,85,150); %1 padding:5px 14px; "
                                             "font-size:12px; } QPushButton:hover { color:#e2e8f0; } "
                                             "QPushButton:checked { background:#3b82f6; color:white; "
                                             "border-color:#3b82f6; }")
                                  .arg(QLatin1String(corners)));
        button->hide();
        pageSwitch->addWidget(button);
        return button;
    };
    m_portsPageButton = makePageButton(QStringLiteral("🔌 Порты"), QStringLiteral("portsPageButton"),
        "border-top-left-radius:6px; border-bottom-left-radius:6px;");
    m_sessionsPageButton = makePageButton(QStringLiteral("🎣 Сессии"), QStringLiteral("sessionsPageButton"),
        "border-top-right-radius:6px; border-bottom-right-radius:6px;");
    m_portsPageButton->setChecked(true);
    layout->addWidget(filter);

    m_table = new QTableWidget(0, ColumnCount, content);
    m_table->setObjectName(QStringLiteral("historyTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Порт"), QStringLiteral("Сервер"),
        QStringLiteral("Время начала"), QStringLiteral("Время окончания"), QStringLiteral("Описание")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setSortingEnabled(true);
    m_table->verticalHeader()->setVisible(false);
    m_table->setWordWrap(false);
    QHeaderView *header = m_table->horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(PortColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(ServerColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(StartColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(EndColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(DescriptionColumn, QHeaderView::Stretch);
    // Without an explicit sort the rows keep the store's order (newest first).
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_pages = new QStackedWidget(content);
    m_pages->addWidget(m_table);
    m_sessionsView = new SessionStatsView(m_pages);
    m_pages->addWidget(m_sessionsView);
    layout->addWidget(m_pages, 1);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    auto makeButton = [&](const QString &text, const QString &name, const char *style) {
        auto *button = new QPushButton(text, content);
        button->setObjectName(name);
        button->setCursor(Qt::PointingHandCursor);
        button->setMinimumHeight(36);
        button->setStyleSheet(QLatin1String(style) + buttonPadding());
        return button;
    };
    m_exportButton
        = makeButton(QStringLiteral("📊 Экспорт"), QStringLiteral("exportButton"), Styles::kAccentButton);
    m_deleteButton = makeButton(QStringLiteral("🗑️ Удалить выбранное"),
        QStringLiteral("deleteButton"), Styles::kNeutralButton);
    m_clearButton = makeButton(QStringLiteral("⚠️ Очистить всю историю"),
        QStringLiteral("clearButton"), Styles::kDestructiveButton);
    m_deleteButton->setEnabled(false);
    buttons->addWidget(m_exportButton);
    buttons->addWidget(m_deleteButton);
    buttons->addStretch();
    buttons->addWidget(m_clearButton);
    layout->addLayout(buttons);

    auto *border = new BorderOverlay(this);
    border->setGeometry(rect());
    border->raise();

    connect(m_portCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
        &PortHistoryDialog::onFilterChanged);
    connect(m_fromEdit, &QDateTimeEdit::dateTimeChanged, this, &PortHistoryDialog::onFilterChanged);
    connect(m_toEdit, &QDateTimeEdit::dateTimeChanged, this, &PortHistoryDialog::onFilterChanged);
    connect(m_exportButton, &QPushButton::clicked, this, &PortHistoryDialog::onExportClicked);
    connect(m_deleteButton, &QPushButton::clicked, this, &PortHistoryDialog::onDeleteSelectedClicked);
    connect(m_clearButton, &QPushButton::clicked, this, &PortHistoryDialog::onClearHistoryClicked);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &PortHistoryDialog::onSessionSelected);
    connect(m_sessionsPageButton, &QPushButton::toggled, this, &PortHistoryDialog::showSessionsPage);
    connect(header, &QHeaderView::sectionMoved, this, &PortHistoryDialog::saveTableState);
    connect(header, &QHeaderView::sectionResized, this, &PortHistoryDialog::saveTableState);
    connect(header, &QHeaderView::sortIndicatorChanged, this, &PortHistoryDialog::saveTableState);
}

void PortHistoryDialog::refreshTable()
{
    refreshSequence();
}

void PortHistoryDialog::onFilterChanged()
{
    refreshSequence();
}

void PortHistoryDialog::refreshSequence()
{
    saveTableState();
    fillTable();
    updateStatistics();
    if (!updatePortCombo()) {
        // The chosen port has no visits left and the combo now reads "Все порты": show that.
        fillTable();
        updateStatistics();
    }
    loadTableState();
    onSessionSelected();
    if (m_sessions) {
        m_sessionsView->showSessions(m_sessions->sessions(), quint16(m_portCombo->currentData().toUInt()),
            m_fromEdit->dateTime(), m_toEdit->dateTime().addDays(1));
    }
}

void PortHistoryDialog::setSessionManager(SessionManager *sessions)
{
    m_sessions = sessions;
    m_portsPageButton->setVisible(sessions != nullptr);
    m_sessionsPageButton->setVisible(sessions != nullptr);
    if (!sessions)
        showSessionsPage(false);
    refreshSequence();
}

void PortHistoryDialog::showSessionsPage(bool sessions)
{
    sessions = sessions && m_sessions;
    m_pages->setCurrentIndex(sessions ? 1 : 0);
    (sessions ? m_sessionsPageButton : m_portsPageButton)->setChecked(true);
    // Deleting and clearing act on the port visits only.
    m_deleteButton->setVisible(!sessions);
    m_clearButton->setVisible(!sessions);
}

std::optional<int> PortHistoryDialog::favoriteStatus(quint16 port) const
{
    if (!m_favoriteStatus)
        return std::nullopt;
    return m_favoriteStatus(port);
}

void PortHistoryDialog::fillTable()
{
    const quint16 port = quint16(m_portCombo->currentData().toUInt());
    // As instants: comparing times of different kinds asks the time zone each time.
    const qint64 from = m_fromEdit->dateTime().toMSecsSinceEpoch();
    const qint64 to = m_toEdit->dateTime().addDays(1).toMSecsSinceEpoch();

    m_filtered.clear();
    for (const PortSession &session : m_history->getAllSessions()) {
        if (port != 0 && session.port != port)
            continue;
        const qint64 start = session.startTime.toMSecsSinceEpoch();
        if (session.startTime.isNull() || start < from || start > to)
            continue;
        m_filtered.append(session);
    }

    const bool sorting = m_table->isSortingEnabled();
    m_table->setSortingEnabled(false);
    m_table->clearContents();
    m_table->setRowCount(int(m_filtered.size()));
    for (int row = 0; row < m_filtered.size(); ++row)
        setRow(row, m_filtered.at(row));
    m_table->setSortingEnabled(sorting);
}

void PortHistoryDialog::setRow(int row, const PortSession &session)
{
    const std::optional<int> status = favoriteStatus(session.port);
    const bool open = session.isActive();

    auto *portItem = new SortableItem(QString::number(session.port));
    portItem->setData(IdRole, session.id);
    portItem->setData(SortRole, qlonglong(session.port));
    portItem->setTextAlignment(Qt::AlignCenter);
    QFont portFont(QLatin1String(Styles::kFontNumbersFamily), 10);
    portFont.setBold(true);
    portItem->setFont(portFont);
    const QString portColor = status ? statusColor(*status)
        : open                       ? QLatin1String(Styles::kStatusGreen)
                                     : QLatin1String(Styles::kStatusAmber);
    portItem->setForeground(QColor(portColor));
    m_table->setItem(row, PortColumn, portItem);

    m_table->setItem(row, ServerColumn, new SortableItem(session.server));

    auto *startItem = new SortableItem(session.startTime.toString(QLatin1String(kDateTimeFormat)));
    startItem->setData(SortRole, session.startTime.toMSecsSinceEpoch());
    m_table->setItem(row, StartColumn, startItem);

    SortableItem *endItem = nullptr;
    if (open) {
        endItem = new SortableItem(QStringLiteral("Активна"));
        endItem->setForeground(QColor(QLatin1String(Styles::kStatusGreen)));
        QFont font = endItem->font();
        font.setPointSize(9);
        font.setBold(true);
        endItem->setFont(font);
        // An open visit ends later than any closed one.
        endItem->setData(SortRole, std::numeric_limits<qlonglong>::max());
    } else {
        endItem = new SortableItem(session.endTime.toString(QLatin1String(kDateTimeFormat)));
        endItem->setData(SortRole, session.endTime.toMSecsSinceEpoch());
    }
    m_table->setItem(row, EndColumn, endItem);

    m_table->setItem(row, DescriptionColumn, new SortableItem(session.description));
}

void PortHistoryDialog::updateStatistics()
{
    QSet<quint16> favoritePorts;
    qint64 totalMs = 0;
    for (const PortSession &session : qAsConst(m_filtered)) {
        if (favoriteStatus(session.port))
            favoritePorts.insert(session.port);
        if (!session.isActive())
            totalMs = RecordFile::addClamped(totalMs, session.durationMs);
    }
    m_totalLabel->setText(QStringLiteral("Всего сессий: %1").arg(m_filtered.size()));
    m_favoritesLabel->setText(QStringLiteral("Избранные порты с посещениями: %1").arg(favoritePorts.size()));
    m_timeLabel->setText(QStringLiteral("Общее время: %1").arg(PortHistory::formatDuration(totalMs)));
}

bool PortHistoryDialog::updatePortCombo()
{
    // Rebuilding the list must not start another refresh.
    const QSignalBlocker blocker(m_portCombo);
    const uint chosen = m_portCombo->currentData().toUInt();
    while (m_portCombo->count() > 1)
        m_portCombo->removeItem(m_portCombo->count() - 1);
    for (quint16 port : m_history->getUniquePorts())
        m_portCombo->addItem(QString::number(port), uint(port));
    const int index = chosen == 0 ? 0 : m_portCombo->findData(chosen);
    m_portCombo->setCurrentIndex(index < 0 ? 0 : index);
    return index >= 0;
}

void PortHistoryDialog::onSessionSelected()
{
    m_deleteButton->setEnabled(m_table->selectionModel()->hasSelection());
}

void PortHistoryDialog::onExportClicked()
{
    if (m_pages->currentIndex() == 1) {
        m_sessionsView->exportReport(m_sessions);
        return;
    }
    const QString proposed
        = QDir(DataPaths::writableFolder())
              .filePath(QStringLiteral("port_history_%1.html")
                            .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    const QString fileName = FileDialog::getSaveFileName(this, QStringLiteral("Экспорт истории портов"),
        proposed, QStringLiteral("HTML файлы (*.html);;CSV файлы (*.csv)"));
    if (fileName.isEmpty())
        return;

    const bool ok = fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)
        ? m_history->exportToCSV(fileName)
        : m_history->exportToHTML(fileName);
    if (ok) {
        MessageBox::information(this, QStringLiteral("Экспорт завершен"),
            QStringLiteral("История портов успешно экспортирована:\n%1").arg(fileName));
    } else {
        MessageBox::warning(
            this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось экспортировать историю"));
    }
}

void PortHistoryDialog::onClearHistoryClicked()
{
    const QMessageBox::StandardButton answer = MessageBox::warning(this, QStringLiteral("Подтверждение"),
        QStringLiteral(
            "Вы уверены, что хотите очистить всю историю портов?\n\nЭто действие нельзя отменить!"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;

    if (!m_history->clearHistory()) {
        // The store keeps the history when its file cannot be rewritten.
        MessageBox::warning(
            this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось очистить историю портов"));
        return;
    }
    refreshSequence();
    MessageBox::information(this, QStringLiteral("Успех"), QStringLiteral("История портов успешно очищена"));
}

void PortHistoryDialog::onDeleteSelectedClicked()
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows(PortColumn);
    if (rows.isEmpty()) {
        MessageBox::information(
            this, QStringLiteral("Информация"), QStringLiteral("Выберите сессии для удаления"));
        return;
    }
    const QMessageBox::StandardButton answer = MessageBox::question(this, QStringLiteral("Подтверждение"),
        QStringLiteral("Удалить выбранные %1 сессий?").arg(rows.size()), QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;

    // Ids first: the rows are in the table's sort order, not the store's.
    QList<qint64> ids;
    for (const QModelIndex &index : rows)
        ids.append(index.data(IdRole).toLongLong());
    // The store refuses an open visit; it stays listed after the refresh.
    for (qint64 id : qAsConst(ids))
        m_history->deleteSession(id);
    refreshSequence();
}

void PortHistoryDialog::saveTableState()
{
    if (m_restoringState || !m_table)
        return;
    QSettings settings = openSettings();
    QHeaderView *header = m_table->horizontalHeader();
    settings.setValue(QLatin1String(SettingsKeys::kPortHistoryHeaderState), header->saveState());
    for (int column = 0; column < m_table->columnCount(); ++column) {
        const int width = m_table->columnWidth(column);
        if (width > 20)
            settings.setValue(QString::fromLatin1(SettingsKeys::kPortHistoryColumnWidth).arg(column), width);
    }
    settings.sync();
}

void PortHistoryDialog::loadTableState()
{
    if (!m_table)
        return;
    // Restoring resizes sections, whose signals would store a half-restored state.
    m_restoringState = true;
    QSettings settings = openSettings();
    const QString stateKey = QLatin1String(SettingsKeys::kPortHistoryHeaderState);
    if (settings.contains(stateKey))
        m_table->horizontalHeader()->restoreState(settings.value(stateKey).toByteArray());
    for (int column = 0; column < m_table->columnCount(); ++column) {
        const QVariant stored
            = settings.value(QString::fromLatin1(SettingsKeys::kPortHistoryColumnWidth).arg(column));
        bool ok = false;
        const int width = stored.toInt(&ok);
        if (stored.isValid() && ok && width >= 21)
            m_table->setColumnWidth(column, width);
    }
    m_restoringState = false;
}

void PortHistoryDialog::done(int result)
{
    saveTableState();
    BaseDialog::done(result);
}

void PortHistoryDialog::mousePressEvent(QMouseEvent *event)
{
    if (!m_drag.press(event))
        BaseDialog::mousePressEvent(event);
}

void PortHistoryDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_drag.move(event))
        BaseDialog::mouseMoveEvent(event);
}

void PortHistoryDialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_drag.release(event))
        BaseDialog::mouseReleaseEvent(event);
}

void PortHistoryDialog::closeEvent(QCloseEvent *event)
{
    saveTableState();
    event->accept();
}
