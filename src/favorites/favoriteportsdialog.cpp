#include "favorites/favoriteportsdialog.h"

#include "favorites/favoriteaddwindow.h"
#include "favorites/favoriteeditwindow.h"
#include "favorites/favoriteportsmanager.h"
#include "favorites/importcheckwindow.h"
#include "favorites/publishportwindow.h"
#include "ui/dialogchrome.h"
#include "ui/filedialog.h"
#include "ui/icons.h"
#include "ui/messagebox.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"

#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kFileFilter = QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*.*)");
constexpr int kSortRole = Qt::UserRole + 1;

QColor statusColor(int status)
{
    switch (status) {
    case 1:
        return QColor(QLatin1String(Styles::kPortStatusGood));
    case 2:
        return QColor(QLatin1String(Styles::kPortStatusBad));
    default:
        return QColor(QLatin1String(Styles::kPortStatusNormal));
    }
}

QColor starColor(int status)
{
    return status == 1 || status == 2 ? statusColor(status) : QColor(QLatin1String(Styles::kStatusAmber));
}

// Tool tips take markup; a description is the user's (or another player's) text.
QString plainToolTip(const QString &text)
{
    return QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(text.toHtmlEscaped());
}

// Sorts by a value of its own (port number, rating, date) rather than by the shown text.
class SortItem final : public QTableWidgetItem
{
public:
    SortItem(const QString &text, const QVariant &sortKey) : QTableWidgetItem(text)
    {
        setData(kSortRole, sortKey);
    }

    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant mine = data(kSortRole);
        const QVariant theirs = other.data(kSortRole);
        if (mine.isValid() && theirs.isValid())
            return QVariant::compare(mine, theirs) == QPartialOrdering::Less;
        return QTableWidgetItem::operator<(other);
    }
};

QWidget *centered(QWidget *child, QWidget *parent)
{
    auto *holder = new QWidget(parent);
    holder->setStyleSheet(QStringLiteral("background:transparent;"));
    auto *layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child, 0, Qt::AlignCenter);
    return holder;
}

const char kTableStyle[]
    = "QTableWidget { background-color:rgba(15,23,42,150); alternate-background-color:rgba(30,41,59,150); "
      "color:#e2e8f0; border:1px solid rgba(51,65,85,150); border-radius:10px; font-size:13px; "
      "selection-background-color:rgba(59,130,246,110); outline:0; } "
      "QHeaderView::section { background-color:rgba(30,41,59,220); color:#94a3b8; border:none; "
      "border-bottom:1px solid rgba(51,65,85,150); padding:8px 6px; font-size:12px; font-weight:bold; } "
      "QTableCornerButton::section { background:transparent; border:none; } "
      "QScrollBar:vertical { background:transparent; width:8px; margin:2px; } "
      "QScrollBar::handle:vertical { background:rgba(100,116,139,150); border-radius:4px; min-height:24px; } "
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height:0; }";

const char kToolButtonStyle[]
    = "QPushButton { background-color:rgba(30,41,59,200); color:#e2e8f0; border:1px solid "
      "rgba(51,65,85,150); "
      "border-radius:8px; padding:8px 16px; font-size:13px; font-weight:600; } "
      "QPushButton:hover { background-color:rgba(59,130,246,150); border-color:#3b82f6; } "
      "QPushButton:pressed { background-color:#2563eb; } "
      "QPushButton:disabled { background-color:rgba(100,116,139,100); color:#64748b; "
      "border-color:rgba(51,65,85,100); }";

const char kPublishButtonStyle[]
    = "QPushButton { background-color:#10b981; color:white; border:none; border-radius:6px; font-size:11px; "
      "font-weight:bold; } "
      "QPushButton:hover { background-color:#059669; }";

} // namespace

