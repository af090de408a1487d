#pragma once

// Small pieces of the start-up sequence shared with the first-run dialogs.

#include <QString>

namespace StartupDialogs {

// "Игрок_" followed by the first six characters of a braced UUID ("{" and five hex digits).
QString madeUpNickname();

// Start-up runs modal windows before the event loop. When KESTREL_TEST_AUTOCLOSE_MS
// is set (end-to-end tests run the real program with no one to click), every modal
// window is logged and rejected that many milliseconds after it appears (accepted when
// KESTREL_TEST_AUTOCLOSE_ACTION is "accept").
void installTestAutoClose();

} // namespace StartupDialogs
