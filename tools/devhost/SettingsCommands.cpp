#include <cstdint>
#include <cstdio>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "SettingsFile.h"
#include "PluginLoader.h"
#include "PropertyView.h"
#include "plugin_api/IPropertyListViewController.h"

namespace DevHost {
namespace {

// The plug-in saves every setting, the ones not edited as they were loaded.
void WarnOfKeptValues(const std::vector<SetRequest>& requests, const CPropertyView& view,
                      const std::wstring& storedPort) {
    for (const OfferedProperty& property : view.Offered()) {
        bool edited = false;
        for (const SetRequest& request : requests) edited = edited || request.id == property.id;
        if (edited || property.kind != OfferedProperty::Kind::Choice) continue;
        const std::wstring kept = UnofferedSelection(property.id, property.choices, property.selected, storedPort);
        if (!kept.empty()) Complain(L"warning: " + NameOfProperty(property.id) + L" keeps its stored value " + kept);
    }
}

}  // namespace

int RunSettings(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    CPropertyView view;
    plugin->GetPropertyListController()->FillView(&view);
    Print(stdout, L"settings file: " + line.settingsPath + L"\n" +
                      ShowProperties(view.Offered(), ReadStoredSettings(line.settingsPath).port));
    return ExitOk;
}

// Edits go through the plug-in's own list, as in the application: the plug-in
// offers its choices, devhost answers, the plug-in stores and saves.
int RunSet(const CommandLine& line) {
    if (!TakesAll(line, SIZE_MAX)) return ExitUsage;
    std::vector<SetRequest> requests;
    std::wstring error;
    if (!ParseSetArguments(line.arguments, requests, error)) {
        Complain(error);
        return ExitUsage;
    }
    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    Plugin::IPropertyListViewController* controller = plugin->GetPropertyListController();
    CPropertyView view;
    controller->FillView(&view);
    if (!ResolveEdits(requests, view, error)) {
        Complain(error);
        Complain(L"nothing saved; " + line.settingsPath + L" is unchanged");
        return ExitRejected;
    }
    WarnOfKeptValues(requests, view, ReadStoredSettings(line.settingsPath).port);
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
