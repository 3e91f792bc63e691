// A host as Microsoft's compiler builds it: the plug-in's interfaces declared
// as plain C++ classes, so the compiler, not a hand-written table, decides
// every slot, the by-value GUID's return slot and the size of a bool. No C
// runtime: only kernel32 and oleaut32, through import libraries of our own.

using BOOL = int;
using DWORD = unsigned long;
using HANDLE = void*;
using BSTR = wchar_t*;
struct GUID {
    unsigned long data1;
    unsigned short data2, data3;
    unsigned char data4[8];
};

extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryW(const wchar_t*);
__declspec(dllimport) void* __stdcall GetProcAddress(void*, const char*);
__declspec(dllimport) BOOL __stdcall FreeLibrary(void*);
__declspec(dllimport) HANDLE __stdcall GetStdHandle(DWORD);
__declspec(dllimport) BOOL __stdcall WriteFile(HANDLE, const void*, DWORD, DWORD*, void*);
__declspec(dllimport) void __stdcall ExitProcess(unsigned);
__declspec(dllimport) BSTR __stdcall SysAllocString(const wchar_t*);
__declspec(dllimport) void __stdcall SysFreeString(BSTR);
__declspec(dllimport) unsigned __stdcall SysStringLen(BSTR);
}

class IRefCounted {
public:
    virtual void AddRef() = 0;
    virtual bool Release() = 0;
};

class IComboItem : public IRefCounted {
public:
    virtual int GetValue() = 0;
    virtual BSTR GetCaption() = 0;
};

class IComboItems {
public:
    virtual bool HasCurrent() = 0;
    virtual void MoveNext() = 0;
    virtual IComboItem* GetCurrent() = 0;
    virtual void Reset() = 0;
};

class ISettingsReader {
public:
    virtual BSTR ReadString(const wchar_t* key, const wchar_t* defaultValue) = 0;
    virtual int ReadInt(const wchar_t* key, int defaultValue) = 0;
};

class IPropertyListView {
public:
    virtual void AddGroup(const wchar_t* caption) = 0;
    virtual void AddTextProperty(int id, bool flag, const wchar_t* caption, const wchar_t* text) = 0;
    virtual bool AddComboProperty(int id, bool flag, const wchar_t* caption, IComboItems* choices, int selected) = 0;
    virtual void Slot4() = 0;
    virtual bool GetTextValue(int id, BSTR* text) = 0;
    virtual void Slot6() = 0;
    virtual bool GetComboValue(int id, int* value) = 0;
};

class IPropertyListViewController {
public:
    virtual void FillView(IPropertyListView* view) = 0;
    virtual bool FirstQuery() = 0;
    virtual bool SecondQuery() = 0;
    virtual bool ApplyView() = 0;
    virtual void LastNotice() = 0;
};

class IDevImportPlugin : public IRefCounted {
public:
    virtual IDevImportPlugin* GetInterface(int kind) = 0;
    virtual BSTR GetName() = 0;
    virtual GUID GetId() = 0;
    virtual int GetPluginValue() = 0;
    virtual void LoadSettings(ISettingsReader* reader) = 0;
    virtual void SaveSettings(void* writer) = 0;
    virtual IPropertyListViewController* GetPropertyListController() = 0;
    virtual bool SetEventSink(void* sink) = 0;
    virtual bool StartExchange() = 0;
    virtual bool StopExchange() = 0;
    virtual bool QueueTransferRequest(void* request) = 0;
};

