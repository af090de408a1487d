// The main window's widget tree. The object names are fixed: the style sheet selects them.

#include "core/appconfig.h"
#include "app/mainwindowstyle.h"
#include "app/pingmonitorwidget.h"
#include "ui/animatedbackground.h"
#include "ui/cachedlabel.h"
#include "ui/icons.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kDash = QString::fromUtf8(MainWindowStyle::kDash);

QLabel *centredLabel(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A fixed caption: drawn once, then copied on every repaint of the background.
QLabel *caption(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *label = new CachedLabel(text, parent);
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QProgressBar *thinBar(const QString &objectName, QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setObjectName(objectName);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(8);
    return bar;
}

} // namespace

void PingMonitorWidget::buildUi()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildTitleBar());

    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("contentPanel"));
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(25, 25, 25, 25);
    contentLayout->setSpacing(20);
    contentLayout->addWidget(buildMetricsPanel());
    contentLayout->addWidget(buildSessionPanel());
    layout->addWidget(content, 1);
    layout->addWidget(buildBottomPanel());
}

QWidget *PingMonitorWidget::buildTitleBar()
{
    m_titleBar = new QWidget(this);
    m_titleBar->setObjectName(QStringLiteral("titleBar"));
    m_titleBar->setFixedHeight(kTitleBarHeight);
    auto *row = new QHBoxLayout(m_titleBar);
    row->setContentsMargins(6, 6, 6, 6);
    row->setSpacing(4);

    auto *icon = new QLabel(m_titleBar);
    icon->setFixedSize(20, 20);
    icon->setPixmap(QApplication::windowIcon().pixmap(20, 20));
    row->addWidget(icon);
    auto *title = new QLabel(QStringLiteral("KESTREL"), m_titleBar);
    title->setObjectName(QStringLiteral("titleLabel"));
    row->addWidget(title);
    auto *version = new QLabel(QStringLiteral("v%1").arg(QLatin1String(AppConfig::kAppVersion)), m_titleBar);
    version->setObjectName(QStringLiteral("versionLabel"));
    row->addWidget(version);
    row->addStretch();

    // The game's state sits where a player looks first: the title bar.
    m_gameStateLabel = new QLabel(QStringLiteral("ИГРА НЕ ЗАПУЩЕНА"), m_titleBar);
    m_gameStateLabel->setObjectName(QStringLiteral("gameStateLabel"));
    m_gameStateLabel->setToolTip(QStringLiteral("Русская Рыбалка 4"));
    row->addWidget(m_gameStateLabel);
    row->addSpacing(12);

    m_functionsButton = new SvgButton(Icons::menu(), m_titleBar);
    m_functionsButton->setToolTip(QStringLiteral("Функции (Ctrl+F)"));
    m_minimizeButton = new SvgButton(Icons::minimize(), m_titleBar);
    m_minimizeButton->setToolTip(QStringLiteral("Свернуть"));
    m_closeButton = new SvgButton(Icons::close(), m_titleBar);
    m_closeButton->setToolTip(QStringLiteral("Закрыть (Ctrl+Q)"));
    for (SvgButton *button : {m_functionsButton, m_minimizeButton, m_closeButton}) {
        button->setFixedSize(25, 25);
        button->setStyleSheet(QLatin1String(Styles::kIconButton));
        row->addWidget(button);
    }
    connect(m_functionsButton, &QPushButton::clicked, this, &PingMonitorWidget::showFunctionsMenu);
    connect(m_minimizeButton, &QPushButton::clicked, this, &PingMonitorWidget::toggleWindowVisibility);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    return m_titleBar;
}

QWidget *PingMonitorWidget::buildMetricsPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("metricsPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setFixedHeight(200);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(25, 20, 25, 20);
    grid->setHorizontalSpacing(25);
    grid->setVerticalSpacing(12);

    const QStringList titles {QStringLiteral("🌐 СЕРВЕР"), QStringLiteral("🔢 ПОРТ"), QStringLiteral("⚡ ПИНГ"),
        QStringLiteral("📡 КАЧЕСТВО")};
    for (int column = 0; column < titles.size(); ++column)
        grid->addWidget(caption(titles.at(column), QStringLiteral("metricTitle"), panel), 0, column);

    m_hostLabel = centredLabel(kDash, QStringLiteral("metricValueHost"), panel);
    m_portLabel = centredLabel(kDash, QStringLiteral("metricValuePort"), panel);
    m_pingLabel = centredLabel(kDash, QStringLiteral("metricValuePing"), panel);
    m_qualityLabel = centredLabel(kDash, QStringLiteral("metricValueQuality"), panel);

    auto *portContainer = new QWidget(panel);
    portContainer->setObjectName(QStringLiteral("portContainer"));
    auto *portRow = new QHBoxLayout(portContainer);
    portRow->setContentsMargins(0, 0, 0, 0);
    portRow->setSpacing(5);
    portRow->addStretch();
    portRow->addWidget(m_portLabel);
    createFavoriteButton(portContainer);
    portRow->addWidget(m_favoriteButton);
    portRow->addStretch();

    grid->addWidget(m_hostLabel, 1, 0);
    grid->addWidget(portContainer, 1, 1);
    grid->addWidget(m_pingLabel, 1, 2);
    grid->addWidget(m_qualityLabel, 1, 3);

    grid->addWidget(caption(QStringLiteral("📍 ГЕОЛОКАЦИЯ"), QStringLiteral("metricTitle"), panel), 2, 0);
    m_geoLabel = centredLabel(kDash, QStringLiteral("metricValueGeo"), panel);
    m_geoLabel->setMinimumHeight(32);
    grid->addWidget(m_geoLabel, 2, 1, 1, 3);

    m_connectionBar = thinBar(QStringLiteral("connectionBar"), panel);
    grid->addWidget(m_connectionBar, 3, 0, 1, 4);
    for (int column = 0; column < 4; ++column)
        grid->setColumnStretch(column, 1);
    return panel;
}

