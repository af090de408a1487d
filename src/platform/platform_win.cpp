#include "platform/platform.h"

// winsock2 before windows.h, iphlpapi after both.
#include <iphlpapi.h>
#include <tlhelp32.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cwctype>
#include <memory>

namespace platform {
namespace {

std::wstring toWide(const std::string &text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

std::wstring lower(std::wstring text)
{
    for (wchar_t &c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
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

// Calls visit(entry) for every process of a fresh snapshot, in snapshot order, until it returns
// false. Returns false when no snapshot could be taken.
template<typename F> bool forEachProcess(F &&visit)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    if (Process32FirstW(snapshot, &entry)) {
        do {
            if (!visit(entry))
                break;
        } while (Process32NextW(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return true;
}

// The table can grow between the size query and the read; a few retries cover that.
bool readOwnerTable(std::unique_ptr<char[]> &buffer)
{
    DWORD size = 0;
    DWORD result = GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (size == 0)
            return false;
        size += 16 * sizeof(MIB_TCPROW_OWNER_PID);
        buffer.reset(new char[size]);
        result = GetExtendedTcpTable(buffer.get(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
        if (result == NO_ERROR)
            return true;
        if (result != ERROR_INSUFFICIENT_BUFFER)
            return false;
    }
    return false;
}

TcpRow toRow(const MIB_TCPROW_OWNER_PID &raw)
{
    TcpRow row;
    row.state = raw.dwState;
    row.localAddr = ntohl(raw.dwLocalAddr);
    // The port sits in the low 16 bits of its 32-bit field, in network order.
    row.localPort = ntohs(static_cast<u_short>(raw.dwLocalPort & 0xFFFF));
    row.remoteAddr = ntohl(raw.dwRemoteAddr);
    row.remotePort = ntohs(static_cast<u_short>(raw.dwRemotePort & 0xFFFF));
    row.pid = raw.dwOwningPid;
    return row;
}

} // namespace

std::vector<uint32_t> processIdsMatching(const std::vector<std::string> &nameParts)
{
    std::vector<uint32_t> pids;
    std::vector<std::wstring> parts;
    for (const std::string &part : nameParts) {
        if (!part.empty())
            parts.push_back(lower(toWide(part)));
    }
    if (parts.empty())
        return pids;
    forEachProcess([&](const PROCESSENTRY32W &entry) {
        const std::wstring name = lower(entry.szExeFile);
        for (const std::wstring &part : parts) {
            if (name.find(part) != std::wstring::npos) {
                pids.push_back(entry.th32ProcessID);
                break;
            }
        }
        return true;
    });
    return pids;
}

bool readTcpTable(std::vector<TcpRow> &rows, const std::vector<uint32_t> &)
{
    rows.clear();
    std::unique_ptr<char[]> buffer;
    if (!readOwnerTable(buffer))
        return false;
    const auto *table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID *>(buffer.get());
    rows.reserve(table->dwNumEntries);
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        rows.push_back(toRow(table->table[i]));
    return true;
}

void setDirectSocketReads(bool) { }

bool connectionExists(const TcpRow &row)
{
    std::unique_ptr<char[]> buffer;
    if (!readOwnerTable(buffer))
        return false;
    const auto *table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID *>(buffer.get());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const TcpRow other = toRow(table->table[i]);
        if (other.state == row.state && other.localAddr == row.localAddr && other.localPort == row.localPort
            && other.remoteAddr == row.remoteAddr && other.remotePort == row.remotePort)
            return true;
    }
    return false;
}

bool processAlive(uint32_t pid)
{
    if (pid == 0)
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED; // exists, but belongs to someone else
    DWORD code = 0;
    const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return alive;
}

std::vector<Adapter> adapters()
{
    std::vector<Adapter> result;
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0)
        return result;
    std::unique_ptr<char[]> buffer(new char[size]);
    auto *list = reinterpret_cast<IP_ADAPTER_INFO *>(buffer.get());
    if (GetAdaptersInfo(list, &size) != ERROR_SUCCESS)
        return result;
    for (const IP_ADAPTER_INFO *info = list; info; info = info->Next) {
        Adapter adapter;
        adapter.name = info->AdapterName;
        if (info->Type == IF_TYPE_IEEE80211)
            adapter.type = AdapterType::Wireless;
        else if (info->Type == MIB_IF_TYPE_ETHERNET)
            adapter.type = AdapterType::Ethernet;
        adapter.hardwareAddressLength = info->AddressLength;
        for (UINT i = 0; i < info->AddressLength && i < MAX_ADAPTER_ADDRESS_LENGTH; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, i ? ":%02x" : "%02x", info->Address[i]);
            adapter.hardwareAddress += byte;
        }
        // An adapter without an address reports "0.0.0.0".
        const std::string ip = info->IpAddressList.IpAddress.String;
        if (ip != "0.0.0.0")
            adapter.firstIpv4 = ip;
        result.push_back(adapter);
    }
    return result;
}

bool isProcessElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation {};
    DWORD size = 0;
    const bool ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

std::string installedFirewallHelper()
{
    return {}; // the firewall tools run in the elevated process itself
}

bool isUserAdmin()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
            0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member))
        member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

bool passFirewallRightToChildren()
{
    return true;
}

int terminateProgramAt(const std::string &exePath, std::vector<uint32_t> *endedPids)
{
    const std::wstring wanted = fullPath(toWide(exePath));
    const std::unique_ptr<BYTE[]> ownUser = tokenUser(GetCurrentProcess());
    if (!ownUser)
        return -1;
    const DWORD self = GetCurrentProcessId();
    int ended = 0;
    const bool listed = forEachProcess([&](const PROCESSENTRY32W &entry) {
        if (entry.th32ProcessID == self)
            return true;
        HANDLE process = OpenProcess(
            PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process)
            return true; // not ours to end
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
        return true;
    });
    return listed ? ended : -1;
}

std::string ipv4ToString(uint32_t hostOrderAddr)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>((hostOrderAddr >> 24) & 0xFF),
        static_cast<unsigned>((hostOrderAddr >> 16) & 0xFF),
        static_cast<unsigned>((hostOrderAddr >> 8) & 0xFF), static_cast<unsigned>(hostOrderAddr & 0xFF));
    return text;
}

} // namespace platform
