#include "updater/programcontrol.h"

#include <windows.h>

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

} // namespace

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
