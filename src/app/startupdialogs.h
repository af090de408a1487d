#pragma once

// The one-time start-up steps: the safety declaration and the nickname. Each runs
// only while its setting is missing, and a refusal ends the program.

#include <QString>

namespace StartupDialogs {

// False when the player declined; "safetyAccepted" is then left unwritten.
bool ensureSafetyAccepted();

// False when the player cancelled. A blank answer becomes a made-up name.
bool ensureNickname();

// "Игрок_" followed by the first six characters of a braced UUID ("{" and five hex digits).
QString madeUpNickname();

// Start-up runs modal windows before the event loop. When KESTREL_TEST_AUTOCLOSE_MS
// is set (end-to-end tests run the real program with no one to click), every modal
// window is logged and rejected that many milliseconds after it appears.
void installTestAutoClose();

}  // namespace StartupDialogs
