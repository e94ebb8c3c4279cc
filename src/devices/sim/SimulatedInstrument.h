#pragma once
// One simulated instrument on a pseudo-terminal: a thread reads command lines from the
// master side, lets the model answer and writes the replies back after a short delay.
// Faults can be switched on at any time: silence, garbage, a partial line, a line longer
// than a read takes, a late reply, a reply split by a pause, and the port vanishing and
// coming back.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/InstrumentModel.h"

namespace tessaro::sim {

class PseudoTerminal;
class PortPublication;

enum class SimFault {
    None,
    Silent,       // reads commands, never answers
    Garbage,      // answers random bytes
    PartialLine,  // answers the first half of the reply, without its line end
    Overlong,     // answers the reply padded to more than 80 bytes
    Slow,         // answers after SlowReplyMs
    SplitLine,    // answers the first SplitAfterBytes of the reply, the rest SplitGapMs later
};

struct SimInstrumentOptions {
    std::string PublishDir;   // empty: not published, the port name is "pts/N"
    std::string PublishName;  // the published port name
    int ReplyDelayMs = 10;
    int SlowReplyMs = 1500;
    int SplitAfterBytes = 20;
    int SplitGapMs = 400;
    unsigned Seed = 7;
};

class SimulatedInstrument {
public:
    SimulatedInstrument(std::unique_ptr<InstrumentModel> model, SimInstrumentOptions options = {});
    ~SimulatedInstrument();
    SimulatedInstrument(const SimulatedInstrument&) = delete;
    SimulatedInstrument& operator=(const SimulatedInstrument&) = delete;

    // The name to give the program as its port: the published name, or "pts/N".
    std::string PortName() const;
    // A path that opens the port: the published link, or the pseudo-terminal itself.
    std::string DevicePath() const;
    // The pseudo-terminal behind the port now ("/dev/pts/N"); empty while vanished.
    std::string TerminalPath() const;
    std::string Describe() const;

    void SetFault(SimFault fault);
    SimFault Fault() const;
    void SetSlowReplyMs(int ms);
    // The port disappears (its pseudo-terminal is closed) and comes back on a new one.
    void Vanish();
    void Return();
    bool Present() const;

    // The command lines received so far (without CR), oldest first.
    std::vector<std::string> Received() const;
    void ClearReceived();

    // Runs `action` on the model while no command is being answered.
    void WithModel(const std::function<void(InstrumentModel&)>& action);

    // The time the models run on and replies wait their delays on, in seconds: real time,
    // or the program's monotonic clock while instruments follow it. Switched for the whole
    // process, before any instrument starts, so that no model sees its time jump.
    static double Now();
    static void FollowProgramClock(bool on);

    // Idle: no command bytes wait to be read and no reply is due and unsent; only time can
    // move the instrument on.
    bool Idle() const;
    // When the earliest reply still waiting is due; nothing when none waits.
    std::optional<double> NextReplyDue() const;

    // The same over every simulated instrument of the process.
    static bool AllIdle();
    static std::optional<double> EarliestReplyDue();
    // Every instrument looks at the clock again at once (after a fake clock has moved).
    static void WakeAll();

private:
    struct PendingReply {
        double Due;
        std::string Bytes;
    };

    void Loop();
    void HandleBytes(const char* data, std::size_t size, double now);
    void HandleLine(const std::string& line, double now);
    std::string Distort(std::string reply, SimFault fault);
    void SendDueReplies(double now);
    void Wake();

    std::unique_ptr<InstrumentModel> model_;
    SimInstrumentOptions options_;
    std::unique_ptr<PortPublication> publication_;

    mutable std::mutex mutex_;  // guards everything below and the model
    std::unique_ptr<PseudoTerminal> pty_;
    std::unique_ptr<PseudoTerminal> retired_;  // vanished, closed by the loop thread
    std::condition_variable retiredClosed_;
    std::string lastSlaveName_;
    std::string lineBuffer_;
    std::deque<PendingReply> pending_;
    std::vector<std::string> received_;
    SimFault fault_ = SimFault::None;
    unsigned randomState_;
    bool stop_ = false;

    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
};

const char* SimFaultName(SimFault fault);
bool SimFaultFromName(const std::string& name, SimFault& fault);

}  // namespace tessaro::sim
