#include "updater/programcontrol.h"

#include <cerrno>
#include <cstring>

namespace ProgramControl {

namespace {

int g_lastError = 0;

} // namespace

bool renameReplacing(const std::string &from, const std::string &to)
{
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    g_lastError = errno;
    return false;
}

std::string lastErrorText()
{
    return std::strerror(g_lastError);
}

} // namespace ProgramControl
