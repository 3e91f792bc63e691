#pragma once
#include <windows.h>
#include <atomic>

namespace DevHost {

// While it lives, a first Ctrl+C (or Ctrl+Break) only asks the command to
// end, so it closes the port and the plug-in's final event still comes; a
// second ends devhost at once, for a plug-in that does not stop. What was
// asked stays readable after it goes.
class CCtrlCWatch {
public:
    CCtrlCWatch() {
        s_asked = false;
        SetConsoleCtrlHandler(&OnControl, TRUE);
    }
    ~CCtrlCWatch() { SetConsoleCtrlHandler(&OnControl, FALSE); }
    CCtrlCWatch(const CCtrlCWatch&) = delete;
    CCtrlCWatch& operator=(const CCtrlCWatch&) = delete;

    static bool Asked() { return s_asked; }

private:
    static BOOL WINAPI OnControl(DWORD type) {
        if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
        return s_asked.exchange(true) ? FALSE : TRUE;
    }

    static inline std::atomic<bool> s_asked{false};
};

}  // namespace DevHost
