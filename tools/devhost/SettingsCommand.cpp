#include <cstdio>
#include "CommandSupport.h"
#include "Commands.h"
#include "ConsolePropertyView.h"
#include "ConsoleOutput.h"
#include "ExitCodes.h"
#include "plugin_api/IPropertyListViewController.h"

namespace DevHost {

int RunSettings(const CommandLine& line) {
    if (!NoArguments(line)) return ExitUsage;
    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    CConsolePropertyView view(StoredPortName(line.settingsPath));
    plugin->GetPropertyListController()->FillView(&view);
    Print(stdout, L"settings file: " + line.settingsPath + L"\n" + view.Text());
    return ExitOk;
}

}  // namespace DevHost
