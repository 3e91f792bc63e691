#include "settings/SettingsTables.h"
#include "resources/StringIds.h"
#include "settings/DecimalText.h"
#include "settings/PortSettings.h"

namespace Settings {
namespace {

// The module that holds this code and therefore the string table: the DLL in
// production, the test program when the code is linked into one.
HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

void AddDescriptor(DescriptorTable& table, SettingId id, const wchar_t* key, UINT captionId) {
    table.emplace(id, SettingDescriptor{id, key, LoadCaption(captionId)});
}

void AddCaptioned(OptionList& list, int32_t value, UINT captionId) {
    list.emplace(value, LoadCaption(captionId));
}

}  // namespace

Plugin::WideString LoadCaption(UINT stringId) {
    // With a zero length LoadStringW hands out the resource's own read-only
    // text, which is not zero-terminated.
    const wchar_t* text = nullptr;
    int length = LoadStringW(ThisModule(), stringId, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Plugin::WideString(text, static_cast<size_t>(length)) : Plugin::WideString();
}

void FillDescriptors(DescriptorTable& table) {
    AddDescriptor(table, AutoImportGroup, L"AUTOIMPORTSETTINGS", IDS_AUTO_IMPORT_SETTINGS);
    AddDescriptor(table, WaitTime, Shared::kWaitTime.key, IDS_WAIT_TIME);
    AddDescriptor(table, PortSettingsGroup, L"PORTSETTINGS", IDS_PORT_SETTINGS);
    AddDescriptor(table, Port, Shared::kPort.key, IDS_PORT);
    AddDescriptor(table, BaudRate, Shared::kBaudRate.key, IDS_BAUD_RATE);
    AddDescriptor(table, Parity, Shared::kParity.key, IDS_PARITY);
    AddDescriptor(table, DataBits, Shared::kDataBits.key, IDS_DATA_BITS);
    AddDescriptor(table, StopBits, Shared::kStopBits.key, IDS_STOP_BITS);
    AddDescriptor(table, FlowControl, Shared::kFlowControl.key, IDS_FLOW_CONTROL);
}

void FillBaudRates(OptionList& list) {
    static const int32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                    19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int32_t rate : rates) list.emplace(rate, FormatDecimal(rate));
}

void FillDataBits(OptionList& list) {
    for (int32_t bits = 5; bits <= 8; ++bits) list.emplace(bits, FormatDecimal(bits));
}

void FillParities(OptionList& list) {
    AddCaptioned(list, NOPARITY, IDS_PARITY_NONE);
    AddCaptioned(list, ODDPARITY, IDS_PARITY_ODD);
    AddCaptioned(list, EVENPARITY, IDS_PARITY_EVEN);
    AddCaptioned(list, MARKPARITY, IDS_PARITY_MARK);
    AddCaptioned(list, SPACEPARITY, IDS_PARITY_SPACE);
}

void FillStopBits(OptionList& list) {
    AddCaptioned(list, ONESTOPBIT, IDS_STOP_BITS_ONE);
    AddCaptioned(list, ONE5STOPBITS, IDS_STOP_BITS_ONE_HALF);
    AddCaptioned(list, TWOSTOPBITS, IDS_STOP_BITS_TWO);
}

void FillFlowControls(OptionList& list) {
    AddCaptioned(list, FlowNone, IDS_FLOW_NONE);
    AddCaptioned(list, FlowHardware, IDS_FLOW_HARDWARE);
    AddCaptioned(list, FlowXonXoff, IDS_FLOW_XON_XOFF);
}

}  // namespace Settings
