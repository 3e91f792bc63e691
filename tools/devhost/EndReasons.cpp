#include "EndReasons.h"
#include <cwchar>
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

constexpr wchar_t kDeviceGone[] = L"the device is gone";

// The number after "error " in a trace line, 0 when there is none.
DWORD TracedError(const std::wstring& traced) {
    const size_t at = traced.find(L"error ");
    return at == std::wstring::npos ? 0 : std::wcstoul(traced.c_str() + at + 6, nullptr, 10);
}

std::wstring DevicePathOf(const std::wstring& portName) {
    return portName.rfind(L"\\\\", 0) == 0 ? portName : L"\\\\.\\" + portName;
}

// Opens the port as the plug-in does, to hear from Windows why it fails.
std::wstring AskWindows(const std::wstring& portName) {
    Win32::UniqueHandle port(CreateFileW(DevicePathOf(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    if (!port.IsValid()) return portName + L" could not be opened: " + WindowsMessage(GetLastError());
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(port.Get(), &line)) {
        return portName + L" is not a serial port: " + WindowsMessage(GetLastError());
    }
    return portName + L" could not be opened by the plug-in, though it opens now";
}

}  // namespace

std::wstring WindowsMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text ? std::wstring(text, length) : L"";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    const std::wstring code = L"error " + std::to_wstring(error);
    return message.empty() ? code : message + L" (" + code + L")";
}

bool SaysDeviceGone(const std::wstring& traced) { return traced.rfind(kDeviceGone, 0) == 0; }

std::wstring ExplainEnd(const std::wstring& traced) {
    if (traced.empty()) return L"the plug-in's trace, which says why, could not be read";
    const DWORD error = TracedError(traced);
    if (SaysDeviceGone(traced) && error != 0) return traced + L": " + WindowsMessage(error);
    return traced;
}

std::wstring ExplainPortNotOpened(const std::wstring& portName, const std::wstring& tracedFailure) {
    const DWORD error = TracedError(tracedFailure);
    if (error != 0) return portName + L" could not be opened: " + WindowsMessage(error);
    return AskWindows(portName);
}

}  // namespace DevHost