FavoritePortsDialog::FavoritePortsDialog(FavoritePortsManager *store, Publisher publisher, QWidget *parent)
    : BaseMovableDialog(parent), m_store(store), m_publisher(std::move(publisher))
{
    setObjectName(QStringLiteral("favoritePortsDialog"));
    DialogChrome::Options options;
    options.title = QStringLiteral("ИЗБРАННЫЕ ПОРТЫ");
    options.fixedSize = QSize(950, 600);
    options.backgroundStyle = QStringLiteral("QWidget#dialogBackground { background:transparent; "
                                             "border-radius:16px; border:1px solid rgba(59,130,246,100); }");
    const DialogChrome chrome = DialogChrome::build(this, options);

    auto *subtitle = new QLabel(chrome.titleBar);
    subtitle->setObjectName(QStringLiteral("subtitleLabel"));
    subtitle->setStyleSheet(QStringLiteral("color:#94a3b8; font-size:11px; background:transparent;"));
    chrome.titleLayout->insertWidget(chrome.titleLayout->indexOf(chrome.titleLabel) + 1, subtitle);

    // Closing by the button keeps the list (the store saves); Escape just rejects.
    disconnect(chrome.closeButton, nullptr, this, nullptr);
    connect(chrome.closeButton, &QPushButton::clicked, this, &FavoritePortsDialog::onCloseClicked);

    chrome.content->setObjectName(QStringLiteral("contentWidget"));
    chrome.content->setStyleSheet(QStringLiteral("QWidget#contentWidget { background:transparent; }"));
    buildTable(chrome.content);
    buildTools(chrome.content);

    auto *bottom = new QWidget(chrome.content);
    bottom->setObjectName(QStringLiteral("bottomWidget"));
    auto *bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    auto *info = new QLabel(
        QStringLiteral("Двойной клик для редактирования • Esc для закрытия • Только порты 9000-9999"),
        bottom);
    info->setObjectName(QStringLiteral("infoLabel"));
    info->setStyleSheet(
        QStringLiteral("QLabel#infoLabel { color:#94a3b8; font-size:11px; font-style:italic; "
                       "background-color:rgba(30,41,59,150); border-radius:6px; padding:6px 10px; }"));
    bottomLayout->addWidget(info);
    chrome.contentLayout->addWidget(bottom);

    refreshTable();
}

void FavoritePortsDialog::buildTable(QWidget *content)
{
    m_table = new QTableWidget(0, ColumnCount, content);
    m_table->setObjectName(QStringLiteral("favoriteTable"));
    m_table->setHorizontalHeaderLabels({QString(), QStringLiteral("Порт"), QStringLiteral("Описание"),
        QStringLiteral("Статус"), QStringLiteral("Добавлен"), QStringLiteral("Действия")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(50);
    m_table->horizontalHeader()->setHighlightSections(false);
    // No sort until the user asks for one: rows start in the store's order.
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    m_table->setStyleSheet(QLatin1String(kTableStyle) + QLatin1String(Styles::kToolTip));
    qobject_cast<QVBoxLayout *>(content->layout())->addWidget(m_table, 1);

    connect(
        m_table, &QTableWidget::itemSelectionChanged, this, &FavoritePortsDialog::onTableSelectionChanged);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= 0)
            onChangeStatusClicked();
    });
}

void FavoritePortsDialog::buildTools(QWidget *content)
{
    auto *tools = new QWidget(content);
    tools->setObjectName(QStringLiteral("toolsWidget"));
    tools->setStyleSheet(QLatin1String(kToolButtonStyle) + QLatin1String(Styles::kToolTip));
    auto *layout = new QHBoxLayout(tools);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    auto makeButton = [tools](const QString &text, const QString &toolTip, const QString &name) {
        auto *button = new QPushButton(text, tools);
        button->setObjectName(name);
        button->setToolTip(toolTip);
        button->setCursor(Qt::PointingHandCursor);
        return button;
    };
    m_exportButton = makeButton(QStringLiteral("📊 Экспорт"), QStringLiteral("Экспорт списка портов в файл"),
        QStringLiteral("exportButton"));
    m_importButton = makeButton(QStringLiteral("📥 Импорт"),
        QStringLiteral("Импорт портов из файла (только 9000-9999)"), QStringLiteral("importButton"));
    m_statusButton = makeButton(QStringLiteral("✏️ Статус"),
        QStringLiteral("Изменить статус выбранного порта"), QStringLiteral("statusButton"));
    m_deleteButton = makeButton(QStringLiteral("🗑️ Удалить"),
        QStringLiteral("Удалить выбранный порт из списка"), QStringLiteral("deleteButton"));
    m_addButton = makeButton(QStringLiteral("➕ Добавить"),
        QStringLiteral("Добавить новый порт в список (только 9000-9999)"), QStringLiteral("addButton"));

    layout->addWidget(m_exportButton);
    layout->addWidget(m_importButton);
    layout->addStretch();
    layout->addWidget(m_statusButton);
    layout->addWidget(m_deleteButton);
    layout->addWidget(m_addButton);
    qobject_cast<QVBoxLayout *>(content->layout())->addWidget(tools);

    connect(m_exportButton, &QPushButton::clicked, this, &FavoritePortsDialog::onExportClicked);
    connect(m_importButton, &QPushButton::clicked, this, &FavoritePortsDialog::onImportClicked);
    connect(m_statusButton, &QPushButton::clicked, this, &FavoritePortsDialog::onChangeStatusClicked);
    connect(m_deleteButton, &QPushButton::clicked, this, &FavoritePortsDialog::onDeleteClicked);
    connect(m_addButton, &QPushButton::clicked, this, &FavoritePortsDialog::onAddNewClicked);
}

