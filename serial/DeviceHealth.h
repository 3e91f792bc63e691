#pragma once
#include <windows.h>
#include "serial/LineErrors.h"
#include "serial/SerialPort.h"

// The calls of an exchange whose failure is judged.
enum class PortCall { Status, Wait, Read, Write, Quiet };

// Whether the device is still there, judged by evidence rather than by
// error codes: drivers report an unplug with many codes (and some with none
// at all), and refuse calls they do not support with the same codes. A
// failed call means the device is gone when the port no longer answers a
// query of its line state too; a call that failed from its first use while
// the port answers is one the driver does not support, and the exchange
// goes on without it; any other failure passes, and the caller tries again
// at its own pace. Only the worker uses it.
class CDeviceHealth {
public:
    // How often a quiet device is asked whether it is still there: an
    // adapter that vanishes without failing a call ends the exchange then.
    static constexpr ULONGLONG kQuietCheckMilliseconds = 1000;

    // The status call's error word goes to lineErrors.
    CDeviceHealth(CSerialPort& port, CLineErrors& lineErrors) : m_port(port), m_lineErrors(lineErrors) {}
    CDeviceHealth(const CDeviceHealth&) = delete;
    CDeviceHealth& operator=(const CDeviceHealth&) = delete;

    // A new exchange on the port at path, opened at the time now.
    void Reset(const wchar_t* path, ULONGLONG now);

    // The device's status; false when there is none: the driver does not
    // support the call, it failed this time, or the device is gone.
    bool Status(COMSTAT* status);
    // Judges a call's failure; true when the device is gone.
    bool Failed(PortCall call, DWORD error);
    void Succeeded(PortCall call) { m_worked[Index(call)] = true; }
    bool Unsupported(PortCall call) const { return m_unsupported[Index(call)]; }
    // Bytes came at the time now: the device is there.
    void DataCame(ULONGLONG now) { m_lastSign = now; }
    // Asks a device that has been quiet for a while whether it is there.
    void CheckWhenQuiet(ULONGLONG now);

    bool Gone() const { return m_goneError != ERROR_SUCCESS; }
    DWORD GoneError() const { return m_goneError; }
    // The call that saw the device gone, as the trace names it.
    const wchar_t* GoneBy() const { return Name(m_goneBy); }

private:
    static constexpr int kCalls = 5;
    static int Index(PortCall call) { return static_cast<int>(call); }
    static const wchar_t* Name(PortCall call);
    void RecordGone(PortCall call, DWORD error);

    CSerialPort& m_port;
    CLineErrors& m_lineErrors;
    const wchar_t* m_path = L"";
    bool m_worked[kCalls] = {};
    bool m_unsupported[kCalls] = {};
    DWORD m_goneError = ERROR_SUCCESS;
    PortCall m_goneBy = PortCall::Status;
    ULONGLONG m_lastSign = 0;
};
