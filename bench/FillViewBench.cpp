// How long the host's settings dialog waits for FillView, next to what one
// open of a port it listed costs on the same machine in the same run: the
// list opens no port, so its time must not follow the open's, which is
// seconds for an outgoing Bluetooth port.
//   fillview_bench [results.md]   appends its row to the Markdown table
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "plugin/CreatePlugin.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"
#include "plugin_api/IPropertyListViewController.h"
#include "win32/DevicePath.h"

namespace {

constexpr int kRounds = 21;
constexpr double kTargetMilliseconds = 100;
constexpr int32_t kPortProperty = 1;

class CDefaultsReader : public ISettingsReader {
public:
    BSTR ReadString(const wchar_t*, const wchar_t* defaultValue) override { return SysAllocString(defaultValue); }
    int32_t ReadInt(const wchar_t*, int32_t defaultValue) override { return defaultValue; }
};

// Reads every caption as a host would, and keeps the ports' names.
class CReadingView : public IPropertyListView {
public:
    std::vector<std::wstring> ports;

    void AddGroup(const wchar_t*) override {}
    void AddTextProperty(int32_t, bool, const wchar_t*, const wchar_t*) override {}
    bool AddComboProperty(int32_t id, bool, const wchar_t*, Plugin::IEnumerator<Plugin::IComboItem*>* choices,
                          int32_t) override {
        if (id == kPortProperty) ports.clear();
        for (; choices->HasCurrent(); choices->MoveNext()) {
            BSTR caption = choices->GetCurrent()->GetCaption();
            if (id == kPortProperty) ports.emplace_back(caption);
            SysFreeString(caption);
        }
        return true;
    }
    void HostSlot4() override {}
    bool GetTextValue(int32_t, BSTR*) override { return false; }
    void HostSlot6() override {}
    bool GetComboValue(int32_t, int32_t*) override { return false; }
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

template <typename Work>
double MedianMilliseconds(Work work) {
    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        work();
        QueryPerformanceCounter(&end);
        times.push_back(Milliseconds(start, end));
    }
    std::nth_element(times.begin(), times.begin() + kRounds / 2, times.end());
    return times[kRounds / 2];
}

bool OpenAndClose(const std::wstring& name) {
    HANDLE port = CreateFileW(Win32::DevicePathFor(name.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    CloseHandle(port);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    CDefaultsReader reader;
    plugin->LoadSettings(&reader);
    Plugin::IPropertyListViewController* controller = plugin->GetPropertyListController();
    CReadingView view;

    const double fillView = MedianMilliseconds([&] { controller->FillView(&view); });
    plugin->Release();

    std::wstring opened;
    for (const std::wstring& port : view.ports) {
        if (OpenAndClose(port)) {
            opened = port;
            break;
        }
    }
    const double bareOpen = opened.empty() ? 0.0 : MedianMilliseconds([&] { OpenAndClose(opened); });

    // Without a listed port that opens there is no open to set beside it.
    char baseline[64] = "";
    char ratio[16] = "";
    if (!opened.empty()) {
        std::snprintf(baseline, sizeof(baseline), "%.2f ms (one open of %ls)", bareOpen, opened.c_str());
        std::snprintf(ratio, sizeof(ratio), "%.2f", bareOpen > 0 ? fillView / bareOpen : 0.0);
    }
    char row[256];
    std::snprintf(row, sizeof(row),
                  "| FillView, ports listed: %zu (median of %d) | %.2f ms | %s | %s | < %.0f ms | %s |",
                  view.ports.size(), kRounds, fillView, baseline, ratio, kTargetMilliseconds,
                  fillView < kTargetMilliseconds ? "met" : "not met");
    std::printf("%s\n", row);
    if (argc > 1) {
        if (FILE* results = std::fopen(argv[1], "a")) {
            std::fprintf(results, "%s\n", row);
            std::fclose(results);
        }
    }
    return 0;
}
