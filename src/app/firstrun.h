#pragma once

// The first-run steps with their own windows: the safety declaration and the nickname
// prompt. Each runs only while its setting is missing; false means the player refused
// and the program should end.

namespace FirstRun {

// Shows SafetyDialog while "safetyAccepted" is false; writes true only on acceptance.
bool ensureSafetyAccepted();

// Shows NicknameInputDialog while "chatUserName" is empty; a blank answer becomes
// StartupDialogs::madeUpNickname().
bool ensureNickname();

// Records an accepted declaration ("safetyAccepted" = true, synced).
void recordSafetyAccepted();

} // namespace FirstRun
