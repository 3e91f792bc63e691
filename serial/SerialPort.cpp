#include "SerialPort.h"

CSerialPort::CSerialPort()
    : m_kernel(GetModuleHandleW(L"KERNEL32.DLL")),
      m_cancelIo(m_kernel ? GetProcAddress(m_kernel, "CancelIo") : nullptr) {}

CSerialPort::~CSerialPort() { Close(); }

void CSerialPort::FreeOverlapped(DWORD, DWORD, OVERLAPPED* record) { delete record; }

void CSerialPort::Close() {
    if (m_port != INVALID_HANDLE_VALUE) {
        CloseHandle(m_port);
        m_port = INVALID_HANDLE_VALUE;
    }
    if (m_waitEvent) {
        CloseHandle(m_waitEvent);
        m_waitEvent = nullptr;
    }
}
