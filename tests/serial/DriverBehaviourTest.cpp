// The drivers our users plug in, one row per behaviour known from public
// reports, each played under the plug-in object as the host drives it. On
// every driver: the port opens once (a Bluetooth port connects in every
// open), the user's line settings reach the device (unless it takes none),
// every byte reaches the host whole and within 250 ms of arriving, the
// request goes out once and is handed back, the exchange ends for the row's
// reason and no other, nothing spins, a start made right after the end
// opens the port again, and the trace says what the line's errors were.
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <ostream>
#include "RecordingSettings.h"
#include "FakeRequest.h"
#include "ModelDriver.h"
#include "RecordingSink.h"
#include "TraceLines.h"
#include "plugin/DeviceCommonPlugin.h"
#include "serial/Exchange.h"
#include "serial/LineErrors.h"

namespace {

enum class End { Idle, DeviceGone, NotOpened };

struct Row {
    const char* behaviour;
    std::function<void(DriverQuirks&)> quirks;
    End end = End::Idle;
    // Unplugged with every call failing with this error; ERROR_SUCCESS
    // unplugs without any error.
    DWORD unplugError = ERROR_SUCCESS;
    bool takesSettings = true;
    int32_t flow = Settings::FlowNone;
    // What the trace's line-error totals say, when the driver reports any.
    const wchar_t* lineErrorTotals = nullptr;
    // False for a driver whose counts exceed what it moved: a read made
    // without a count to go by (after a character event that an earlier
    // read had served) then hands over what the buffer held before, so only
    // the first block, read by the queue's count, is whole.
    bool countsTrue = true;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.behaviour; }

Row Unplug(const char* behaviour, DWORD error) { return {behaviour, nullptr, End::DeviceGone, error}; }

// Reported once after each of the two arrivals.
Row LineError(const char* behaviour, DWORD error, const wchar_t* totals) {
    return {behaviour, [error](DriverQuirks& q) { q.lineErrors = error; }, End::Idle, 0, true, Settings::FlowNone,
            totals};
}

// ERROR_NO_SUCH_DEVICE, which not every SDK's headers name.
constexpr DWORD kNoSuchDevice = 433;
constexpr DWORD kUserBaud = 57600;
constexpr ULONGLONG kMostDelivery = 250;
constexpr ULONGLONG kMostGoneMilliseconds = 500;
// An adapter that vanishes without an error is found by the check of a
// quiet line, once a second.
constexpr ULONGLONG kMostSilentGoneMilliseconds = 1500;
// A 100 ms polling loop makes a few calls a turn; a spinning one thousands.
constexpr double kMostCallsPerSecond = 150;

const Row kRows[] = {
    {"a driver as documented", nullptr},
    {"refuses XonChar == XoffChar, no flow control (SetCommState; purejavacomm #122, node-serialport #817)",
     [](DriverQuirks& q) { q.checksSpecialCharacters = true; }},
    {"refuses XonChar == XoffChar, hardware flow control (node-serialport #824)",
     [](DriverQuirks& q) { q.checksSpecialCharacters = true; }, End::Idle, 0, true, Settings::FlowHardware},
    {"refuses XonChar == XoffChar, XON/XOFF flow control (node-serialport #824)",
     [](DriverQuirks& q) { q.checksSpecialCharacters = true; }, End::Idle, 0, true, Settings::FlowXonXoff},
    {"refuses a record not read from it (virtual ports, node-serialport #824)",
     [](DriverQuirks& q) { q.wantsItsOwnRecord = true; }},
    {"refuses XonLim/XoffLim other than its own (redirected ports, FreeRDP #3012)",
     [](DriverQuirks& q) { q.checksLimits = true; }},
    {"refuses every line record (STM32 virtual COM, purejavacomm #104)",
     [](DriverQuirks& q) { q.lineRefusal = ERROR_INVALID_PARAMETER; }, End::Idle, 0, false},
    {"line coding unanswered by the firmware: ERROR_GEN_FAILURE (pySerial #739)",
     [](DriverQuirks& q) { q.lineRefusal = ERROR_GEN_FAILURE; }, End::Idle, 0, false},
    {"refuses SetupComm (jSerialComm #276)", [](DriverQuirks& q) { q.queueRefusal = ERROR_INVALID_PARAMETER; }},
    {"ClearCommError always ERROR_INVALID_PARAMETER (GNSS virtual COM, pySerial #575)",
     [](DriverQuirks& q) { q.statusRefusal = ERROR_INVALID_PARAMETER; }},
    {"ClearCommError fails once after each arrival, then answers: tried again, not given up",
     [](DriverQuirks& q) {
         q.statusFailure = ERROR_INVALID_PARAMETER;
         q.lineErrors = CE_FRAME;
     },
     End::Idle, 0, true, Settings::FlowNone, L"framing 2"},
    {"reads and writes report more bytes than asked for: the count is the driver's word",
     [](DriverQuirks& q) { q.overReported = 1000; }, End::Idle, 0, true, Settings::FlowNone, nullptr, false},
    {"counts received bytes late (serialport-rs #16, pySerial #117)", [](DriverQuirks& q) { q.countsLate = true; }},
    {"character wait never completes (redirected ports, FreeRDP #5620)", [](DriverQuirks& q) { q.wait = WaitStyle::Never; }},
    {"character wait completes at once with EV_TXEMPTY (USB serial, circuits_uart #34)",
     [](DriverQuirks& q) {
         q.wait = WaitStyle::WithoutData;
         q.waitEvents = EV_TXEMPTY;
     }},
    {"character wait completes without data (USB and virtual pairs)",
     [](DriverQuirks& q) { q.wait = WaitStyle::WithoutData; }},
    {"character wait aborted at once (Wine on a plain pseudo-terminal)",
     [](DriverQuirks& q) { q.wait = WaitStyle::Aborted; }},
    {"WaitCommEvent ERROR_INVALID_PARAMETER (CH340, SerialPortStream #25)",
     [](DriverQuirks& q) { q.waitRefusal = ERROR_INVALID_PARAMETER; }},
    {"read pends despite the time-outs, ends with 0 bytes (pySerial #50, node-serialport #1836, Wine)",
     [](DriverQuirks& q) { q.readsPend = true; }},
    {"CancelIoEx leaves a character wait running (Wine)", [](DriverQuirks& q) { q.ignoresWaitCancel = true; }},
    {"write fails with ERROR_SEM_TIMEOUT after its bytes left (jSerialComm #536)",
     [](DriverQuirks& q) { q.writeError = ERROR_SEM_TIMEOUT; }},
    {"write completes short under RTS/CTS (FTDI, corefx #16542)", [](DriverQuirks& q) { q.writeLimit = 40; }},
    {"open ERROR_SEM_TIMEOUT: Bluetooth remote off (pySerial #450)",
     [](DriverQuirks& q) { q.openError = ERROR_SEM_TIMEOUT; }, End::NotOpened},
    {"outgoing Bluetooth port: the open connects for 3 s (pySerial #451)",
     [](DriverQuirks& q) { q.openMilliseconds = 3000; }},
    {"outgoing Bluetooth port, remote off: the open fails after 2 s, ERROR_SEM_TIMEOUT (pySerial #450)",
     [](DriverQuirks& q) {
         q.openMilliseconds = 2000;
         q.openError = ERROR_SEM_TIMEOUT;
     },
     End::NotOpened},
    {"refuses opens for 300 ms after a close: ERROR_ACCESS_DENIED (FTDI, micro-manager #1254, jSerialComm #298)",
     [](DriverQuirks& q) { q.busyAfterClose = 300; }},
    {"held by another program: ERROR_ACCESS_DENIED", [](DriverQuirks& q) { q.openError = ERROR_ACCESS_DENIED; },
     End::NotOpened},
    {"held by another program: ERROR_SHARING_VIOLATION",
     [](DriverQuirks& q) { q.openError = ERROR_SHARING_VIOLATION; }, End::NotOpened},
    {"held by another program: ERROR_BUSY", [](DriverQuirks& q) { q.openError = ERROR_BUSY; }, End::NotOpened},
    {"missing port: ERROR_FILE_NOT_FOUND", [](DriverQuirks& q) { q.openError = ERROR_FILE_NOT_FOUND; },
     End::NotOpened},
    LineError("CE_OVERRUN: the UART's buffer overran (SerialPortStream #74)", CE_OVERRUN,
              L"overrun 2, input overflow 0, framing 0, parity 0, break 0"),
    LineError("CE_RXOVER: the input queue overflowed (pySerial #440)", CE_RXOVER,
              L"overrun 0, input overflow 2, framing 0, parity 0, break 0"),
    LineError("CE_FRAME: the instrument sends at another speed", CE_FRAME,
              L"overrun 0, input overflow 0, framing 2, parity 0, break 0"),
    LineError("CE_RXPARITY: the instrument sends with another parity", CE_RXPARITY,
              L"overrun 0, input overflow 0, framing 0, parity 2, break 0"),
    LineError("CE_BREAK: the line held at space", CE_BREAK,
              L"overrun 0, input overflow 0, framing 0, parity 0, break 2"),
    {"open ERROR_NOT_FOUND: Bluetooth remote off (pySerial #450)",
     [](DriverQuirks& q) { q.openError = ERROR_NOT_FOUND; }, End::NotOpened},
    Unplug("unplug: ERROR_BAD_COMMAND (in-box CDC driver, thonny #2513, espmonitor #71)", ERROR_BAD_COMMAND),
    Unplug("unplug: ERROR_ACCESS_DENIED (zig #23648, SerialPortStream #143)", ERROR_ACCESS_DENIED),
    Unplug("unplug: ERROR_FILE_NOT_FOUND (node-serialport #95, jSerialComm #472)", ERROR_FILE_NOT_FOUND),
    Unplug("unplug: ERROR_GEN_FAILURE", ERROR_GEN_FAILURE),
    Unplug("unplug: ERROR_OPERATION_ABORTED", ERROR_OPERATION_ABORTED),
    Unplug("unplug: ERROR_DEVICE_NOT_CONNECTED", ERROR_DEVICE_NOT_CONNECTED),
    Unplug("unplug: ERROR_NO_SUCH_DEVICE", kNoSuchDevice),
    Unplug("unplug without an error, only GetCommState fails (CH340, node-serialport #1011; libserialport #22)",
           ERROR_SUCCESS),
};

// The plug-in object as a host holds it, over a model driver with a row's
// quirks, set to COM3 and the settings the fixture stored first.
template <typename RowType>
class CPluginOverModelDriver : public ::testing::TestWithParam<RowType> {
protected:
    void Create(const std::function<void(DriverQuirks&)>& quirksOf) {
        if (quirksOf) quirksOf(quirks);
        driver = std::make_unique<CModelDriver>(quirks);
        settings.strings[L"PORT"] = L"COM3";
        plugin = Plugin::CDeviceCommonPlugin::Create(Settings::Win32Ports(), driver->Table());
        plugin->LoadSettings(&settings);
        plugin->SetEventSink(&sink);
    }

