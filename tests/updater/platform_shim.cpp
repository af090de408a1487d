// TEMPORARY stand-in for platform::terminateProcessesNamed until the platform layer
// defines it; linked only while src/platform/platform_linux.cpp lacks it. Remove at merge.

#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string baseName(const std::string &path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool matches(pid_t pid, const std::string &wanted)
{
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string state;
    {
        std::ifstream stat(dir + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size())
            return false;
        state = line.substr(close + 2, 1);
    }
    if (state == "Z" || state == "X")
        return false;
    std::ifstream cmdline(dir + "/cmdline");
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    if (!argv0.empty() && lower(baseName(argv0)) == wanted)
        return true;
    std::ifstream commFile(dir + "/comm");
    std::string comm;
    std::getline(commFile, comm);
    // comm holds at most 15 characters of the name.
    return !comm.empty() && lower(comm) == wanted.substr(0, 15);
}

bool alive(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

} // namespace

namespace platform {

int terminateProcessesNamed(const std::string &exeName)
{
    const std::string wanted = lower(exeName);
    const pid_t self = getpid();
    DIR *proc = opendir("/proc");
    if (!proc)
        return 0;
    int ended = 0;
    std::vector<pid_t> signalled;
    while (const dirent *entry = readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self)
            continue;
        if (matches(static_cast<pid_t>(pid), wanted) && kill(static_cast<pid_t>(pid), SIGTERM) == 0) {
            signalled.push_back(static_cast<pid_t>(pid));
            ++ended;
        }
    }
    closedir(proc);
    for (int waited = 0; waited < 40; ++waited) {
        if (std::none_of(signalled.begin(), signalled.end(), alive))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (const pid_t pid : signalled) {
        if (alive(pid))
            kill(pid, SIGKILL);
    }
    return ended;
}

} // namespace platform
