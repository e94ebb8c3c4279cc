#include "sim/SimulatedInstrument.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <system_error>

#include "clock/Clock.h"
#include "sim/PortPublication.h"
#include "sim/PseudoTerminal.h"
#include "text/TextScan.h"

namespace tessaro::sim {

namespace {

constexpr std::size_t kMaxLineLength = 1024;
constexpr std::size_t kMaxReceivedLines = 10000;
constexpr std::size_t kOverlongReplyBytes = 100;

struct FaultName {
    SimFault Fault;
    const char* Name;
};
constexpr FaultName kFaultNames[] = {
    {SimFault::None, "none"},           {SimFault::Silent, "silent"}, {SimFault::Garbage, "garbage"},
    {SimFault::PartialLine, "partial"}, {SimFault::Overlong, "long"}, {SimFault::Slow, "slow"},
    {SimFault::SplitLine, "split"},
};

// Every reply starts with a printable character, so trimming takes off only its line end.
std::string WithoutLineEnd(const std::string& reply) { return std::string(TrimBlanksAndControls(reply)); }

// Due times are sums of seconds; a reply due at the very millisecond the clock shows is due
// even when the sum comes out a hair later.
bool IsDue(double due, double now) { return due <= now + 1e-6; }

// The instruments alive in this process, for what asks about all of them at once.
std::mutex& LiveMutex() {
    static std::mutex mutex;
    return mutex;
}

std::set<SimulatedInstrument*>& Live() {
    static std::set<SimulatedInstrument*> instruments;
    return instruments;
}

}  // namespace

const char* SimFaultName(SimFault fault) {
    for (const FaultName& entry : kFaultNames)
        if (entry.Fault == fault) return entry.Name;
    return "none";
}

bool SimFaultFromName(const std::string& name, SimFault& fault) {
    for (const FaultName& entry : kFaultNames)
        if (name == entry.Name) {
            fault = entry.Fault;
            return true;
        }
    return false;
}

SimulatedInstrument::SimulatedInstrument(std::unique_ptr<InstrumentModel> model, SimInstrumentOptions options)
    : model_(std::move(model)), options_(std::move(options)), randomState_(options_.Seed) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    wakeRead_ = pipeEnds[0];
    wakeWrite_ = pipeEnds[1];
    pty_ = std::make_unique<PseudoTerminal>();
    lastSlaveName_ = pty_->SlaveName();
    if (!options_.PublishDir.empty()) {
        publication_ = std::make_unique<PortPublication>(options_.PublishDir, options_.PublishName);
        publication_->PointTo(pty_->SlavePath());
    }
    thread_ = std::thread([this] { Loop(); });
    std::lock_guard live(LiveMutex());
    Live().insert(this);
}

SimulatedInstrument::~SimulatedInstrument() {
    {
        std::lock_guard live(LiveMutex());
        Live().erase(this);
    }
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    Wake();
    thread_.join();
    publication_.reset();
    close(wakeRead_);
    close(wakeWrite_);
}

std::string SimulatedInstrument::PortName() const {
    std::lock_guard lock(mutex_);
    return publication_ ? publication_->Name() : lastSlaveName_;
}

std::string SimulatedInstrument::DevicePath() const {
    std::lock_guard lock(mutex_);
    return publication_ ? publication_->LinkPath() : "/dev/" + lastSlaveName_;
}

std::string SimulatedInstrument::TerminalPath() const {
    std::lock_guard lock(mutex_);
    return pty_ ? pty_->SlavePath() : std::string();
}

std::string SimulatedInstrument::Describe() const {
    std::lock_guard lock(mutex_);
    return model_->Describe();
}

void SimulatedInstrument::SetFault(SimFault fault) {
    std::lock_guard lock(mutex_);
    fault_ = fault;
}

SimFault SimulatedInstrument::Fault() const {
    std::lock_guard lock(mutex_);
    return fault_;
}

void SimulatedInstrument::SetSlowReplyMs(int ms) {
    std::lock_guard lock(mutex_);
    options_.SlowReplyMs = ms;
}

void SimulatedInstrument::Vanish() {
    std::unique_lock lock(mutex_);
    if (!pty_) return;
    if (publication_) publication_->Withdraw();
    pending_.clear();
    lineBuffer_.clear();
    // The loop thread may be polling the old descriptor; it closes it itself.
    retired_ = std::move(pty_);
    lock.unlock();
    Wake();
    lock.lock();
    retiredClosed_.wait(lock, [this] { return !retired_ || stop_; });
}

void SimulatedInstrument::Return() {
    {
        std::lock_guard lock(mutex_);
        if (pty_) return;
        pty_ = std::make_unique<PseudoTerminal>();
        lastSlaveName_ = pty_->SlaveName();
        if (publication_) publication_->PointTo(pty_->SlavePath());
    }
    Wake();
}

bool SimulatedInstrument::Present() const {
    std::lock_guard lock(mutex_);
    return pty_ != nullptr;
}

std::vector<std::string> SimulatedInstrument::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void SimulatedInstrument::ClearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

void SimulatedInstrument::WithModel(const std::function<void(InstrumentModel&)>& action) {
    std::lock_guard lock(mutex_);
    action(*model_);
}

namespace {

std::atomic<bool>& FollowingProgramClock() {
    static std::atomic<bool> following{false};
    return following;
}

}  // namespace

