#include "overlay/settingsdialog.h"

#include "core/settingskeys.h"
#include "overlay/settingstarget.h"
#include "ui/dialogchrome.h"
#include "ui/messagebox.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const char kGroupStyle[]
    = "QGroupBox { color: #e2e8f0; font-size: 13px; font-weight: bold; border: 1px solid rgba(51, 65, 85, "
      "150); "
      "border-radius: 12px; margin-top: 8px; padding-top: 12px; background: transparent; } "
      "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 8px; color: #cbd5e1; }";
// The indicator is drawn here as well: with the label style alone an unticked box is
// invisible on the dark panel.
const char kCheckStyle[]
    = "QCheckBox { color: #cbd5e1; font-size: 12px; background: transparent; spacing: 8px; } "
      "QCheckBox::indicator { width: 16px; height: 16px; border: 1px solid rgba(100, 116, 139, 200); "
      "border-radius: 4px; background: rgba(30, 41, 59, 200); } "
      "QCheckBox::indicator:hover { border-color: #3b82f6; } "
      "QCheckBox::indicator:checked { background: #3b82f6; border-color: #3b82f6; "
      "image: url(:/overlay/icons/check.svg); }";
const char kLabelStyle[] = "color: #cbd5e1; font-size: 12px; background: transparent;";
const char kSliderStyle[]
    = "QSlider::groove:horizontal { height: 4px; background: #475569; border-radius: 2px; } "
      "QSlider::handle:horizontal { background: #22d3ee; width: 16px; height: 16px; margin: -6px 0; "
      "border-radius: 8px; } QSlider::handle:horizontal:hover { background: #3b82f6; }";
const char kSpinStyle[] = "QSpinBox { background: rgba(30, 41, 59, 200); color: #e2e8f0; border: 1px solid "
                          "rgba(71, 85, 105, 150); border-radius: 6px; padding: 4px; min-width: 60px; }";
const char kNicknameEditStyle[]
    = "QLineEdit {   background: rgba(30, 41, 59, 200);   color: #e2e8f0;   border: 1px solid rgba(71, 85, "
      "105, "
      "150);   border-radius: 6px;   padding: 6px 10px;   font-size: 12px;}QLineEdit:focus {   border-color: "
      "#3b82f6;}";
const char kNicknameButtonStyle[]
    = "QPushButton {   background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #ef4444, stop:1 #dc2626);   "
      "color: white;   font-size: 12px;   font-weight: bold;   border-radius: 6px;   border: none;}"
      "QPushButton:hover {   background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #f87171, stop:1 "
      "#ef4444);}"
      "QPushButton:pressed {   background: #b91c1c;}";
const char kApplyStyle[]
    = "QPushButton { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #10b981, stop:1 #059669); "
      "color: "
      "white; font-size: 13px; font-weight: bold; border-radius: 8px; border: none; } QPushButton:hover { "
      "background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #34d399, stop:1 #10b981); } "
      "QPushButton:pressed { background: #047857; }";
const char kCloseButtonStyle[]
    = "SvgButton { background-color: rgba(30, 41, 59, 0.5); border: 1px solid rgba(71, 85, 105, 0.6); "
      "border-radius: 6px; min-width:25px; min-height:25px; max-width:25px; max-height:25px; padding:0; } "
      "SvgButton:hover { background-color:rgba(51,65,85,0.7); border-color:rgba(100,116,139,0.8); }";

QCheckBox *makeCheck(const QString &text, QWidget *parent)
{
    auto *check = new QCheckBox(text, parent);
    check->setStyleSheet(QLatin1String(kCheckStyle));
    check->setCursor(Qt::PointingHandCursor);
    return check;
}

QLabel *makeLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setStyleSheet(QLatin1String(kLabelStyle));
    return label;
}

// A slider and a spin box over 30..100 that follow each other.
QHBoxLayout *makeOpacityRow(const QString &caption, QWidget *parent, QSlider **slider, QSpinBox **spin)
{
    auto *row = new QHBoxLayout;
    auto *label = makeLabel(caption, parent);
    label->setMinimumWidth(200); // both rows line up
    *slider = new QSlider(Qt::Horizontal, parent);
    (*slider)->setRange(30, 100);
    (*slider)->setStyleSheet(QLatin1String(kSliderStyle));
    (*slider)->setCursor(Qt::PointingHandCursor);
    *spin = new QSpinBox(parent);
    (*spin)->setRange(30, 100);
    (*spin)->setSuffix(QStringLiteral("%"));
    (*spin)->setStyleSheet(QLatin1String(kSpinStyle));
    QObject::connect(*slider, &QSlider::valueChanged, *spin, &QSpinBox::setValue);
    QObject::connect(*spin, qOverload<int>(&QSpinBox::valueChanged), *slider, &QSlider::setValue);
    row->addWidget(label);
    row->addWidget(*slider, 1);
    row->addWidget(*spin);
    return row;
}

} // namespace

