/* Drives DeviceCommon.dll the way the host does: LoadLibrary, CreatePlugin,
 * then every operation through a table of function pointers in slot order,
 * with Microsoft's x64 conventions. Also checks the module's export and
 * import tables, its string table and its version resource. */
#include <windows.h>
#include <oleauto.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

typedef struct PluginTable {
    void (*AddRef)(void* self);
    _Bool (*Release)(void* self);
    void* (*GetInterface)(void* self, int kind);
    BSTR (*GetName)(void* self);
    GUID* (*GetId)(void* self, GUID* result); /* MSVC: this first, return slot second */
    int (*GetPluginValue)(void* self);
    void (*LoadSettings)(void* self, void* reader);
    void (*SaveSettings)(void* self, void* writer);
    void* (*GetPropertyListController)(void* self);
    _Bool (*SetEventSink)(void* self, void* sink);
    _Bool (*StartExchange)(void* self);
    _Bool (*StopExchange)(void* self);
    _Bool (*QueueTransferRequest)(void* self, void* request);
} PluginTable;

typedef struct ControllerTable {
    void (*FillView)(void* self, void* view);
    _Bool (*FirstQuery)(void* self);
    _Bool (*SecondQuery)(void* self);
    _Bool (*ApplyView)(void* self);
    void (*LastNotice)(void* self);
} ControllerTable;

typedef struct Object {
    const void* table;
} Object;

typedef void* (*CreatePluginFn)(void);

#include "HostCheck.h"

static HMODULE module;
static CreatePluginFn createPlugin;

static const PluginTable* Plugin(void* object) { return (const PluginTable*)((Object*)object)->table; }
static const ControllerTable* Controller(void* object) { return (const ControllerTable*)((Object*)object)->table; }

static void TestReferenceCounting(void) {
    void* plugin = createPlugin();
    CHECK(plugin != NULL);
    if (!plugin) return;
    Plugin(plugin)->AddRef(plugin);
    CHECK(Plugin(plugin)->Release(plugin) == 0);
    CHECK(Plugin(plugin)->Release(plugin) == 1);
}

static void TestGetInterface(void) {
    for (int kind = -1; kind <= 5; ++kind) {
        void* plugin = createPlugin();
        void* answer = Plugin(plugin)->GetInterface(plugin, kind);
        if (kind == 0 || kind == 4) {
            CHECK(answer == plugin);
            CHECK(Plugin(plugin)->Release(plugin) == 0); /* the reference GetInterface added */
        } else {
            CHECK(answer == NULL);
        }
        /* Exactly one reference left: this Release destroys the object. */
        CHECK(Plugin(plugin)->Release(plugin) == 1);
    }
}

static void TestNameIdAndValue(void) {
    static const unsigned char expectedId[16] = {0x07, 0xB2, 0xBD, 0x3C, 0x5C, 0xD3, 0x61, 0x46,
                                                 0x8C, 0x05, 0x38, 0x70, 0x97, 0xEB, 0x68, 0x6A};
    void* plugin = createPlugin();

    BSTR first = Plugin(plugin)->GetName(plugin);
    BSTR second = Plugin(plugin)->GetName(plugin);
    CHECK(first != NULL && second != NULL && first != second);
    CHECK(SysStringLen(first) == 6);
    SysFreeString(first);
    CHECK(wcscmp(second, L"Другой") == 0);
    SysFreeString(second);

    GUID id;
    memset(&id, 0xCC, sizeof id);
    GUID* returned = Plugin(plugin)->GetId(plugin, &id);
    CHECK(returned == &id);
    CHECK(memcmp(&id, expectedId, sizeof expectedId) == 0);

    /* Would crash had GetId written its answer over the object. */
    CHECK(Plugin(plugin)->GetPluginValue(plugin) == 1);
    CHECK(Plugin(plugin)->GetPluginValue(plugin) == 1);

    CHECK(Plugin(plugin)->SetEventSink(plugin, NULL) == 1);
    CHECK(Plugin(plugin)->Release(plugin) == 1);
}

static void TestController(void) {
    void* plugin = createPlugin();
    void* controller = Plugin(plugin)->GetPropertyListController(plugin);
    CHECK(controller != NULL && controller != plugin);
    CHECK(Plugin(plugin)->GetPropertyListController(plugin) == controller);
    CHECK(Controller(controller)->FirstQuery(controller) == 1);
    CHECK(Controller(controller)->SecondQuery(controller) == 1);
    Controller(controller)->LastNotice(controller);
    /* Getting the controller added no reference. */
    CHECK(Plugin(plugin)->Release(plugin) == 1);
}

static void TestIndependentObjects(void) {
    void* one = createPlugin();
    void* two = createPlugin();
    CHECK(one != NULL && two != NULL && one != two);
    CHECK(Plugin(one)->GetPropertyListController(one) != Plugin(two)->GetPropertyListController(two));
    CHECK(Plugin(one)->Release(one) == 1);
    CHECK(Plugin(two)->GetPluginValue(two) == 1);
    CHECK(Plugin(two)->Release(two) == 1);
}

