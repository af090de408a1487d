#pragma once

// The application icon: found beside the program or in the resources, else drawn.

#include <QIcon>
#include <QPixmap>

namespace AppIcon {

// The first icon file that loads and has a size, in the fixed search order;
// the drawn icon when none does. Never null.
QIcon loadAppIcon();

// A blue disc with a white crosshair circle, at 16, 32, 48, 64, 128 and 256 px.
QIcon createFallbackIcon();

// "logo.png" beside the program, else the icon at 256 px, else a blue disc.
QPixmap splashPixmap(const QIcon &icon);

// Hands "icon.ico" to the operating system's own windows (Windows only; Qt sets
// the icon of its windows everywhere else).
void applyNativeWindowIcons();

} // namespace AppIcon
