#include "ui/dialogchrome.h"

#include "ui/animatedbackground.h"
#include "ui/basedialog.h"
#include "ui/basemovabledialog.h"
#include "ui/framecompositor.h"
#include "ui/icons.h"
#include "ui/movabledialog.h"
#include "ui/styles.h"
#include "ui/svgbutton.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace {

// Keeps the rounded mask and the panel fitted to the dialog whenever it changes size.
class ChromeKeeper final : public QObject
{
public:
    ChromeKeeper(BaseDialog *dialog, QWidget *panel, int radius)
        : QObject(dialog), m_dialog(dialog), m_panel(panel), m_radius(radius)
    { }

    void fit()
    {
        if (m_panel) {
            m_panel->setGeometry(m_dialog->rect());
            m_panel->lower();
        }
        if (QWidget *back = m_dialog->backgroundWidget())
            back->lower();
        applyRoundedMask(m_dialog, m_radius);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_dialog && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            fit();
        return false;
    }

private:
    BaseDialog *m_dialog;
    QPointer<QWidget> m_panel;
    int m_radius;
};

} // namespace

DialogChrome DialogChrome::build(BaseDialog *dialog, const Options &options)
{
    DialogChrome chrome;

    Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint;
    if (options.stayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    dialog->setWindowFlags(flags);
    dialog->setAttribute(Qt::WA_TranslucentBackground);
    dialog->setAttribute(Qt::WA_NoSystemBackground, false);
    if (!options.title.isEmpty())
        dialog->setWindowTitle(options.title);
    if (options.fixedSize.isValid())
        dialog->setFixedSize(options.fixedSize);

    auto *rootLayout = new QVBoxLayout(dialog);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->setSpacing(0);

    if (options.backgroundPanel) {
        chrome.background = new QWidget(dialog);
        chrome.background->setObjectName(options.backgroundName);
        chrome.background->setAttribute(Qt::WA_StyledBackground);
        chrome.background->setStyleSheet(options.backgroundStyle.isEmpty()
                ? QString::fromLatin1(Styles::kDialogBackground)
                : options.backgroundStyle);
        chrome.background->setGeometry(dialog->rect());
        chrome.background->lower();
    }

    chrome.titleBar = new QWidget(dialog);
    chrome.titleBar->setObjectName(QStringLiteral("titleBar"));
    chrome.titleBar->setAttribute(Qt::WA_StyledBackground);
    chrome.titleBar->setFixedHeight(45);
    chrome.titleBar->setStyleSheet(
        options.titleBarStyle.isEmpty() ? QString::fromLatin1(Styles::kTitleBar) : options.titleBarStyle);
    if (auto *movable = qobject_cast<BaseMovableDialog *>(dialog))
        movable->setTitleBar(chrome.titleBar);
    else if (auto *movable2 = qobject_cast<MovableDialog *>(dialog))
        movable2->setTitleBar(chrome.titleBar);

    chrome.titleLayout = new QHBoxLayout(chrome.titleBar);
    chrome.titleLayout->setContentsMargins(15, 0, 15, 0);
    chrome.titleLayout->setSpacing(options.titleSpacing);

    chrome.iconLabel = new QLabel(chrome.titleBar);
    chrome.iconLabel->setFixedSize(20, 20);
    chrome.iconLabel->setAlignment(Qt::AlignCenter);
    chrome.iconLabel->setStyleSheet(QString::fromLatin1(Styles::kTitleIcon));
    const QIcon icon = options.icon.isNull() ? QApplication::windowIcon() : options.icon;
    const QPixmap iconPixmap = icon.pixmap(20, 20);
    if (!iconPixmap.isNull())
        chrome.iconLabel->setPixmap(iconPixmap.scaled(20, 20, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    else
        chrome.iconLabel->setText(options.fallbackIconText);
    chrome.titleLayout->addWidget(chrome.iconLabel);

    chrome.titleLabel = new QLabel(options.title, chrome.titleBar);
    chrome.titleLabel->setObjectName(QStringLiteral("titleLabel"));
    chrome.titleLabel->setTextFormat(Qt::PlainText);
    chrome.titleLabel->setStyleSheet(
        options.titleStyle.isEmpty() ? QString::fromLatin1(Styles::kTitleLabel) : options.titleStyle);
    chrome.titleLayout->addWidget(chrome.titleLabel);
    chrome.titleLayout->addStretch();

    chrome.closeButton = new SvgButton(Icons::close(), chrome.titleBar);
    chrome.closeButton->setObjectName(QStringLiteral("closeButton"));
    chrome.closeButton->setToolTip(options.closeToolTip);
    chrome.closeButton->setStyleSheet(
        QString::fromLatin1(Styles::kIconButton) + QString::fromLatin1(Styles::kToolTip));
    if (options.closeAction == CloseAction::Accept)
        QObject::connect(chrome.closeButton, &QPushButton::clicked, dialog, &QDialog::accept);
    else
        QObject::connect(chrome.closeButton, &QPushButton::clicked, dialog, &QDialog::reject);
    chrome.titleLayout->addWidget(chrome.closeButton);
    rootLayout->addWidget(chrome.titleBar);

    chrome.separator = new QFrame(dialog);
    chrome.separator->setFixedHeight(1);
    chrome.separator->setStyleSheet(QString::fromLatin1(Styles::kSeparator));
    rootLayout->addWidget(chrome.separator);

    chrome.content = new QWidget(dialog);
    chrome.content->setObjectName(QStringLiteral("dialogContent"));
    chrome.content->setStyleSheet(QStringLiteral("QWidget#dialogContent { background:transparent; }"));
    chrome.contentLayout = new QVBoxLayout(chrome.content);
    chrome.contentLayout->setContentsMargins(options.contentMargins);
    chrome.contentLayout->setSpacing(options.contentSpacing);
    rootLayout->addWidget(chrome.content, 1);

    chrome.animatedBackground = new AnimatedBackground(dialog);
    dialog->setBackgroundWidget(chrome.animatedBackground);
    // The background's frames then repaint nothing but the background.
    new FrameCompositor(chrome.animatedBackground);

    auto *keeper = new ChromeKeeper(dialog, chrome.background, options.maskRadius);
    dialog->installEventFilter(keeper);
    keeper->fit();

    if (options.center)
        centerOnParentOrScreen(dialog);
    return chrome;
}

SvgButton *DialogChrome::addTitleButton(
    const QByteArray &svg, const QString &toolTip, const QString &objectName)
{
    auto *button = new SvgButton(svg, titleBar);
    button->setObjectName(objectName);
    button->setToolTip(toolTip);
    button->setStyleSheet(QString::fromLatin1(Styles::kIconButton) + QString::fromLatin1(Styles::kToolTip));
    titleLayout->insertWidget(titleLayout->indexOf(closeButton), button);
    return button;
}
