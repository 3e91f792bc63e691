#pragma once
#include <windows.h>
#include <cstdint>
#include <map>
#include "plugin_api/SharedConstants.h"
#include "plugin_api/WideString.h"

namespace Settings {

// Names a setting or a settings group; also the entry's id in the host's
// property list.
enum SettingId : int32_t {
    PortSettingsGroup = 0,
    Port = Shared::kPort.propertyId,
    BaudRate = Shared::kBaudRate.propertyId,
    Parity = Shared::kParity.propertyId,
    DataBits = Shared::kDataBits.propertyId,
    StopBits = Shared::kStopBits.propertyId,
    FlowControl = Shared::kFlowControl.propertyId,
    AutoImportGroup = 7,
    WaitTime = Shared::kWaitTime.propertyId,
};

struct SettingDescriptor {
    int32_t id;
    Plugin::WideString key;      // storage key in the host's settings
    Plugin::WideString caption;  // what the host shows
};

// Keyed by SettingId; holds all nine entries from construction on.
using DescriptorTable = std::map<int32_t, SettingDescriptor>;

// Value -> caption of one drop-down, ascending by value.
using OptionList = std::map<int32_t, Plugin::WideString>;

// The module's own caption with this string id.
Plugin::WideString LoadCaption(UINT stringId);

void FillDescriptors(DescriptorTable& table);
void FillBaudRates(OptionList& list);
void FillDataBits(OptionList& list);
void FillParities(OptionList& list);
void FillStopBits(OptionList& list);
void FillFlowControls(OptionList& list);

}  // namespace Settings