    DriverQuirks quirks;
    std::unique_ptr<CModelDriver> driver;
    Fakes::CRecordingSettingsReader settings;
    CRecordingSink sink;
    Plugin::CDeviceCommonPlugin* plugin = nullptr;
    CFakeRequest request{RequestBytes(100)};
    CTraceLines trace;
};

class DriverBehaviour : public CPluginOverModelDriver<Row> {
protected:
    void SetUp() override {
        settings.ints[L"BAUDRATE"] = kUserBaud;
        settings.ints[L"WATETIME"] = 1;
        settings.ints[L"FLOWCONTROL"] = GetParam().flow;
        Create(GetParam().quirks);
    }
    void TearDown() override {
        plugin->Release();
        driver.reset();
    }

    // A start is taken once the last exchange's final event has returned.
    bool StartAgain() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (plugin->StartExchange()) return true;
            Sleep(10);
        }
        return false;
    }
    bool OnlyTheOpeningError(size_t from) const {
        const auto events = sink.Events();
        if (events.size() != from + 1 || events.back().code != EventLogText) return false;
        const auto& text = events.back().data;
        return std::string(text.begin(), text.end()) == Serial::Exchange::kOpenErrorText;
    }
    ULONGLONG Tick(int32_t code) const {
        for (const RecordedEvent& event : sink.Events()) {
            if (event.code == code) return event.tick;
        }
        return 0;
    }
    // Connecting opens take their time on top of the usual patience.
    DWORD Patience() const { return quirks.openMilliseconds + 3000; }
};

