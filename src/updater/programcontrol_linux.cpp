#include "updater/programcontrol.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ProgramControl {

namespace {

int g_lastError = 0;

// Field 22 of /proc/PID/stat: with the pid it names one process for good. 0 when gone.
unsigned long long startTime(uint32_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/stat", pid);
    FILE *file = std::fopen(path, "re");
    if (!file)
        return 0;
    char buffer[1024] = {};
    const size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[length] = '\0';
    // The name in parentheses may hold blanks and parentheses: fields start after the last ')'.
    const char *cursor = std::strrchr(buffer, ')');
    if (!cursor || cursor[1] != ' ')
        return 0;
    cursor += 2;
    if (*cursor == 'Z' || *cursor == 'X') // ended, not yet reaped
        return 0;
    for (int field = 3; field < 22 && cursor; ++field) {
        cursor = std::strchr(cursor, ' ');
        if (cursor)
            ++cursor;
    }
    return cursor ? std::strtoull(cursor, nullptr, 10) : 0;
}

} // namespace

int endProgramAt(const std::string &exePath, std::vector<uint32_t> *endedPids)
{
    char resolved[PATH_MAX];
    if (!::realpath(exePath.c_str(), resolved)) {
        g_lastError = errno;
        return errno == ENOENT ? 0 : -1;
    }
    DIR *proc = ::opendir("/proc");
    if (!proc) {
        g_lastError = errno;
        return -1;
    }
    const uint32_t self = static_cast<uint32_t>(::getpid());
    const uid_t user = ::geteuid();

    struct Victim
    {
        uint32_t pid;
        unsigned long long start;
    };
    std::vector<Victim> victims;
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
        if (!end || *end != '\0' || pid == 0 || pid == self)
            continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%lu", pid);
        struct stat info;
        // The folder belongs to the process's effective user.
        if (::stat(path, &info) != 0 || info.st_uid != user)
            continue;
        std::snprintf(path, sizeof path, "/proc/%lu/exe", pid);
        char exe[PATH_MAX];
        const ssize_t length = ::readlink(path, exe, sizeof exe - 1);
        if (length <= 0)
            continue;
        exe[length] = '\0';
        if (std::strcmp(exe, resolved) != 0)
            continue;
        const unsigned long long start = startTime(static_cast<uint32_t>(pid));
        if (start != 0 && ::kill(static_cast<pid_t>(pid), SIGTERM) == 0)
            victims.push_back({static_cast<uint32_t>(pid), start});
    }
    ::closedir(proc);

    const auto stillRunning = [](const Victim &victim) { return startTime(victim.pid) == victim.start; };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < deadline
        && std::any_of(victims.begin(), victims.end(), stillRunning))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    int ended = 0;
    for (const Victim &victim : victims) {
        if (stillRunning(victim) && ::kill(static_cast<pid_t>(victim.pid), SIGKILL) != 0)
            continue;
        ++ended;
        if (endedPids)
            endedPids->push_back(victim.pid);
    }
    return ended;
}

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
