// The serial calls of the plug-in built on a modelled line: what it receives
// passes through the line model first, as a UART set to the plug-in's speed
// and framing takes what the instrument sends at MODEL_LINE_SENDS ("38400
// 8N1"), with the framing and parity errors it would report. The rig's line
// carries bytes whatever the speed and reports no error, so only this way
// does a wrong setting garble there. Without MODEL_LINE_SENDS every call is
// the system's.
//
// Defining SerialApi::System here keeps the linker from taking the system's
// definition out of the plug-in's library, which holds nothing else in its
// object.
#include <windows.h>
#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>
#include "LineModel.h"
#include "serial/SerialApi.h"
#include "win32/Event.h"

namespace {

struct ModelledPort {
    LineModel::Framing read;  // as the plug-in set the port
    std::deque<uint8_t> received;
    DWORD errors = 0;  // since the plug-in last asked
};

std::optional<LineModel::Framing> InstrumentSends() {
    char text[64] = "";
    LineModel::Framing sends;
    const DWORD length = GetEnvironmentVariableA("MODEL_LINE_SENDS", text, sizeof text);
    if (length == 0 || length >= sizeof text || !LineModel::ParseFraming(text, sends)) return std::nullopt;
    return sends;
}

const std::optional<LineModel::Framing> g_sends = InstrumentSends();
std::mutex g_lock;
std::map<HANDLE, ModelledPort> g_ports;  // the ports whose line the plug-in set

// Takes what the driver holds and puts it through the model, one burst per
// call: the driver's status, with the modelled count, or its failure.
BOOL Drain(HANDLE port, ModelledPort& modelled, DWORD& errors, COMSTAT& status) {
    if (!::ClearCommError(port, &errors, &status)) return FALSE;
    if (status.cbInQue != 0) {
        std::vector<uint8_t> chunk(status.cbInQue);
        const Win32::CEvent done(Win32::CEvent::Reset::Manual);
        OVERLAPPED record{};
        record.hEvent = done.Get();
        DWORD got = 0;
        // Queued bytes make the read complete at once under the plug-in's time-outs.
        if (!::ReadFile(port, chunk.data(), status.cbInQue, &got, &record) &&
            !(GetLastError() == ERROR_IO_PENDING && ::GetOverlappedResult(port, &record, &got, TRUE))) {
            got = 0;
        }
        const LineModel::Reading reading = LineModel::Read(chunk.data(), got, *g_sends, modelled.read);
        modelled.received.insert(modelled.received.end(), reading.bytes.begin(), reading.bytes.end());
        modelled.errors |= reading.errors;
    }
    status.cbInQue = static_cast<DWORD>(modelled.received.size());
    return TRUE;
}

BOOL WINAPI ModelledSetCommState(HANDLE port, LPDCB line) {
    if (!g_sends || !line) return ::SetCommState(port, line);
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_ports[port].read = {line->BaudRate, line->ByteSize, line->Parity, line->StopBits};
    }
    // A pseudo-terminal refuses parity and 7 data bits: the model does them.
    DCB driver = *line;
    driver.ByteSize = 8;
    driver.Parity = NOPARITY;
    driver.fParity = FALSE;
    return ::SetCommState(port, &driver);
}

BOOL WINAPI ModelledGetCommState(HANDLE port, LPDCB line) {
    if (!::GetCommState(port, line)) return FALSE;
    std::lock_guard<std::mutex> hold(g_lock);
    const auto modelled = g_ports.find(port);
    if (modelled != g_ports.end()) {
        line->ByteSize = modelled->second.read.dataBits;
        line->Parity = modelled->second.read.parity;
    }
    return TRUE;
}

BOOL WINAPI ModelledClearCommError(HANDLE port, LPDWORD errors, LPCOMSTAT status) {
    std::unique_lock<std::mutex> hold(g_lock);
    const auto modelled = g_ports.find(port);
    if (modelled == g_ports.end()) {
        hold.unlock();
        return ::ClearCommError(port, errors, status);
    }
    DWORD driverErrors = 0;
    COMSTAT driverStatus{};
    if (!Drain(port, modelled->second, driverErrors, driverStatus)) return FALSE;
    if (errors) *errors = driverErrors | std::exchange(modelled->second.errors, 0);
    if (status) *status = driverStatus;
    return TRUE;
}

// Completes at once with what the model holds, none when it holds nothing,
// as Windows does with reads that return what is queued.
BOOL WINAPI ModelledReadFile(HANDLE port, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED record) {
    std::unique_lock<std::mutex> hold(g_lock);
    const auto modelled = g_ports.find(port);
    if (modelled == g_ports.end() || !record) {
        hold.unlock();
        return ::ReadFile(port, buffer, size, read, record);
    }
    std::deque<uint8_t>& received = modelled->second.received;
    DWORD driverErrors = 0;
    COMSTAT driverStatus{};
    if (received.empty()) Drain(port, modelled->second, driverErrors, driverStatus);
    const DWORD count = static_cast<DWORD>(std::min<size_t>(size, received.size()));
    std::copy_n(received.begin(), count, static_cast<uint8_t*>(buffer));
    received.erase(received.begin(), received.begin() + count);
    record->Internal = 0;
    record->InternalHigh = count;
    if (record->hEvent) SetEvent(record->hEvent);
    if (read) *read = count;
    return TRUE;
}

BOOL WINAPI ModelledCloseHandle(HANDLE handle) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_ports.erase(handle);
    }
    return ::CloseHandle(handle);
}

}  // namespace

namespace Serial {

const SerialApi& SerialApi::System() {
    static const SerialApi api{
        &::CreateFileW,           &ModelledCloseHandle, &ModelledSetCommState, &::SetupComm,
        &::SetCommTimeouts,       &::GetCommMask,       &::SetCommMask,        &::WaitCommEvent,
        &ModelledClearCommError,  &ModelledReadFile,    &::WriteFile,          &::GetOverlappedResult,
        &::CancelIoEx,            &ModelledGetCommState, &::PurgeComm,
    };
    return api;
}

}  // namespace Serial