void PingMonitorWidget::createFavoriteButton(QWidget *portContainer)
{
    m_favoriteButton = new QPushButton(QStringLiteral("☆"), portContainer);
    m_favoriteButton->setObjectName(QStringLiteral("favoriteButton"));
    m_favoriteButton->setFixedSize(30, 30);
    m_favoriteButton->setCursor(Qt::PointingHandCursor);
    m_favoriteButton->setContextMenuPolicy(Qt::CustomContextMenu);
    m_favoriteButton->hide();
    connect(m_favoriteButton, &QPushButton::clicked, this, &PingMonitorWidget::toggleFavorite);
    connect(m_favoriteButton, &QPushButton::customContextMenuRequested, this,
        &PingMonitorWidget::showFavoritesContextMenu);
    m_favoriteButton->raise();
}

QWidget *PingMonitorWidget::buildSessionPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("sessionPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setFixedHeight(140);
    auto *grid = new QGridLayout(panel);
    grid->setContentsMargins(25, 20, 25, 20);
    grid->setHorizontalSpacing(20);
    grid->setVerticalSpacing(12);

    const QStringList titles {QStringLiteral("⏱ ВРЕМЯ СЕССИИ"), QStringLiteral("📊 СРЕДНИЙ ПИНГ"),
        QStringLiteral("🪢 СТАБИЛЬНОСТЬ"), QStringLiteral("🌐 ТИП СЕТИ")};
    for (int column = 0; column < titles.size(); ++column)
        grid->addWidget(caption(titles.at(column), QStringLiteral("sessionTitle"), panel), 0, column);

    m_sessionTimerLabel
        = centredLabel(QStringLiteral("00:00:00"), QStringLiteral("sessionTimerLabel"), panel);
    m_sessionPingLabel = centredLabel(kDash, QStringLiteral("sessionPingLabel"), panel);
    m_sessionStabilityLabel = centredLabel(kDash, QStringLiteral("sessionStabilityLabel"), panel);
    m_networkTypeLabel = centredLabel(kDash, QStringLiteral("networkTypeLabel"), panel);
    grid->addWidget(m_sessionTimerLabel, 1, 0);
    grid->addWidget(m_sessionPingLabel, 1, 1);
    grid->addWidget(m_sessionStabilityLabel, 1, 2);
    grid->addWidget(m_networkTypeLabel, 1, 3);

    m_sessionBar = thinBar(QStringLiteral("sessionProgressBar"), panel);
    grid->addWidget(m_sessionBar, 2, 0, 1, 4);
    for (int column = 0; column < 4; ++column)
        grid->setColumnStretch(column, 1);
    return panel;
}

QWidget *PingMonitorWidget::buildBottomPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("bottomPanel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setFixedHeight(40);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(15, 0, 15, 0);
    row->setSpacing(6);

    m_onlineIndicator = new QLabel(panel);
    m_onlineIndicator->setObjectName(QStringLiteral("onlineIndicator"));
    m_onlineIndicator->setFixedSize(10, 10);
    row->addWidget(m_onlineIndicator);
    auto *onlineText = new QLabel(QStringLiteral("Онлайн:"), panel);
    onlineText->setObjectName(QStringLiteral("onlineTextLabel"));
    row->addWidget(onlineText);
    m_onlineCountLabel = new QLabel(QStringLiteral("0"), panel);
    m_onlineCountLabel->setObjectName(QStringLiteral("onlineCountLabel"));
    row->addWidget(m_onlineCountLabel);
    row->addSpacing(12);

    m_statusLabel = new QLabel(QStringLiteral("Запуск KESTREL..."), panel);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setTextFormat(Qt::PlainText);
    row->addWidget(m_statusLabel, 1);

    auto *links = new QLabel(panel);
    links->setObjectName(QStringLiteral("telegramLabel"));
    links->setTextFormat(Qt::RichText);
    links->setText(QStringLiteral("<a href=\"%1\" style=\"color:#60a5fa; text-decoration:none;\">Telegram</a>"
                                  " · <a href=\"%2\" style=\"color:#60a5fa; text-decoration:none;\">Сайт</a>")
                       .arg(QLatin1String(AppConfig::kChannelUrl), QLatin1String(AppConfig::kWebSiteUrl)));
    links->setOpenExternalLinks(false);
    connect(links, &QLabel::linkActivated, this,
        [](const QString &link) { QDesktopServices::openUrl(QUrl(link)); });
    links->setCursor(Qt::PointingHandCursor);
    row->addWidget(links);
    row->addSpacing(12);

    auto *copyright = new QLabel(
        QStringLiteral("© %1 %2").arg(QDate::currentDate().year()).arg(QLatin1String(AppConfig::kMakerName)),
        panel);
    copyright->setObjectName(QStringLiteral("copyrightLabel"));
    row->addWidget(copyright);
    return panel;
}
