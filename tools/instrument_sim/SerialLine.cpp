#include "SerialLine.h"
#include "win32/DevicePath.h"

bool CSerialLine::Open(const std::wstring& name, DWORD baud, DWORD& error) {
    m_port.Reset(CreateFileW(Win32::DevicePathFor(name.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    if (!m_port.IsValid()) {
        error = GetLastError();
        return false;
    }
    DCB line{};
    line.DCBlength = sizeof line;
    GetCommState(m_port.Get(), &line);
    line.BaudRate = baud;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fOutxCtsFlow = line.fOutxDsrFlow = line.fOutX = line.fInX = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    // Reads return at once with whatever has arrived; writes never time out.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    if (!SetCommState(m_port.Get(), &line) || !SetCommTimeouts(m_port.Get(), &timeouts)) {
        error = GetLastError();
        m_port.Reset();
        return false;
    }
    return true;
}

bool CSerialLine::Write(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(m_port.Get(), text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr))
            return false;
        done += written;
    }
    return true;
}

bool CSerialLine::ReadAvailable(std::string& into) {
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(m_port.Get(), &errors, &status)) return false;
    if (status.cbInQue == 0) return true;
    std::string buffer(status.cbInQue, '\0');
    DWORD read = 0;
    if (!ReadFile(m_port.Get(), buffer.data(), status.cbInQue, &read, nullptr)) return false;
    into.append(buffer.data(), read);
    return true;
}

bool CSerialLine::Drain() { return FlushFileBuffers(m_port.Get()) != FALSE; }