void FavoritePortsDialog::refreshTable()
{
    const quint16 keepSelected = selectedPort();
    const QList<FavoritePort> favorites = m_store->favorites();

    m_table->setSortingEnabled(false);
    m_table->setRowCount(0);
    m_table->setRowCount(int(favorites.size()));
    for (int row = 0; row < favorites.size(); ++row)
        fillRow(row, favorites.at(row).port);
    m_table->setSortingEnabled(true);

    QHeaderView *header = m_table->horizontalHeader();
    m_table->resizeColumnsToContents();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(DescriptionColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(StarColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(ActionsColumn, QHeaderView::Fixed);
    m_table->setColumnWidth(StarColumn, 40);
    m_table->setColumnWidth(ActionsColumn, 150);
    // Never narrower than the texts, which depend on the fonts installed.
    m_table->setColumnWidth(PortColumn, qMax(80, m_table->columnWidth(PortColumn)));
    m_table->setColumnWidth(StatusColumn, qMax(100, m_table->columnWidth(StatusColumn) + 16));
    m_table->setColumnWidth(AddedColumn, qMax(130, m_table->columnWidth(AddedColumn)));

    // An edited favourite stays selected; a deleted one leaves no selection behind.
    const int row = rowOfPort(keepSelected);
    if (row >= 0)
        m_table->selectRow(row);
    else
        m_table->clearSelection();
    updateButtons();
}

void FavoritePortsDialog::fillRow(int row, quint16 port)
{
    const FavoritePort favorite = m_store->getFavorite(port);
    const QColor color = statusColor(favorite.status);

    auto *starItem = new SortItem(QString(), favorite.status);
    m_table->setItem(row, StarColumn, starItem);
    auto *star = new QLabel;
    star->setFixedSize(24, 24);
    star->setAlignment(Qt::AlignCenter);
    star->setPixmap(Icons::pixmap(Icons::star(starColor(favorite.status), true, 18), 18));
    QWidget *starHolder = centered(star, m_table);
    // Clicks go through to the table, so the star selects and double-clicks like any cell.
    starHolder->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_table->setCellWidget(row, StarColumn, starHolder);

    auto *portItem = new SortItem(QString::number(port), int(port));
    portItem->setData(Qt::UserRole, int(port));
    portItem->setTextAlignment(Qt::AlignCenter);
    QFont portFont(QLatin1String(Styles::kFontNumbersFamily), 11, QFont::Bold);
    portFont.setStyleHint(QFont::Monospace);
    portItem->setFont(portFont);
    portItem->setForeground(color);
    m_table->setItem(row, PortColumn, portItem);

    auto *descriptionItem = new QTableWidgetItem(favorite.description);
    descriptionItem->setForeground(color);
    descriptionItem->setToolTip(plainToolTip(favorite.description));
    m_table->setItem(row, DescriptionColumn, descriptionItem);

    auto *statusItem = new SortItem(FavoritePortsManager::statusName(favorite.status), favorite.status);
    statusItem->setTextAlignment(Qt::AlignCenter);
    QFont statusFont = m_table->font();
    statusFont.setPointSize(10);
    statusFont.setBold(true);
    statusItem->setFont(statusFont);
    statusItem->setForeground(color);
    m_table->setItem(row, StatusColumn, statusItem);

    auto *addedItem
        = new SortItem(favorite.addedDate.toString(QStringLiteral("dd.MM.yyyy HH:mm")), favorite.addedDate);
    addedItem->setTextAlignment(Qt::AlignCenter);
    addedItem->setForeground(QColor(QLatin1String(Styles::kTextMuted)));
    m_table->setItem(row, AddedColumn, addedItem);

    m_table->setItem(row, ActionsColumn, new SortItem(QString(), int(port)));
    auto *publish = new QPushButton(QStringLiteral("📢 Опубликовать"));
    publish->setObjectName(QStringLiteral("publishButton"));
    publish->setFixedSize(120, 32);
    publish->setCursor(Qt::PointingHandCursor);
    publish->setStyleSheet(QLatin1String(kPublishButtonStyle));
    QWidget *holder = centered(publish, m_table);
    // The row is looked up at click time: sorting moves the button with its row.
    connect(publish, &QPushButton::clicked, this, [this, holder = QPointer<QWidget>(holder)] {
        if (holder)
            publishRow(holder);
    });
    m_table->setCellWidget(row, ActionsColumn, holder);
}

quint16 FavoritePortsDialog::selectedPort() const
{
    const QList<QTableWidgetItem *> selected = m_table->selectedItems();
    for (const QTableWidgetItem *item : selected) {
        if (const QTableWidgetItem *portItem = m_table->item(item->row(), PortColumn))
            return quint16(portItem->data(Qt::UserRole).toUInt());
    }
    return 0;
}

int FavoritePortsDialog::rowOfPort(quint16 port) const
{
    if (port == 0)
        return -1;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QTableWidgetItem *item = m_table->item(row, PortColumn);
        if (item && item->data(Qt::UserRole).toUInt() == port)
            return row;
    }
    return -1;
}

void FavoritePortsDialog::updateButtons()
{
    const bool hasRow = selectedPort() != 0;
    m_statusButton->setEnabled(hasRow);
    m_deleteButton->setEnabled(hasRow);
}

void FavoritePortsDialog::onTableSelectionChanged()
{
    updateButtons();
}

void FavoritePortsDialog::showEvent(QShowEvent *event)
{
    BaseMovableDialog::showEvent(event);
    m_store->saveFavorites();
    raise();
    activateWindow();
}

void FavoritePortsDialog::onCloseClicked()
{
    m_store->saveFavorites();
    accept();
}

void FavoritePortsDialog::onChangeStatusClicked()
{
    const quint16 port = selectedPort();
    if (port == 0)
        return;
    const FavoritePort favorite = m_store->getFavorite(port);
    if (favorite.isNull()) {
        refreshTable();
        return;
    }
    FavoriteEditWindow editor(m_store, favorite, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    refreshTable();
    MessageBox::information(this, QStringLiteral("Успех"), QStringLiteral("Порт успешно обновлен"));
}

void FavoritePortsDialog::onDeleteClicked()
{
    const quint16 port = selectedPort();
    if (port == 0)
        return;
    const QTableWidgetItem *description = m_table->item(rowOfPort(port), DescriptionColumn);
    const QString text = QStringLiteral("Вы уверены, что хотите удалить порт <b>%1</b>?<br><br>Описание: %2")
                             .arg(port)
                             .arg((description ? description->text() : QString()).toHtmlEscaped());
    const QMessageBox::StandardButton answer
        = MessageBox::show(QMessageBox::Question, this, QStringLiteral("Подтверждение удаления"), text,
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No, Qt::RichText);
    if (answer != QMessageBox::Yes)
        return;
    m_store->removeFavorite(port);
    m_store->saveFavorites();
    refreshTable();
}

void FavoritePortsDialog::onAddNewClicked()
{
    FavoriteAddWindow adder(m_store, this);
    if (adder.exec() == QDialog::Accepted)
        refreshTable();
}

void FavoritePortsDialog::onExportClicked()
{
    const QString name = QStringLiteral("torval_favorite_ports_%1.txt")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm")));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString proposed = documents.isEmpty() ? name : QDir(documents).filePath(name);
    const QString path = FileDialog::getSaveFileName(
        this, QStringLiteral("Экспорт избранных портов"), proposed, kFileFilter);
    if (path.isEmpty())
        return;
    if (m_store->exportToFile(path)) {
        MessageBox::information(this, QStringLiteral("Экспорт завершен"),
            QStringLiteral("Избранные порты успешно экспортированы:\n%1")
                .arg(QDir::toNativeSeparators(path)));
    } else {
        MessageBox::warning(
            this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось экспортировать порты"));
    }
}

void FavoritePortsDialog::onImportClicked()
{
    const QString path = FileDialog::getOpenFileName(
        this, QStringLiteral("Импорт избранных портов"), QString(), kFileFilter);
    if (path.isEmpty())
        return;
    ImportCheckWindow check(m_store->validateImportFile(path), this);
    if (check.exec() != QDialog::Accepted)
        return;
    if (m_store->importFromFile(path)) {
        refreshTable();
        m_store->saveFavorites();
        MessageBox::information(this, QStringLiteral("Импорт завершен"),
            QStringLiteral("Избранные порты успешно импортированы (неподходящие порты пропущены)"));
    } else {
        MessageBox::warning(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось импортировать порты"));
    }
}

void FavoritePortsDialog::publishRow(QWidget *holder)
{
    if (!m_publisher) {
        MessageBox::warning(
            this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось найти главное окно приложения"));
        return;
    }
    int row = -1;
    for (int r = 0; r < m_table->rowCount() && row < 0; ++r) {
        if (m_table->cellWidget(r, ActionsColumn) == holder)
            row = r;
    }
    const QTableWidgetItem *portItem = row >= 0 ? m_table->item(row, PortColumn) : nullptr;
    const QTableWidgetItem *descriptionItem = row >= 0 ? m_table->item(row, DescriptionColumn) : nullptr;
    if (!portItem || !descriptionItem)
        return;
    bool isNumber = false;
    quint16 port = portItem->text().toUShort(&isNumber);
    if (!isNumber)
        port = 0;
    const QString description = descriptionItem->text();
    const int status = m_store->getFavorite(port).status;

    PublishPortWindow window(port, description, this);
    if (window.exec() != QDialog::Accepted)
        return;
    m_publisher(port, description, status, window.comment());
}
