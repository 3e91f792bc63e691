#include "serial/DeviceHealth.h"
#include "win32/Trace.h"

void CDeviceHealth::Reset(const wchar_t* path, ULONGLONG now) {
    m_path = path;
    for (int call = 0; call < kCalls; ++call) {
        m_worked[call] = false;
        m_unsupported[call] = false;
    }
    m_goneError = ERROR_SUCCESS;
    m_lastSign = now;
}

const wchar_t* CDeviceHealth::Name(PortCall call) {
    switch (call) {
    case PortCall::Status: return L"status";
    case PortCall::Wait: return L"wait";
    case PortCall::Read: return L"read";
    case PortCall::Write: return L"write";
    case PortCall::Quiet: return L"check of a quiet line";
    }
    return L"call";
}

bool CDeviceHealth::Status(COMSTAT* status) {
    if (Gone() || Unsupported(PortCall::Status)) return false;
    DWORD lineErrors = 0;
    const IoResult answer = m_port.ClearErrors(status, &lineErrors);
    if (answer.state == IoState::Completed) {
        Succeeded(PortCall::Status);
        m_lineErrors.Add(lineErrors, GetTickCount64());
        return true;
    }
    Failed(PortCall::Status, answer.error);
    return false;
}

bool CDeviceHealth::Failed(PortCall call, DWORD error) {
    if (Gone()) return true;
    if (m_port.QueryLineState().state == IoState::Failed) {
        RecordGone(call, error);
        return true;
    }
    // Only calls the exchange can do without are given up.
    const bool dispensable = call == PortCall::Status || call == PortCall::Wait;
    if (dispensable && !m_worked[Index(call)] && !m_unsupported[Index(call)]) {
        m_unsupported[Index(call)] = true;
        Trace(L"%ls: the driver refuses the %ls call (error %lu) though the port answers: the exchange goes on "
              L"without it",
              m_path, Name(call), error);
    }
    return false;
}

void CDeviceHealth::CheckWhenQuiet(ULONGLONG now) {
    if (Gone() || now - m_lastSign < kQuietCheckMilliseconds) return;
    m_lastSign = now;
    const IoResult answer = m_port.QueryLineState();
    if (answer.state == IoState::Failed) RecordGone(PortCall::Quiet, answer.error);
}

void CDeviceHealth::RecordGone(PortCall call, DWORD error) {
    // A driver that failed without saying why still lost its device.
    m_goneError = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    m_goneBy = call;
}
