#include "shared/sharedportsdialog.h"

#include "shared/catalogstyles.h"

#include "core/appconfig.h"
#include "favorites/favoriteportsmanager.h"
#include "shared/commentdialog.h"
#include "shared/portmessagewidget.h"
#include "shared/sharedportsclient.h"
#include "ui/animatedbackground.h"
#include "ui/dialogchrome.h"
#include "ui/messagebox.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaMethod>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString kLoadingText = QStringLiteral("⏳ Загрузка портов...");
} // namespace

SharedPortsDialog::SharedPortsDialog(
    const QString &userName, FavoritePortsManager *favorites, QWidget *parent)
    : BaseMovableDialog(parent), m_favorites(favorites), m_userName(userName)
{
    m_client = new SharedPortsClient(this);
    m_client->setBaseUrl(AppConfig::serviceUrl());

    buildUi();

    connect(m_client, &SharedPortsClient::portsReceived, this, &SharedPortsDialog::onPortsReceived);
    connect(m_client, &SharedPortsClient::publishFinished, this, &SharedPortsDialog::onPublishFinished);
    connect(m_client, &SharedPortsClient::unpublishFinished, this, &SharedPortsDialog::onUnpublishFinished);
    if (m_favorites) {
        // A port copied here or edited in the favourites dialog is offered at once.
        connect(m_favorites, &FavoritePortsManager::favoritesChanged, this,
            &SharedPortsDialog::refreshFavoritesCombo);
    }

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(kRefreshIntervalMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &SharedPortsDialog::onTimerRefresh);
    m_refreshTimer->start();

    connect(
        m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, &SharedPortsDialog::onScrollBarChanged);
    followOwner(parent);
    refreshFavoritesCombo();
}

SharedPortsDialog::~SharedPortsDialog()
{
    m_refreshTimer->stop();
    // Nothing in flight may report to a window being torn down (the comments windows
    // borrowing the client included).
    m_client->cancelRequest();
}

void SharedPortsDialog::buildUi()
{
    DialogChrome::Options options;
    options.title = QStringLiteral("Сеть портов");
    options.fixedSize = QSize(520, 680);
    options.maskRadius = 20;
    options.backgroundPanel = false;
    options.titleBarStyle = QString::fromLatin1(CatalogStyles::kTitleBarStyle);
    options.closeToolTip = QStringLiteral("Закрыть");
    options.contentMargins = QMargins(12, 12, 12, 12);
    options.contentSpacing = 8;
    DialogChrome chrome = DialogChrome::build(this, options);
    // This window paints its own panel; the animated one would cover it.
    setBackgroundWidget(nullptr);
    delete chrome.animatedBackground;

    chrome.titleBar->setFixedHeight(50);
    chrome.titleBar->setCursor(Qt::SizeAllCursor);
    chrome.titleLayout->setContentsMargins(18, 0, 18, 0);
    chrome.iconLabel->setFixedSize(22, 22);
    const QPixmap icon = QApplication::windowIcon().pixmap(22, 22);
    if (!icon.isNull())
        chrome.iconLabel->setPixmap(icon.scaled(22, 22, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    chrome.titleLabel->setText(QStringLiteral("СЕТЬ ПОРТОВ"));
    m_closeButton = chrome.closeButton;
    m_closeButton->setFixedSize(28, 28);
    m_closeButton->setStyleSheet(
        QString::fromLatin1(CatalogStyles::kCloseButtonStyle) + QString::fromLatin1(Styles::kToolTip));
    chrome.separator->setStyleSheet(QString::fromLatin1(CatalogStyles::kSeparatorStyle));

    m_list = new QListWidget(chrome.content);
    m_list->setObjectName(QStringLiteral("portList"));
    m_list->setStyleSheet(QString::fromLatin1(CatalogStyles::kListStyle));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSpacing(1); // both sides of a row: 2 pixels between cards
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->viewport()->installEventFilter(this);
    chrome.contentLayout->addWidget(m_list, 1);

    auto *onlineRow = new QHBoxLayout;
    onlineRow->setContentsMargins(0, 4, 0, 4);
    onlineRow->setSpacing(4);
    m_onlineDot = new QLabel(chrome.content);
    m_onlineDot->setObjectName(QStringLiteral("onlineDot"));
    m_onlineDot->setFixedSize(10, 10);
    m_onlineDot->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineGreenDot));
    onlineRow->addWidget(m_onlineDot);
    auto *onlineText = new QLabel(QStringLiteral("Онлайн:"), chrome.content);
    onlineText->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineTextStyle));
    onlineRow->addWidget(onlineText);
    m_onlineCount = new QLabel(QStringLiteral("0"), chrome.content);
    m_onlineCount->setObjectName(QStringLiteral("onlineCount"));
    m_onlineCount->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineGreenLabel));
    onlineRow->addWidget(m_onlineCount);
    onlineRow->addStretch();
    chrome.contentLayout->addLayout(onlineRow);

    chrome.contentLayout->addWidget(buildPublishPanel(chrome.content));
    buildEmojiPopup();
}

