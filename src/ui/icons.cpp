#include "ui/icons.h"

#include <QGuiApplication>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace Icons {

namespace {

// Inner elements of each shape, Feather geometry on a 24 by 24 grid.
const char *shapeBody(Shape shape)
{
    switch (shape) {
    case Shape::X:
        return R"(<line x1="18" y1="6" x2="6" y2="18"/><line x1="6" y1="6" x2="18" y2="18"/>)";
    case Shape::Minus:
        return R"(<line x1="5" y1="12" x2="19" y2="12"/>)";
    case Shape::Settings:
        return R"(<circle cx="12" cy="12" r="3"/>)"
               R"(<path d="M19.4 15a1.65 1.65 0 0 0 .33 1.82l.06.06a2 2 0 0 1 0 2.83 2 2 0 0 1-2.83 0l-.06-.06)"
               R"(a1.65 1.65 0 0 0-1.82-.33 1.65 1.65 0 0 0-1 1.51V21a2 2 0 0 1-2 2 2 2 0 0 1-2-2v-.09)"
               R"(A1.65 1.65 0 0 0 9 19.4a1.65 1.65 0 0 0-1.82.33l-.06.06a2 2 0 0 1-2.83 0 2 2 0 0 1 0-2.83)"
               R"(l.06-.06a1.65 1.65 0 0 0 .33-1.82 1.65 1.65 0 0 0-1.51-1H3a2 2 0 0 1-2-2 2 2 0 0 1 2-2h.09)"
               R"(A1.65 1.65 0 0 0 4.6 9a1.65 1.65 0 0 0-.33-1.82l-.06-.06a2 2 0 0 1 0-2.83 2 2 0 0 1 2.83 0)"
               R"(l.06.06a1.65 1.65 0 0 0 1.82.33H9a1.65 1.65 0 0 0 1-1.51V3a2 2 0 0 1 2-2 2 2 0 0 1 2 2v.09)"
               R"(a1.65 1.65 0 0 0 1 1.51 1.65 1.65 0 0 0 1.82-.33l.06-.06a2 2 0 0 1 2.83 0 2 2 0 0 1 0 2.83)"
               R"(l-.06.06a1.65 1.65 0 0 0-.33 1.82V9a1.65 1.65 0 0 0 1.51 1H21a2 2 0 0 1 2 2 2 2 0 0 1-2 2h-.09)"
               R"(a1.65 1.65 0 0 0-1.51 1z"/>)";
    case Shape::Shield:
        return R"(<path d="M12 22s8-4 8-10V5l-8-3-8 3v7c0 6 8 10 8 10z"/>)";
    case Shape::HelpCircle:
        return R"(<circle cx="12" cy="12" r="10"/><path d="M9.09 9a3 3 0 0 1 5.83 1c0 2-3 3-3 3"/>)"
               R"(<line x1="12" y1="17" x2="12.01" y2="17"/>)";
    case Shape::Menu:
        return R"(<line x1="3" y1="12" x2="21" y2="12"/><line x1="3" y1="6" x2="21" y2="6"/>)"
               R"(<line x1="3" y1="18" x2="21" y2="18"/>)";
    case Shape::Grid:
        return R"(<rect x="3" y="3" width="7" height="7"/><rect x="14" y="3" width="7" height="7"/>)"
               R"(<rect x="14" y="14" width="7" height="7"/><rect x="3" y="14" width="7" height="7"/>)";
    case Shape::Image:
        return R"(<rect x="3" y="3" width="18" height="18" rx="2" ry="2"/><circle cx="8.5" cy="8.5" r="1.5"/>)"
               R"(<polyline points="21 15 16 10 5 21"/>)";
    case Shape::Camera:
        return R"(<path d="M23 19a2 2 0 0 1-2 2H3a2 2 0 0 1-2-2V8a2 2 0 0 1 2-2h4l2-3h6l2 3h4a2 2 0 0 1 2 2z"/>)"
               R"(<circle cx="12" cy="13" r="4"/>)";
    case Shape::Lock:
        return R"(<rect x="3" y="11" width="18" height="11" rx="2" ry="2"/><path d="M7 11V7a5 5 0 0 1 10 0v4"/>)";
    case Shape::Star:
        return R"(<polygon points="12 2 15.09 8.26 22 9.27 17 14.14 18.18 21.02 12 17.77 5.82 21.02 7 14.14 )"
               R"(2 9.27 8.91 8.26 12 2"/>)";
    case Shape::Clock:
        return R"(<circle cx="12" cy="12" r="10"/><polyline points="12 6 12 12 16 14"/>)";
    case Shape::Globe:
        return R"(<circle cx="12" cy="12" r="10"/><line x1="2" y1="12" x2="22" y2="12"/>)"
               R"(<path d="M12 2a15.3 15.3 0 0 1 4 10 15.3 15.3 0 0 1-4 10 15.3 15.3 0 0 1-4-10 15.3 15.3 0 0 1 4-10z"/>)";
    case Shape::Eye:
        return R"(<path d="M1 12s4-8 11-8 11 8 11 8-4 8-11 8-11-8-11-8z"/><circle cx="12" cy="12" r="3"/>)";
    case Shape::EyeOff:
        return R"(<path d="M17.94 17.94A10.07 10.07 0 0 1 12 20c-7 0-11-8-11-8a18.45 18.45 0 0 1 5.06-5.94)"
               R"(M9.9 4.24A9.12 9.12 0 0 1 12 4c7 0 11 8 11 8a18.5 18.5 0 0 1-2.16 3.19)"
               R"(m-6.72-1.07a3 3 0 1 1-4.24-4.24"/><line x1="1" y1="1" x2="23" y2="23"/>)";
    case Shape::Share2:
        return R"(<circle cx="18" cy="5" r="3"/><circle cx="6" cy="12" r="3"/><circle cx="18" cy="19" r="3"/>)"
               R"(<line x1="8.59" y1="13.51" x2="15.42" y2="17.49"/>)"
               R"(<line x1="15.41" y1="6.51" x2="8.59" y2="10.49"/>)";
    case Shape::Send:
        return R"(<line x1="22" y1="2" x2="11" y2="13"/><polygon points="22 2 15 22 11 13 2 9 22 2"/>)";
    case Shape::LogOut:
        return R"(<path d="M9 21H5a2 2 0 0 1-2-2V5a2 2 0 0 1 2-2h4"/><polyline points="16 17 21 12 16 7"/>)"
               R"(<line x1="21" y1="12" x2="9" y2="12"/>)";
    case Shape::Plus:
        return R"(<line x1="12" y1="5" x2="12" y2="19"/><line x1="5" y1="12" x2="19" y2="12"/>)";
    case Shape::List:
        return R"(<line x1="8" y1="6" x2="21" y2="6"/><line x1="8" y1="12" x2="21" y2="12"/>)"
               R"(<line x1="8" y1="18" x2="21" y2="18"/><line x1="3" y1="6" x2="3.01" y2="6"/>)"
               R"(<line x1="3" y1="12" x2="3.01" y2="12"/><line x1="3" y1="18" x2="3.01" y2="18"/>)";
    case Shape::MapPin:
        return R"(<path d="M21 10c0 7-9 13-9 13s-9-6-9-13a9 9 0 0 1 18 0z"/><circle cx="12" cy="10" r="3"/>)";
    case Shape::Check:
        return R"(<polyline points="20 6 9 17 4 12"/>)";
    case Shape::AlertTriangle:
        return R"(<path d="M10.29 3.86L1.82 18a2 2 0 0 0 1.71 3h16.94a2 2 0 0 0 1.71-3L13.71 3.86a2 2 0 0 0-3.42 0z"/>)"
               R"(<line x1="12" y1="9" x2="12" y2="13"/><line x1="12" y1="17" x2="12.01" y2="17"/>)";
    case Shape::Trash2:
        return R"(<polyline points="3 6 5 6 21 6"/>)"
               R"(<path d="M19 6v14a2 2 0 0 1-2 2H7a2 2 0 0 1-2-2V6m3 0V4a2 2 0 0 1 2-2h4a2 2 0 0 1 2 2v2"/>)"
               R"(<line x1="10" y1="11" x2="10" y2="17"/><line x1="14" y1="11" x2="14" y2="17"/>)";
    case Shape::Copy:
        return R"(<rect x="9" y="9" width="13" height="13" rx="2" ry="2"/>)"
               R"(<path d="M5 15H4a2 2 0 0 1-2-2V4a2 2 0 0 1 2-2h9a2 2 0 0 1 2 2v1"/>)";
    case Shape::Download:
        return R"(<path d="M21 15v4a2 2 0 0 1-2 2H5a2 2 0 0 1-2-2v-4"/><polyline points="7 10 12 15 17 10"/>)"
               R"(<line x1="12" y1="15" x2="12" y2="3"/>)";
    case Shape::Upload:
        return R"(<path d="M21 15v4a2 2 0 0 1-2 2H5a2 2 0 0 1-2-2v-4"/><polyline points="17 8 12 3 7 8"/>)"
               R"(<line x1="12" y1="3" x2="12" y2="15"/>)";
    case Shape::RefreshCw:
        return R"(<polyline points="23 4 23 10 17 10"/><polyline points="1 20 1 14 7 14"/>)"
               R"(<path d="M3.51 9a9 9 0 0 1 14.85-3.36L23 10M1 14l4.64 4.36A9 9 0 0 0 20.49 15"/>)";
    case Shape::MessageCircle:
        return R"(<path d="M21 11.5a8.38 8.38 0 0 1-.9 3.8 8.5 8.5 0 0 1-7.6 4.7 8.38 8.38 0 0 1-3.8-.9L3 21)"
               R"(l1.9-5.7a8.38 8.38 0 0 1-.9-3.8 8.5 8.5 0 0 1 4.7-7.6 8.38 8.38 0 0 1 3.8-.9h.5)"
               R"(a8.48 8.48 0 0 1 8 8v.5z"/>)";
    case Shape::Search:
        return R"(<circle cx="11" cy="11" r="8"/><line x1="21" y1="21" x2="16.65" y2="16.65"/>)";
    case Shape::User:
        return R"(<path d="M20 21v-2a4 4 0 0 0-4-4H8a4 4 0 0 0-4 4v2"/><circle cx="12" cy="7" r="4"/>)";
    case Shape::Edit2:
        return R"(<path d="M17 3a2.828 2.828 0 1 1 4 4L7.5 20.5 2 22l1.5-5.5L17 3z"/>)";
    case Shape::Info:
        return R"(<circle cx="12" cy="12" r="10"/><line x1="12" y1="16" x2="12" y2="12"/>)"
               R"(<line x1="12" y1="8" x2="12.01" y2="8"/>)";
    }
    return "";
}

