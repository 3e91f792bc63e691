#include "../plugin/DeviceCommonPlugin.h"
#include "../win32/UniqueBstr.h"
#include "ComboChoices.h"
#include "WaitTimeText.h"

using namespace Settings;

void CDeviceCommonPlugin::FillView(IPropertyListView* view) {
    m_view = view;
    // Without a view there is nothing to fill, and ApplyView will refuse.
    if (!view) return;

    view->AddGroup(m_descriptors.at(AutoImportGroup).caption.c_str());
    const SettingDescriptor& waitTime = m_descriptors.at(WaitTime);
    view->AddTextProperty(waitTime.id, true, waitTime.caption.c_str(), FormatWaitTime(m_settings.waitTime).c_str());

    view->AddGroup(m_descriptors.at(PortSettingsGroup).caption.c_str());
    for (SettingId id : {Port, BaudRate, Parity, DataBits, StopBits, FlowControl}) AddComboSetting(m_descriptors.at(id));
}

void CDeviceCommonPlugin::AddComboSetting(const SettingDescriptor& descriptor) {
    const OptionList* choices = nullptr;
    int32_t selected = 0;
    switch (descriptor.id) {
    case Port:
        RefreshPortList();
        choices = &m_portList;
        selected = SelectedPort();
        break;
    case BaudRate:
        choices = &m_baudRateList;
        selected = static_cast<int32_t>(m_settings.line.BaudRate);
        break;
    case Parity:
        choices = &m_parityList;
        selected = m_settings.line.Parity;
        break;
    case DataBits:
        choices = &m_dataBitsList;
        selected = m_settings.line.ByteSize;
        break;
    case StopBits:
        choices = &m_stopBitsList;
        selected = m_settings.line.StopBits;
        break;
    case FlowControl:
        choices = &m_flowControlList;
        selected = m_settings.flowControl;
        break;
    default:
        return;
    }
    OfferChoices(*m_view, descriptor.id, true, descriptor.caption.c_str(), *choices, selected);
}

void CDeviceCommonPlugin::RefreshPortList() { ProbePorts(m_ports, m_settings.portName, m_portList); }

// The configured port when it was found (names compare exactly, case
// included), else the lowest port found, else -1 for none.
int32_t CDeviceCommonPlugin::SelectedPort() const {
    for (const auto& [number, name] : m_portList) {
        if (name == m_settings.portName) return number;
    }
    return m_portList.empty() ? -1 : m_portList.begin()->first;
}

bool CDeviceCommonPlugin::ApplyView() {
    if (!m_view) return false;
    // Each setting stands by itself: one the view does not deliver keeps its
    // value and does not stop the others.
    for (SettingId id : {Port, BaudRate, Parity, DataBits, StopBits, FlowControl}) ApplySetting(id);
    return ApplySetting(WaitTime);
}

bool CDeviceCommonPlugin::ApplySetting(SettingId id) {
    if (id == WaitTime) {
        Win32::UniqueBstr text;
        if (!m_view->GetTextValue(id, text.Receive())) return false;
        m_settings.waitTime = ParseWaitTime(text.Get());
        return true;
    }

    int32_t value = 0;
    if (!m_view->GetComboValue(id, &value)) return false;
    switch (id) {
    case Port: {
        // Only a port the last probe offered can be chosen.
        auto found = m_portList.find(value);
        if (found == m_portList.end()) return false;
        m_settings.portName = found->second;
        break;
    }
    case BaudRate:
        m_settings.line.BaudRate = static_cast<DWORD>(value);
        break;
    case Parity:
        m_settings.line.Parity = LowByte(value);
        break;
    case DataBits:
        m_settings.line.ByteSize = LowByte(value);
        break;
    case StopBits:
        m_settings.line.StopBits = LowByte(value);
        break;
    case FlowControl:
        // The line flags follow the new mode at the next load, as stored
        // settings always have.
        m_settings.flowControl = value;
        break;
    default:
        return false;
    }
    return true;
}
