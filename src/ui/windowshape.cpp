#include "ui/windowshape.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QWidget>

void applyRoundedMask(QWidget *window, int radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(window->rect()), radius, radius);
    window->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void centerOnPrimaryScreen(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void centerOnParentOrScreen(QWidget *window)
{
    const QWidget *parent = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (!parent || !parent->isVisible()) {
        centerOnPrimaryScreen(window);
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(parent->frameGeometry().center());
    window->move(frame.topLeft());
}
