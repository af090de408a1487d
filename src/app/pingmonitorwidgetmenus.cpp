// The main window's ways in and out: tray icon and menu, functions menu, shortcuts.

#include "core/appconfig.h"
#include "app/mainwindowstyle.h"
#include "app/pingmonitorwidget.h"
#include "favorites/favoriteportsdialog.h"
#include "favorites/favoriteportsmanager.h"
#include "favorites/simpledialog.h"
#include "firewall/firewallmanagerdialog.h"
#include "monitor/connectionmonitor.h"
#include "monitor/pinggraphwindow.h"
#include "monitor/presenceclient.h"
#include "records/porthistorydialog.h"
#include "shared/sharedportsclient.h"
#include "shared/sharedportsdialog.h"
#include "ui/icons.h"
#include "ui/messagebox.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"
#include "ui/windowshape.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QWidgetAction>

namespace {

// The tray's own drawn icon, for a program without any icon at all.
QIcon drawnTrayIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x3b, 0x82, 0xf6));
    painter.drawEllipse(QRect(QPoint(0, 0), QPoint(31, 31)));
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRect(QPoint(8, 8), QPoint(23, 23)));
    painter.drawLine(16, 4, 16, 12);
    painter.drawLine(12, 16, 20, 16);
    return QIcon(pixmap);
}

} // namespace

void PingMonitorWidget::buildMenus()
{
    struct Entry
    {
        const char *text;
        QByteArray svg;
        void (PingMonitorWidget::*slot)();
    };
    // nullptr text marks a separator.
    const QList<Entry> functions {
        {"Скриншот", Icons::camera(), &PingMonitorWidget::takeScreenshot},
        {nullptr, {}, nullptr},
        {"Выбор диапазонов", Icons::firewall(), &PingMonitorWidget::showFirewallManager},
        {"Избранные порты", Icons::star(), &PingMonitorWidget::showFavoritesDialog},
        {"История подключений", Icons::clock(), &PingMonitorWidget::showPortHistory},
        {"График пинга", PingGraphWindow::iconSvg(), &PingMonitorWidget::showPingGraph},
        {"Сеть портов", Icons::globe(), &PingMonitorWidget::showSharedCatalog},
        {nullptr, {}, nullptr},
        {"Настройки", Icons::settings(), &PingMonitorWidget::showSettings},
    };
    const QList<Entry> trayOnly {
        {nullptr, {}, nullptr},
        {"Telegram", Icons::send(), &PingMonitorWidget::openTelegram},
        {"Выход", Icons::logOut(), nullptr},
    };

    auto fill = [this](QMenu *menu, const QList<Entry> &entries) {
        for (const Entry &entry : entries) {
            if (!entry.text) {
                if (!menu->isEmpty())
                    menu->addSeparator();
                continue;
            }
            QAction *action = menu->addAction(Icons::icon(entry.svg, 16), QString::fromUtf8(entry.text));
            if (entry.slot)
                connect(action, &QAction::triggered, this, entry.slot);
            else
                connect(action, &QAction::triggered, this, &QWidget::close);
        }
    };

    m_functionsMenu = new QMenu(this);
    m_functionsMenu->setStyleSheet(QLatin1String(Styles::kMenu));
    fill(m_functionsMenu, functions);

    m_trayMenu = new QMenu(this);
    m_trayMenu->setStyleSheet(QLatin1String(Styles::kMenu));
    fill(m_trayMenu, functions);
    fill(m_trayMenu, trayOnly);
}

void PingMonitorWidget::setupTray()
{
    QIcon icon = QApplication::windowIcon();
    const QString iconFile = QApplication::applicationDirPath() + QStringLiteral("/icon.ico");
    if (icon.isNull() && QFileInfo::exists(iconFile))
        icon = QIcon(iconFile);
    if (icon.isNull())
        icon = drawnTrayIcon();

    m_tray = new QSystemTrayIcon(icon, this);
    m_tray->setToolTip(QStringLiteral("KESTREL v%1\nКликните для показа/скрытия")
                           .arg(QLatin1String(AppConfig::kAppVersion)));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            toggleWindowVisibility();
    });
    m_tray->show();
}

void PingMonitorWidget::createShortcuts()
{
    const QList<QPair<QKeySequence, void (PingMonitorWidget::*)()>> shortcuts {
        {QKeySequence(QStringLiteral("Ctrl+W")), &PingMonitorWidget::toggleWindowVisibility},
        {QKeySequence(QStringLiteral("Ctrl+F")), &PingMonitorWidget::showFunctionsMenu},
        {QKeySequence(QStringLiteral("Ctrl+P")), &PingMonitorWidget::takeScreenshot},
        {QKeySequence(QStringLiteral("Ctrl+Shift+F")), &PingMonitorWidget::showFirewallManager},
        {QKeySequence(QStringLiteral("Ctrl+U")), &PingMonitorWidget::checkForUpdates},
        {QKeySequence(QStringLiteral("Ctrl+,")), &PingMonitorWidget::showSettings},
        {QKeySequence(QStringLiteral("Ctrl+H")), &PingMonitorWidget::showPortHistory},
        {QKeySequence(QStringLiteral("Ctrl+G")), &PingMonitorWidget::showPingGraph},
    };
    for (const auto &[keys, slot] : shortcuts) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    }
}

