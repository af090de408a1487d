#include "app/appicon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>

#ifdef Q_OS_WIN
#include <QApplication>
#include <QWidget>
#include <windows.h>
#endif

namespace AppIcon {

QIcon loadAppIcon()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString current = QDir::currentPath();
    const QStringList candidates {
        appDir + QStringLiteral("/icon.ico"),
        appDir + QStringLiteral("/icon.png"),
        QStringLiteral("icon.ico"),
        QStringLiteral("icon.png"),
        QStringLiteral(":/icon.ico"),
        QStringLiteral(":/icon.png"),
        current + QStringLiteral("/icon.ico"),
        current + QStringLiteral("/icon.png"),
    };
    for (const QString &path : candidates) {
        if (!QFileInfo::exists(path))
            continue;
        const QIcon icon(path);
        if (!icon.isNull() && !icon.availableSizes().isEmpty())
            return icon;
    }
    return createFallbackIcon();
}

QIcon createFallbackIcon()
{
    QIcon icon;
    for (const int s : {16, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(s, s);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);

        const int m = s / 10;
        QLinearGradient gradient(0, 0, s, s);
        gradient.setColorAt(0, QColor(0x3b, 0x82, 0xf6));
        gradient.setColorAt(1, QColor(0x1e, 0x40, 0xaf));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawEllipse(m, m, s - 2 * m, s - 2 * m);

        painter.setPen(QPen(Qt::white, s < 48 ? 2 : s / 16));
        painter.setBrush(Qt::NoBrush);
        const int r = s / 4;
        const int c = s / 2;
        painter.drawEllipse(c - r, c - r, 2 * r, 2 * r);
        painter.drawLine(c, c - r, c, c + r);
        painter.drawLine(c - r, c, c + r, c);
        painter.end();
        icon.addPixmap(pixmap, QIcon::Normal, QIcon::Off);
    }
    return icon;
}

QPixmap splashPixmap(const QIcon &icon)
{
    QPixmap pixmap;
    const QString logo = QCoreApplication::applicationDirPath() + QStringLiteral("/logo.png");
    if (QFileInfo::exists(logo))
        pixmap.load(logo);
    else
        pixmap = icon.pixmap(256, 256);
    if (pixmap.isNull()) {
        pixmap = QPixmap(256, 256);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x3b, 0x82, 0xf6));
        painter.drawEllipse(QRect(QPoint(20, 20), QPoint(235, 235)));
    }
    return pixmap;
}

void applyNativeWindowIcons()
{
#ifdef Q_OS_WIN
    const QStringList candidates {QCoreApplication::applicationDirPath() + QStringLiteral("/icon.ico"),
        QStringLiteral("icon.ico"), QDir::currentPath() + QStringLiteral("/icon.ico")};
    QString found;
    for (const QString &path : candidates) {
        if (QFileInfo::exists(path)) {
            found = path;
            break;
        }
    }
    if (found.isEmpty())
        return;
    const auto handle = static_cast<HICON>(::LoadImageW(nullptr, reinterpret_cast<LPCWSTR>(found.utf16()),
        IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
    if (!handle)
        return;
    const QWidgetList widgets = QApplication::allWidgets();
    if (widgets.isEmpty())
        return;
    // The window the widget sits in: asking a child for a handle would make it native.
    if (const WId id = widgets.first()->window()->winId()) {
        ::SendMessageW(reinterpret_cast<HWND>(id), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(handle));
        ::SendMessageW(reinterpret_cast<HWND>(id), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(handle));
    }
#endif
}

} // namespace AppIcon
