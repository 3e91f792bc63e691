// The exchange as the host drives it through the plug-in's table.
#include <gtest/gtest.h>
#include "RecordingSink.h"
#include "plugin/CreatePlugin.h"

namespace {

TEST(PluginExchange, RefusesToStartWithoutASink) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    EXPECT_FALSE(plugin->StartExchange());
    EXPECT_TRUE(plugin->StopExchange());
    EXPECT_TRUE(plugin->Release());
}

// Hosts commonly drop their last reference when the exchange reports its end.
TEST(PluginExchange, LastReleaseFromTheEndOfAFailedExchangeDestroysThePlugin) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    RecordingSink sink;
    std::atomic<int> released{-1};
    sink.react = [&](const RecordedEvent&) { released = plugin->Release() ? 1 : 0; };
    plugin->SetEventSink(&sink);
    ASSERT_TRUE(plugin->StartExchange()) << "no port is configured: the open fails";
    ASSERT_TRUE(sink.WaitFor(EventLogText, 5000));
    for (int i = 0; i < 500 && released < 0; ++i) Sleep(10);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventLogText});
}

TEST(PluginExchange, ReleaseWhileTheExchangeStartsWaitsForItsEnd) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    RecordingSink sink;
    plugin->SetEventSink(&sink);
    ASSERT_TRUE(plugin->StartExchange());
    EXPECT_TRUE(plugin->Release());
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventLogText}) << "the worker ended before the plug-in went";
}

}  // namespace
