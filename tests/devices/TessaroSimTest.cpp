// The simulator program as an operator starts it: its instruments appear in the port list
// of the user's simulator directory, answer the drivers, and disappear when it ends.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "DeviceTestSupport.h"
#include "mfc/AlicatMFC.h"
#include "pump/PSD4_Interface.h"
#include "serial/PortNames.h"

extern char** environ;

namespace tessaro {
namespace {

using namespace std::chrono_literals;

class SimulatorProcess {
public:
    explicit SimulatorProcess(std::vector<std::string> arguments) {
        int ends[2];
        if (pipe(ends) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, ends[1]);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        arguments.insert(arguments.begin(), TESSARO_SIM_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TESSARO_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(ends[0]);
        stdin_ = ends[1];
    }
    ~SimulatorProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            Wait();
        }
        if (stdin_ >= 0) close(stdin_);
    }
    bool Started() const { return pid_ > 0; }
    void Send(const std::string& line) { [[maybe_unused]] auto n = write(stdin_, line.data(), line.size()); }
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
};

TEST(TessaroSim, PublishesItsInstrumentsUntilItEnds) {
    test::TemporaryDirectory dir;
    SimulatorProcess simulator({"--dir", dir.Path(), "--mfc", "8:1", "--pump", "12345678"});
    ASSERT_TRUE(simulator.Started());
    const std::vector<std::string> expected = {"sim-mfc1", "sim-pump1"};
    for (int i = 0; i < 300 && ListPublishedPorts(dir.Path()).size() < 2; ++i) std::this_thread::sleep_for(10ms);
    std::vector<std::string> ports = ListPublishedPorts(dir.Path());
    std::sort(ports.begin(), ports.end());
    ASSERT_EQ(ports, expected);

    std::string status, response;
    EXPECT_TRUE(SendASCII(dir.Path() + "/sim-mfc1", "A??M5\r", true, status, response));
    EXPECT_EQ(response, "A M05 Serial Number 100001");
    TPSD4 pump;
    EXPECT_TRUE(pump.Connect(dir.Path() + "/sim-pump1"));

    simulator.Send("quit\n");
    const int exitStatus = simulator.Wait();
    EXPECT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
}  // namespace tessaro
