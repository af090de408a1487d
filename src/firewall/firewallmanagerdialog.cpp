#include "firewall/firewallmanagerdialog.h"

#include "firewall/firewallbackend.h"
#include "firewall/firewallcontroller.h"
#include "firewall/firewallhelpdialog.h"
#include "firewall/rangeitemwidget.h"
#include "ui/dialogchrome.h"
#include "ui/icons.h"
#include "ui/messagebox.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSvgWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtMath>

namespace {

const char kOwnStyle[]
    = "FirewallManagerDialog { background: transparent; } "
      "QGroupBox { background-color:transparent; color:#e2e8f0; font-size:13px; font-weight:bold; "
      "border:1px solid rgba(51,65,85,150); border-radius:12px; margin-top:10px; padding-top:10px; } "
      "QGroupBox::title { subcontrol-origin:margin; left:10px; padding:0 5px 0 5px; color:#e2e8f0; } "
      "QFrame#statusFrame { background-color:transparent; border:1px solid rgba(51,65,85,150); "
      "border-radius:12px; border-left:4px solid #3b82f6; } "
      "QLabel#statusLabel { font-size:14px; font-weight:600; } ";

const char kApplyStyle[]
    = "QPushButton {   background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #10b981, stop:1 #059669);  "
      " "
      "border: none; color: white; font-size: 14px; font-weight: bold; border-radius: 10px;   "
      "padding: 12px 28px; min-width: 220px;}"
      "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #34d399, stop:1 "
      "#10b981); }"
      "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #059669, stop:1 "
      "#047857); }"
      "QPushButton:disabled { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #10b981, stop:1 "
      "#059669); color: #d1fae5; }";

const char kSpinnerTextStyle[] = "color:white; font-size:14px; font-weight:bold; background:transparent;";

const QString kApplyText = QStringLiteral("ПРИМЕНИТЬ");
const QString kApplyingText = QStringLiteral("ПРИМЕНЕНИЕ");

// Shared by every manager window, so a new spinner may start at any dot count.
int s_dotCount = 0;

} // namespace

FirewallManagerDialog::FirewallManagerDialog(QWidget *parent, std::unique_ptr<FirewallBackend> backend)
    : BaseMovableDialog(parent)
{
    DialogChrome::Options options;
    options.title = QStringLiteral("УПРАВЛЕНИЕ ДИАПАЗОНАМИ ПОРТОВ");
    options.fixedSize = QSize(580, 750);
    options.stayOnTop = false; // the opener decides (openFor)
    options.center = false;
    DialogChrome chrome = DialogChrome::build(this, options);
    m_closeButton = chrome.closeButton;
    m_titleIcon = chrome.iconLabel;
    m_helpButton = chrome.addTitleButton(
        Icons::help(), QStringLiteral("Справка (Ctrl+H)"), QStringLiteral("helpButton"));
    chrome.titleLayout->insertSpacing(chrome.titleLayout->indexOf(m_closeButton), 4);
    connect(m_helpButton, &QPushButton::clicked, this, &FirewallManagerDialog::showHelp);
    // The tooltip promises the key, so the key works.
    auto *helpKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(helpKey, &QShortcut::activated, this, &FirewallManagerDialog::showHelp);

    m_controller
        = new FirewallController(backend ? std::move(backend) : FirewallBackend::createDefault(), this);
    buildContent(chrome.content, chrome.contentLayout);

    setStyleSheet(QString::fromLatin1(kOwnStyle) + QString::fromLatin1(Styles::kTitleBar)
        + QString::fromLatin1(Styles::kTitleLabel) + QString::fromLatin1(Styles::kIconButton)
        + QString::fromLatin1(Styles::kToolTip));

    connect(m_controller, &FirewallController::statusChanged, this, &FirewallManagerDialog::showStatus);
    connect(
        m_controller, &FirewallController::rowChanged, this, [this](int index, bool active, bool selected) {
            if (index < 0 || index >= m_rows.size())
                return;
            m_rows[index]->setActive(active);
            m_rows[index]->setSelected(selected);
        });
    connect(m_controller, &FirewallController::busyChanged, this, [this](bool busy) {
        if (busy)
            startApplyingAnimation();
        else
            stopApplyingAnimation();
    });
    connect(m_controller, &FirewallController::warningRequested, this,
        [this](const QString &title, const QString &text) { MessageBox::warning(this, title, text); });
    connect(m_controller, &FirewallController::informationRequested, this,
        [this](const QString &title, const QString &text) { MessageBox::information(this, title, text); });
    m_controller->setQuestionHandler([this](const QString &title, const QString &text) {
        return MessageBox::question(this, title, text) == QMessageBox::Yes;
    });
    // A clear asked for while an apply was running runs once that apply is done.
    connect(m_controller, &FirewallController::ruleApplied, this, [this] {
        if (m_clearAfterApply)
            clearRule();
    });
    connect(m_controller, &FirewallController::ruleCleared, this, [this] { m_clearAfterApply = false; });

    centerOnPrimaryScreen(this);
    m_controller->scheduleInitialCheck();
}

