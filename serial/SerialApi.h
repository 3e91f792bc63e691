#pragma once
#include <windows.h>

namespace Serial {

// The Win32 calls the serial port makes on its device. Production uses the
// system's; tests substitute scripted ones to produce driver results that
// a test machine cannot (reads that complete late, waits ended by a mask
// change, devices that vanish).
struct SerialApi {
    decltype(&::CreateFileW) createFile;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::SetCommState) setCommState;
    decltype(&::SetupComm) setupComm;
    decltype(&::SetCommTimeouts) setCommTimeouts;
    decltype(&::GetCommMask) getCommMask;
    decltype(&::SetCommMask) setCommMask;
    decltype(&::WaitCommEvent) waitCommEvent;
    decltype(&::ClearCommError) clearCommError;
    decltype(&::ReadFile) readFile;
    decltype(&::WriteFile) writeFile;
    decltype(&::GetOverlappedResult) getOverlappedResult;
    decltype(&::CancelIoEx) cancelIoEx;
    decltype(&::GetCommState) getCommState;
    decltype(&::PurgeComm) purgeComm;

    static const SerialApi& System();
};

}  // namespace Serial
