#pragma once

// The two system calls the installation rests on, without Qt: ending the running main
// program, and moving a file over another in one step. Paths are UTF-8.

#include <cstdint>
#include <string>
#include <vector>

namespace ProgramControl {

// Ends the processes of this user whose executable is the file at exePath; copies of the
// program in other folders and other users' processes are left alone. Linux: SIGTERM, then
// SIGKILL for those still running after 1.5 s. Windows: TerminateProcess with exit code 0,
// then waits for each to be gone so that its file is free. Returns how many were ended
// (their ids appended to endedPids), or -1 when the process list cannot be read.
int endProgramAt(const std::string &exePath, std::vector<uint32_t> *endedPids = nullptr);

// Renames from to to, replacing an existing to in the same step (rename(2);
// MoveFileExW with MOVEFILE_REPLACE_EXISTING). Both must be on one file system.
bool renameReplacing(const std::string &from, const std::string &to);

// The last error of the two functions above as text.
std::string lastErrorText();

} // namespace ProgramControl