TEST_P(DriverBehaviour, ExchangeKeepsItsPromises) {
    const Row& row = GetParam();
    const ULONGLONG asked = GetTickCount64();
    if (row.end == End::NotOpened) {
        ASSERT_TRUE(plugin->QueueTransferRequest(&request)) << "its wake-up must not end a busy open's retries";
    }
    ASSERT_TRUE(plugin->StartExchange());
    if (row.end == End::NotOpened) {
        ASSERT_TRUE(sink.WaitFor(EventLogText, Patience()));
        EXPECT_TRUE(OnlyTheOpeningError(0));
        const ULONGLONG took = Tick(EventLogText) - asked;
        const DWORD error = quirks.openError;
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY) {
            EXPECT_GE(took, 2000u) << "tried again for 2 s";
            EXPECT_GE(driver->Opens(), 8) << "every 100 ms";
            EXPECT_LE(driver->Opens(), 25) << "every 100 ms";
        } else {
            EXPECT_LT(took, quirks.openMilliseconds + 1000u) << "at once";
            EXPECT_EQ(driver->Opens(), 1);
        }
        return;
    }
    ASSERT_TRUE(sink.WaitFor(EventStarted, Patience()));
    const ULONGLONG started = Tick(EventStarted);

    Sleep(100);
    driver->Arrive({'a', 'b', 'c'});
    Sleep(300);
    const std::vector<uint8_t> burst = RequestBytes(5000, 3);
    driver->Arrive(burst);
    Sleep(100);
    ASSERT_TRUE(plugin->QueueTransferRequest(&request));
    ASSERT_TRUE(sink.WaitFor(RequestDone, 3000));
    ULONGLONG unplugged = 0;
    if (row.end == End::DeviceGone) {
        Sleep(200);
        unplugged = GetTickCount64();
        driver->Unplug(row.unplugError);
    }
    ASSERT_TRUE(sink.WaitFor(EventStopped, 5000));
    const ULONGLONG ended = Tick(EventStopped);
    EXPECT_EQ(driver->Opens(), 1);

    EXPECT_EQ(driver->Line().BaudRate == kUserBaud, row.takesSettings) << "the user's speed, or the driver's own";
    const DCB line = driver->Line();
    const DWORD software = row.flow == Settings::FlowXonXoff;
    EXPECT_EQ((std::vector<DWORD>{BYTE(line.XonChar), BYTE(line.XoffChar), line.fAbortOnError, line.fOutX, line.fInX}),
              (std::vector<DWORD>{0x11, 0x13, FALSE, software, software}));

    std::vector<uint8_t> arrived{'a', 'b', 'c'};
    const auto events = sink.Events();
    if (!row.countsTrue) {
        const auto first = std::find_if(events.begin(), events.end(),
                                        [](const RecordedEvent& e) { return e.code == EventDataReceived; });
        ASSERT_NE(first, events.end());
        EXPECT_EQ(first->data, arrived) << "a read is trusted no further than it was asked";
    }
    arrived.insert(arrived.end(), burst.begin(), burst.end());
    if (row.countsTrue) {
        EXPECT_EQ(sink.Received(), arrived) << "every byte, whole and in order";
    }
    size_t handedOver = 0;
    auto event = events.begin();
    for (const auto& [offset, tick] : driver->Arrivals()) {
        if (!row.countsTrue) break;
        for (; event != events.end() && handedOver <= offset; ++event) {
            if (event->code != EventDataReceived) continue;
            EXPECT_FALSE(event->data.empty()) << "no block without bytes";
            handedOver += event->data.size();
            if (handedOver > offset) {
                EXPECT_LE(event->tick - tick, kMostDelivery) << "byte " << offset;
            }
        }
    }

    EXPECT_EQ(sink.Count(RequestDone), 1u);
    EXPECT_EQ(driver->Written(), request.bytes) << "the request went out once, whole";

    switch (row.end) {
    case End::Idle:
        EXPECT_GE(ended - started, 1000u + 400u) << "not before the wait time without data";
        EXPECT_LE(ended - started, 4000u);
        break;
    case End::DeviceGone:
        EXPECT_LE(ended - unplugged,
                  row.unplugError == ERROR_SUCCESS ? kMostSilentGoneMilliseconds : kMostGoneMilliseconds);
        break;
    case End::NotOpened: break;
    }
    const double seconds = double(GetTickCount64() - started) / 1000.0;
    EXPECT_LE(driver->Calls() / seconds, kMostCallsPerSecond) << "spins";

    const auto totals = trace.With(Serial::CLineErrors::kTotalsMark);
    if (row.lineErrorTotals) {
        ASSERT_EQ(totals.size(), 1u);
        EXPECT_NE(totals[0].find(row.lineErrorTotals), std::wstring::npos) << totals[0];
        EXPECT_FALSE(trace.With(L": line errors: ").empty()) << "said while they came";
    } else {
        EXPECT_TRUE(totals.empty());
    }

    if (row.end == End::Idle) {
        ASSERT_TRUE(StartAgain());
        EXPECT_TRUE(sink.WaitFor(EventStarted, Patience(), 2)) << "the next start opens the port again";
        plugin->StopExchange();
        EXPECT_TRUE(sink.WaitFor(EventStopped, 3000, 2));
        EXPECT_EQ(sink.Count(EventLogText), sink.Count(EventDataReceived)) << "no port-opening text";
        EXPECT_EQ(trace.With(Serial::CLineErrors::kTotalsMark).size(), totals.size()) << "each counts its own";
    }
    if (row.end == End::DeviceGone) {
        const size_t before = sink.Events().size();
        ASSERT_TRUE(StartAgain());
        for (int wait = 0; wait < 300 && sink.Events().size() == before; ++wait) Sleep(10);
        EXPECT_TRUE(OnlyTheOpeningError(before)) << "the port is gone until it is plugged back";
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverBehaviour, ::testing::ValuesIn(kRows));


