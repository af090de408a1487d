#pragma once

#include <functional>

// System sounds. On Windows the exclamation is MessageBeep(MB_ICONEXCLAMATION); elsewhere
// the toolkit's beep. Tests replace the player to observe it.
namespace SystemSound {

void exclamation();

// Replaces the player; an empty function restores the system one.
void setPlayer(std::function<void()> player);

} // namespace SystemSound
