// Stop signals reach the event loop: the handler only writes a byte, the reaction runs on the
// thread that serves the events, once per signal.

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include "QtEventLoopSupport.h"
#include "run/StopSignals.h"

namespace tessaro {
namespace {

TEST(StopSignalsTest, EachSignalReachesTheEventLoopOnce) {
    std::vector<int> received;
    const TStopSignals stopSignals([&](int signal) { received.push_back(signal); });
    ASSERT_TRUE(stopSignals.Installed()) << stopSignals.Error();
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ASSERT_EQ(raise(signal), 0);
    // Nothing happens inside the handler: the reaction waits for the event loop.
    EXPECT_TRUE(received.empty());
    ASSERT_TRUE(test::ServeUntil([&] { return received.size() >= 3; }));
    test::ServeUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
}

TEST(StopSignalsTest, PreviousHandlersComeBack) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGHUP, &ignore, &before), 0);
    {
        const TStopSignals stopSignals([](int) {});
        struct sigaction during {};
        sigaction(SIGHUP, nullptr, &during);
        EXPECT_NE(during.sa_handler, SIG_IGN);
    }
    struct sigaction after {};
    sigaction(SIGHUP, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_IGN);
    sigaction(SIGHUP, &before, nullptr);
}

TEST(StopSignalsTest, SignalNames) {
    EXPECT_EQ(SignalName(SIGTERM), "SIGTERM");
    EXPECT_EQ(SignalName(SIGINT), "SIGINT");
    EXPECT_EQ(SignalName(SIGHUP), "SIGHUP");
    EXPECT_EQ(SignalName(SIGUSR1), "signal " + std::to_string(SIGUSR1));
}

}  // namespace
}  // namespace tessaro
