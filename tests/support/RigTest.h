#pragma once
// The common ground of the tests on the rig: the plug-in's end emptied, the
// instrument's end open.
#include <gtest/gtest.h>
#include <windows.h>
#include "RigPorts.h"

class RigTest : public ::testing::Test {
protected:
    void SetUp() override {
        PurgePluginPort();
        ASSERT_TRUE(instrument.IsOpen());
    }

    CRigInstrument instrument;
};

// A start is taken once the last exchange's final event has returned, a
// moment after the sink has seen it: start is tried for up to 2 s.
template <typename Start>
bool StartAfterTheLastEnd(Start start) {
    for (const ULONGLONG end = GetTickCount64() + 2000; !start(); Sleep(1)) {
        if (GetTickCount64() > end) return false;
    }
    return true;
}
