#include "serial/SerialPort.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "DeviceTestSupport.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimulatedTime.h"

namespace tessaro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::DiagnosticCapture;
using test::StartFixedReply;
using test::UseQuickTiming;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 2000ms) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

long Occurrences(const std::string& text, const std::string& part) {
    long count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

TEST(Send2, ReturnsTheTrimmedReplyAfterOnePollIntervalAndTracesTheExchange) {
    sim::SimulatedTime time;  // a loaded machine can neither hurry nor delay the reply
    const auto instrument = StartFixedReply(" A\x03\r\n");
    TSerialPort port;  // the described defaults: 333 ms polls, 1000 ms for a reply
    port.fPort = instrument->PortName();
    port.fDebug = true;
    TSerialResponse result{};

    port.Send2("A\r", true, result);

    EXPECT_EQ(result.Status, "");
    EXPECT_EQ(result.Response, "A");
    EXPECT_EQ(result.SentMessage, "A\r");
    EXPECT_EQ(instrument->Received(), std::vector<std::string>{"A"});
    // The reply is seen at the second check, one poll interval after the write.
    EXPECT_EQ(time.Elapsed(), 333ms);
    for (const char* line : {"PortName: ", "Bytes written: 2\r\n", "As string: A\r\n", "As ordinals: 65 13 \r\n",
                             "Waiting for data or timeout\r\n", "Data read: A\r\n", "Duration:00:"})
        EXPECT_TRUE(Contains(port.fDebugMSG, line)) << line << " in\n" << port.fDebugMSG;
}

// A reply is the line before its CR: what follows the CR in the same read belongs to no
// reply, and a line cut before its CR (by the 80-byte read, or by silence) is no reply.
TEST(Send2, ReturnsTheLineBeforeTheFirstCarriageReturnAndNoCutLine) {
    struct Case {
        std::string Reply;
        std::string Response;
        std::string Status;
    };
    const std::string hundred =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\r";
    const Case cases[] = {
        {hundred, "", kStatusReadFailed},
        {"A +14.7 +25", "", kStatusReadFailed},
        {"A 1\rA 2 late\r", "A 1", ""},
        {"A 1\rA 2 cu", "A 1", ""},
        {"/0\x91\x03\r\n", "/0\u2018", ""},                        // the upper half through the code page
        {std::string("\x00\x02 x\x7Fy \x7F\r", 9), "x\x7Fy", ""},  // DEL is trimmed like any control character
    };
    // On a clock that never moves the port waits for the reply however slow the machine is.
    TFakeClock clock;
    TScopedClock installed(clock);
    for (const Case& c : cases) {
        const auto instrument = StartFixedReply(c.Reply);
        TSerialPort port;
        port.fPort = instrument->PortName();
        UseQuickTiming(port);
        test::UseContinuousPolling(port);
        TSerialResponse result{};
        port.Send2("?\r", true, result);
        EXPECT_EQ(result.Status, c.Status) << c.Reply;
        EXPECT_EQ(result.Response, c.Response) << c.Reply;
    }
}

// The read takes bytes as long as no 20 ms pass without one: a piece that follows the
// first within that time belongs to the reply, one after a longer pause does not.
TEST(Send2, ReadsAReplyArrivingInPiecesUntilTwentyMillisecondsOfSilence) {
    sim::PseudoTerminal pty;
    std::thread device([&] {
        pollfd request{pty.MasterFd(), POLLIN, 0};
        if (poll(&request, 1, 2000) != 1) return;
        const auto arrived = Clock::now();
        char command[16];
        [[maybe_unused]] ssize_t n = read(pty.MasterFd(), command, sizeof command);
        std::this_thread::sleep_until(arrived + 30ms);  // after the check at 0 ms
        n = write(pty.MasterFd(), "A +1", 4);           // seen at the check at 100 ms
        std::this_thread::sleep_until(arrived + 103ms);
        n = write(pty.MasterFd(), " +2\r", 4);  // just after the read began; a late write still
                                                // has the 20 ms of silence to arrive
        std::this_thread::sleep_until(arrived + 300ms);
        n = write(pty.MasterFd(), "late\r", 5);
    });
    TSerialPort port;
    port.fPort = pty.SlaveName();
    UseQuickTiming(port, 100, 500);
    TSerialResponse result{};
    port.Send2("A\r", true, result);
    device.join();
    EXPECT_EQ(result.Status, "");
    EXPECT_EQ(result.Response, "A +1 +2");
}

TEST(Send2, GivesUpAfterTheReplyTimeOutWithTheTimeoutStatus) {
    const auto instrument = StartFixedReply("A\r");
    instrument->SetFault(sim::SimFault::Silent);
    TSerialPort port;
    port.fPort = instrument->PortName();
    UseQuickTiming(port, 50, 200);
    TSerialResponse result{};

    const auto start = Clock::now();
    port.Send2("A\r", true, result);

    EXPECT_GE(Clock::now() - start, 200ms);  // never before the time-out
    EXPECT_EQ(result.Status, "Timeout while waiting for response, exiting.\r\n");
    EXPECT_EQ(result.Response, "");
}

// On the program's clock: checks at the start and every poll interval while within the
// time-out, then the exchange gives up one poll interval after the last check.
TEST(Send2, SilentInstrumentTimesOutOnTheProgramClockAfterTheReplyTimeOut) {
    const struct {
        std::uint32_t pollMs, timeoutMs;
        std::chrono::milliseconds end;
        long checks;
    } cases[] = {
        {333, 1000, 1332ms, 4},  // the described defaults
        {50, 200, 250ms, 5},     // a check falling on the time-out still happens
        {100, 100, 200ms, 2},
        {400, 100, 400ms, 1},
    };
    const auto instrument = StartFixedReply("A\r");
    instrument->SetFault(sim::SimFault::Silent);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pollMs);
        test::SelfAdvancingClock clock;
        TSerialPort port;
        port.fPort = instrument->PortName();
        port.fDebug = true;
        UseQuickTiming(port, c.pollMs, c.timeoutMs);
        TSerialResponse result{};
        port.Send2("A\r", true, result);

        EXPECT_EQ(result.Status, "Timeout while waiting for response, exiting.\r\n");
        EXPECT_EQ(result.Response, "");
        EXPECT_EQ(clock.Elapsed(), c.end);
        EXPECT_EQ(Occurrences(port.fDebugMSG, "Waiting for data or timeout"), c.checks);
    }
}

