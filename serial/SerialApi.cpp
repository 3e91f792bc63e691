#include "serial/SerialApi.h"

namespace Serial {

const SerialApi& SerialApi::System() {
    static const SerialApi api{
        &::CreateFileW,    &::CloseHandle,     &::SetCommState,   &::SetupComm,
        &::SetCommTimeouts, &::GetCommMask,    &::SetCommMask,    &::WaitCommEvent,
        &::ClearCommError, &::ReadFile,        &::WriteFile,      &::GetOverlappedResult,
        &::CancelIoEx,      &::GetCommState,    &::PurgeComm,
    };
    return api;
}

}  // namespace Serial
