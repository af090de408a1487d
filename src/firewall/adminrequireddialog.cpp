#include "firewall/adminrequireddialog.h"

#include "ui/dialogchrome.h"
#include "ui/svgbutton.h"
#include "ui/systemsound.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char kTitleStyle[] = "QLabel {   color: #e2e8f0;   font-size: 13px;   font-weight: 600;   "
                           "letter-spacing: 0.5px;   background: transparent;}";
const char kWarningSignStyle[] = "QLabel {   font-size: 48px;   background: transparent;}";
const char kHeadingStyle[] = "QLabel {   color: #f87171;   font-size: 15px;   font-weight: bold;   "
                             "background: transparent;}";
const char kInfoBoxStyle[]
    = "QWidget#adminInfoBox {   background: rgba(30, 41, 59, 180);   border-radius: 10px;   "
      "border: 1px solid rgba(71, 85, 105, 100);}";
const char kInfoTextStyle[] = "QLabel {   color: #cbd5e1;   font-size: 11px;   background: transparent;   "
                              "line-height: 1.5;}";
const char kConfirmStyle[]
    = "QPushButton {   background: qlineargradient(x1:0, y1:0, x2:0, y2:1,       "
      "stop:0 #3b82f6, stop:1 #2563eb);   border: none;   color: white;   "
      "font-size: 13px;   font-weight: bold;   border-radius: 8px;}"
      "QPushButton:hover {   background: qlineargradient(x1:0, y1:0, x2:0, y2:1,       "
      "stop:0 #60a5fa, stop:1 #3b82f6);}"
      "QPushButton:pressed {   background: #1d4ed8;}";

} // namespace

AdminRequiredDialog::AdminRequiredDialog(QWidget *parent) : BaseMovableDialog(parent)
{
    DialogChrome::Options options;
    options.title = QStringLiteral("ТРЕБУЮТСЯ ПРАВА АДМИНИСТРАТОРА");
    options.fallbackIconText = QStringLiteral("⚠️");
    options.fixedSize = QSize(420, 480);
    options.backgroundPanel = false;
    options.titleStyle = QString::fromLatin1(kTitleStyle);
    options.titleSpacing = 10;
    options.closeToolTip = QStringLiteral("Закрыть");
    options.closeAction = DialogChrome::CloseAction::Accept;
    options.center = false; // placed at every show
    DialogChrome chrome = DialogChrome::build(this, options);
    if (!chrome.iconLabel->text().isEmpty())
        chrome.iconLabel->setStyleSheet(
            QStringLiteral("font-size: 14px; background: transparent; border: none;"));
    m_titleBar = chrome.titleBar;
    m_closeButton = chrome.closeButton;

    auto *sign = new QLabel(QStringLiteral("⚠️"), chrome.content);
    sign->setAlignment(Qt::AlignCenter);
    sign->setStyleSheet(QString::fromLatin1(kWarningSignStyle));
    chrome.contentLayout->addWidget(sign);

    auto *heading = new QLabel(QStringLiteral("НУЖНЫ ПРАВА АДМИНИСТРАТОРА"), chrome.content);
    heading->setAlignment(Qt::AlignCenter);
    heading->setStyleSheet(QString::fromLatin1(kHeadingStyle));
    chrome.contentLayout->addWidget(heading);

    auto *infoBox = new QWidget(chrome.content);
    infoBox->setObjectName(QStringLiteral("adminInfoBox"));
    infoBox->setAttribute(Qt::WA_StyledBackground);
    infoBox->setStyleSheet(QString::fromLatin1(kInfoBoxStyle));
    auto *infoLayout = new QVBoxLayout(infoBox);
    infoLayout->setContentsMargins(15, 12, 15, 12);
    infoLayout->setSpacing(10);
    auto *info = new QLabel(QStringLiteral("Для работы программы необходимы права администратора.\n\n"
                                           "После запуска от имени администратора вам будут доступны:\n"
                                           "• Мониторинг сетевых соединений\n"
                                           "• Управление правилами брандмауэра\n"
                                           "• Отображение окна поверх всех приложений\n\n"
                                           "▶ Как запустить:\n\n"
                                           "1. Закройте это окно\n"
                                           "2. Нажмите правой кнопкой мыши на файл программы\n"
                                           "3. Выберите «Запуск от имени администратора»"),
        infoBox);
    info->setObjectName(QStringLiteral("adminInfoText"));
    info->setWordWrap(true);
    info->setTextFormat(Qt::PlainText);
    info->setStyleSheet(QString::fromLatin1(kInfoTextStyle));
    infoLayout->addWidget(info);
    chrome.contentLayout->addWidget(infoBox);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 10, 0, 0);
    buttonRow->addStretch();
    m_confirmButton = new QPushButton(QStringLiteral("Понятно"), chrome.content);
    m_confirmButton->setObjectName(QStringLiteral("confirmButton"));
    m_confirmButton->setFixedSize(120, 38);
    m_confirmButton->setCursor(Qt::PointingHandCursor);
    m_confirmButton->setStyleSheet(QString::fromLatin1(kConfirmStyle));
    connect(m_confirmButton, &QPushButton::clicked, this, &QDialog::accept);
    buttonRow->addWidget(m_confirmButton);
    buttonRow->addStretch();
    chrome.contentLayout->addLayout(buttonRow);
}

void AdminRequiredDialog::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, 20), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRect(1, 1, width() - 2, height() - 2), 14, 14);
}

void AdminRequiredDialog::resizeEvent(QResizeEvent *event)
{
    applyRoundedMask(this, 16);
    BaseMovableDialog::resizeEvent(event);
}

void AdminRequiredDialog::showEvent(QShowEvent *event)
{
    BaseMovableDialog::showEvent(event);
    applyRoundedMask(this, 16);
    centerOnPrimaryScreen(this);
    QTimer::singleShot(50, this, [] { SystemSound::exclamation(); });
}
