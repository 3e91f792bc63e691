#pragma once
#include <windows.h>

// One serial device opened for overlapped I/O, with the event on which it
// waits for received characters. Used by one thread at a time.
class CSerialPort {
public:
    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Kept for the table's shape; nothing in the module calls it.
    virtual void FreeOverlapped(DWORD, DWORD, OVERLAPPED* record);

    bool IsOpen() const { return m_port != INVALID_HANDLE_VALUE; }
    void Close();

private:
    HANDLE m_port = INVALID_HANDLE_VALUE;
    HANDLE m_waitEvent = nullptr;
    HMODULE m_kernel = nullptr;
    FARPROC m_cancelIo = nullptr;
};