FirewallManagerDialog::~FirewallManagerDialog()
{
    delete m_spinnerTimer;
    delete m_dotsTimer;
}

void FirewallManagerDialog::buildContent(QWidget *content, QVBoxLayout *layout)
{
    auto *statusFrame = new QFrame(content);
    statusFrame->setObjectName(QStringLiteral("statusFrame"));
    statusFrame->setFixedHeight(65);
    auto *statusLayout = new QHBoxLayout(statusFrame);
    statusLayout->setContentsMargins(20, 10, 20, 10);
    statusLayout->setSpacing(15);
    m_statusIcon = new QSvgWidget(statusFrame);
    m_statusIcon->setObjectName(QStringLiteral("statusIcon"));
    m_statusIcon->setFixedSize(28, 28);
    statusLayout->addWidget(m_statusIcon);
    m_statusLabel = new QLabel(statusFrame);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setTextFormat(Qt::PlainText);
    statusLayout->addWidget(m_statusLabel, 1);
    const firewall::StatusView checking = firewall::checkingStatusView();
    showStatus(checking.text, checking.styleSheet, firewall::absentIconSvg());
    layout->addWidget(statusFrame);

    auto *group = new QGroupBox(QStringLiteral("ВЫБЕРИТЕ ДИАПАЗОН ПОРТОВ"), content);
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->setSpacing(10);
    groupLayout->setContentsMargins(15, 20, 15, 15);
    const auto &presets = FirewallController::presets();
    for (int i = 0; i < int(presets.size()); ++i) {
        auto *row = new RangeItemWidget(i, presets[size_t(i)].name, presets[size_t(i)].ports, group);
        connect(row, &RangeItemWidget::clicked, this, &FirewallManagerDialog::onRangeClicked);
        groupLayout->addWidget(row);
        m_rows.append(row);
    }
    layout->addWidget(group);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 10, 0, 0);
    buttonRow->addStretch();
    m_applyButton = new QPushButton(kApplyText, content);
    m_applyButton->setObjectName(QStringLiteral("applyButton"));
    m_applyButton->setFixedSize(260, 50);
    m_applyButton->setCursor(Qt::PointingHandCursor);
    m_applyButton->setStyleSheet(QString::fromLatin1(kApplyStyle));
    connect(m_applyButton, &QPushButton::clicked, this, &FirewallManagerDialog::applyRule);
    buttonRow->addWidget(m_applyButton);
    buttonRow->addStretch();
    // The window is taller than its content: the button sits in the middle of what is left.
    layout->addStretch();
    layout->addLayout(buttonRow);
    layout->addStretch();
}

int FirewallManagerDialog::openFor(QWidget *window, std::unique_ptr<FirewallBackend> backend)
{
    FirewallManagerDialog dialog(window, std::move(backend));
    dialog.prepareFor(window);
    return dialog.exec();
}

void FirewallManagerDialog::prepareFor(QWidget *window)
{
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint | Qt::Dialog);
    if (!window)
        return;
    const QIcon icon = window->windowIcon();
    setWindowIcon(icon);
    if (!icon.isNull())
        m_titleIcon->setPixmap(icon.pixmap(20, 20));
    QRect frame = geometry();
    frame.moveCenter(window->geometry().center());
    move(frame.topLeft());
}

int FirewallManagerDialog::activeIndex() const
{
    return m_controller->activeIndex();
}

int FirewallManagerDialog::selectedIndex() const
{
    return m_controller->selectedIndex();
}

void FirewallManagerDialog::applyRule()
{
    m_controller->applyRule();
}

void FirewallManagerDialog::clearRule()
{
    if (m_controller->isBusy()) {
        m_clearAfterApply = true;
        return;
    }
    m_controller->clearRule();
}

void FirewallManagerDialog::onRangeClicked(int index)
{
    m_controller->onRangeClicked(index);
}