double SimulatedInstrument::Now() {
    if (FollowingProgramClock().load()) return std::chrono::duration<double>(MonotonicNow()).count();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SimulatedInstrument::FollowProgramClock(bool on) { FollowingProgramClock().store(on); }

bool SimulatedInstrument::Idle() const {
    std::lock_guard lock(mutex_);
    if (!pending_.empty() && IsDue(pending_.front().Due, Now())) return false;
    if (!pty_) return true;
    // Bytes written to one side of a pseudo-terminal reach the other through a kernel work
    // queue, which a loaded machine may run late. Polling a side runs its queue first, so
    // what is on its way counts: a command for the instrument as unread, a reply as already
    // there for the program's next check.
    pollfd sides[2] = {{pty_->MasterFd(), POLLIN, 0}, {pty_->SlaveFd(), POLLIN, 0}};
    poll(sides, 2, 0);
    return (sides[0].revents & POLLIN) == 0;
}

std::optional<double> SimulatedInstrument::NextReplyDue() const {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) return std::nullopt;
    return pending_.front().Due;
}

bool SimulatedInstrument::AllIdle() {
    std::lock_guard live(LiveMutex());
    return std::ranges::all_of(Live(), [](const SimulatedInstrument* instrument) { return instrument->Idle(); });
}

std::optional<double> SimulatedInstrument::EarliestReplyDue() {
    std::lock_guard live(LiveMutex());
    std::optional<double> earliest;
    for (const SimulatedInstrument* instrument : Live())
        if (const std::optional<double> due = instrument->NextReplyDue(); due && (!earliest || *due < *earliest))
            earliest = due;
    return earliest;
}

void SimulatedInstrument::WakeAll() {
    std::lock_guard live(LiveMutex());
    for (SimulatedInstrument* instrument : Live()) instrument->Wake();
}

void SimulatedInstrument::Wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakeWrite_, &byte, 1);
}

void SimulatedInstrument::Loop() {
    for (;;) {
        int fd = -1;
        int timeoutMs = 200;
        {
            std::lock_guard lock(mutex_);
            if (stop_) break;
            if (retired_) {
                retired_.reset();
                retiredClosed_.notify_all();
            }
            if (pty_) fd = pty_->MasterFd();
            if (!pending_.empty())
                timeoutMs = std::clamp(static_cast<int>((pending_.front().Due - Now()) * 1000) + 1, 0, 200);
        }
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {fd, POLLIN, 0}};
        poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (fd >= 0 && (fds[1].revents & POLLIN)) {
            // Read under the lock: bytes taken off the line and not yet answered would
            // otherwise look like an idle instrument.
            std::lock_guard lock(mutex_);
            char buffer[512];
            const ssize_t n = pty_ && pty_->MasterFd() == fd ? read(fd, buffer, sizeof buffer) : 0;
            if (n > 0) HandleBytes(buffer, static_cast<std::size_t>(n), Now());
        } else if (fd >= 0 && (fds[1].revents & (POLLHUP | POLLERR))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::lock_guard lock(mutex_);
        SendDueReplies(Now());
    }
    std::lock_guard lock(mutex_);
    retired_.reset();
    retiredClosed_.notify_all();
}

void SimulatedInstrument::HandleBytes(const char* data, std::size_t size, double now) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r') {
            HandleLine(lineBuffer_, now);
            lineBuffer_.clear();
        } else if (c != '\n') {
            if (lineBuffer_.size() >= kMaxLineLength) lineBuffer_.clear();
            lineBuffer_ += c;
        }
    }
}

void SimulatedInstrument::HandleLine(const std::string& line, double now) {
    if (received_.size() >= kMaxReceivedLines) received_.erase(received_.begin());
    received_.push_back(line);
    if (fault_ == SimFault::Silent) return;
    std::optional<std::string> reply = model_->Answer(line, now);
    if (!reply) return;
    const int delayMs = fault_ == SimFault::Slow ? options_.SlowReplyMs : options_.ReplyDelayMs;
    const double due = now + delayMs / 1000.0;
    const auto splitAt = static_cast<std::size_t>(std::max(options_.SplitAfterBytes, 0));
    if (fault_ == SimFault::SplitLine && reply->size() > splitAt) {
        // Replies leave in order, so a later command's reply waits behind the rest.
        pending_.push_back({due, reply->substr(0, splitAt)});
        pending_.push_back({due + options_.SplitGapMs / 1000.0, reply->substr(splitAt)});
        return;
    }
    pending_.push_back({due, Distort(std::move(*reply), fault_)});
}

std::string SimulatedInstrument::Distort(std::string reply, SimFault fault) {
    switch (fault) {
        case SimFault::Garbage: {
            std::string garbage;
            randomState_ = randomState_ * 1103515245u + 12345u;
            const std::size_t length = 5 + (randomState_ >> 16) % 36;
            for (std::size_t i = 0; i < length; ++i) {
                randomState_ = randomState_ * 1103515245u + 12345u;
                garbage += static_cast<char>((randomState_ >> 16) & 0xFF);
            }
            return garbage + "\r";
        }
        case SimFault::PartialLine: {
            const std::string line = WithoutLineEnd(reply);
            return line.substr(0, std::max<std::size_t>(1, line.size() / 2));
        }
        case SimFault::Overlong: {
            std::string line = WithoutLineEnd(reply) + " ";
            while (line.size() < kOverlongReplyBytes) line += '#';
            return line + "\r";
        }
        default:
            return reply;
    }
}

void SimulatedInstrument::SendDueReplies(double now) {
    while (!pending_.empty() && IsDue(pending_.front().Due, now)) {
        if (pty_) {
            const std::string& bytes = pending_.front().Bytes;
            [[maybe_unused]] const ssize_t written = write(pty_->MasterFd(), bytes.data(), bytes.size());
        }
        pending_.pop_front();
    }
}

}  // namespace tessaro::sim
