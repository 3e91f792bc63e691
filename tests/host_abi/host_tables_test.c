/* The other direction of the binary contract: the host's own objects, built
 * here in C as tables of function pointers in the host's slot order, handed to
 * DeviceCommon.dll. A slot the DLL calls out of place shows up as a wrong
 * record or as a call of a slot the DLL must never use. */
#include <windows.h>
#include <oleauto.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "HostCheck.h"

static int wrongSlotCalls;

/* What the DLL did, one entry per call, in call order. */
static wchar_t trace[2048];
static void Trace(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    size_t used = wcslen(trace);
    vswprintf(trace + used, sizeof trace / sizeof trace[0] - used, format, args);
    va_end(args);
}
static void WrongSlot(void* self) {
    (void)self;
    ++wrongSlotCalls;
}

typedef struct Plugin {
    const struct PluginTable* table;
} Plugin;
typedef struct PluginTable {
    void (*AddRef)(Plugin*);
    _Bool (*Release)(Plugin*);
    void* (*GetInterface)(Plugin*, int);
    BSTR (*GetName)(Plugin*);
    GUID* (*GetId)(Plugin*, GUID*);
    int (*GetPluginValue)(Plugin*);
    void (*LoadSettings)(Plugin*, void* reader);
    void (*SaveSettings)(Plugin*, void* writer);
    struct Controller* (*GetPropertyListController)(Plugin*);
    _Bool (*SetEventSink)(Plugin*, void* sink);
    _Bool (*StartExchange)(Plugin*);
    _Bool (*StopExchange)(Plugin*);
    _Bool (*QueueTransferRequest)(Plugin*, void* request);
} PluginTable;

typedef struct Controller {
    const struct ControllerTable* table;
} Controller;
typedef struct ControllerTable {
    void (*FillView)(Controller*, void* view);
    _Bool (*FirstQuery)(Controller*);
    _Bool (*SecondQuery)(Controller*);
    _Bool (*ApplyView)(Controller*);
    void (*LastNotice)(Controller*);
} ControllerTable;

/* ---- Settings reader and writer ---- */

typedef struct Reader {
    const struct ReaderTable* table;
} Reader;
struct ReaderTable {
    BSTR (*ReadString)(Reader*, const wchar_t* key, const wchar_t* defaultValue);
    int (*ReadInt)(Reader*, const wchar_t* key, int defaultValue);
};
static BSTR ReadString(Reader* self, const wchar_t* key, const wchar_t* defaultValue) {
    (void)self;
    Trace(L"%ls(%ls);", key, defaultValue);
    return SysAllocString(L"NOSUCHPORT");
}
static int ReadInt(Reader* self, const wchar_t* key, int defaultValue) {
    static const struct { const wchar_t* key; int value; } stored[] = {
        {L"WATETIME", 25}, {L"BAUDRATE", 19200}, {L"PARITY", 2},
        {L"BYTESIZE", 7},  {L"STOPBITS", 2},     {L"FLOWCONTROL", 1}};
    (void)self;
    Trace(L"%ls(%d);", key, defaultValue);
    for (size_t i = 0; i < sizeof stored / sizeof stored[0]; ++i)
        if (wcscmp(key, stored[i].key) == 0) return stored[i].value;
    return defaultValue;
}
static const struct ReaderTable readerTable = {ReadString, ReadInt};

typedef struct Writer {
    const struct WriterTable* table;
} Writer;
struct WriterTable {
    void (*WriteString)(Writer*, const wchar_t* key, const wchar_t* value);
    void (*WriteInt)(Writer*, const wchar_t* key, int value);
};
static void WriteString(Writer* self, const wchar_t* key, const wchar_t* value) {
    (void)self;
    Trace(L"%ls=%ls;", key, value);
}
static void WriteInt(Writer* self, const wchar_t* key, int value) {
    (void)self;
    Trace(L"%ls=%d;", key, value);
}
static const struct WriterTable writerTable = {WriteString, WriteInt};

