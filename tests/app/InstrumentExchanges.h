#pragma once
// Tells a fake clock's driver whether simulated instruments still have a command of the
// program in hand: an exchange of the program with the port open and no reply to read yet,
// its bytes not yet read by the simulator, or a reply not yet written back. Both are seen from the outside, through the
// pseudo-terminal: bytes to read on the master side are what the simulator has not read, and a new command line logged
// by the simulator while nothing waits on the slave side means a reply on its way (a worker waiting for that reply
// sleeps on the fake clock, so it cannot have read it).

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "sim/SimulatedInstrument.h"

namespace tessaro::test {

class InstrumentExchanges final : public ClockHold {
public:
    InstrumentExchanges() = default;
    ~InstrumentExchanges() override {
        for (Watched& watched : watched_) CloseSlave(watched);
    }
    InstrumentExchanges(const InstrumentExchanges&) = delete;
    InstrumentExchanges& operator=(const InstrumentExchanges&) = delete;

    // The instrument must outlive the clock driver that asks this watch.
    void Watch(sim::SimulatedInstrument& instrument) {
        std::lock_guard lock(mutex_);
        Watched watched;
        watched.instrument = &instrument;
        watched_.push_back(watched);
    }

    bool Holds() override {
        std::lock_guard lock(mutex_);
        const std::set<std::string> locked = LockedFiles();
        for (Watched& watched : watched_)
            if (HasCommandInHand(watched, locked)) return true;
        return false;
    }

    void ClockMoves() override {
        std::lock_guard lock(mutex_);
        for (Watched& watched : watched_) watched.linesWhenClockMoved = watched.linesSeen;
    }

private:
    struct Watched {
        sim::SimulatedInstrument* instrument = nullptr;
        std::string terminal;       // the slave path the descriptors below belong to
        int master = -1;            // the simulator's own descriptor, only asked
        int slave = -1;             // opened here to ask its input queue
        std::string lockKey;        // the slave as /proc/locks names it
        std::size_t linesSeen = 0;  // when last asked
        std::size_t linesWhenClockMoved = 0;
    };

    // An exchange holds the port open, and locked, from its command to its reply: while it
    // lasts, only a reply waiting to be read, or an instrument that never answers, lets the
    // clock move on to the worker's next look at the port. Between exchanges, a command
    // sent without waiting for its reply is still answered before the clock moves.
    bool HasCommandInHand(Watched& watched, const std::set<std::string>& locked) {
        FollowTerminal(watched);
        if (watched.master < 0 || watched.slave < 0) return false;  // vanished: nothing is answered
        if (Readable(watched.master)) return true;
        if (watched.instrument->Fault() == sim::SimFault::Silent) return false;
        watched.linesSeen = watched.instrument->Received().size();
        const bool replyWaiting = Readable(watched.slave);
        if (locked.contains(watched.lockKey)) return !replyWaiting;
        return watched.linesSeen != watched.linesWhenClockMoved && !replyWaiting;
    }

    // The files locked with flock() now, as /proc/locks names them ("major:minor:inode").
    static std::set<std::string> LockedFiles() {
        std::set<std::string> files;
        std::ifstream locks("/proc/locks");
        for (std::string line; std::getline(locks, line);) {
            std::istringstream fields(line);
            std::string number, kind, mode, access, pid, file;
            fields >> number >> kind >> mode >> access >> pid >> file;
            if (kind == "FLOCK") files.insert(file);
        }
        return files;
    }

    static std::string LockKey(const std::string& path) {
        struct stat status {};
        if (stat(path.c_str(), &status) != 0) return {};
        char key[64];
        std::snprintf(key, sizeof key, "%02x:%02x:%llu", major(status.st_dev), minor(status.st_dev),
                      static_cast<unsigned long long>(status.st_ino));
        return key;
    }

    // Finds the descriptors of the pseudo-terminal the instrument is on now.
    static void FollowTerminal(Watched& watched) {
        const std::string terminal = watched.instrument->TerminalPath();
        if (terminal == watched.terminal) return;
        CloseSlave(watched);
        watched.terminal = terminal;
        watched.master = terminal.empty() ? -1 : MasterOf(terminal);
        watched.lockKey = terminal.empty() ? std::string() : LockKey(terminal);
        if (!terminal.empty()) watched.slave = open(terminal.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }

    static void CloseSlave(Watched& watched) {
        if (watched.slave >= 0) close(watched.slave);
        watched.slave = -1;
    }

    // The simulator's master descriptor of "/dev/pts/N": the open /dev/ptmx whose number is N.
    static int MasterOf(const std::string& slavePath) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
            if (std::filesystem::read_symlink(entry.path(), error) != "/dev/ptmx") continue;
            const int fd = std::stoi(entry.path().filename().string());
            unsigned int number = 0;
            if (ioctl(fd, TIOCGPTN, &number) == 0 && slavePath == "/dev/pts/" + std::to_string(number)) return fd;
        }
        return -1;
    }

    // Asked by poll() rather than by the queue's byte count: bytes written to a
    // pseudo-terminal reach the other side's queue through a kernel worker, late on a loaded
    // machine, and a poll of the reading side waits for that worker while a count does not.
    static bool Readable(int fd) {
        pollfd waiting{fd, POLLIN, 0};
        return poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN) != 0;
    }

    std::mutex mutex_;
    std::vector<Watched> watched_;
};

}  // namespace tessaro::test
