#include "firewall/firewallhelpdialog.h"

#include "firewall/portrangepreset.h"
#include "ui/dialogchrome.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

namespace {

const char kTitleStyle[] = "QLabel { color:#e2e8f0; font-size:16px; font-weight:600; letter-spacing:0.5px; "
                           "background:transparent; }";
const char kWindowStyle[] = "QDialog { background:transparent; } QToolTip { background-color:#1e293b; "
                            "color:#e2e8f0; border:1px solid #3b82f6; border-radius:6px; }";
const char kTextStyle[]
    = "QTextEdit { background:rgba(30,41,59,180); color:#e2e8f0; border:1px solid rgba(51,65,85,150); "
      "border-radius:12px; padding:20px; font-size:13px; line-height:1.5; } "
      "QTextEdit::viewport { background:transparent; } "
      "QScrollBar:vertical { background:rgba(15,23,42,150); width:8px; border-radius:4px; } "
      "QScrollBar::handle:vertical { background:#3b82f6; border-radius:4px; min-height:30px; } "
      "QScrollBar::handle:vertical:hover { background:#60a5fa; } "
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height:0px; }";
const char kClearStyle[]
    = "QPushButton { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #b91c1c, stop:1 #7f1d1d); "
      "border:1px solid #991b1b; color:white; font-size:14px; font-weight:bold; border-radius:10px; "
      "padding:12px 24px; min-width:180px; } "
      "QPushButton:hover { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #dc2626, stop:1 #991b1b); "
      "} "
      "QPushButton:pressed { background:#7f1d1d; }";

QString colored(const QString &text, const char *color)
{
    return QStringLiteral("<span style=\"color:%1; font-weight:bold;\">%2</span>")
        .arg(QLatin1String(color), text);
}

QString bold(const QString &text)
{
    return QStringLiteral("<b>%1</b>").arg(text);
}

// A heading and its tinted box. Qt's rich text draws borders only around table
// cells, so each box is a one-cell table with a left border.
QString block(const char *color, const QString &heading, const QStringList &lines, bool first, bool last)
{
    QColor tint = QColor::fromString(QLatin1String(color));
    tint.setAlphaF(0.1);
    // Qt's rich text also paints a cell's background behind the cell's first run of
    // text; the inner span keeps that run clear so the tint is drawn once.
    return QStringLiteral("<h3 style=\"margin-top:%1px; margin-bottom:10px;\">%2</h3>"
                          "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"0\" "
                          "style=\"margin-bottom:%3px; border-collapse:collapse;\"><tr>"
                          "<td bgcolor=\"%4\" style=\"border-left:3px solid %5; padding:8px 12px;\">"
                          "<span style=\"background-color:transparent;\">%6</span></td>"
                          "</tr></table>")
        .arg(QString::number(first ? 0 : 15), heading, QString::number(last ? 0 : 15),
            tint.name(QColor::HexArgb), QLatin1String(color), lines.join(QStringLiteral("<br>")));
}

} // namespace

