#pragma once

// Starting KESTREL with the user's session. On Windows the value "TORVAL Kestrel" under
// the current user's Run key holds the executable path; on Linux an XDG autostart
// entry (a .desktop file) plays the same part.

#include <QString>

// Writes the entry (true) or removes it (false). Failures are not reported: the main
// window reconciles the stored flag with autoStartEntryExists() at the next start.
void writeAutoStartEntry(bool enabled);

// Whether the entry is present.
bool autoStartEntryExists();

namespace AutoStart {

// The executable the entry starts: the running program (or its AppImage).
QString executablePath();

// The Run value for the given program: its native path in double quotes, so that a folder
// with blanks ("C:\Program Files\...") cannot be read as another program plus arguments.
QString runValue(const QString &program);

#ifndef Q_OS_WIN
// $XDG_CONFIG_HOME/autostart/torval-kestrel.desktop (~/.config when the variable is unset).
QString desktopEntryPath();

// The program path as one Exec argument: always in double quotes, with the characters
// the Desktop Entry format reserves inside quotes escaped, then escaped again as a
// string value ('\' doubled), and '%' doubled so it is not read as a field code.
QString desktopExecArgument(const QString &program);

// The complete entry text for the given program.
QByteArray desktopEntry(const QString &program);
#endif

} // namespace AutoStart
