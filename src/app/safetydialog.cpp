#include "app/safetydialog.h"

#include "core/appconfig.h"
#include "ui/styles.h"
#include "ui/windowshape.h"

#include <QApplication>
#include <QDate>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char kBackgroundStyle[]
    = "QWidget#safetyBackground {   background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 "
      "rgba(15,23,42,240), "
      "stop:1 rgba(30,41,59,240));   border-radius: 16px;   border: 1px solid rgba(59,130,246,100);}";
const char kTitleBarStyle[]
    = "QWidget#titleBar {   background-color: rgba(15,23,42,220);   border-top-left-radius:14px; "
      "border-top-right-radius:14px;   border-bottom:1px solid rgba(51,65,85,100);}";
const char kTitleStyle[]
    = "color:#e2e8f0; font-size:16px; font-weight:600; letter-spacing:0.5px; background:transparent;";
const char kVersionStyle[]
    = "font-size:13px; color:#60a5fa; font-weight:500; background:transparent; margin-bottom:10px;";
const char kTextStyle[]
    = "QTextEdit { background:rgba(30,41,59,180); color:#cbd5e1; border:1px solid rgba(51,65,85,150); "
      "border-radius:12px; padding:20px; font-size:12px; line-height:1.5; }"
      "QTextEdit::viewport { background:transparent; }"
      "QScrollBar:vertical { background:rgba(15,23,42,150); width:8px; border-radius:4px; }"
      "QScrollBar::handle:vertical { background:#3b82f6; border-radius:4px; min-height:30px; }"
      "QScrollBar::handle:vertical:hover { background:#60a5fa; }"
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height:0px; }";
const char kAcceptStyle[]
    = "QPushButton { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #64748b, stop:1 #475569); "
      "border:none; color:white; font-size:14px; font-weight:bold; border-radius:10px; }"
      "QPushButton:enabled { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #3b82f6, stop:1 "
      "#2563eb); }"
      "QPushButton:enabled:hover { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #60a5fa, stop:1 "
      "#3b82f6); }QPushButton:enabled:pressed { background:#1d4ed8; }";
const char kDialogStyle[] = "QDialog { background:transparent; } QToolTip { background-color:#1e293b; "
                            "color:#e2e8f0; border:1px solid #3b82f6; border-radius:6px; }";

} // namespace

QString SafetyDialog::declarationHtml(const QDate &buildDate)
{
    const QString heading
        = QStringLiteral("<p style='color:#22d3ee; font-weight:bold; margin-top:14px;'>%1</p>");
    const QString items = QStringLiteral("<p style='margin-left:10px;'>%1</p>");
    QString html;
    html += QStringLiteral("<p align='center' style='color:#3b82f6; font-weight:bold; font-size:14px;'>"
                           "БЕЗОПАСНЫЙ МОНИТОРИНГ СЕТЕВОГО СОЕДИНЕНИЯ</p>");
    html += heading.arg(QStringLiteral("📋 НАЗНАЧЕНИЕ ПРОГРАММЫ:"));
    html += items.arg(QStringLiteral("• Пассивный мониторинг сетевых соединений<br>"
                                     "• Измерение качества связи с игровым сервером<br>"
                                     "• Статистический анализ сетевых параметров"));
    html += heading.arg(QStringLiteral("⚙️ ПРИНЦИП РАБОТЫ:"));
    html += items.arg(QStringLiteral("1. Чтение сетевой информации через системные API<br>"
                                     "2. ICMP ping для точного измерения времени отклика<br>"
                                     "3. Статистическая обработка полученных данных"));
    html += heading.arg(QStringLiteral("🛡️ ГАРАНТИИ БЕЗОПАСНОСТИ:"));
    html += items.arg(QStringLiteral("• Только режим чтения сетевых данных<br>"
                                     "• Без внедрения в процессы приложений<br>"
                                     "• Без модификации системных файлов<br>"
                                     "• Без изменения сетевых пакетов"));
    html += QStringLiteral("<p style='margin-top:20px;'>Версия программы: %1<br>Дата сборки: %2</p>")
                .arg(QLatin1String(AppConfig::kAppVersion), buildDate.toString(QStringLiteral("dd.MM.yyyy")));
    return html;
}

