#include "CtrlCStop.h"
#include <windows.h>
#include <atomic>
#include "ConsoleOutput.h"

namespace DevHost {
namespace {

// The handler gets no context argument, so the plug-in is reached globally.
std::atomic<Plugin::IDevImportPlugin*> g_plugin{nullptr};
std::atomic<bool> g_stopAsked{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    Plugin::IDevImportPlugin* plugin = g_plugin.load();
    if (!plugin || g_stopAsked.exchange(true)) return FALSE;
    Print(stderr, L"\nstopping the exchange (Ctrl+C again ends devhost at once)\n");
    plugin->StopExchange();
    return TRUE;
}

}  // namespace

CCtrlCStop::CCtrlCStop(Plugin::IDevImportPlugin& plugin) {
    g_stopAsked = false;
    g_plugin = &plugin;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CCtrlCStop::~CCtrlCStop() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_plugin = nullptr;
}

}  // namespace DevHost