static void TestSettingsTables(Plugin* plugin) {
    Reader reader = {&readerTable};
    Writer writer = {&writerTable};
    trace[0] = 0;
    plugin->table->LoadSettings(plugin, &reader);
    CHECK(wcscmp(trace, L"WATETIME(10);PORT(COM1);BAUDRATE(9600);PARITY(0);BYTESIZE(8);STOPBITS(0);"
                        L"FLOWCONTROL(0);") == 0);
    trace[0] = 0;
    plugin->table->SaveSettings(plugin, &writer);
    CHECK(wcscmp(trace, L"WATETIME=25;PORT=NOSUCHPORT;BAUDRATE=19200;PARITY=2;BYTESIZE=7;STOPBITS=2;"
                        L"FLOWCONTROL=1;") == 0);
}

/* ---- Property list view, combo items and their enumerator ---- */

typedef struct Item {
    const struct ItemTable* table;
} Item;
struct ItemTable {
    void (*AddRef)(Item*);
    _Bool (*Release)(Item*);
    int (*GetValue)(Item*);
    BSTR (*GetCaption)(Item*);
};
typedef struct Enumerator {
    const struct EnumeratorTable* table;
} Enumerator;
struct EnumeratorTable {
    _Bool (*HasCurrent)(Enumerator*);
    void (*MoveNext)(Enumerator*);
    Item* (*GetCurrent)(Enumerator*);
    void (*Reset)(Enumerator*);
};

static Item* keptItem;

typedef struct View {
    const struct ViewTable* table;
} View;
struct ViewTable {
    void (*AddGroup)(View*, const wchar_t* caption);
    void (*AddTextProperty)(View*, int id, _Bool flag, const wchar_t* caption, const wchar_t* text);
    _Bool (*AddComboProperty)(View*, int id, _Bool flag, const wchar_t* caption, Enumerator* choices, int selected);
    void (*Slot4)(void*);
    _Bool (*GetTextValue)(View*, int id, BSTR* text);
    void (*Slot6)(void*);
    _Bool (*GetComboValue)(View*, int id, int* value);
};
static void AddGroup(View* self, const wchar_t* caption) {
    (void)self;
    Trace(L"group %ls;", caption);
}
static void AddTextProperty(View* self, int id, _Bool flag, const wchar_t* caption, const wchar_t* text) {
    (void)self;
    Trace(L"text %d %d %ls=%ls;", id, flag, caption, text);
}
/* Walks the choices twice (Reset between), and keeps the parity item "Чет". */
static _Bool AddComboProperty(View* self, int id, _Bool flag, const wchar_t* caption, Enumerator* choices,
                              int selected) {
    (void)self;
    Trace(L"combo %d %d %ls sel %d:", id, flag, caption, selected);
    if (id == 1) {
        Trace(L";");
        return 1;
    }
    choices->table->MoveNext(choices);
    choices->table->Reset(choices);
    for (; choices->table->HasCurrent(choices); choices->table->MoveNext(choices)) {
        Item* item = choices->table->GetCurrent(choices);
        BSTR text = item->table->GetCaption(item);
        Trace(L" %d=%ls", item->table->GetValue(item), text);
        SysFreeString(text);
        if (id == 3 && item->table->GetValue(item) == 2) {
            item->table->AddRef(item);
            keptItem = item;
        }
    }
    Trace(L";");
    return 1;
}
static _Bool GetTextValue(View* self, int id, BSTR* text) {
    (void)self;
    Trace(L"get text %d;", id);
    *text = SysAllocString(L" 42s");
    return 1;
}
static _Bool GetComboValue(View* self, int id, int* value) {
    (void)self;
    Trace(L"get combo %d;", id);
    if (id == 1) return 0; /* the machine's ports are not this test's concern */
    *value = id == 2 ? 38400 : id == 3 ? 258 : id == 6 ? 2 : 8 - id;
    return 1;
}
static const struct ViewTable viewTable = {AddGroup,  AddTextProperty,       AddComboProperty, WrongSlot,
                                           GetTextValue, WrongSlot, GetComboValue};

