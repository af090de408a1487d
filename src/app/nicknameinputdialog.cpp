#include "app/nicknameinputdialog.h"

#include "ui/windowshape.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char kEditStyle[]
    = "QLineEdit {   background: #1e293b;   border: 1px solid #334155;   border-radius: 10px;   "
      "padding: 12px;   color: #e2e8f0;   font-size: 14px;}"
      "QLineEdit:focus { border: 2px solid #3b82f6; }";
const char kContinueStyle[]
    = "QPushButton {   background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #3b82f6, stop:1 #2563eb);   "
      "border: none;   color: white;   font-size: 14px;   font-weight: bold;   border-radius: 10px;}"
      "QPushButton:hover { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #60a5fa, stop:1 #3b82f6); "
      "}";
const char kExitStyle[]
    = "QPushButton {   background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #475569, stop:1 #334155);   "
      "border: none;   color: white;   font-size: 14px;   font-weight: bold;   border-radius: 10px;}"
      "QPushButton:hover { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #64748b, stop:1 #475569); "
      "}";

QPushButton *makeButton(const QString &text, const char *style, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedSize(140, 42);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QLatin1String(style));
    return button;
}

} // namespace

NicknameInputDialog::NicknameInputDialog(QWidget *parent) : BaseMovableDialog(parent)
{
    setWindowTitle(QStringLiteral("Выбор ника"));
    setFixedSize(450, 280);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(25, 25, 25, 25);

    auto *title = new QLabel(QStringLiteral("Введите игровой ник"), this);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("color:#e2e8f0; font-size:18px; font-weight:bold;"));
    layout->addWidget(title);

    auto *hint
        = new QLabel(QStringLiteral("Ник будет виден другим пользователям в общем каталоге портов"), this);
    hint->setAlignment(Qt::AlignCenter);
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color:#94a3b8; font-size:12px;"));
    layout->addWidget(hint);

    m_lineEdit = new QLineEdit(this);
    m_lineEdit->setPlaceholderText(QStringLiteral("Ваш игровой ник"));
    m_lineEdit->setMaxLength(kMaxLength);
    m_lineEdit->setStyleSheet(QLatin1String(kEditStyle));
    layout->addWidget(m_lineEdit);

    auto *row = new QHBoxLayout;
    row->setSpacing(15);
    m_continueButton = makeButton(QStringLiteral("Продолжить"), kContinueStyle, this);
    m_exitButton = makeButton(QStringLiteral("Выйти"), kExitStyle, this);
    m_continueButton->setDefault(true);
    row->addStretch();
    row->addWidget(m_continueButton);
    row->addWidget(m_exitButton);
    row->addStretch();
    layout->addLayout(row);

    connect(m_continueButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_lineEdit, &QLineEdit::returnPressed, this, &QDialog::accept);
    connect(m_exitButton, &QPushButton::clicked, this, &QDialog::reject);
    m_lineEdit->setFocus();
}

QString NicknameInputDialog::nickname() const
{
    return m_lineEdit->text().trimmed();
}

void NicknameInputDialog::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 16, 16);
    painter.setPen(Qt::NoPen);
    painter.fillPath(path, QColor(0x0f, 0x17, 0x2a, 240));
}

void NicknameInputDialog::resizeEvent(QResizeEvent *event)
{
    BaseMovableDialog::resizeEvent(event);
    applyRoundedMask(this, 16);
}
