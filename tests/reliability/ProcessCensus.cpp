#include "ProcessCensus.h"
#include "win32/UniqueHandle.h"
#include <tlhelp32.h>
#include <vector>

namespace {

constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);

DWORD HandlesInSystemTable() {
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<char> buffer(1 << 16);
    ULONG needed = 0;
    LONG status;
    while ((status = query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                           &needed)) == kStatusInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0) return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const ULONG_PTR self = GetCurrentProcessId();
    DWORD count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) count += table->entries[i].processId == self;
    return count;
}

}  // namespace

namespace Census {

DWORD HandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
    return HandlesInSystemTable();
}

DWORD ThreadCount() {
    Win32::CUniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot.IsValid()) return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD count = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        count += entry.th32OwnerProcessID == self;
    }
    return count;
}

double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return double(ticks(kernel) + ticks(user)) / 10000.0;
}

bool SettlesAt(DWORD handles, DWORD threads, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        if (HandleCount() == handles && ThreadCount() == threads) return true;
        Sleep(20);
    } while (GetTickCount64() < deadline);
    return false;
}

}  // namespace Census
