#include "settings/SettingsPersistence.h"
#include "win32/UniqueBstr.h"
#include "settings/LineFlags.h"

namespace Settings {
namespace {

const wchar_t* KeyOf(const DescriptorTable& descriptors, SettingId id) { return descriptors.at(id).key.c_str(); }

// A stored port that is empty, or a reader answering null, loads as an empty
// name: "COM1" stands in only where the host answers with the default.
Plugin::WideString ReadPortName(ISettingsReader& reader, const wchar_t* key) {
    Win32::CUniqueBstr stored(reader.ReadString(key, Shared::kDefaultPort));
    return stored.Get() ? Plugin::WideString(stored.Get()) : Plugin::WideString();
}

}  // namespace

void LoadPortSettings(ISettingsReader& reader, const DescriptorTable& descriptors, PortSettings& settings) {
    settings.waitTime = reader.ReadInt(KeyOf(descriptors, WaitTime), Shared::kDefaultWaitSeconds);
    settings.portName = ReadPortName(reader, KeyOf(descriptors, Port));

    // Every load starts from the platform's default line, so nothing of an
    // earlier load survives in the fields we do not set.
    settings.line = DCB{};
    BuildCommDCBW(L"baud=9600 parity=N data=8 stop=1", &settings.line);

    settings.line.BaudRate = static_cast<DWORD>(reader.ReadInt(KeyOf(descriptors, BaudRate), Shared::kDefaultBaudRate));
    settings.line.Parity = LowByte(reader.ReadInt(KeyOf(descriptors, Parity), Shared::kDefaultParity));
    settings.line.ByteSize = LowByte(reader.ReadInt(KeyOf(descriptors, DataBits), Shared::kDefaultDataBits));
    settings.line.StopBits = LowByte(reader.ReadInt(KeyOf(descriptors, StopBits), Shared::kDefaultStopBits));
    settings.flowControl = reader.ReadInt(KeyOf(descriptors, FlowControl), FlowNone);
    ApplyFlowControlFlags(settings.line, settings.flowControl);
}

void SavePortSettings(ISettingsWriter& writer, const DescriptorTable& descriptors, const PortSettings& settings) {
    writer.WriteInt(KeyOf(descriptors, WaitTime), settings.waitTime);
    writer.WriteString(KeyOf(descriptors, Port), settings.portName.c_str());
    writer.WriteInt(KeyOf(descriptors, BaudRate), static_cast<int32_t>(settings.line.BaudRate));
    writer.WriteInt(KeyOf(descriptors, Parity), settings.line.Parity);
    writer.WriteInt(KeyOf(descriptors, DataBits), settings.line.ByteSize);
    writer.WriteInt(KeyOf(descriptors, StopBits), settings.line.StopBits);
    writer.WriteInt(KeyOf(descriptors, FlowControl), settings.flowControl);
}

}  // namespace Settings
