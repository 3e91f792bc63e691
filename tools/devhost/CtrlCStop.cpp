#include "CtrlCStop.h"
#include <windows.h>
#include <atomic>
#include <mutex>

namespace DevHost {
namespace {

// The handler gets no context argument, so the plug-in is reached globally.
// The handler runs on a thread of its own; the lock keeps the plug-in from
// being released while the handler is using it.
std::mutex g_pluginLock;
Plugin::IDevImportPlugin* g_plugin = nullptr;
std::atomic<bool> g_stopAsked{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    std::lock_guard<std::mutex> hold(g_pluginLock);
    if (!g_plugin || g_stopAsked.exchange(true)) return FALSE;
    g_plugin->StopExchange();
    return TRUE;
}

}  // namespace

CCtrlCStop::CCtrlCStop(Plugin::IDevImportPlugin& plugin) {
    g_stopAsked = false;
    {
        std::lock_guard<std::mutex> hold(g_pluginLock);
        g_plugin = &plugin;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool CCtrlCStop::StopAsked() const { return g_stopAsked; }

CCtrlCStop::~CCtrlCStop() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    std::lock_guard<std::mutex> hold(g_pluginLock);
    g_plugin = nullptr;
}

}  // namespace DevHost