void PingMonitorWidget::openTelegram()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(AppConfig::kChannelUrl)));
}

void PingMonitorWidget::showFunctionsMenu()
{
    m_functionsMenu->popup(m_functionsButton->mapToGlobal(QPoint(0, m_functionsButton->height())));
}

void PingMonitorWidget::updateFavoriteButton()
{
    const quint16 port = m_monitor->currentPort();
    if (port == 0) {
        m_favoriteButton->setText(QStringLiteral("☆"));
        m_favoriteButton->hide();
        return;
    }
    if (!m_favorites->isFavorite(port)) {
        m_favoriteButton->setText(QStringLiteral("☆"));
        m_favoriteButton->setStyleSheet(MainWindowStyle::favoriteButtonStyle(
            QStringLiteral("#fbbf24"), QStringLiteral("#f59e0b"), QStringLiteral("#d97706")));
    } else {
        const QColor color(MainWindowStyle::portStatusColor(m_favorites->getFavorite(port).status));
        m_favoriteButton->setText(QStringLiteral("★"));
        m_favoriteButton->setStyleSheet(MainWindowStyle::favoriteButtonStyle(
            color.name(), color.lighter(130).name(), color.darker(130).name()));
    }
    m_favoriteButton->show();
}

void PingMonitorWidget::showFavoritesContextMenu()
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setWindowFlags(menu->windowFlags() | Qt::FramelessWindowHint);
    menu->setAttribute(Qt::WA_TranslucentBackground);
    menu->setStyleSheet(QLatin1String(MainWindowStyle::kFavoritesMenu));

    auto addRow = [menu](QWidget *row, bool enabled) {
        auto *action = new QWidgetAction(menu);
        action->setDefaultWidget(row);
        action->setEnabled(enabled);
        menu->addAction(action);
        return action;
    };

    auto *header = new QWidget(menu);
    auto *headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(10, 8, 10, 8);
    auto *headerIcon = new QLabel(header);
    headerIcon->setPixmap(Icons::pixmap(Icons::star(QColor(0xfb, 0xbf, 0x24), true, 20), 20));
    headerRow->addWidget(headerIcon);
    auto *headerText = new QLabel(QStringLiteral("⭐ Избранные порты"), header);
    headerText->setStyleSheet(QStringLiteral("color:#fbbf24; font-weight:bold; font-size:13px;"));
    headerRow->addWidget(headerText, 1);
    addRow(header, false);

    menu->addSeparator();
    QAction *add
        = menu->addAction(Icons::icon(Icons::plus(), 16), QStringLiteral("Добавить текущий порт..."));
    connect(add, &QAction::triggered, this, &PingMonitorWidget::toggleFavorite);

    const QList<FavoritePort> favorites = m_favorites->favorites();
    if (!favorites.isEmpty()) {
        auto *summary = new QLabel(QStringLiteral("<b>Избранные порты</b><br><span style='color:#94a3b8;"
                                                  "font-size:11px;'>Всего: %1 порт(ов)</span>")
                                       .arg(favorites.size()),
            menu);
        summary->setTextFormat(Qt::RichText);
        summary->setStyleSheet(QStringLiteral("color:#e2e8f0; font-size:12px; padding:6px 10px;"));
        addRow(summary, false);

        for (const FavoritePort &favorite : favorites) {
            const QString color = MainWindowStyle::portStatusColor(favorite.status);
            auto *row = new QWidget(menu);
            row->setProperty("port", favorite.port);
            row->setStyleSheet(
                QStringLiteral("QWidget[port='%1'] { background-color:transparent; border-radius:4px; }"
                               " QWidget[port='%1']:hover { background-color:rgba(59,130,246,80); }")
                    .arg(favorite.port));
            auto *line = new QHBoxLayout(row);
            line->setContentsMargins(10, 6, 10, 6);
            auto *dot = new QLabel(row);
            dot->setFixedSize(16, 16);
            dot->setStyleSheet(QStringLiteral("background-color:%1; border-radius:8px;").arg(color));
            line->addWidget(dot);
            // Descriptions may come from other players: they are text, never markup.
            auto *text
                = new QLabel(QStringLiteral("<b style='color:%1;'>%2</b><br><span style='color:#94a3b8;"
                                            "font-size:11px;'>%3</span>")
                                 .arg(color)
                                 .arg(favorite.port)
                                 .arg(favorite.description.toHtmlEscaped()),
                    row);
            text->setTextFormat(Qt::RichText);
            text->setTextInteractionFlags(Qt::NoTextInteraction); // a click on the row closes the menu
            line->addWidget(text, 1);
            if (favorite.port == m_monitor->currentPort()) {
                auto *current = new QLabel(row);
                current->setPixmap(Icons::pixmap(Icons::mapPin(), 16));
                current->setToolTip(QStringLiteral("Текущий порт"));
                line->addWidget(current);
            }
            QWidgetAction *action = addRow(row, true);
            action->setData(favorite.port);
        }
    }

    menu->addSeparator();
    QAction *manage = menu->addAction(Icons::icon(Icons::list(), 16), QStringLiteral("Управление списком"));
    connect(manage, &QAction::triggered, this, &PingMonitorWidget::showFavoritesDialog);
    menu->popup(m_favoriteButton->mapToGlobal(QPoint(0, m_favoriteButton->height() + 5)));
}

