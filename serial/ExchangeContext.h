#pragma once
#include <windows.h>
#include <atomic>
#include "serial/RequestQueue.h"
#include "serial/SerialPort.h"
#include "serial/SinkGate.h"
#include "win32/CriticalSection.h"
#include "win32/ManualResetEvent.h"
#include "win32/UniqueHandle.h"

// The host's stop: a flag the worker reads between steps, and an event that
// ends its waits (a pending write among them) at once. Setting and clearing
// are whole, so a stop racing a start cannot leave the event signalled
// with the flag clear.
class CStopSignal {
public:
    void Set() {
        Win32::Lock hold(m_change);
        m_set = true;
        SetEvent(m_event.Get());
    }
    void Clear() {
        Win32::Lock hold(m_change);
        m_set = false;
        m_event.Reset();
    }
    bool IsSet() const { return m_set; }
    HANDLE Event() const { return m_event.Get(); }

private:
    std::atomic<bool> m_set{false};
    Win32::ManualResetEvent m_event = Win32::ManualResetEvent::Create();
    Win32::CriticalSection m_change;
};

// The first sign that the device has gone, from whichever operation saw
// it; the exchange ends on it. Only the worker records and reads it.
class CDeviceLoss {
public:
    void Record(DWORD error, const wchar_t* operation) {
        if (m_error != ERROR_SUCCESS) return;
        m_error = error;
        m_operation = operation;
    }
    void Clear() { m_error = ERROR_SUCCESS; }
    bool Happened() const { return m_error != ERROR_SUCCESS; }
    DWORD Error() const { return m_error; }
    const wchar_t* Operation() const { return m_operation; }

private:
    DWORD m_error = ERROR_SUCCESS;
    const wchar_t* m_operation = L"";
};

// Everything an exchange works on, shared by the host's side and the
// worker, which may outlive the plug-in object.
struct ExchangeContext {
    explicit ExchangeContext(const SerialApi& api = SerialApi::System()) : port(api) {}
    ExchangeContext(const ExchangeContext&) = delete;
    ExchangeContext& operator=(const ExchangeContext&) = delete;

    void Wake() { SetEvent(wake.Get()); }

    // The device's status; false, with the device recorded as gone, when it
    // no longer answers.
    bool Status(COMSTAT* status) {
        DWORD error = ERROR_SUCCESS;
        if (port.ClearErrors(status, &error)) return true;
        loss.Record(error, L"status");
        return false;
    }

    // True, with the device recorded as gone, when an operation's error
    // says so. An abort the worker did not cause says so only when the
    // device no longer answers: some drivers (Wine on a plain
    // pseudo-terminal) abort every wait.
    bool DeviceGoneBy(DWORD error, const wchar_t* operation) {
        if (!MeansDeviceGone(error)) return false;
        COMSTAT status{};
        if (error == ERROR_OPERATION_ABORTED) return !Status(&status);
        loss.Record(error, operation);
        return true;
    }

    CSerialPort port;
    CSinkGate sink;
    CRequestQueue requests;
    CStopSignal stop;
    CDeviceLoss loss;
    // Auto-reset: one wake-up ends at most one listening wait, so a newly
    // queued request or a stop need not wait out a quiet listening time.
    Win32::UniqueHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};
