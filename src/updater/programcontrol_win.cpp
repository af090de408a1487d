#include "updater/programcontrol.h"

#include <windows.h>

#include <tlhelp32.h>

#include <memory>

namespace ProgramControl {

namespace {

DWORD g_lastError = 0;

std::wstring toWide(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::wstring fullPath(const std::wstring &path)
{
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length
        = GetFullPathNameW(path.c_str(), DWORD(sizeof buffer / sizeof buffer[0]), buffer, nullptr);
    if (length == 0 || length >= sizeof buffer / sizeof buffer[0])
        return path;
    // Short (8.3) names and long names of one file must compare equal.
    wchar_t longName[MAX_PATH * 4];
    const DWORD longLength = GetLongPathNameW(buffer, longName, DWORD(sizeof longName / sizeof longName[0]));
    if (longLength == 0 || longLength >= sizeof longName / sizeof longName[0])
        return std::wstring(buffer, length);
    return std::wstring(longName, longLength);
}

bool samePath(const std::wstring &a, const std::wstring &b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The user SID of a process token, as bytes; empty when the token cannot be read.
std::unique_ptr<BYTE[]> tokenUser(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<BYTE[]> data(size ? new BYTE[size] : nullptr);
    if (!data || !GetTokenInformation(token, TokenUser, data.get(), size, &size))
        data.reset();
    CloseHandle(token);
    return data;
}

PSID sidOf(const std::unique_ptr<BYTE[]> &user)
{
    return reinterpret_cast<TOKEN_USER *>(user.get())->User.Sid;
}

} // namespace

int endProgramAt(const std::string &exePath, std::vector<uint32_t> *endedPids)
{
    const std::wstring wanted = fullPath(toWide(exePath));
    const std::unique_ptr<BYTE[]> ownUser = tokenUser(GetCurrentProcess());
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE || !ownUser) {
        g_lastError = GetLastError();
        if (snapshot != INVALID_HANDLE_VALUE)
            CloseHandle(snapshot);
        return -1;
    }
    const DWORD self = GetCurrentProcessId();
    int ended = 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            continue;
        HANDLE process = OpenProcess(
            PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process)
            continue; // not ours to end
        wchar_t image[MAX_PATH * 4];
        DWORD length = DWORD(sizeof image / sizeof image[0]);
        const std::unique_ptr<BYTE[]> user = tokenUser(process);
        const bool match = QueryFullProcessImageNameW(process, 0, image, &length)
            && samePath(fullPath(std::wstring(image, length)), wanted) && user
            && EqualSid(sidOf(user), sidOf(ownUser));
        if (match && TerminateProcess(process, 0)) {
            // The image file stays locked until the process is really gone.
            WaitForSingleObject(process, 5000);
            ++ended;
            if (endedPids)
                endedPids->push_back(entry.th32ProcessID);
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return ended;
}

bool renameReplacing(const std::string &from, const std::string &to)
{
    if (MoveFileExW(
            toWide(from).c_str(), toWide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    g_lastError = GetLastError();
    return false;
}

std::string lastErrorText()
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        g_lastError, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string result;
    if (length && text) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
        result.resize(size_t(size));
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), result.data(), size, nullptr, nullptr);
        while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
            result.pop_back();
    }
    LocalFree(text);
    return result.empty() ? "error " + std::to_string(g_lastError) : result;
}

} // namespace ProgramControl
