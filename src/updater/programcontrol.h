#pragma once

// Moving a file over another in one step, without Qt, as the installation needs it.
// Paths are UTF-8. Ending the running program is the platform layer's
// terminateProgramAt.

#include <string>

namespace ProgramControl {

// Renames from to to, replacing an existing to in the same step (rename(2);
// MoveFileExW with MOVEFILE_REPLACE_EXISTING). Both must be on one file system.
bool renameReplacing(const std::string &from, const std::string &to);

// The last error of renameReplacing as text.
std::string lastErrorText();

} // namespace ProgramControl