SafetyDialog::SafetyDialog(QWidget *parent) : BaseMovableDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(650, 550);
    setWindowTitle(QStringLiteral("Декларация безопасности"));
    setStyleSheet(QLatin1String(kDialogStyle));

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // The opaque panel sits behind everything; BaseDialog keeps it fitted and lowered.
    auto *background = new QWidget(this);
    background->setObjectName(QStringLiteral("safetyBackground"));
    background->setAttribute(Qt::WA_StyledBackground);
    background->setStyleSheet(QLatin1String(kBackgroundStyle));
    setBackgroundWidget(background);

    auto *titleBar = new QWidget(this);
    titleBar->setObjectName(QStringLiteral("titleBar"));
    titleBar->setAttribute(Qt::WA_StyledBackground);
    titleBar->setFixedHeight(45);
    titleBar->setStyleSheet(QLatin1String(kTitleBarStyle));
    auto *titleLayout = new QHBoxLayout(titleBar);
    titleLayout->setContentsMargins(15, 0, 15, 0);
    auto *iconLabel = new QLabel(titleBar);
    iconLabel->setFixedSize(20, 20);
    iconLabel->setStyleSheet(QStringLiteral("background:transparent; border:none;"));
    const QPixmap icon = QApplication::windowIcon().pixmap(20, 20);
    if (!icon.isNull())
        iconLabel->setPixmap(icon.scaled(20, 20, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    titleLayout->addWidget(iconLabel);
    auto *title = new QLabel(QStringLiteral("ДЕКЛАРАЦИЯ БЕЗОПАСНОСТИ"), titleBar);
    title->setStyleSheet(QLatin1String(kTitleStyle));
    titleLayout->addWidget(title);
    titleLayout->addStretch();
    root->addWidget(titleBar);
    setTitleBar(titleBar);

    auto *separator = new QFrame(this);
    separator->setFixedHeight(1);
    separator->setStyleSheet(QStringLiteral("background-color:rgba(51,65,85,100); border:none;"));
    root->addWidget(separator);

    auto *content = new QWidget(this);
    content->setStyleSheet(QLatin1String(Styles::kTransparent));
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(25, 20, 25, 25);
    auto *version
        = new QLabel(QStringLiteral("KESTREL v%1").arg(QLatin1String(AppConfig::kAppVersion)), content);
    version->setStyleSheet(QLatin1String(kVersionStyle));
    contentLayout->addWidget(version);

    m_text = new QTextEdit(content);
    m_text->setObjectName(QStringLiteral("declarationText"));
    m_text->setReadOnly(true);
    m_text->setFixedHeight(350);
    m_text->setStyleSheet(QLatin1String(kTextStyle));
    m_text->setHtml(declarationHtml(QDate::currentDate()));
    contentLayout->addWidget(m_text);

    auto *buttonRow = new QHBoxLayout;
    m_acceptButton = new QPushButton(QStringLiteral("ПРИНЯТЬ"), content);
    m_acceptButton->setFixedSize(160, 42);
    m_acceptButton->setCursor(Qt::PointingHandCursor);
    m_acceptButton->setStyleSheet(QLatin1String(kAcceptStyle));
    m_acceptButton->setEnabled(false);
    buttonRow->addStretch();
    buttonRow->addWidget(m_acceptButton);
    buttonRow->addStretch();
    contentLayout->addLayout(buttonRow);
    root->addWidget(content, 1);

    QScrollBar *bar = m_text->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (value == bar->maximum())
            m_acceptButton->setEnabled(true);
    });
    connect(m_acceptButton, &QPushButton::clicked, this, &QDialog::accept);

    applyRoundedMask(this, 16);
}

void SafetyDialog::showEvent(QShowEvent *event)
{
    BaseMovableDialog::showEvent(event);
    // The scroll range is known only once the text is laid out at its real width. A text
    // that needs no scrolling has been read in full as soon as it is seen.
    QTimer::singleShot(0, this, &SafetyDialog::unlockIfAtEnd);
}

void SafetyDialog::unlockIfAtEnd()
{
    const QScrollBar *bar = m_text->verticalScrollBar();
    if (bar->maximum() == 0)
        m_acceptButton->setEnabled(true);
}