static void TestViewTables(Plugin* plugin) {
    View view = {&viewTable};
    Writer writer = {&writerTable};
    Controller* controller = plugin->table->GetPropertyListController(plugin);

    trace[0] = 0;
    controller->table->FillView(controller, &view);
    /* The port list is the machine's; everything around it is fixed. */
    static const wchar_t head[] =
        L"group Настройки автоимпорта;text 8 1 Время ожидания=25;group Настройки порта;combo 1 1 Порт sel ";
    static const wchar_t tail[] =
        L"combo 2 1 Скорость sel 19200: 110=110 300=300 600=600 1200=1200 2400=2400 4800=4800 "
        L"9600=9600 14400=14400 19200=19200 38400=38400 56000=56000 57600=57600 115200=115200 "
        L"128000=128000 256000=256000;"
        L"combo 3 1 Четность sel 2: 0=Нет 1=Нечет 2=Чет 3=Маркер 4=Пробел;"
        L"combo 4 1 Данные sel 7: 5=5 6=6 7=7 8=8;"
        L"combo 5 1 Стоп биты sel 2: 0=1 1=1.5 2=2;"
        L"combo 6 1 Управление потоком sel 1: 0=Нет 1=Аппаратное 2=xon/xoff;";
    CHECK(wcsncmp(trace, head, wcslen(head)) == 0);
    const wchar_t* rest = wcsstr(trace, L"combo 2 ");
    CHECK(rest && wcscmp(rest, tail) == 0);

    /* The kept item outlived the call and goes with its own Release. */
    CHECK(keptItem != NULL);
    if (keptItem) {
        BSTR text = keptItem->table->GetCaption(keptItem);
        CHECK(text && wcscmp(text, L"Чет") == 0);
        SysFreeString(text);
        CHECK(keptItem->table->Release(keptItem) == 1);
    }

    trace[0] = 0;
    CHECK(controller->table->ApplyView(controller) == 1);
    CHECK(wcscmp(trace, L"get combo 1;get combo 2;get combo 3;get combo 4;get combo 5;get combo 6;"
                        L"get text 8;") == 0);
    trace[0] = 0;
    plugin->table->SaveSettings(plugin, &writer);
    CHECK(wcscmp(trace, L"WATETIME=42;PORT=NOSUCHPORT;BAUDRATE=38400;PARITY=2;BYTESIZE=4;STOPBITS=3;"
                        L"FLOWCONTROL=2;") == 0);
}

/* ---- Event sink and transfer request ---- */

typedef struct Sink {
    const struct SinkTable* table;
    HANDLE received;
    HANDLE inFinalEvent;
    HANDLE startsTried;
    HANDLE worker;
    Plugin* plugin;
    HMODULE module;
    int released;
    int code;
    unsigned count;
    char bytes[64];
} Sink;
struct SinkTable {
    void (*OnEvent)(Sink*, int code, const void* data, unsigned count);
    void (*OnRequestDone)(Sink*, void* request);
};
/* The host's last moves, made inside the last event once the host's other
 * thread has tried its starts: its last Release, then the unloading of the
 * module whose code called it. Only the worker's own hold on the module
 * leaves that code there for the callback to return to. */
static void OnEvent(Sink* self, int code, const void* data, unsigned count) {
    SetEvent(self->inFinalEvent);
    WaitForSingleObject(self->startsTried, 10000);
    self->code = code;
    self->count = count;
    if (data && count <= sizeof self->bytes) memcpy(self->bytes, data, count);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self->worker, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    self->released = self->plugin->table->Release(self->plugin);
    FreeLibrary(self->module);
    SetEvent(self->received);
}
static void OnRequestDone(Sink* self, void* request) {
    (void)request;
    WrongSlot(self);
}
static const struct SinkTable sinkTable = {OnEvent, OnRequestDone};

