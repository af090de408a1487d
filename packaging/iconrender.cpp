// Writes the application icon, as the program draws it, into a hicolor icon tree:
// <out>/<N>x<N>/apps/<name>.png for every size the program draws.

#include "app/appicon.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR ICON_NAME\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    const QIcon icon = AppIcon::createFallbackIcon();
    for (const int side : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(out).arg(side);
        const QPixmap pixmap = icon.pixmap(side, side);
        if (!QDir().mkpath(folder) || pixmap.width() != side
            || !pixmap.save(QStringLiteral("%1/%2.png").arg(folder, name))) {
            std::fprintf(stderr, "cannot write the %dx%d icon into %s\n", side, side, qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