static void initOverlayResources()
{
    // The resources live in a static library: nothing would pull them in otherwise.
    Q_INIT_RESOURCE(overlay);
}

SettingsDialog::SettingsDialog(QWidget *parent, SettingsTarget *target)
    : MovableDialog(parent), m_target(target ? target : dynamic_cast<SettingsTarget *>(parent))
{
    initOverlayResources();
    buildUi();
    loadSettings();
}

void SettingsDialog::buildUi()
{
    DialogChrome::Options options;
    options.title = QStringLiteral("НАСТРОЙКИ");
    options.fixedSize = QSize(500, 570);
    options.backgroundName = QStringLiteral("settingsBackground");
    options.backgroundStyle
        = QStringLiteral("QWidget#settingsBackground { background: transparent; "
                         "border-radius: 16px; border: 1px solid rgba(59, 130, 246, 100); }");
    options.titleStyle = QStringLiteral("QLabel { color: #e2e8f0; font-size: 16px; font-weight: 600; "
                                        "letter-spacing: 1px; background: transparent; border: none; }");
    options.contentMargins = QMargins(20, 15, 20, 10);
    options.contentSpacing = 15;
    const DialogChrome chrome = DialogChrome::build(this, options);
    setWindowTitle(QStringLiteral("Настройки"));

    // This window's title bar is 50 px tall with a 24 px icon.
    chrome.titleBar->setFixedHeight(50);
    chrome.iconLabel->setFixedSize(24, 24);
    const QPixmap icon = QApplication::windowIcon().pixmap(24, 24);
    if (!icon.isNull())
        chrome.iconLabel->setPixmap(icon.scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    chrome.closeButton->setStyleSheet(QLatin1String(kCloseButtonStyle) + QLatin1String(Styles::kToolTip));
    setStyleSheet(QLatin1String(Styles::kToolTip));

    QWidget *content = chrome.content;

    auto *windowGroup = new QGroupBox(QStringLiteral("Окно"), content);
    windowGroup->setStyleSheet(QLatin1String(kGroupStyle));
    auto *windowLayout = new QVBoxLayout(windowGroup);
    windowLayout->setContentsMargins(20, 20, 20, 20);
    windowLayout->setSpacing(18);
    m_alwaysOnTopCheck = makeCheck(QStringLiteral("Поверх всех окон"), windowGroup);
    windowLayout->addWidget(m_alwaysOnTopCheck);
    windowLayout->addLayout(makeOpacityRow(
        QStringLiteral("Прозрачность главного окна:"), windowGroup, &m_opacitySlider, &m_opacitySpin));
    windowLayout->addLayout(makeOpacityRow(QStringLiteral("Прозрачность мини-HUD:"), windowGroup,
        &m_miniOverlayOpacitySlider, &m_miniOverlayOpacitySpin));
    chrome.contentLayout->addWidget(windowGroup);

    auto *systemGroup = new QGroupBox(QStringLiteral("Система"), content);
    systemGroup->setStyleSheet(QLatin1String(kGroupStyle));
    auto *systemLayout = new QVBoxLayout(systemGroup);
    systemLayout->setContentsMargins(20, 20, 20, 20);
    systemLayout->setSpacing(18);
    m_autoStartCheck = makeCheck(QStringLiteral("Запускать вместе с Windows"), systemGroup);
    m_miniOverlayCheck = makeCheck(QStringLiteral("Показывать мини-HUD при сворачивании"), systemGroup);
    m_miniOverlayCheck->setChecked(true);
    m_notificationsCheck = makeCheck(QStringLiteral("Показывать уведомления (в трее)"), systemGroup);
    m_notificationsCheck->setChecked(true);
    systemLayout->addWidget(m_autoStartCheck);
    systemLayout->addWidget(m_miniOverlayCheck);
    systemLayout->addWidget(m_notificationsCheck);

    auto *nicknameRow = new QHBoxLayout;
    nicknameRow->setContentsMargins(0, 0, 0, 0);
    nicknameRow->setSpacing(12);
    nicknameRow->addWidget(makeLabel(QStringLiteral("Игровой ник:"), systemGroup));
    m_nicknameEdit = new QLineEdit(systemGroup);
    m_nicknameEdit->setPlaceholderText(QStringLiteral("Введите ник (до 3 смен)"));
    m_nicknameEdit->setMaxLength(30);
    m_nicknameEdit->setStyleSheet(QLatin1String(kNicknameEditStyle));
    m_nicknameEdit->setText(openSettings().value(QLatin1String(SettingsKeys::kChatUserName)).toString());
    nicknameRow->addWidget(m_nicknameEdit, 1);
    m_nicknameButton = new QPushButton(QStringLiteral("СОХРАНИТЬ"), systemGroup);
    m_nicknameButton->setFixedSize(100, 32);
    m_nicknameButton->setCursor(Qt::PointingHandCursor);
    m_nicknameButton->setStyleSheet(QLatin1String(kNicknameButtonStyle));
    nicknameRow->addWidget(m_nicknameButton);
    systemLayout->addLayout(nicknameRow);
    systemLayout->addSpacing(8);
    chrome.contentLayout->addWidget(systemGroup);

    auto *applyRow = new QHBoxLayout;
    applyRow->setContentsMargins(0, 10, 0, 10);
    m_applyButton = new QPushButton(QStringLiteral("Применить"), content);
    m_applyButton->setFixedSize(140, 40);
    m_applyButton->setCursor(Qt::PointingHandCursor);
    m_applyButton->setStyleSheet(QLatin1String(kApplyStyle));
    applyRow->addStretch();
    applyRow->addWidget(m_applyButton);
    applyRow->addStretch();
    chrome.contentLayout->addStretch();
    chrome.contentLayout->addLayout(applyRow);

    connect(m_alwaysOnTopCheck, &QCheckBox::toggled, this, &SettingsDialog::onAlwaysOnTopToggled);
    connect(m_opacitySlider, &QSlider::valueChanged, this, &SettingsDialog::onOpacityChanged);
    connect(m_miniOverlayOpacitySlider, &QSlider::valueChanged, this,
        &SettingsDialog::onMiniOverlayOpacityChanged);
    connect(m_autoStartCheck, &QCheckBox::toggled, this, &SettingsDialog::onAutoStartToggled);
    connect(m_miniOverlayCheck, &QCheckBox::toggled, this, &SettingsDialog::onMiniOverlayToggled);
    connect(m_notificationsCheck, &QCheckBox::toggled, this, &SettingsDialog::onNotificationsToggled);
    connect(m_nicknameButton, &QPushButton::clicked, this, &SettingsDialog::onNicknameSaveClicked);
    connect(m_applyButton, &QPushButton::clicked, this, [this] {
        saveSettings();
        accept();
    });
}

void SettingsDialog::loadSettings()
{
    if (!m_target)
        return;
    // Showing the current values is not a change: re-applying them would re-show the
    // main window (its stay-on-top flag) and rewrite the autostart entry on every open.
    const QSignalBlocker b1(m_alwaysOnTopCheck);
    const QSignalBlocker b2(m_opacitySlider);
    const QSignalBlocker b3(m_opacitySpin);
    const QSignalBlocker b4(m_autoStartCheck);
    const QSignalBlocker b5(m_miniOverlayCheck);
    const QSignalBlocker b6(m_notificationsCheck);
    const QSignalBlocker b7(m_miniOverlayOpacitySlider);
    const QSignalBlocker b8(m_miniOverlayOpacitySpin);
    m_alwaysOnTopCheck->setChecked(m_target->alwaysOnTop());
    m_opacitySlider->setValue(m_target->windowOpacityPercent());
    m_opacitySpin->setValue(m_opacitySlider->value());
    m_autoStartCheck->setChecked(m_target->autoStart());
    m_miniOverlayCheck->setChecked(m_target->miniOverlayEnabled());
    m_notificationsCheck->setChecked(m_target->notificationsEnabled());
    m_miniOverlayOpacitySlider->setValue(m_target->miniOverlayOpacity());
    m_miniOverlayOpacitySpin->setValue(m_miniOverlayOpacitySlider->value());
}

void SettingsDialog::saveSettings()
{
    if (m_target)
        m_target->saveSettings();
}

void SettingsDialog::onOpacityChanged(int value)
{
    if (m_target)
        m_target->setWindowOpacityPercent(value);
}

void SettingsDialog::onAlwaysOnTopToggled(bool checked)
{
    if (m_target)
        m_target->setAlwaysOnTop(checked);
}

void SettingsDialog::onAutoStartToggled(bool checked)
{
    if (m_target)
        m_target->setAutoStart(checked);
}

void SettingsDialog::onMiniOverlayToggled(bool checked)
{
    if (m_target)
        m_target->setMiniOverlayEnabled(checked);
}

void SettingsDialog::onNotificationsToggled(bool checked)
{
    if (m_target)
        m_target->setNotificationsEnabled(checked);
}

void SettingsDialog::onMiniOverlayOpacityChanged(int value)
{
    if (m_target)
        m_target->setMiniOverlayOpacity(value);
}

void SettingsDialog::onNicknameSaveClicked()
{
    const QString nickname = m_nicknameEdit->text().trimmed();
    if (nickname.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("Ошибка"), QStringLiteral("Ник не может быть пустым"));
        return;
    }
    if (!m_target)
        return;
    if (m_target->changeNickname(nickname))
        MessageBox::information(
            this, QStringLiteral("Успех"), QStringLiteral("Ник изменён!\nНовый ник: %1").arg(nickname));
}
