#pragma once

#include <QWidget>

#include <optional>

// "ВЫХОД ИЗ ПРИЛОЖЕНИЯ": asks whether to quit. Tests queue the answer instead of clicking.
class ExitConfirmDialog final
{
public:
    // True only when the player chose "Да".
    static bool ask(QWidget *mainWindow);

    // The next ask() returns this answer without showing anything.
    static void setNextAnswer(bool yes);

private:
    static std::optional<bool> &nextAnswer();
};