QByteArray colorText(const QColor &color)
{
    return color.name(QColor::HexRgb).toLatin1();
}

} // namespace

QByteArray svg(Shape shape, const QColor &stroke, int size, const QColor &fill)
{
    const QByteArray side = QByteArray::number(size);
    QByteArray text;
    text.reserve(1024);
    text += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + side + "\" height=\"" + side
        + "\" viewBox=\"0 0 24 24\" fill=\"" + (fill.isValid() ? colorText(fill) : QByteArray("none"))
        + "\" stroke=\"" + colorText(stroke)
        + "\" stroke-width=\"2\" stroke-linecap=\"round\" stroke-linejoin=\"round\">";
    text += shapeBody(shape);
    text += "</svg>";
    return text;
}

QByteArray close(const QColor &color, int size)
{
    return svg(Shape::X, color, size);
}
QByteArray minimize(const QColor &color, int size)
{
    return svg(Shape::Minus, color, size);
}
QByteArray settings(const QColor &color, int size)
{
    return svg(Shape::Settings, color, size);
}
QByteArray firewall(const QColor &color, int size)
{
    return svg(Shape::Shield, color, size);
}
QByteArray help(const QColor &color, int size)
{
    return svg(Shape::HelpCircle, color, size);
}
QByteArray menu(const QColor &color, int size)
{
    return svg(Shape::Menu, color, size);
}
QByteArray settingsColored(const QColor &color, int size)
{
    return svg(Shape::Settings, color, size);
}
QByteArray shieldColored(const QColor &color, int size)
{
    return svg(Shape::Shield, color, size);
}
QByteArray image(const QColor &color, int size)
{
    return svg(Shape::Image, color, size);
}
QByteArray camera(const QColor &color, int size)
{
    return svg(Shape::Camera, color, size);
}
QByteArray lock(const QColor &color, int size)
{
    return svg(Shape::Lock, color, size);
}
QByteArray star(const QColor &color, bool filled, int size)
{
    return svg(Shape::Star, color, size, filled ? color : QColor());
}
QByteArray clock(const QColor &color, int size)
{
    return svg(Shape::Clock, color, size);
}
QByteArray globe(const QColor &color, int size)
{
    return svg(Shape::Globe, color, size);
}
QByteArray eye(const QColor &color, int size)
{
    return svg(Shape::Eye, color, size);
}
QByteArray eyeOff(const QColor &color, int size)
{
    return svg(Shape::EyeOff, color, size);
}
QByteArray share(const QColor &color, int size)
{
    return svg(Shape::Share2, color, size);
}
QByteArray send(const QColor &color, int size)
{
    return svg(Shape::Send, color, size);
}
QByteArray logOut(const QColor &color, int size)
{
    return svg(Shape::LogOut, color, size);
}
QByteArray plus(const QColor &color, int size)
{
    return svg(Shape::Plus, color, size);
}
QByteArray list(const QColor &color, int size)
{
    return svg(Shape::List, color, size);
}
QByteArray mapPin(const QColor &color, int size)
{
    return svg(Shape::MapPin, color, size);
}
QByteArray check(const QColor &color, int size)
{
    return svg(Shape::Check, color, size);
}
QByteArray alertTriangle(const QColor &color, int size)
{
    return svg(Shape::AlertTriangle, color, size);
}
QByteArray trash(const QColor &color, int size)
{
    return svg(Shape::Trash2, color, size);
}
QByteArray copy(const QColor &color, int size)
{
    return svg(Shape::Copy, color, size);
}
QByteArray download(const QColor &color, int size)
{
    return svg(Shape::Download, color, size);
}
QByteArray upload(const QColor &color, int size)
{
    return svg(Shape::Upload, color, size);
}
QByteArray refresh(const QColor &color, int size)
{
    return svg(Shape::RefreshCw, color, size);
}
QByteArray message(const QColor &color, int size)
{
    return svg(Shape::MessageCircle, color, size);
}
QByteArray search(const QColor &color, int size)
{
    return svg(Shape::Search, color, size);
}
QByteArray user(const QColor &color, int size)
{
    return svg(Shape::User, color, size);
}
QByteArray edit(const QColor &color, int size)
{
    return svg(Shape::Edit2, color, size);
}
QByteArray info(const QColor &color, int size)
{
    return svg(Shape::Info, color, size);
}

QPixmap pixmap(const QByteArray &svgText, int side)
{
    // GUI thread only, like every other widget-side cache in the program.
    static QHash<QByteArray, QPixmap> cache;
    const QByteArray key = QByteArray::number(side) + ':' + svgText;
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return found.value();

    // Sharp on high-density screens: render at device pixels, report the logical size.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap result(QSize(side, side) * ratio);
    result.setDevicePixelRatio(ratio);
    result.fill(Qt::transparent);
    QSvgRenderer renderer(svgText);
    if (renderer.isValid()) {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
    }
    cache.insert(key, result);
    return result;
}

QIcon icon(const QByteArray &svgText, int side)
{
    return QIcon(pixmap(svgText, side));
}

} // namespace Icons
