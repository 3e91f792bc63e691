#pragma once
#include <windows.h>
#include <atomic>

// A message-only window of the thread that makes it, as a window host has
// on its UI thread, counting the messages it handles: kSent as a callback
// moves received data into the host's window, kPosted as a host queues work
// for its own message loop.
class CHostWindow {
public:
    static constexpr UINT kSent = WM_APP + 1;
    static constexpr UINT kPosted = WM_APP + 2;

    CHostWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TestHostWindow";
        RegisterClassW(&windowClass);
        handle = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, this);
    }
    ~CHostWindow() { DestroyWindow(handle); }
    CHostWindow(const CHostWindow&) = delete;
    CHostWindow& operator=(const CHostWindow&) = delete;

    HWND handle;
    std::atomic<int> sent{0};
    std::atomic<int> posted{0};

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* self = static_cast<CHostWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<CHostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == kSent) {
            ++self->sent;
            return 1;
        }
        if (self && message == kPosted) ++self->posted;
        return DefWindowProcW(window, message, wParam, lParam);
    }
};
