#include "favorites/simpledialog.h"

#include "favorites/favoriteformwindow.h"
#include "favorites/statuschoice.h"
#include "ui/dialogchrome.h"
#include "ui/styles.h"
#include "ui/windowshape.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kMaskRadius = 20;

void paintFrame(QWidget *widget)
{
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor color(0x3b, 0x82, 0xf6);
    color.setAlpha(150);
    painter.setPen(QPen(color, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(1, 1, widget->width() - 2, widget->height() - 2), 18, 18);
}

// The frame has to lie above the animated background and the title bar, which cover the
// whole window, so it is drawn by a see-through sheet kept on top of the other children.
class FrameOverlay final : public QWidget
{
public:
    explicit FrameOverlay(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override { paintFrame(this); }
};

} // namespace

SimpleDialog::SimpleDialog(quint16 port, QWidget *parent) : BaseMovableDialog(parent), m_port(port)
{
    setObjectName(QStringLiteral("simpleDialog"));
    DialogChrome::Options options;
    options.title = QStringLiteral("Добавить порт в избранное");
    options.fixedSize = QSize(480, 520);
    options.maskRadius = kMaskRadius;
    options.backgroundPanel = false;
    options.titleBarStyle = QLatin1String(Styles::kTitleBarRound18);
    options.contentMargins = QMargins(30, 25, 30, 30);
    options.contentSpacing = 25;
    const DialogChrome chrome = DialogChrome::build(this, options);
    buildForm(chrome.content);

    m_frame = new FrameOverlay(this);
    m_frame->setGeometry(rect());
    m_frame->raise();
    m_description->setFocus();
}

void SimpleDialog::buildForm(QWidget *content)
{
    auto *layout = qobject_cast<QVBoxLayout *>(content->layout());

    auto *card = new QWidget(content);
    card->setObjectName(QStringLiteral("portCard"));
    card->setAttribute(Qt::WA_StyledBackground);
    card->setFixedHeight(100);
    card->setStyleSheet(
        QStringLiteral("QWidget#portCard { background-color:rgba(30,41,59,180); border-radius:20px; "
                       "border:1px solid rgba(59,130,246,120); }"));
    auto *cardLayout = new QVBoxLayout(card);
    auto *portLabel = new QLabel(QString::number(m_port), card);
    portLabel->setObjectName(QStringLiteral("portLabel"));
    portLabel->setAlignment(Qt::AlignCenter);
    portLabel->setMinimumHeight(70);
    portLabel->setStyleSheet(
        QStringLiteral("color:#22d3ee; font-size:52px; font-weight:bold; background:transparent; "
                       "border:none; font-family:Consolas, 'Courier New', monospace;"));
    cardLayout->addWidget(portLabel);
    layout->addWidget(card);

    m_description = new QLineEdit(content);
    m_description->setObjectName(QStringLiteral("descriptionEdit"));
    m_description->setPlaceholderText(QStringLiteral("Введите описание порта..."));
    m_description->setMinimumHeight(42);
    m_description->setStyleSheet(FavoriteFormWindow::lineEditStyle());
    layout->addWidget(m_description);

    auto *statusGroup = new QVBoxLayout;
    statusGroup->setSpacing(8);
    auto *statusLabel = new QLabel(QStringLiteral("Статус порта"), content);
    statusLabel->setStyleSheet(FavoriteFormWindow::fieldLabelStyle());
    statusGroup->addWidget(statusLabel);
    m_status = new QComboBox(content);
    m_status->setObjectName(QStringLiteral("statusBox"));
    m_status->setMinimumHeight(40);
    m_status->setStyleSheet(FavoriteFormWindow::comboBoxStyle());
    StatusChoice::fill(m_status, 0);
    statusGroup->addWidget(m_status);
    layout->addLayout(statusGroup);
    layout->addStretch();

    m_add = new QPushButton(QStringLiteral("Добавить"), content);
    m_add->setObjectName(QStringLiteral("addButton"));
    m_add->setFixedSize(160, 44);
    m_add->setCursor(Qt::PointingHandCursor);
    m_add->setDefault(true);
    m_add->setStyleSheet(QStringLiteral(
        "QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #10b981, stop:1 #059669); "
        "border:none; color:white; font-size:15px; font-weight:bold; border-radius:12px; } "
        "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #34d399, stop:1 "
        "#10b981); } "
        "QPushButton:pressed { background:#047857; }"));
    layout->addWidget(m_add, 0, Qt::AlignHCenter);
    // Return in the description field presses the default button.
    connect(m_add, &QPushButton::clicked, this, &QDialog::accept);
}

QString SimpleDialog::description() const
{
    return m_description->text().trimmed();
}

int SimpleDialog::status() const
{
    return m_status->currentData().toInt();
}

void SimpleDialog::paintEvent(QPaintEvent *event)
{
    // Normally hidden under the children; the overlay repeats it on top.
    paintFrame(this);
    BaseMovableDialog::paintEvent(event);
}

void SimpleDialog::resizeEvent(QResizeEvent *event)
{
    BaseMovableDialog::resizeEvent(event);
    applyRoundedMask(this, kMaskRadius);
    if (m_frame) {
        m_frame->setGeometry(rect());
        m_frame->raise();
    }
}

void SimpleDialog::showEvent(QShowEvent *event)
{
    BaseMovableDialog::showEvent(event);
    if (m_frame)
        m_frame->raise();
}
