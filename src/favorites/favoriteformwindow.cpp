#include "favorites/favoriteformwindow.h"

#include "ui/windowshape.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString panelStyle(const QString &name)
{
    return QStringLiteral("QWidget#%1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                          "stop:0 rgba(15,23,42,240), stop:1 rgba(30,41,59,240)); border-radius:16px; "
                          "border:1px solid rgba(59,130,246,100); }")
        .arg(name);
}

QString buttonStyle(const char *color, const char *hover)
{
    return QStringLiteral("QPushButton { background-color:%1; color:white; border:none; border-radius:8px; "
                          "font-size:13px; font-weight:bold; padding:0 18px; } "
                          "QPushButton:hover { background-color:%2; }")
        .arg(QLatin1String(color), QLatin1String(hover));
}

} // namespace

FavoriteFormWindow::FavoriteFormWindow(
    const QString &heading, const QString &backgroundName, const QSize &size, QWidget *parent)
    : BaseMovableDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(heading);
    setFixedSize(size);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    auto *panel = new QWidget(this);
    panel->setObjectName(backgroundName);
    panel->setAttribute(Qt::WA_StyledBackground);
    panel->setStyleSheet(panelStyle(backgroundName));
    outer->addWidget(panel);

    m_formLayout = new QVBoxLayout(panel);
    m_formLayout->setContentsMargins(25, 20, 25, 20);
    m_formLayout->setSpacing(10);

    auto *headingLabel = new QLabel(heading, panel);
    headingLabel->setObjectName(QStringLiteral("formHeading"));
    headingLabel->setTextFormat(Qt::PlainText);
    headingLabel->setAlignment(Qt::AlignCenter);
    headingLabel->setMinimumHeight(36);
    headingLabel->setStyleSheet(
        QStringLiteral("color:#e2e8f0; font-size:18px; font-weight:bold; background:transparent;"));
    m_formLayout->addWidget(headingLabel);
    setTitleBar(headingLabel);

    applyRoundedMask(this, 16);
    centerOnParentOrScreen(this);
}

QString FavoriteFormWindow::fieldLabelStyle()
{
    return QStringLiteral("color:#cbd5e1; font-size:13px; font-weight:600; background:transparent;");
}

QString FavoriteFormWindow::lineEditStyle()
{
    return QStringLiteral("background-color:rgba(30,41,59,200); color:#e2e8f0; border:1px solid "
                          "rgba(51,65,85,150); border-radius:8px; padding:6px 10px; font-size:13px; "
                          "selection-background-color:#3b82f6;");
}

QString FavoriteFormWindow::comboBoxStyle()
{
    return QStringLiteral("QComboBox { background-color:rgba(30,41,59,200); color:#e2e8f0; border:1px solid "
                          "rgba(51,65,85,150); border-radius:8px; padding:6px 10px; font-size:13px; } "
                          "QComboBox QAbstractItemView { background-color:#1e293b; color:#e2e8f0; "
                          "selection-background-color:#3b82f6; border:1px solid rgba(51,65,85,150); }");
}

QLabel *FavoriteFormWindow::addFieldLabel(const QString &text)
{
    auto *label = new QLabel(text, m_formLayout->parentWidget());
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(fieldLabelStyle());
    m_formLayout->addWidget(label);
    return label;
}

void FavoriteFormWindow::addButtons(const QString &confirmText, const QString &cancelText)
{
    QWidget *panel = m_formLayout->parentWidget();
    auto *row = new QHBoxLayout;
    row->setSpacing(12);
    m_confirmButton = new QPushButton(confirmText, panel);
    m_confirmButton->setObjectName(QStringLiteral("confirmButton"));
    m_confirmButton->setStyleSheet(buttonStyle("#3b82f6", "#2563eb"));
    m_cancelButton = new QPushButton(cancelText, panel);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setStyleSheet(buttonStyle("#475569", "#334155"));
    for (QPushButton *button : {m_confirmButton, m_cancelButton}) {
        button->setMinimumHeight(38);
        button->setCursor(Qt::PointingHandCursor);
        row->addWidget(button);
    }
    m_confirmButton->setDefault(true);
    m_formLayout->addStretch();
    m_formLayout->addLayout(row);
    connect(m_confirmButton, &QPushButton::clicked, this, [this] { onConfirm(); });
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}