static const IMAGE_DATA_DIRECTORY* Directory(int entry) {
    const BYTE* base = (const BYTE*)module;
    const IMAGE_NT_HEADERS64* nt = (const IMAGE_NT_HEADERS64*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    return &nt->OptionalHeader.DataDirectory[entry];
}

static void TestExportsOnlyCreatePlugin(void) {
    const BYTE* base = (const BYTE*)module;
    const IMAGE_EXPORT_DIRECTORY* exports =
        (const IMAGE_EXPORT_DIRECTORY*)(base + Directory(IMAGE_DIRECTORY_ENTRY_EXPORT)->VirtualAddress);
    CHECK(exports->NumberOfNames == 1);
    CHECK(exports->NumberOfFunctions == 1);
    const DWORD* names = (const DWORD*)(base + exports->AddressOfNames);
    CHECK(strcmp((const char*)(base + names[0]), "CreatePlugin") == 0);
}

static int IsSystemDll(const char* name) {
    static const char* const allowed[] = {"kernel32.dll", "oleaut32.dll", "user32.dll", "msvcrt.dll",
                                          "ucrtbase.dll", "advapi32.dll", "setupapi.dll"};
    if (_strnicmp(name, "api-ms-win-", 11) == 0) return 1;
    for (size_t i = 0; i < sizeof allowed / sizeof allowed[0]; ++i)
        if (_stricmp(name, allowed[i]) == 0) return 1;
    return 0;
}

static void TestImportsOnlySystemDlls(void) {
    const BYTE* base = (const BYTE*)module;
    const IMAGE_IMPORT_DESCRIPTOR* import =
        (const IMAGE_IMPORT_DESCRIPTOR*)(base + Directory(IMAGE_DIRECTORY_ENTRY_IMPORT)->VirtualAddress);
    int count = 0;
    for (; import->Name != 0; ++import, ++count) {
        const char* name = (const char*)(base + import->Name);
        if (!IsSystemDll(name)) printf("unexpected import: %s\n", name);
        CHECK(IsSystemDll(name));
    }
    CHECK(count > 0);
}

static void TestStringTable(void) {
    static const wchar_t* const captions[] = {
        L"Настройки порта", L"Порт", L"Скорость", L"Четность", L"Данные", L"Стоп биты",
        L"Управление потоком", L"Время ожидания", L"Нет", L"Нечет", L"Чет", L"Маркер",
        L"Пробел", L"1", L"1.5", L"2", L"Нет", L"Аппаратное", L"xon/xoff", L"Настройки автоимпорта"};
    for (UINT id = 101; id <= 120; ++id) {
        wchar_t text[64] = L"";
        LoadStringW(module, id, text, 64);
        if (wcscmp(text, captions[id - 101]) != 0) printf("string %u differs\n", id);
        CHECK(wcscmp(text, captions[id - 101]) == 0);
    }
    wchar_t none[8] = L"";
    CHECK(LoadStringW(module, 121, none, 8) == 0);
}

static const wchar_t* VersionString(const void* info, const wchar_t* name) {
    wchar_t path[96];
    swprintf(path, 96, L"\\StringFileInfo\\041904b0\\%ls", name);
    void* value = NULL;
    UINT length = 0;
    return VerQueryValueW(info, path, &value, &length) ? (const wchar_t*)value : L"";
}

static void TestVersionResource(void) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(module, path, MAX_PATH);
    DWORD size = GetFileVersionInfoSizeW(path, NULL);
    CHECK(size > 0);
    void* info = HeapAlloc(GetProcessHeap(), 0, size);
    CHECK(GetFileVersionInfoW(path, 0, size, info));

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    CHECK(VerQueryValueW(info, L"\\", (void**)&fixed, &length) && fixed);
    if (fixed) {
        CHECK(fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00290000);
        CHECK(fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0x00290000);
    }
    CHECK(wcscmp(VersionString(info, L"FileVersion"), L"1.00.0041") == 0);
    CHECK(wcscmp(VersionString(info, L"ProductVersion"), L"1.00.0041") == 0);
    CHECK(wcscmp(VersionString(info, L"FileDescription"), L"Модуль обмена данными с прибором") == 0);
    HeapFree(GetProcessHeap(), 0, info);
}

int main(void) {
    module = LoadLibraryW(L"DeviceCommon.dll");
    if (!module) {
        printf("cannot load DeviceCommon.dll (error %lu)\n", GetLastError());
        return 1;
    }
    createPlugin = (CreatePluginFn)(void (*)(void))GetProcAddress(module, "CreatePlugin");
    if (!createPlugin) {
        printf("no CreatePlugin export\n");
        return 1;
    }

    TestReferenceCounting();
    TestGetInterface();
    TestNameIdAndValue();
    TestController();
    TestIndependentObjects();
    TestExportsOnlyCreatePlugin();
    TestImportsOnlySystemDlls();
    TestStringTable();
    TestVersionResource();

    FreeLibrary(module);
    return CheckSummary();
}
