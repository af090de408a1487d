#pragma once

#include "ui/windowshape.h"

#include <QByteArray>
#include <QHBoxLayout>
#include <QIcon>
#include <QMargins>
#include <QSize>
#include <QString>
#include <QVBoxLayout>

class AnimatedBackground;
class BaseDialog;
class QFrame;
class QLabel;
class QWidget;
class SvgButton;

// The window every dialog builds the same way: animated background, rounded panel,
// a title bar that drags the window (icon, title, extra buttons, close), a separator and
// a content area. One call replaces the sixty lines each dialog would repeat.
class DialogChrome final
{
public:
    enum class CloseAction
    {
        Reject,
        Accept
    };

    struct Options
    {
        QString title;
        QIcon icon; // null: the application's window icon
        QString fallbackIconText; // shown instead when the icon has no pixmap ("⚠️")
        QSize fixedSize; // invalid: the dialog keeps its own size policy
        bool stayOnTop = true;
        int maskRadius = 16;
        bool backgroundPanel = true;
        QString backgroundName = QStringLiteral("dialogBackground");
        QString backgroundStyle; // empty: the shared dialog panel style
        QString titleBarStyle; // empty: the shared title bar style
        QString titleStyle; // empty: the shared title label style
        int titleSpacing = 8;
        QString closeToolTip = QStringLiteral("Закрыть (Esc)");
        CloseAction closeAction = CloseAction::Reject;
        QMargins contentMargins = QMargins(25, 20, 25, 25);
        int contentSpacing = 15;
        bool center = true; // on the parent window, else on the primary screen
    };

    // Builds the chrome on an empty dialog. A movable dialog gets the title bar as its
    // drag handle. The dialog keeps the mask and panels fitted when it is resized.
    static DialogChrome build(BaseDialog *dialog, const Options &options);

    // Adds an icon button to the title bar, left of the close button.
    SvgButton *addTitleButton(const QByteArray &svg, const QString &toolTip, const QString &objectName);

    AnimatedBackground *animatedBackground = nullptr;
    QWidget *background = nullptr; // the rounded panel; null without one
    QWidget *titleBar = nullptr;
    QHBoxLayout *titleLayout = nullptr;
    QLabel *iconLabel = nullptr;
    QLabel *titleLabel = nullptr;
    SvgButton *closeButton = nullptr;
    QFrame *separator = nullptr;
    QWidget *content = nullptr;
    QVBoxLayout *contentLayout = nullptr;
};
