#pragma once
#include <windows.h>

namespace Plugin {

// The identifier by which the host knows this plug-in.
// {3CBDB207-D35C-4661-8C05-387097EB686A}
constexpr GUID kDeviceCommonPluginId = {0x3CBDB207, 0xD35C, 0x4661, {0x8C, 0x05, 0x38, 0x70, 0x97, 0xEB, 0x68, 0x6A}};

// The display name given to the host ("Other").
constexpr wchar_t kDeviceCommonPluginName[] = L"Другой";

}  // namespace Plugin