QString FirewallHelpDialog::helpHtml()
{
    const char *green = Styles::kStatusGreen;
    const char *blue = Styles::kAccent;
    const char *red = Styles::kStatusRed;
    const char *orange = Styles::kStatusOrange;
    const char *light = Styles::kAccentHover;

    QStringList ranges;
    for (const PortRangePreset &preset : firewall::portRangePresets())
        ranges << bold(preset.name.toHtmlEscaped() + QLatin1Char(':')) + QLatin1Char(' ')
                + firewall::displayPortList(preset.ports).toHtmlEscaped();

    QString html;
    html += block(green, QStringLiteral("ВЫБОР ДИАПАЗОНА ПОРТОВ"),
        {QStringLiteral("1. Нажмите на любой из пяти доступных диапазонов портов"),
            QStringLiteral("2. ")
                + colored(QStringLiteral("Выбранный диапазон подсветится СИНИМ цветом"), blue)
                + QStringLiteral(" с надписью ") + colored(QStringLiteral("ВЫБРАН"), blue),
            QStringLiteral("3. ") + colored(QStringLiteral("Активный диапазон подсвечен ЗЕЛЕНЫМ"), green)
                + QStringLiteral(" с надписью ") + colored(QStringLiteral("АКТИВНО"), green)},
        true, false);
    html += block(green, QStringLiteral("ПРИМЕНЕНИЕ ПРАВИЛА"),
        {QStringLiteral("• После выбора диапазона (синяя подсветка) нажмите кнопку ")
                + colored(QStringLiteral("\"ПРИМЕНИТЬ\""), green),
            QStringLiteral("• Правило будет применено, и диапазон станет зеленым с надписью ")
                + colored(QStringLiteral("АКТИВНО"), green),
            colored(QStringLiteral("• ⚠️ Для вступления изменений в силу "
                                   "необходимо "
                                   "перезапустить "
                                   "игру"),
                orange)},
        false, false);
    html += block(red, QStringLiteral("ОЧИСТКА ПРАВИЛ"),
        {QStringLiteral("• Нажмите на кнопку ") + colored(QStringLiteral("\"ОЧИСТИТЬ ПРАВИЛА\""), red)
                + QStringLiteral(" ниже для удаления всех правил брандмауэра"),
            QStringLiteral("• Это полностью восстановит стандартный доступ к игре"),
            colored(
                QStringLiteral(
                    "• ⚠️ После очистки также требуется перезапуск "
                    "игры"),
                orange)},
        false, false);
    html += block(light, QStringLiteral("ДОСТУПНЫЕ ДИАПАЗОНЫ"), ranges, false, false);
    html += block(orange, QStringLiteral("⚠️ ВАЖНАЯ ИНФОРМАЦИЯ"),
        {QStringLiteral("• Для работы с брандмауэром требуются ")
                + bold(QStringLiteral("права администратора")),
            QStringLiteral("• После применения или очистки правил ")
                + bold(QStringLiteral("обязательно перезапустите игру")),
            QStringLiteral("• Если игра не подключается, проверьте активное правило в окне статуса")},
        false, true);
    return html;
}

FirewallHelpDialog::FirewallHelpDialog(QWidget *parent) : BaseMovableDialog(parent)
{
    DialogChrome::Options options;
    options.title = QStringLiteral("СПРАВКА");
    options.fixedSize = QSize(550, 650);
    // An owner kept above other windows would otherwise hide its own help.
    options.stayOnTop = parent && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    options.backgroundName = QStringLiteral("helpBackground");
    options.backgroundStyle = QString::fromLatin1(Styles::kHelpBackground);
    options.titleStyle = QString::fromLatin1(kTitleStyle);
    options.center = false;
    DialogChrome chrome = DialogChrome::build(this, options);
    setWindowTitle(QStringLiteral("Справка"));
    setStyleSheet(QString::fromLatin1(kWindowStyle));
    chrome.titleBar->setCursor(Qt::SizeAllCursor);
    chrome.closeButton->setFixedSize(25, 25);
    m_closeButton = chrome.closeButton;

    m_text = new QTextEdit(chrome.content);
    m_text->setObjectName(QStringLiteral("helpText"));
    m_text->setReadOnly(true);
    m_text->setStyleSheet(QString::fromLatin1(kTextStyle));
    m_text->setHtml(helpHtml());
    chrome.contentLayout->addWidget(m_text, 1);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(15);
    buttonRow->addStretch();
    m_clearButton = new QPushButton(QStringLiteral("ОЧИСТИТЬ ПРАВИЛА"), chrome.content);
    m_clearButton->setObjectName(QStringLiteral("clearRulesButton"));
    m_clearButton->setCursor(Qt::PointingHandCursor);
    m_clearButton->setStyleSheet(QString::fromLatin1(kClearStyle));
    connect(m_clearButton, &QPushButton::clicked, this, [this] {
        m_clearRequested = true;
        accept();
    });
    buttonRow->addWidget(m_clearButton);
    buttonRow->addStretch();
    chrome.contentLayout->addLayout(buttonRow);
    chrome.contentLayout->addSpacing(5);

    centerOnParentOrScreen(this);
}