// The worker that owns a port can end its wait for a reply at once: the exchange then
// fails, even on a clock that never moves.
TEST(Send2, RaisedInterruptEndsTheWaitAsATimeout) {
    const auto instrument = StartFixedReply("A\r");
    instrument->SetFault(sim::SimFault::Silent);
    TFakeClock clock;
    TScopedClock installed(clock);
    std::atomic<bool> interrupt{false};
    TSerialPort port;
    port.fPort = instrument->PortName();
    port.fDebug = true;
    port.fInterrupt = &interrupt;
    TSerialResponse result{};

    std::thread exchange([&] { port.Send2("A\r", true, result); });
    ASSERT_TRUE(WaitFor([&] { return clock.Sleepers() > 0; }));
    interrupt = true;
    exchange.join();

    EXPECT_EQ(result.Status, "Timeout while waiting for response, exiting.\r\n");
    EXPECT_TRUE(Contains(port.fDebugMSG, "Abandoned\r\n"));
    EXPECT_EQ(clock.Monotonic(), 0ms);
}

// A reply that comes after its exchange gave up must not pass for the answer to the next
// command: what waits in the port when it is opened is discarded.
TEST(Send2, NeverTakesALateReplyForTheAnswerToTheNextCommand) {
    const auto instrument =
        test::StartScripted([](std::string_view line) { return "got " + std::string(line) + "\r"; });
    instrument->SetSlowReplyMs(60);
    instrument->SetFault(sim::SimFault::Slow);
    TSerialPort port;
    port.fPort = instrument->PortName();
    UseQuickTiming(port, 20, 100);
    TSerialResponse first{};
    {
        test::SelfAdvancingClock clock;  // gives up before the reply has come
        port.Send2("first\r", true, first);
    }
    EXPECT_EQ(first.Status, "Timeout while waiting for response, exiting.\r\n");

    std::this_thread::sleep_for(100ms);  // the late reply lands meanwhile
    instrument->SetFault(sim::SimFault::None);
    TSerialResponse second{};
    port.Send2("second\r", true, second);
    EXPECT_EQ(second.Response, "got second");
}