// Drivers that hold on to an open, a write or a read for as long as they
// like: the host's last Release returns at once all the same, nothing
// reaches the host after it, and the worker closes the port once the driver
// lets go, writing only from its own copy of the host's bytes.
enum class Held { Open, Write, Read };

struct HeldRow {
    const char* behaviour;
    std::function<void(DriverQuirks&)> quirks;
    Held held;
};

void PrintTo(const HeldRow& row, std::ostream* out) { *out << row.behaviour; }

constexpr ULONGLONG kMostLetGo = 100;

const HeldRow kHeldRows[] = {
    {"the open connects for 8 s, the instrument off (Bluetooth), a stop made meanwhile",
     [](DriverQuirks& q) { q.openMilliseconds = 8000; }, Held::Open},
    {"a write neither completed, nor cancelled, nor ended by a purge", [](DriverQuirks& q) { q.writesHang = true; },
     Held::Write},
    {"a read neither completed nor cancelled", [](DriverQuirks& q) { q.readsHang = true; }, Held::Read},
};

class DriverHoldsOn : public CPluginOverModelDriver<HeldRow> {
protected:
    void SetUp() override { Create(GetParam().quirks); }
    bool UntilHolding() const {
        for (int wait = 0; wait < 300 && !driver->Holding(); ++wait) Sleep(10);
        return driver->Holding();
    }
};

