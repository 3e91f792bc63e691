#include "settings/PropertyListController.h"
#include "plugin_api/HostBoundary.h"
#include "settings/ComboChoices.h"
#include "settings/DecimalText.h"
#include "win32/UniqueBstr.h"

namespace Settings {

CPropertyListController::CPropertyListController(const DescriptorTable& descriptors, CSharedSettings& settings,
                                                 IPortSystem& ports)
    : m_descriptors(descriptors), m_settings(settings), m_ports(ports) {
    FillBaudRates(m_baudRateList);
    FillDataBits(m_dataBitsList);
    FillParities(m_parityList);
    FillStopBits(m_stopBitsList);
    FillFlowControls(m_flowControlList);
}

void CPropertyListController::FillView(IPropertyListView* view) {
    m_view = view;
    // Without a view there is nothing to fill, and ApplyView will refuse.
    // Out of memory, the view keeps what was added so far.
    if (view) Plugin::AnswerNothing([&] { Fill(*view); });
}

void CPropertyListController::Fill(IPropertyListView& view) {
    const PortSettings shown = m_settings.Copy();
    OptionList found;
    ListPorts(m_ports, found);
    m_portList.swap(found);

    view.AddGroup(m_descriptors.at(AutoImportGroup).caption.c_str());
    const SettingDescriptor& waitTime = m_descriptors.at(WaitTime);
    view.AddTextProperty(waitTime.id, true, waitTime.caption.c_str(), FormatDecimal(shown.waitTime).c_str());

    view.AddGroup(m_descriptors.at(PortSettingsGroup).caption.c_str());
    for (SettingId id : {Port, BaudRate, Parity, DataBits, StopBits, FlowControl}) {
        AddComboSetting(view, m_descriptors.at(id), shown);
    }
}

void CPropertyListController::AddComboSetting(IPropertyListView& view, const SettingDescriptor& descriptor,
                                              const PortSettings& shown) {
    const OptionList* choices = nullptr;
    int32_t selected = 0;
    switch (descriptor.id) {
    case Port:
        choices = &m_portList;
        selected = SelectedPort(shown.portName);
        break;
    case BaudRate:
        choices = &m_baudRateList;
        selected = static_cast<int32_t>(shown.line.BaudRate);
        break;
    case Parity:
        choices = &m_parityList;
        selected = shown.line.Parity;
        break;
    case DataBits:
        choices = &m_dataBitsList;
        selected = shown.line.ByteSize;
        break;
    case StopBits:
        choices = &m_stopBitsList;
        selected = shown.line.StopBits;
        break;
    case FlowControl:
        choices = &m_flowControlList;
        selected = shown.flowControl;
        break;
    default:
        return;
    }
    OfferChoices(view, descriptor.id, true, descriptor.caption.c_str(), *choices, selected);
}

// The configured port when it was found (names compare exactly, case
// included), else the lowest port found, else -1 for none.
int32_t CPropertyListController::SelectedPort(const Plugin::WideString& configured) const {
    for (const auto& [number, name] : m_portList) {
        if (name == configured) return number;
    }
    return m_portList.empty() ? -1 : m_portList.begin()->first;
}

bool CPropertyListController::ApplyView() {
    if (!m_view) return false;
    return Plugin::AnswerOr(false, [&] {
        PortSettings edited = m_settings.Copy();
        // Each setting stands by itself: one the view does not deliver keeps
        // its value and does not stop the others.
        for (SettingId id : {Port, BaudRate, Parity, DataBits, StopBits, FlowControl}) ApplySetting(id, edited);
        const bool waitTimeTaken = ApplySetting(WaitTime, edited);
        m_settings.Replace(std::move(edited));
        return waitTimeTaken;
    });
}

bool CPropertyListController::ApplySetting(SettingId id, PortSettings& edited) const {
    if (id == WaitTime) {
        Win32::CUniqueBstr text;
        if (!m_view->GetTextValue(id, text.Receive())) return false;
        edited.waitTime = ParseDecimal(text.Get());
        return true;
    }

    int32_t value = 0;
    if (!m_view->GetComboValue(id, &value)) return false;
    switch (id) {
    case Port: {
        // Only a port the last FillView offered can be chosen.
        auto found = m_portList.find(value);
        if (found == m_portList.end()) return false;
        edited.portName = found->second;
        break;
    }
    case BaudRate:
        edited.line.BaudRate = static_cast<DWORD>(value);
        break;
    case Parity:
        edited.line.Parity = LowByte(value);
        break;
    case DataBits:
        edited.line.ByteSize = LowByte(value);
        break;
    case StopBits:
        edited.line.StopBits = LowByte(value);
        break;
    case FlowControl:
        // The line flags follow the new mode at the next load, as stored
        // settings always have.
        edited.flowControl = value;
        break;
    default:
        return false;
    }
    return true;
}

}  // namespace Settings