namespace {

int failures;

void Print(const char* text) {
    DWORD length = 0, written = 0;
    while (text[length]) ++length;
    WriteFile(GetStdHandle(static_cast<DWORD>(-11)), text, length, &written, nullptr);
}

void Check(bool condition, const char* what) {
    if (condition) return;
    ++failures;
    Print("FAILED ");
    Print(what);
    Print("\n");
}
#define CHECK(condition) Check(condition, #condition)

bool Same(const wchar_t* a, const wchar_t* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

bool Starts(const wchar_t* text, const wchar_t* prefix) {
    while (*prefix && *text == *prefix) ++text, ++prefix;
    return *prefix == 0;
}

// Every setting answers something other than its default, so a value that
// reaches the view proves the reader's slots and arguments line up.
class Reader : public ISettingsReader {
public:
    BSTR ReadString(const wchar_t*, const wchar_t*) override { return SysAllocString(L"COM7"); }
    int ReadInt(const wchar_t* key, int defaultValue) override {
        if (Same(key, L"BAUDRATE")) return 57600;
        if (Same(key, L"WATETIME")) return 42;
        return defaultValue;
    }
};

class View : public IPropertyListView {
public:
    int groups = 0, combos = 0, baudItems = 0;
    bool waitTimeShown = false, baudSelectedOffered = false;

    void AddGroup(const wchar_t* caption) override { groups += caption != nullptr; }
    void AddTextProperty(int id, bool flag, const wchar_t*, const wchar_t* text) override {
        waitTimeShown = id == 8 && flag && Same(text, L"42");
    }
    bool AddComboProperty(int id, bool flag, const wchar_t*, IComboItems* choices, int selected) override {
        ++combos;
        CHECK(flag);
        for (; choices->HasCurrent(); choices->MoveNext()) {
            IComboItem* item = choices->GetCurrent();
            item->AddRef();
            CHECK(!item->Release());
            BSTR caption = item->GetCaption();
            CHECK(caption != nullptr);
            if (id == 2) {
                ++baudItems;
                if (item->GetValue() == selected) baudSelectedOffered = selected == 57600 && Same(caption, L"57600");
            }
            SysFreeString(caption);
        }
        choices->Reset();
        CHECK(choices->HasCurrent() || id == 1);
        return true;
    }
    void Slot4() override {}
    bool GetTextValue(int, BSTR*) override { return false; }
    void Slot6() override {}
    bool GetComboValue(int, int*) override { return false; }
};

void CheckPlugin(IDevImportPlugin& plugin) {
    static const unsigned char expectedId[16] = {0x07, 0xB2, 0xBD, 0x3C, 0x5C, 0xD3, 0x61, 0x46,
                                                 0x8C, 0x05, 0x38, 0x70, 0x97, 0xEB, 0x68, 0x6A};
    const GUID id = plugin.GetId();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&id);
    bool idMatches = true;
    for (int i = 0; i < 16; ++i) idMatches = idMatches && bytes[i] == expectedId[i];
    CHECK(idMatches);
    CHECK(plugin.GetPluginValue() == 1);

    BSTR name = plugin.GetName();
    CHECK(name != nullptr && SysStringLen(name) == 6 && Starts(name, L"Другой"));
    SysFreeString(name);

    CHECK(plugin.GetInterface(4) == &plugin);
    CHECK(!plugin.Release());
    CHECK(plugin.GetInterface(1) == nullptr);
    CHECK(plugin.SetEventSink(nullptr));
    CHECK(plugin.StopExchange());

    Reader reader;
    plugin.LoadSettings(&reader);
    IPropertyListViewController* controller = plugin.GetPropertyListController();
    CHECK(controller != nullptr);
    if (!controller) return;
    CHECK(controller->FirstQuery() && controller->SecondQuery());
    View view;
    controller->FillView(&view);
    CHECK(view.groups == 2);
    CHECK(view.waitTimeShown);
    CHECK(view.combos == 6);
    CHECK(view.baudItems == 15);
    CHECK(view.baudSelectedOffered);
}

}  // namespace

extern "C" void HostMain() {
    void* module = LoadLibraryW(L"DeviceCommon.dll");
    using CreatePluginFn = IDevImportPlugin* (*)();
    auto create = module ? reinterpret_cast<CreatePluginFn>(GetProcAddress(module, "CreatePlugin")) : nullptr;
    IDevImportPlugin* plugin = create ? create() : nullptr;
    CHECK(plugin != nullptr);
    if (plugin) {
        CheckPlugin(*plugin);
        CHECK(plugin->Release());
    }
    if (module) FreeLibrary(module);
    Print(failures ? "msvc_host: mismatches found\n" : "msvc_host: the tables match\n");
    ExitProcess(failures ? 1 : 0);
}