void FirewallManagerDialog::showHelp()
{
    QPointer<FirewallHelpDialog> help = new FirewallHelpDialog(this);
    help->exec();
    if (!help)
        return;
    const bool clear = help->clearRequested();
    delete help;
    if (clear)
        clearRule();
}

void FirewallManagerDialog::reject()
{
    if (m_controller->isBusy())
        return;
    BaseMovableDialog::reject();
}

void FirewallManagerDialog::showStatus(
    const QString &text, const QString &styleSheet, const QByteArray &iconSvg)
{
    m_statusLabel->setText(text);
    m_statusLabel->setStyleSheet(styleSheet);
    m_statusIcon->load(iconSvg);
}

QPixmap FirewallManagerDialog::spinnerPixmap(int frame)
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 12; ++i) {
        const qreal angle = qDegreesToRadians(qreal((i - frame) * 30));
        const qreal c = qCos(angle);
        const qreal s = qSin(angle);
        QColor color(Qt::white);
        color.setAlpha(qMax(50, 255 - 20 * i));
        painter.setPen(QPen(color, 2));
        painter.drawLine(
            QPoint(int(12 + 7 * c), int(12 + 7 * s)), QPoint(int(12 + 10 * c), int(12 + 10 * s)));
    }
    return pixmap;
}

void FirewallManagerDialog::clearButtonLayout()
{
    QLayout *old = m_applyButton->layout();
    if (!old)
        return;
    while (QLayoutItem *item = old->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    delete old;
    // The labels are gone with the layout; the next start builds new ones.
    m_spinnerLabel = nullptr;
    m_spinnerText = nullptr;
}

void FirewallManagerDialog::startApplyingAnimation()
{
    m_applying = true;
    m_spinnerFrame = 0;
    m_applyButton->setEnabled(false);
    clearButtonLayout();
    m_applyButton->setText(QString());

    auto *layout = new QHBoxLayout(m_applyButton);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->setSpacing(10);
    layout->addStretch();
    m_spinnerLabel = new QLabel(m_applyButton);
    m_spinnerLabel->setObjectName(QStringLiteral("spinnerLabel"));
    m_spinnerLabel->setFixedSize(24, 24);
    m_spinnerLabel->setAlignment(Qt::AlignCenter);
    m_spinnerLabel->setStyleSheet(QString::fromLatin1(Styles::kTransparent));
    m_spinnerLabel->setPixmap(spinnerPixmap(m_spinnerFrame));
    layout->addWidget(m_spinnerLabel);
    m_spinnerText = new QLabel(kApplyingText + QStringLiteral("..."), m_applyButton);
    m_spinnerText->setObjectName(QStringLiteral("spinnerTextLabel"));
    m_spinnerText->setStyleSheet(QString::fromLatin1(kSpinnerTextStyle));
    m_spinnerText->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_spinnerText);
    layout->addStretch();
    m_spinnerLabel->show();
    m_spinnerText->show();

    delete m_spinnerTimer;
    m_spinnerTimer = new QTimer(this);
    m_spinnerTimer->setInterval(kSpinnerFrameMs);
    connect(m_spinnerTimer, &QTimer::timeout, this, &FirewallManagerDialog::advanceSpinner);
    m_spinnerTimer->start();
    delete m_dotsTimer;
    m_dotsTimer = new QTimer(this);
    m_dotsTimer->setInterval(kDotsMs);
    connect(m_dotsTimer, &QTimer::timeout, this, &FirewallManagerDialog::advanceDots);
    m_dotsTimer->start();
}

void FirewallManagerDialog::advanceSpinner()
{
    if (!m_applying || !m_spinnerLabel)
        return;
    m_spinnerFrame = (m_spinnerFrame + 1) % 12;
    m_spinnerLabel->setPixmap(spinnerPixmap(m_spinnerFrame));
}

void FirewallManagerDialog::advanceDots()
{
    s_dotCount = (s_dotCount + 1) % 4;
    if (m_spinnerText)
        m_spinnerText->setText(kApplyingText + QString(s_dotCount, QLatin1Char('.')));
}

void FirewallManagerDialog::stopApplyingAnimation()
{
    m_applying = false;
    delete m_spinnerTimer;
    m_spinnerTimer = nullptr;
    delete m_dotsTimer;
    m_dotsTimer = nullptr;
    clearButtonLayout();
    m_applyButton->setText(kApplyText);
    m_applyButton->setEnabled(true);
    m_applyButton->setStyleSheet(QString::fromLatin1(kApplyStyle));
    m_applyButton->update();
    m_applyButton->repaint();
}
