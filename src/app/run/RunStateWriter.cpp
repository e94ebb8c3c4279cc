#include "run/RunStateWriter.h"

#include <system_error>
#include <utility>

namespace tessaro {

namespace {

// Outcomes nobody took are kept up to this number: enough to tell a streak of failures.
constexpr std::size_t kKeptOutcomes = 16;

}  // namespace

TRunStateWriter::TRunStateWriter() : thread_([this] { Serve(); }) {}

TRunStateWriter::~TRunStateWriter() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TRunStateWriter::Write(const std::filesystem::path& path, TRunState state, bool toDisk) {
    Ask({false, path, std::move(state), toDisk});
}

void TRunStateWriter::Remove(const std::filesystem::path& path) { Ask({true, path, {}, false}); }

void TRunStateWriter::Ask(TRequest request) {
    {
        const std::lock_guard lock(mutex_);
        pending_ = std::move(request);
    }
    changed_.notify_all();
}

void TRunStateWriter::WaitUntilDone() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pending_ && !busy_; });
}

std::vector<TRunStateWriter::TOutcome> TRunStateWriter::TakeOutcomes() {
    const std::lock_guard lock(mutex_);
    return std::exchange(outcomes_, {});
}

void TRunStateWriter::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return pending_ || ending_; });
        if (!pending_) return;
        const TRequest request = std::move(*pending_);
        pending_.reset();
        busy_ = true;
        lock.unlock();
        TOutcome outcome = CarryOut(request);
        lock.lock();
        busy_ = false;
        if (outcomes_.size() >= kKeptOutcomes) outcomes_.erase(outcomes_.begin());
        outcomes_.push_back(std::move(outcome));
        changed_.notify_all();
    }
}

TRunStateWriter::TOutcome TRunStateWriter::CarryOut(const TRequest& request) {
    TOutcome outcome{request.Removal, request.Path, {}};
    if (request.Removal) {
        std::error_code failed;
        std::filesystem::remove(request.Path, failed);
        if (failed) outcome.Error = failed.message();
        return outcome;
    }
    if (!WriteRunStateFile(request.Path, request.State, outcome.Error, request.ToDisk) && outcome.Error.empty())
        outcome.Error = "unknown reason";
    return outcome;
}

}  // namespace tessaro
