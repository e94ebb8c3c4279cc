#pragma once
// Writes and removes the run state file on a thread of its own, so the tick that keeps it
// waits for no file. Only the newest request counts: a write asked for while another waits
// replaces it, and so does a removal, which is therefore never followed by an older write.
// Requests are carried out in the order they were made, one at a time.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "run/RunState.h"

namespace tessaro {

class TRunStateWriter {
public:
    struct TOutcome {
        bool Removal = false;
        std::filesystem::path Path;
        std::string Error;  // empty: done
    };

    TRunStateWriter();
    // Carries out what is still asked for, then ends the thread.
    ~TRunStateWriter();
    TRunStateWriter(const TRunStateWriter&) = delete;
    TRunStateWriter& operator=(const TRunStateWriter&) = delete;

    // `toDisk`: the write waits until the file is on the disk (see WriteRunStateFile).
    void Write(const std::filesystem::path& path, TRunState state, bool toDisk);
    void Remove(const std::filesystem::path& path);
    // Returns once every request made so far has been carried out or replaced.
    void WaitUntilDone();
    // The outcomes of the requests carried out since the last call, oldest first.
    std::vector<TOutcome> TakeOutcomes();

private:
    struct TRequest {
        bool Removal = false;
        std::filesystem::path Path;
        TRunState State;
        bool ToDisk = false;
    };
    void Ask(TRequest request);
    void Serve();
    static TOutcome CarryOut(const TRequest& request);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<TRequest> pending_;
    bool busy_ = false;
    bool ending_ = false;
    std::vector<TOutcome> outcomes_;
    std::thread thread_;
};

}  // namespace tessaro
