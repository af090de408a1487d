#pragma once

// The icon set: SVG texts drawn with the open Feather geometry (viewBox 0 0 24 24, no fill,
// stroke width 2, round caps and joins). Each function takes the stroke colour and the
// rendered size, with the defaults the window chrome uses.

#include <QByteArray>
#include <QColor>

class QIcon;
class QPixmap;

namespace Icons {

enum class Shape
{
    X,
    Minus,
    Settings,
    Shield,
    HelpCircle,
    Menu,
    Grid,
    Image,
    Camera,
    Lock,
    Star,
    Clock,
    Globe,
    Eye,
    EyeOff,
    Share2,
    Send,
    LogOut,
    Plus,
    List,
    MapPin,
    Check,
    AlertTriangle,
    Trash2,
    Copy,
    Download,
    Upload,
    RefreshCw,
    MessageCircle,
    Search,
    User,
    Edit2,
    Info,
};

// Builds the SVG text of a shape. An invalid fill colour means no fill.
QByteArray svg(Shape shape, const QColor &stroke, int size, const QColor &fill = QColor());

// Title-bar icons shared by every dialog.
QByteArray close(const QColor &color = QColor(0xfc, 0xa5, 0xa5), int size = 17);
QByteArray minimize(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 17);
QByteArray settings(const QColor &color = QColor(0xc0, 0x84, 0xfc), int size = 17);
QByteArray firewall(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray help(const QColor &color = QColor(0x60, 0xa5, 0xfa), int size = 17);

// The main window's functions button.
QByteArray menu(const QColor &color = QColor(0x60, 0xa5, 0xfa), int size = 17);

// Colour and size variants of the gear and the shield (mini HUD, status displays).
QByteArray settingsColored(const QColor &color, int size);
QByteArray shieldColored(const QColor &color, int size);

// Menus and the mini HUD.
QByteArray image(const QColor &color = QColor(0x22, 0xd3, 0xee), int size = 16);
QByteArray camera(const QColor &color = QColor(0x22, 0xd3, 0xee), int size = 16);
QByteArray lock(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray star(const QColor &color = QColor(0xfb, 0xbf, 0x24), bool filled = false, int size = 16);
QByteArray clock(const QColor &color = QColor(0x60, 0xa5, 0xfa), int size = 16);
QByteArray globe(const QColor &color = QColor(0x22, 0xd3, 0xee), int size = 16);
QByteArray eye(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray eyeOff(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray share(const QColor &color = QColor(0x22, 0xd3, 0xee), int size = 16);
QByteArray send(const QColor &color = QColor(0x60, 0xa5, 0xfa), int size = 16);
QByteArray logOut(const QColor &color = QColor(0xf8, 0x71, 0x71), int size = 16);
QByteArray plus(const QColor &color = QColor(0x22, 0xc5, 0x5e), int size = 16);
QByteArray list(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray mapPin(const QColor &color = QColor(0x22, 0xd3, 0xee), int size = 16);
QByteArray check(const QColor &color = QColor(0x22, 0xc5, 0x5e), int size = 16);
QByteArray alertTriangle(const QColor &color = QColor(0xfb, 0xbf, 0x24), int size = 16);
QByteArray trash(const QColor &color = QColor(0xf8, 0x71, 0x71), int size = 16);
QByteArray copy(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray download(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray upload(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray refresh(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray message(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray search(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray user(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray edit(const QColor &color = QColor(0x94, 0xa3, 0xb8), int size = 16);
QByteArray info(const QColor &color = QColor(0x60, 0xa5, 0xfa), int size = 16);

// Renders an SVG text into a transparent square pixmap of the given side. Pixmaps are
// cached for the life of the process, so menus rebuilt often do not re-render.
// An invalid SVG gives a transparent pixmap.
QPixmap pixmap(const QByteArray &svgText, int side);
QIcon icon(const QByteArray &svgText, int side);

} // namespace Icons