// A controller's reply cut by a pause longer than the read's silence fails its exchange; the
// rest of that line then arrives either while the next exchange waits for its own reply, or
// while the port is closed between the two. Either way the next exchange reads its own
// reply, and the rest of the old line is counted as discarded.
TEST(Send2, NextExchangeReadsOnlyItsOwnReplyAfterAReplySplitByAPause) {
    const std::string firstRest = "ith more words\r";  // after the first 20 bytes
    const struct {
        const char* name;
        std::chrono::milliseconds pauseBetween;
    } cases[] = {{"rest arrives during the next exchange", 0ms}, {"rest arrives between the exchanges", 700ms}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto instrument = test::StartScripted(
            [](std::string_view line) { return "A answer to " + std::string(line.substr(1)) + ", with more words\r"; });
        instrument->SetFault(sim::SimFault::SplitLine);  // 20 bytes, 400 ms, the rest
        TSerialPort port;
        port.fPort = instrument->PortName();
        port.fIsOwnReply = [](std::string_view line) { return line.starts_with("A "); };
        UseQuickTiming(port, 20, 1500);
        DiagnosticCapture diagnostics;

        TSerialResponse first{};
        port.Send2("Afirst\r", true, first);
        EXPECT_EQ(first.Status, kStatusReadFailed);
        instrument->SetFault(sim::SimFault::None);
        std::this_thread::sleep_for(c.pauseBetween);

        TSerialResponse second{};
        port.Send2("Asecond\r", true, second);
        EXPECT_EQ(second.Status, "");
        EXPECT_EQ(second.Response, "A answer to second, with more words");
        EXPECT_EQ(port.fStaleBytesDiscarded, firstRest.size());
        EXPECT_TRUE(diagnostics.Contains("SerialPort", "discarded 15 bytes")) << c.name;
    }
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The other end of the line goes away after the command has arrived (a pty's master closed,
// an adapter pulled): the exchange must fail at once, not spin through the read time-out and
// come back with an empty status as if a blank reply were an answer.
TEST(Send2, FailsAtOnceWithTheReadStatusWhenTheLineHangsUpMidExchange) {
    for (const bool partOfAReply : {false, true}) {
        SCOPED_TRACE(partOfAReply ? "after part of a reply" : "before any reply");
        auto pty = std::make_unique<sim::PseudoTerminal>();
        TSerialPort port;
        port.fPort = pty->SlaveName();
        UseQuickTiming(port, 20, 1000);
        std::thread device([&] {
            pollfd request{pty->MasterFd(), POLLIN, 0};
            if (poll(&request, 1, 2000) != 1) return;
            char command[16];
            [[maybe_unused]] ssize_t n = read(pty->MasterFd(), command, sizeof command);
            if (partOfAReply) n = write(pty->MasterFd(), "A +1", 4);
            std::this_thread::sleep_for(40ms);  // the exchange is waiting or reading by now
            pty.reset();                        // hang-up
        });
        TSerialResponse result{};
        const double cpuBefore = ThreadCpuMs();
        const auto start = Clock::now();
        port.Send2("A\r", true, result);
        const auto took = Clock::now() - start;
        const double cpuMs = ThreadCpuMs() - cpuBefore;
        device.join();
        EXPECT_EQ(result.Status, kStatusReadFailed);
        EXPECT_EQ(result.Response, "");
        EXPECT_LT(took, 500ms);  // far below the read's own 1 s time-out
        EXPECT_LT(cpuMs, 50.0);
    }
}

TEST(Send2, WithoutWaitingWritesAndReportsThatItDidNotWait) {
    const auto instrument = StartFixedReply("A\r");
    TSerialPort port;
    port.fPort = instrument->PortName();
    TSerialResponse result{};
    result.Response = "left over";

    const auto start = Clock::now();
    port.Send2(QString::fromUtf8("A\u00B5\r"), false, result);  // text goes out in the code page

    EXPECT_LT(Clock::now() - start, 300ms);
    EXPECT_EQ(result.Status, "Exit read/write without waiting for reply");
    EXPECT_EQ(result.Response, "");
    EXPECT_EQ(result.SentMessage, "A\xB5\r");
    EXPECT_TRUE(WaitFor([&] { return instrument->Received() == std::vector<std::string>{"A\xB5"}; }));
}

TEST(Send2, FindsAPortInUseByAnotherExchangeUnderAnyOfItsNames) {
    test::TemporaryDirectory dir;
    sim::SimInstrumentOptions options;
    options.PublishDir = dir.Path();
    options.PublishName = "sim-held";
    sim::SimulatedInstrument instrument(
        std::make_unique<test::ScriptedModel>([](std::string_view) {
            return std::optional<std::string>();  // never answers: the exchange holds the port
        }),
        options);

    // The holder waits for a reply on a clock that never moves, until it is let go.
    TFakeClock clock;
    TScopedClock installed(clock);
    std::atomic<bool> letGo{false};
    TSerialPort holder;
    holder.fPort = instrument.DevicePath();  // the published link
    holder.fInterrupt = &letGo;
    std::thread holding([&] {
        TSerialResponse ignored{};
        holder.Send2("A\r", true, ignored);
    });
    ASSERT_TRUE(WaitFor([&] { return !instrument.Received().empty(); }));

    DiagnosticCapture diagnostics;
    TSerialPort other;
    other.fPort = instrument.TerminalPath().substr(5);  // "pts/N": the same device
    UseQuickTiming(other);
    TSerialResponse result{};
    other.Send2("A\r", true, result);
    EXPECT_EQ(result.Status, "Failed to setup Com port, port in use");
    EXPECT_EQ(result.Response, "");
    EXPECT_TRUE(diagnostics.Contains("SerialPort", "held by another exchange"));

    // Other processes see the same lock.
    if (std::system("command -v flock >/dev/null 2>&1") == 0) {
        const std::string probe = "flock -n " + instrument.TerminalPath() + " true";
        EXPECT_NE(std::system(probe.c_str()), 0);
    }
    letGo = true;
    holding.join();
    TSerialResponse later{};
    other.Send2("A\r", false, later);
    EXPECT_EQ(later.Status, "Exit read/write without waiting for reply");
}

TEST(Send2, KeepsTheFixedStatusAndLogsTheSystemsReasonForAPortItCannotOpen) {
    test::TemporaryDirectory dir;
    const std::string plainFile = dir.Path() + "/not-a-port";
    std::ofstream(plainFile) << "x";
    struct Case {
        std::string Port;
        std::string Reason;
    };
    const Case cases[] = {
        {"tessaro-no-such-port", "No such file or directory"},
        {plainFile, "not a serial device"},
    };
    for (const Case& c : cases) {
        DiagnosticCapture diagnostics;
        TSerialPort port;
        port.fPort = c.Port;
        TSerialResponse result{};
        port.Send2("A\r", true, result);
        EXPECT_EQ(result.Status, "Failed to setup Com port, port in use") << c.Port;
        EXPECT_EQ(result.Response, "");
        EXPECT_TRUE(diagnostics.Contains("SerialPort", c.Reason)) << c.Port;
    }
}

TEST(Send2, RefusesALineSettingTheSystemCannotMake) {
    const auto instrument = StartFixedReply("A\r");
    DiagnosticCapture diagnostics;
    TSerialPort port;
    port.fPort = instrument->PortName();
    port.fBaudRate = 12345;
    TSerialResponse result{};
    port.Send2("A\r", true, result);
    EXPECT_EQ(result.Status, "Failed to setup Com port, port in use");
    EXPECT_TRUE(diagnostics.Contains("SerialPort", "unsupported baud rate 12345"));
    EXPECT_TRUE(instrument->Received().empty());
}

TEST(Send2, FollowsAPublishedPortThatVanishesAndComesBack) {
    test::TemporaryDirectory dir;
    sim::SimInstrumentOptions options;
    options.PublishDir = dir.Path();
    options.PublishName = "sim-mfc1";
    sim::SimulatedInstrument instrument(
        std::make_unique<test::ScriptedModel>([](std::string_view) { return std::string("A 1\r"); }), options);
    TSerialPort port;
    port.fPort = instrument.DevicePath();
    UseQuickTiming(port);

    const auto exchange = [&] {
        TSerialResponse result{};
        port.Send2("A\r", true, result);
        return result.Status.empty() ? result.Response : result.Status;
    };
    EXPECT_EQ(exchange(), "A 1");
    instrument.Vanish();
    EXPECT_EQ(exchange(), "Failed to setup Com port, port in use");
    instrument.Return();
    EXPECT_EQ(exchange(), "A 1");
}

TEST(TSerialResponseInit, ClearsTextsAndMarksNumbersUnset) {
    TSerialResponse response{};
    response.Status = "x";
    response.Response = "y";
    response.rArray[0] = 9;
    response.Init();
    EXPECT_EQ(response.Status, "");
    EXPECT_EQ(response.Response, "");
    EXPECT_EQ(response.rDouble, -1.0);
    EXPECT_EQ(response.ValueOfFirstWord, -1);
    EXPECT_EQ(response.ValueOfSecondWord, -1);
    EXPECT_EQ(response.AsInteger, -1);
    EXPECT_EQ(response.AsFloat, -1.0f);
    EXPECT_EQ(response.ResponseLength, 0);
    EXPECT_EQ(response.rArray[0], 9);  // left as it was
}

}  // namespace
}  // namespace tessaro
