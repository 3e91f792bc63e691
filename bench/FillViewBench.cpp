// How long the host's settings dialog waits for FillView, next to what
// opening all 255 port names costs on the same machine in the same run.
//   fillview_bench [results.md]   appends its row to the Markdown table
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>
#include "plugin/CreatePlugin.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"
#include "plugin_api/IPropertyListViewController.h"
#include "serial/DevicePath.h"

namespace {

constexpr int kRounds = 21;

class DefaultsReader : public ISettingsReader {
public:
    BSTR ReadString(const wchar_t*, const wchar_t* defaultValue) override { return SysAllocString(defaultValue); }
    int32_t ReadInt(const wchar_t*, int32_t defaultValue) override { return defaultValue; }
};

// Reads every caption as a host would, and keeps nothing.
class ReadingView : public IPropertyListView {
public:
    void AddGroup(const wchar_t*) override {}
    void AddTextProperty(int32_t, bool, const wchar_t*, const wchar_t*) override {}
    bool AddComboProperty(int32_t, bool, const wchar_t*, Plugin::IEnumerator<Plugin::IComboItem*>* choices,
                          int32_t) override {
        for (; choices->HasCurrent(); choices->MoveNext()) SysFreeString(choices->GetCurrent()->GetCaption());
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

void OpenEveryPortName() {
    for (int number = 1; number <= 255; ++number) {
        wchar_t name[8];
        std::swprintf(name, 8, L"COM%d", number);
        HANDLE port = CreateFileW(DevicePathFor(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    DefaultsReader reader;
    plugin->LoadSettings(&reader);
    Plugin::IPropertyListViewController* controller = plugin->GetPropertyListController();
    ReadingView view;

    const double fillView = MedianMilliseconds([&] { controller->FillView(&view); });
    const double bareOpens = MedianMilliseconds(OpenEveryPortName);
    plugin->Release();

    std::printf("FillView (probe of COM1-COM255 included): %8.3f ms\n", fillView);
    std::printf("255 bare CreateFileW calls:               %8.3f ms\n", bareOpens);
    std::printf("(median of %d rounds each)\n", kRounds);
    if (argc > 1) {
        if (FILE* results = std::fopen(argv[1], "a")) {
            std::fprintf(results, "| FillView vs 255 bare opens (median) | %.2f ms | %.2f ms | %.2f | - | - |\n", fillView,
                         bareOpens, bareOpens > 0 ? fillView / bareOpens : 0.0);
            std::fclose(results);
        }
    }
    return 0;
}