void PingMonitorWidget::onMiniOverlayFavoriteClicked(quint16 port)
{
    if (port == 0)
        return;
    m_favoritePortOverride = port;
    toggleFavorite();
    m_favoritePortOverride = 0;
    updateFavoriteButton();
    refreshMiniHud();
}

void PingMonitorWidget::onFavoritesChanged()
{
    updateFavoriteButton();
    refreshMiniHud();
}

void PingMonitorWidget::toggleFavorite()
{
    const quint16 port = m_favoritePortOverride ? m_favoritePortOverride : m_monitor->currentPort();
    if (port == 0)
        return;
    const QString green = QStringLiteral("color:#10b981;");
    if (m_favorites->isFavorite(port)) {
        setTransientStatus(
            QStringLiteral("✓ Порт %1 уже в избранном").arg(port), QStringLiteral("color:#fbbf24;"), 2000);
    } else {
        SimpleDialog dialog(port, this);
        centerOnParentOrScreen(&dialog);
        if (dialog.exec() == QDialog::Accepted && !dialog.description().isEmpty()) {
            FavoritePort favorite;
            favorite.port = port;
            favorite.description = dialog.description();
            favorite.addedDate = QDateTime::currentDateTime();
            favorite.status = dialog.status();
            if (m_favorites->addFavorite(favorite))
                setTransientStatus(QStringLiteral("✓ Порт %1 добавлен").arg(port), green, 2000);
        }
    }
    updateFavoriteButton();
}

void PingMonitorWidget::showFavoritesDialog()
{
    FavoritePortsDialog dialog(
        m_favorites,
        [this](quint16 port, const QString &description, int status, const QString &comment) {
            publishPort(port, description, status, comment);
        },
        this);
    // The dialog is modal and covers the status line: the answer to a publication made
    // from it is shown over it as well.
    connect(m_sharedPorts, &SharedPortsClient::publishFinished, &dialog,
        [&dialog](bool success, const QString &error) {
            if (success) {
                MessageBox::information(
                    &dialog, QStringLiteral("Публикация"), QStringLiteral("Порт успешно опубликован"));
            } else {
                MessageBox::warning(&dialog, QStringLiteral("Ошибка публикации"),
                    error.isEmpty() ? QStringLiteral("Сервис не принял публикацию") : error);
            }
        });
    dialog.exec();
    updateFavoriteButton();
}

void PingMonitorWidget::showPortHistory()
{
    PortHistoryDialog dialog(
        m_history,
        [favorites = m_favorites](quint16 port) -> std::optional<int> {
            if (!favorites->isFavorite(port))
                return std::nullopt;
            return favorites->getFavorite(port).status;
        },
        this);
    dialog.setSessionManager(m_sessions);
    dialog.exec();
}

PingGraphWindow *PingMonitorWidget::pingGraphWindow() const
{
    return m_graphWindow;
}

void PingMonitorWidget::showPingGraph()
{
    if (!m_graphWindow)
        m_graphWindow = new PingGraphWindow(m_timeline, this);
    m_graphWindow->show();
    m_graphWindow->raise();
    m_graphWindow->activateWindow();
}

void PingMonitorWidget::showFirewallManager()
{
    FirewallManagerDialog::openFor(this);
}

void PingMonitorWidget::showSharedCatalog()
{
    if (!m_sharedCatalog) {
        // It follows this window's online count and opacity by itself.
        m_sharedCatalog = new SharedPortsDialog(m_nickname, m_favorites, this);
        m_sharedCatalog->onOnlineCountChanged(m_presence->onlineCount());
    } else if (m_sharedCatalog->userName() != m_nickname) {
        m_sharedCatalog->setUserName(m_nickname);
    }
    m_sharedCatalog->show();
    m_sharedCatalog->raise();
    m_sharedCatalog->activateWindow();
}
