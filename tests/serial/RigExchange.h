#pragma once
// An exchange control on the rig's plug-in port, with a recording sink and
// the instrument on the other end: the common ground of the rig tests.
#include <gtest/gtest.h>
#include <deque>
#include "FakeRequest.h"
#include "RecordingSink.h"
#include "RigPorts.h"
#include "win32/DevicePath.h"
#include "serial/ExchangeControl.h"

class RigExchange : public ::testing::Test {
protected:
    void SetUp() override {
        PurgePluginPort();
        ASSERT_TRUE(instrument.IsOpen());
        control.SetSink(&sink);
        target.devicePath = Win32::DevicePathFor(PluginPortName().c_str());
        target.line = RigLine();
        target.waitSeconds = 30;
    }

    bool Start() { return control.StartExchange(target); }
    // A start is taken once the last exchange's final event has returned,
    // a moment after the sink has seen it.
    bool StartAfterTheLastEnd() {
        for (const ULONGLONG end = GetTickCount64() + 2000; !Start(); Sleep(1)) {
            if (GetTickCount64() > end) return false;
        }
        return true;
    }
    // Requests live in the fixture, which ends the exchange before they go,
    // also when an assertion cuts a test short.
    FakeRequest& Request(std::vector<uint8_t> bytes) { return requests.emplace_back(std::move(bytes)); }

    Instrument instrument;
    RecordingSink sink;
    Serial::Exchange::Target target;
    std::deque<FakeRequest> requests;
    Serial::CExchangeControl control;
};