typedef struct Request {
    const struct RequestTable* table;
    int kind;
    int kindCalls;
} Request;
struct RequestTable {
    void (*Slot1)(void*);
    void (*Slot2)(void*);
    int (*GetKind)(Request*);
    const BYTE* (*GetData)(Request*);
    int (*GetSize)(Request*);
};
static int GetKind(Request* self) {
    ++self->kindCalls;
    return self->kind;
}
/* A request is not read before it is sent, and this one never is. */
static const BYTE* GetData(Request* self) {
    WrongSlot(self);
    return NULL;
}
static int GetSize(Request* self) {
    WrongSlot(self);
    return 0;
}
static const struct RequestTable requestTable = {WrongSlot, WrongSlot, GetKind, GetData, GetSize};

/* Ends with the plug-in released and the module unloaded from inside the
 * last event, as a host that shuts down once the exchange is over may. The
 * starts refused before (no sink, an exchange running) hold nothing of the
 * module, or it would stay loaded. */
static void TestSinkRequestAndUnload(HMODULE module, Plugin* plugin) {
    static const char openError[] = "Ошибка открытия порта.\n";
    Sink sink = {&sinkTable, CreateEventW(NULL, TRUE, FALSE, NULL), CreateEventW(NULL, TRUE, FALSE, NULL),
                 CreateEventW(NULL, TRUE, FALSE, NULL), NULL, plugin, module, -1, 0, 0, {0}};
    Request other = {&requestTable, 3, 0};
    Request request = {&requestTable, 4, 0};

    CHECK(plugin->table->QueueTransferRequest(plugin, &other) == 0);
    CHECK(plugin->table->QueueTransferRequest(plugin, &request) == 1);
    CHECK(other.kindCalls == 1 && request.kindCalls == 1);

    CHECK(plugin->table->StartExchange(plugin) == 0 && plugin->table->StartExchange(plugin) == 0);

    /* The loaded port does not exist: the one event is the error text. */
    CHECK(plugin->table->SetEventSink(plugin, &sink) == 1);
    CHECK(plugin->table->StartExchange(plugin) == 1);
    CHECK(WaitForSingleObject(sink.inFinalEvent, 10000) == WAIT_OBJECT_0);
    CHECK(plugin->table->StartExchange(plugin) == 0 && plugin->table->StartExchange(plugin) == 0);
    SetEvent(sink.startsTried);
    CHECK(WaitForSingleObject(sink.received, 10000) == WAIT_OBJECT_0);
    CHECK(sink.code == 6);
    CHECK(sink.count == 42 && sizeof openError - 1 == 42);
    CHECK(memcmp(sink.bytes, openError, 42) == 0);

    /* Released there, the queued request was dropped untouched. */
    CHECK(sink.released == 1);
    CHECK(sink.worker && WaitForSingleObject(sink.worker, 10000) == WAIT_OBJECT_0);
    DWORD exitCode = 1;
    CHECK(GetExitCodeThread(sink.worker, &exitCode) && exitCode == 0);
    CHECK(GetModuleHandleW(L"DeviceCommon.dll") == NULL);
    CloseHandle(sink.worker);
    CloseHandle(sink.received);
    CloseHandle(sink.inFinalEvent);
    CloseHandle(sink.startsTried);
}

int main(void) {
    HMODULE module = LoadLibraryW(L"DeviceCommon.dll");
    if (!module) {
        printf("cannot load DeviceCommon.dll (error %lu)\n", GetLastError());
        return 1;
    }
    Plugin* (*createPlugin)(void) = (Plugin * (*)(void))(void (*)(void))GetProcAddress(module, "CreatePlugin");
    Plugin* plugin = createPlugin ? createPlugin() : NULL;
    CHECK(plugin != NULL);
    if (plugin) {
        TestSettingsTables(plugin);
        TestViewTables(plugin);
        TestSinkRequestAndUnload(module, plugin);
    }
    CHECK(wrongSlotCalls == 0);
    return CheckSummary();
}
