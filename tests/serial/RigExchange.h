#pragma once
// An exchange control on the rig's plug-in port, with a recording sink and
// the instrument on the other end: the common ground of the rig tests.
#include <gtest/gtest.h>
#include <deque>
#include "FakeRequest.h"
#include "RecordingSink.h"
#include "RigTest.h"
#include "win32/DevicePath.h"
#include "serial/ExchangeControl.h"

class RigExchange : public RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        control.SetSink(&sink);
        target.devicePath = Win32::DevicePathFor(PluginPortName().c_str());
        target.line = RigLine();
        target.waitSeconds = 30;
    }

    bool Start() { return control.StartExchange(target); }
    // Requests live in the fixture, which ends the exchange before they go,
    // also when an assertion cuts a test short.
    CFakeRequest& Request(std::vector<uint8_t> bytes) { return requests.emplace_back(std::move(bytes)); }

    CRecordingSink sink;
    Serial::Exchange::Target target;
    std::deque<CFakeRequest> requests;
    Serial::CExchangeControl control;
};
