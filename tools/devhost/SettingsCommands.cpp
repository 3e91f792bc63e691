#include <cstdint>
#include <cstdio>
#include "Commands.h"
#include "ConsoleOutput.h"
#include "MovedPort.h"
#include "SettingsFile.h"
#include "PluginLoader.h"
#include "PropertyView.h"
#include "plugin_api/IPropertyListViewController.h"

namespace DevHost {
// The list as the application draws it, each property with the name set
// knows it by; a stored value not offered is the selection, said as such,
// rather than the plug-in's stand-in.
int RunSettings(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    CPropertyView view;
    plugin->GetPropertyListController()->FillView(&view);
    const std::wstring storedPort = ReadStoredSettings(line.settingsPath).port;
    std::wstring text = L"settings file: " + line.settingsPath + L"\n";
    for (const OfferedProperty& property : view.Offered()) {
        const std::wstring heading = L"  " + property.caption + L" [" + NameOfProperty(property.id) + L"]";
        if (property.kind == OfferedProperty::Kind::Group) {
            text += property.caption + L"\n";
        } else if (property.kind == OfferedProperty::Kind::Text) {
            text += heading + L": " + property.text + L"\n";
        } else {
            const std::wstring unoffered = property.Unoffered(storedPort);
            text += heading + L"\n";
            if (!unoffered.empty()) text += L"    * " + unoffered + L"\n";
            if (property.choices.empty()) text += L"      (no choices)\n";
            for (const Choice& choice : property.choices) {
                text += (unoffered.empty() && choice.value == property.selected ? L"    * " : L"      ") +
                        choice.caption + L" (" + std::to_wstring(choice.value) + L")\n";
            }
        }
    }
    if (const std::wstring moved = WhereThePortWent(storedPort, view.Ports(), ListPortDevices()); !moved.empty()) {
        text += L"\n" + moved;
    }
    Print(stdout, text);
    return ExitOk;
}

// Edits go through the plug-in's own list, as in the application: the plug-in
// offers its choices, devhost answers, the plug-in stores and saves.
int RunSet(const CommandLine& line) {
    if (!TakesAll(line, SIZE_MAX)) return ExitUsage;
    Edits edits;
    std::wstring error;
    if (!ParseSetArguments(line.arguments, edits, error)) {
        Complain(error);
        return ExitUsage;
    }
    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    Plugin::IPropertyListViewController* controller = plugin->GetPropertyListController();
    CPropertyView view;
    controller->FillView(&view);
    if (!view.Edit(edits, error)) {
        Complain(error + L"\nnothing saved; " + line.settingsPath + L" is unchanged");
        return ExitRejected;
    }
    // The plug-in saves every setting, the ones not edited as they were loaded.
    const std::wstring storedPort = ReadStoredSettings(line.settingsPath).port;
    for (const OfferedProperty& property : view.Offered()) {
        if (property.kind != OfferedProperty::Kind::Choice || property.answer) continue;
        const std::wstring kept = property.Unoffered(storedPort);
        if (!kept.empty()) Complain(L"warning: " + NameOfProperty(property.id) + L" keeps its stored value " + kept);
    }
    controller->ApplyView();
    CIniSettingsWriter writer(line.settingsPath);
    plugin->SaveSettings(&writer);
    if (writer.Failed()) {
        Complain(L"cannot write " + line.settingsPath);
        return ExitSettingsFile;
    }
    Print(stdout, L"saved to " + line.settingsPath + L"\n");
    return ExitOk;
}

}  // namespace DevHost
