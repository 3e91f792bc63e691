#pragma once
// An exchange control on the rig's plug-in port, with a recording sink and
// the instrument on the other end: the common ground of the rig tests.
#include <gtest/gtest.h>
#include <atomic>
#include "RecordingSink.h"
#include "RigPorts.h"
#include "serial/ExchangeControl.h"
#include "serial/RequestQueue.h"

class RigExchange : public ::testing::Test {
protected:
    void SetUp() override {
        PurgePluginPort();
        ASSERT_TRUE(instrument.IsOpen());
        sinkPointer = &sink;
        settings.portName = PluginPortName().c_str();
        settings.line = RigLine();
        settings.waitTime = 30;
    }

    Instrument instrument;
    RecordingSink sink;
    std::atomic<IDeviceEventSink*> sinkPointer{nullptr};
    Settings::PortSettings settings;
    CRequestQueue requests;
    CExchangeControl control{sinkPointer, settings, requests};
};