QWidget *SharedPortsDialog::buildPublishPanel(QWidget *parent)
{
    auto *panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("publishPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setStyleSheet(QString::fromLatin1(CatalogStyles::kPublishPanelStyle));
    panel->setFixedHeight(190);
    auto *layout = new QVBoxLayout(panel);
    // The 4-pixel top margin of the panel's own sheet sits above these.
    layout->setContentsMargins(12, 8 + 4, 12, 8);
    layout->setSpacing(6);

    m_favoritesCombo = new QComboBox(panel);
    m_favoritesCombo->setObjectName(QStringLiteral("favoritesCombo"));
    m_favoritesCombo->setFixedHeight(34);
    m_favoritesCombo->setStyleSheet(QString::fromLatin1(CatalogStyles::kComboStyle));
    connect(m_favoritesCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            m_selectedFavorite = static_cast<quint16>(m_favoritesCombo->itemData(index).toUInt());
    });
    layout->addWidget(m_favoritesCombo);

    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    m_commentEdit = new QPlainTextEdit(panel);
    m_commentEdit->setObjectName(QStringLiteral("commentEditor"));
    m_commentEdit->setPlaceholderText(QStringLiteral("Комментарий (обязательно)"));
    m_commentEdit->setMaximumHeight(70);
    m_commentEdit->setStyleSheet(QString::fromLatin1(CatalogStyles::kCommentEditStyle));
    connect(m_commentEdit, &QPlainTextEdit::textChanged, this, &SharedPortsDialog::onCommentTextChanged);
    row->addWidget(m_commentEdit, 1);

    m_emojiButton = new QPushButton(QStringLiteral("😊"), panel);
    m_emojiButton->setObjectName(QStringLiteral("emojiButton"));
    m_emojiButton->setFixedSize(40, 40);
    m_emojiButton->setCursor(Qt::PointingHandCursor);
    m_emojiButton->setStyleSheet(QString::fromLatin1(CatalogStyles::kEmojiButtonStyle));
    connect(m_emojiButton, &QPushButton::clicked, this, [this] {
        m_emojiPopup->move(m_emojiButton->mapToGlobal(QPoint(0, m_emojiButton->height())));
        m_emojiPopup->show();
    });
    row->addWidget(m_emojiButton);

    m_publishButton = new QPushButton(QStringLiteral("Опубликовать"), panel);
    m_publishButton->setObjectName(QStringLiteral("publishButton"));
    m_publishButton->setCursor(Qt::PointingHandCursor);
    m_publishButton->setStyleSheet(QString::fromLatin1(CatalogStyles::kPublishButtonStyle));
    fitButton(m_publishButton, 100, 45, 6);
    m_publishButton->setEnabled(false);
    connect(m_publishButton, &QPushButton::clicked, this, &SharedPortsDialog::onPublishClicked);
    row->addWidget(m_publishButton);
    layout->addLayout(row);
    layout->addStretch();
    return panel;
}

