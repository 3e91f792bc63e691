#pragma once
#include "plugin_api/HostInterfaces.h"
#include "settings/PortSettings.h"
#include "settings/SettingsTables.h"

namespace Settings {

// Reads the seven stored values under their descriptors' keys and derives
// the line record from them. Values are taken as they come: byte fields keep
// the low 8 bits, nothing is range-checked.
void LoadPortSettings(ISettingsReader& reader, const DescriptorTable& descriptors, PortSettings& settings);

// Writes the same values in the same order; the flow-control flags are not
// stored, the next load derives them from the mode.
void SavePortSettings(ISettingsWriter& writer, const DescriptorTable& descriptors, const PortSettings& settings);

}  // namespace Settings
