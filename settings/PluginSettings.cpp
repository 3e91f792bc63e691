#include "../plugin/DeviceCommonPlugin.h"
#include "SettingsPersistence.h"

void CDeviceCommonPlugin::LoadSettings(ISettingsReader* reader) {
    Settings::LoadPortSettings(*reader, m_descriptors, m_settings);
}

void CDeviceCommonPlugin::SaveSettings(ISettingsWriter* writer) {
    Settings::SavePortSettings(*writer, m_descriptors, m_settings);
}