TEST_P(DriverHoldsOn, TheLastReleaseReturnsAtOnceAndThePortClosesWhenTheDriverLetsGo) {
    ASSERT_TRUE(plugin->StartExchange());
    if (GetParam().held == Held::Open) {
        Sleep(200);
        EXPECT_TRUE(plugin->StopExchange()) << "no exchange holds the port yet";
    } else {
        ASSERT_TRUE(sink.WaitFor(EventStarted, 3000));
        if (GetParam().held == Held::Write) {
            ASSERT_TRUE(plugin->QueueTransferRequest(&request));
        } else {
            driver->Arrive({1, 2, 3});
        }
        ASSERT_TRUE(UntilHolding());
    }
    const size_t eventsBefore = sink.Events().size();

    const ULONGLONG begun = GetTickCount64();
    plugin->Release();
    EXPECT_LT(GetTickCount64() - begun, kMostLetGo) << "the last Release waits for no driver";
    EXPECT_EQ(trace.With(L"the last Release returns after 60 ms").size(), 1u);
    const std::vector<uint8_t> sent = request.bytes;
    // The host frees its request.
    std::fill(request.bytes.begin(), request.bytes.end(), uint8_t{0xEE});
    driver->Unstick();

    ASSERT_TRUE(driver->WaitUntilLetGo(3000)) << "the worker closes the port";
    EXPECT_EQ(sink.Events().size(), eventsBefore) << "nothing reaches the host after its last Release";
    if (GetParam().held == Held::Write) {
        EXPECT_EQ(driver->Written(), sent) << "written from the plug-in's copy";
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverHoldsOn, ::testing::ValuesIn(kHeldRows));

// A stop made while the port opens: an open refused as busy is not tried
// again, and one that connects (which nothing interrupts) ends the exchange
// right after EventStarted, once it returns.
struct OpeningRow {
    const char* behaviour;
    std::function<void(DriverQuirks&)> quirks;
    int opensBeforeStop;
    int32_t end;
};

void PrintTo(const OpeningRow& row, std::ostream* out) { *out << row.behaviour; }

const OpeningRow kOpeningRows[] = {
    {"held by another program: ERROR_ACCESS_DENIED", [](DriverQuirks& q) { q.openError = ERROR_ACCESS_DENIED; }, 2,
     EventLogText},
    {"outgoing Bluetooth port: the open connects for 1 s", [](DriverQuirks& q) { q.openMilliseconds = 1000; }, 1,
     EventStopped},
};

class StopWhileOpening : public ::testing::TestWithParam<OpeningRow> {
protected:
    void SetUp() override {
        GetParam().quirks(quirks);
        driver = std::make_unique<CModelDriver>(quirks);
        settings.strings[L"PORT"] = L"COM3";
        plugin = Plugin::CDeviceCommonPlugin::Create(Settings::Win32Ports(), driver->Table());
        plugin->LoadSettings(&settings);
        plugin->SetEventSink(&sink);
    }
    void TearDown() override { plugin->Release(); }

    DriverQuirks quirks;
    std::unique_ptr<CModelDriver> driver;
    Fakes::CRecordingSettingsReader settings;
    CRecordingSink sink;
    Plugin::CDeviceCommonPlugin* plugin = nullptr;
};

TEST_P(StopWhileOpening, EndsTheExchangeOnceTheOpenReturns) {
    ASSERT_TRUE(plugin->StartExchange());
    for (int wait = 0; wait < 300 && driver->Opens() < GetParam().opensBeforeStop; ++wait) Sleep(10);
    const int opens = driver->Opens();
    const ULONGLONG stopped = GetTickCount64();
    EXPECT_TRUE(plugin->StopExchange()) << "no exchange holds the port yet";
    ASSERT_TRUE(sink.WaitFor(GetParam().end, 3000));
    const auto events = sink.Events();
    if (GetParam().end == EventLogText) {
        EXPECT_LT(events.back().tick - stopped, 1000u) << "the retries end at the stop";
        EXPECT_LE(driver->Opens(), opens + 1);
    } else {
        ASSERT_EQ(sink.Codes(), (std::vector<int32_t>{EventStarted, EventStopped}));
        EXPECT_LT(events[1].tick - events[0].tick, 500u) << "right after EventStarted";
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, StopWhileOpening, ::testing::ValuesIn(kOpeningRows));

}  // namespace
