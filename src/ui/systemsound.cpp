#include "ui/systemsound.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QApplication>
#endif

namespace SystemSound {

namespace {

std::function<void()> &player()
{
    static std::function<void()> current;
    return current;
}

} // namespace

void exclamation()
{
    if (player()) {
        player()();
        return;
    }
#ifdef Q_OS_WIN
    MessageBeep(MB_ICONEXCLAMATION);
#else
    QApplication::beep();
#endif
}

void setPlayer(std::function<void()> replacement)
{
    player() = std::move(replacement);
}

} // namespace SystemSound