QStringList SharedPortsDialog::emojis()
{
    return {QStringLiteral("😊"), QStringLiteral("😂"), QStringLiteral("❤️"), QStringLiteral("👍"),
        QStringLiteral("🎣"), QStringLiteral("🐟"), QStringLiteral("🐠"), QStringLiteral("🐡"),
        QStringLiteral("⛵"), QStringLiteral("🌊"), QStringLiteral("☀️"), QStringLiteral("🔥"),
        QStringLiteral("💯"), QStringLiteral("✅"), QStringLiteral("❌"), QStringLiteral("⚠️"),
        QStringLiteral("📝"), QStringLiteral("🔧"), QStringLiteral("⚙️"), QStringLiteral("💡"),
        QStringLiteral("🎉"), QStringLiteral("🙏"), QStringLiteral("🤝")};
}

void SharedPortsDialog::buildEmojiPopup()
{
    m_emojiPopup = new QFrame(this, Qt::Popup | Qt::FramelessWindowHint);
    m_emojiPopup->setObjectName(QStringLiteral("emojiPopup"));
    // Rounded corners: a styled panel on a see-through window.
    m_emojiPopup->setAttribute(Qt::WA_TranslucentBackground);
    m_emojiPopup->setStyleSheet(QString::fromLatin1(CatalogStyles::kEmojiPopupStyle));
    auto *frameLayout = new QVBoxLayout(m_emojiPopup);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    auto *panel = new QWidget(m_emojiPopup);
    panel->setObjectName(QStringLiteral("emojiPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    frameLayout->addWidget(panel);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setSpacing(6);
    QFont font(QStringLiteral("Segoe UI Emoji"));
    font.setPointSize(18);
    const QStringList all = emojis();
    for (int i = 0; i < all.size(); ++i) {
        auto *button = new QPushButton(all.at(i), panel);
        button->setFixedSize(44, 44);
        button->setFont(font);
        button->setCursor(Qt::PointingHandCursor);
        const QString emoji = all.at(i);
        connect(button, &QPushButton::clicked, this, [this, emoji] { insertEmoji(emoji); });
        grid->addWidget(button, i / 4, i % 4);
    }
    m_emojiPopup->adjustSize();
}

void SharedPortsDialog::insertEmoji(const QString &emoji)
{
    m_commentEdit->insertPlainText(emoji);
    m_commentEdit->setFocus();
    m_emojiPopup->hide();
}

void SharedPortsDialog::followOwner(QWidget *owner)
{
    if (!owner)
        return;
    const QMetaObject *meta = owner->metaObject();
    const auto follow = [&](const char *signal, const char *slot) {
        const int signalIndex = meta->indexOfSignal(signal);
        const int slotIndex = metaObject()->indexOfSlot(slot);
        if (signalIndex >= 0 && slotIndex >= 0)
            connect(owner, meta->method(signalIndex), this, metaObject()->method(slotIndex));
    };
    follow("onlineCountChanged(int)", "onOnlineCountChanged(int)");
    follow("opacityChanged(int)", "onOpacityChanged(int)");
    if (meta->indexOfSignal("opacityChanged(int)") >= 0)
        onOpacityChanged(qRound(owner->window()->windowOpacity() * 100));
}

void SharedPortsDialog::setUserName(const QString &userName)
{
    m_userName = userName;
    loadPorts();
}

void SharedPortsDialog::loadPorts()
{
    if (!m_client || m_loading)
        return;
    m_loading = true;
    if (m_list->count() == 0) {
        auto *placeholder = new QListWidgetItem(kLoadingText, m_list);
        placeholder->setTextAlignment(Qt::AlignCenter);
        placeholder->setFlags(Qt::NoItemFlags);
    }
    m_client->fetchPorts(m_userName);
    refreshFavoritesCombo();
}

void SharedPortsDialog::reloadAfterChange()
{
    // A catalogue read that started before the change may not hold it: read again after it.
    if (m_loading)
        m_reloadPending = true;
    else
        loadPorts();
}

void SharedPortsDialog::onTimerRefresh()
{
    loadPorts();
}

void SharedPortsDialog::refreshFavoritesCombo()
{
    if (!m_favorites)
        return;
    const quint16 selected = m_selectedFavorite;
    const QSignalBlocker blocker(m_favoritesCombo);
    m_favoritesCombo->clear();
    for (const FavoritePort &favorite : m_favorites->favorites())
        m_favoritesCombo->addItem(QStringLiteral("%1 - %2").arg(favorite.port).arg(favorite.description),
            static_cast<uint>(favorite.port));
    if (m_favoritesCombo->count() == 0) {
        m_favoritesCombo->addItem(QStringLiteral("Нет избранных портов"), 0U);
        m_selectedFavorite = 0;
        return;
    }
    if (selected != 0) {
        const int index = m_favoritesCombo->findData(static_cast<uint>(selected));
        if (index >= 0)
            m_favoritesCombo->setCurrentIndex(index);
        else
            m_selectedFavorite = 0;
    }
}

PortMessageWidget *SharedPortsDialog::cardAt(int row) const
{
    QListWidgetItem *item = m_list->item(row);
    return item ? qobject_cast<PortMessageWidget *>(m_list->itemWidget(item)) : nullptr;
}

int SharedPortsDialog::cardCount() const
{
    int count = 0;
    for (int row = 0; row < m_list->count(); ++row)
        count += cardAt(row) != nullptr;
    return count;
}

void SharedPortsDialog::onPortsReceived(const QList<SharedPort> &ports, bool success, const QString &error)
{
    Q_UNUSED(error)
    m_loading = false;
    if (m_reloadPending) {
        m_reloadPending = false;
        QTimer::singleShot(0, this, &SharedPortsDialog::loadPorts);
    }
    if (m_list->count() == 1 && m_list->item(0)->text().contains(QStringLiteral("Загрузка")))
        delete m_list->takeItem(0);
    if (!success)
        return;

    QScrollBar *bar = m_list->verticalScrollBar();
    const int previousValue = bar->value();
    const int previousLimit = bar->maximum() - 10;

    m_ports = ports;
    std::stable_sort(
        m_ports.begin(), m_ports.end(), [](const SharedPort &a, const SharedPort &b) { return a.id < b.id; });

    // Only the cards whose entry changed are made again: a catalogue that did not change costs
    // no widget, and the list is not even repainted.
    const int changes = cardsToChange(m_ports);
    // Suspending repaints visits every widget of every card twice: worth it for many changes only.
    const bool suspend = changes > kQuietChanges;
    if (suspend)
        m_list->setUpdatesEnabled(false);
    if (changes > 0) {
        syncCards();
        m_list->doItemsLayout();
    }

    if (m_selectedPortId == -1) {
        m_list->scrollToBottom();
        m_atBottom = true;
    } else {
        for (int row = 0; row < m_list->count(); ++row) {
            const PortMessageWidget *card = cardAt(row);
            if (card && card->port().id == m_selectedPortId) {
                m_list->setCurrentRow(row, QItemSelectionModel::NoUpdate);
                break;
            }
        }
        if (previousValue < previousLimit) {
            if (previousValue > 0)
                bar->setValue(previousValue);
            m_atBottom = false;
        } else {
            m_list->scrollToBottom();
            m_atBottom = true;
        }
    }
    if (suspend)
        m_list->setUpdatesEnabled(true);
}

int SharedPortsDialog::cardsToChange(const QList<SharedPort> &ports) const
{
    QHash<int, const PortMessageWidget *> shown;
    int changes = 0;
    for (int row = 0; row < m_list->count(); ++row) {
        if (const PortMessageWidget *card = cardAt(row))
            shown.insert(card->port().id, card);
        else
            ++changes; // a row that is not a card
    }
    for (const SharedPort &port : ports) {
        const PortMessageWidget *card = shown.take(port.id);
        if (!card || !card->shows(port, m_userName))
            ++changes;
    }
    return changes + int(shown.size()); // and the withdrawn entries
}

void SharedPortsDialog::syncCards()
{
    // Both the rows and the entries are in id order: walk them side by side. New cards are
    // gathered and inserted in runs, one row insertion each: the list re-places every row
    // widget it holds after each insertion, which for a thousand cards one at a time costs
    // seconds.
    int row = 0;
    QList<SharedPort> run;
    const auto insertRun = [&] {
        if (run.isEmpty())
            return;
        m_list->insertItems(row, QStringList(run.size(), QString()));
        for (const SharedPort &port : std::as_const(run))
            addCard(port, row++);
        run.clear();
    };
    for (const SharedPort &port : std::as_const(m_ports)) {
        // Rows before this entry (withdrawn entries, a leftover row) go.
        while (row < m_list->count()) {
            const PortMessageWidget *card = cardAt(row);
            if (card && card->port().id >= port.id)
                break;
            delete m_list->takeItem(row);
        }
        const PortMessageWidget *card = cardAt(row);
        if (card && card->shows(port, m_userName)) {
            insertRun();
            ++row;
            continue;
        }
        if (card && card->port().id == port.id)
            delete m_list->takeItem(row); // changed: made again in its place
        run.append(port);
    }
    insertRun();
    while (m_list->count() > row)
        delete m_list->takeItem(row);
}

int SharedPortsDialog::cardWidth() const
{
    return m_list->viewport()->width() - 2 * m_list->spacing();
}

void SharedPortsDialog::addCard(const SharedPort &port, int row)
{
    // Made where the list keeps it: a card moved there afterwards is styled a second time.
    auto *card = new PortMessageWidget(port, m_userName, m_list->viewport());
    card->fitToWidth(cardWidth());
    QListWidgetItem *item = m_list->item(row);
    item->setSizeHint(QSize(cardWidth(), card->height()));
    m_list->setItemWidget(item, card);
    card->show();

    connect(card, &PortMessageWidget::clicked, this, &SharedPortsDialog::onPortClicked);
    if (card->isOwn()) {
        connect(card->deleteButton(), &QPushButton::clicked, this, [this, port] { deletePort(port); });
    } else {
        connect(card->favoriteButton(), &QPushButton::clicked, this, [this, port] { addToFavorites(port); });
        connect(card, &PortMessageWidget::clicked, this,
            [this](int portId, const QString &) { openComments(portId); });
    }
}

void SharedPortsDialog::onPortClicked(int portId, const QString &userName)
{
    Q_UNUSED(userName)
    m_selectedPortId = portId;
    for (int row = 0; row < m_list->count(); ++row) {
        const PortMessageWidget *card = cardAt(row);
        if (card && card->port().id == portId) {
            m_list->setCurrentRow(row, QItemSelectionModel::NoUpdate);
            break;
        }
    }
}

void SharedPortsDialog::openComments(int portId)
{
    if (CommentDialog *open = m_commentDialogs.value(portId)) {
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    auto *dialog = new CommentDialog(portId, m_userName, m_client, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_commentDialogs.insert(portId, dialog);
    dialog->show();
}

void SharedPortsDialog::onScrollBarChanged(int value)
{
    m_atBottom = value >= m_list->verticalScrollBar()->maximum() - 10;
}

void SharedPortsDialog::onCommentTextChanged()
{
    m_publishButton->setEnabled(!m_commentEdit->toPlainText().trimmed().isEmpty());
}

void SharedPortsDialog::onPublishClicked()
{
    const QString error = QStringLiteral("Ошибка");
    if (m_favoritesCombo->count() == 0 || m_favoritesCombo->currentData().toUInt() == 0) {
        MessageBox::warning(this, error, QStringLiteral("Нет избранных портов для публикации"));
        return;
    }
    m_selectedFavorite = static_cast<quint16>(m_favoritesCombo->currentData().toUInt());
    const QString comment = m_commentEdit->toPlainText().trimmed();
    if (comment.isEmpty()) {
        MessageBox::warning(this, error, QStringLiteral("Введите комментарий"));
        return;
    }
    const FavoritePort favorite = m_favorites ? m_favorites->getFavorite(m_selectedFavorite) : FavoritePort();
    if (favorite.isNull() || favorite.description.isEmpty()) {
        MessageBox::warning(this, error, QStringLiteral("Порт не найден в избранном"));
        return;
    }
    m_client->publishPort(m_userName, favorite.port, favorite.description, favorite.status, comment);
    m_commentEdit->clear();
    m_publishButton->setEnabled(false);
}

void SharedPortsDialog::onPublishFinished(bool success, const QString &error)
{
    if (success)
        QTimer::singleShot(500, this, &SharedPortsDialog::reloadAfterChange);
    else
        MessageBox::warning(this, QStringLiteral("Ошибка публикации"), error);
}

void SharedPortsDialog::deletePort(const SharedPort &port)
{
    if (port.id < 1) {
        qWarning() << "[ERROR] Cannot delete: invalid port id:" << port.id;
        return;
    }
    const QPointer<SharedPortsDialog> self(this);
    const auto answer = MessageBox::question(
        this, QStringLiteral("Подтверждение"), QStringLiteral("Удалить этот порт из общего каталога?"));
    if (self && answer == QMessageBox::Yes)
        m_client->unpublishPort(m_userName, port.id);
}

void SharedPortsDialog::onUnpublishFinished(bool success, const QString &error)
{
    if (success)
        reloadAfterChange();
    else
        MessageBox::warning(this, QStringLiteral("Ошибка удаления"), error);
}

void SharedPortsDialog::addToFavorites(const SharedPort &port)
{
    if (!m_favorites)
        return;
    if (m_favorites->isFavorite(port.port)) {
        MessageBox::information(
            this, QStringLiteral("Уже есть"), QStringLiteral("Порт %1 уже в вашем избранном").arg(port.port));
        return;
    }
    FavoritePort favorite;
    favorite.port = port.port;
    favorite.description = port.description;
    favorite.addedDate = QDateTime::currentDateTime();
    favorite.status = port.status;
    // The store refuses ports outside 9000-9999 and empty descriptions; say so rather than "added".
    if (!m_favorites->addFavorite(favorite)) {
        MessageBox::warning(this, QStringLiteral("Ошибка"),
            QStringLiteral("Порт %1 нельзя добавить в избранное").arg(port.port));
        return;
    }
    MessageBox::information(
        this, QStringLiteral("Добавлено"), QStringLiteral("Порт %1 добавлен в избранное").arg(port.port));
}

void SharedPortsDialog::onOnlineCountChanged(int count)
{
    if (count > 0) {
        m_onlineCount->setText(QString::number(count));
        m_onlineCount->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineGreenLabel));
        m_onlineDot->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineGreenDot));
    } else if (count == 0) {
        m_onlineCount->setText(QStringLiteral("0"));
        m_onlineCount->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineGreyLabel));
        m_onlineDot->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineGreyDot));
    } else {
        m_onlineCount->setText(QStringLiteral("?"));
        m_onlineCount->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineRedLabel));
        m_onlineDot->setStyleSheet(QString::fromLatin1(CatalogStyles::kOnlineRedDot));
    }
}

void SharedPortsDialog::onOpacityChanged(int percent)
{
    m_ownerOpacityPercent = percent;
    setWindowOpacity(percent / 100.0);
}

void SharedPortsDialog::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(15, 23, 42, 240));
    painter.drawRoundedRect(rect(), 20, 20);
}

void SharedPortsDialog::showEvent(QShowEvent *event)
{
    BaseMovableDialog::showEvent(event);
    loadPorts();
    // Follows the main window rather than the stored setting the base class applied.
    if (m_ownerOpacityPercent >= 0)
        setWindowOpacity(m_ownerOpacityPercent / 100.0);
}

bool SharedPortsDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) {
        const int width = cardWidth();
        for (int row = 0; row < m_list->count(); ++row) {
            if (PortMessageWidget *card = cardAt(row)) {
                card->fitToWidth(width);
                m_list->item(row)->setSizeHint(QSize(width, card->height()));
            }
        }
    }
    return BaseMovableDialog::eventFilter(watched, event);
}
