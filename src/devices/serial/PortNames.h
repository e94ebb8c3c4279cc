#pragma once
// Port names on Linux. A port name is the device name below /dev ("ttyUSB0", "ttyACM0",
// "pts/3"), or a name under which tessaro-sim publishes a simulated instrument for the
// same user; an absolute path is taken as it is.
//
// tessaro-sim publishes each port in a per-user directory as a symbolic link NAME to the
// pseudo-terminal and a lock file NAME.lock that it holds locked while it runs, so a link
// left behind by a simulator that died is never mistaken for a live port.

#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

inline constexpr std::string_view kPublishedLockSuffix = ".lock";

// $XDG_RUNTIME_DIR/tessaro-sim when the runtime directory is set and the user's own,
// otherwise /tmp/tessaro-sim-<uid>.
std::string SimPortDirectory();
// A real directory (not a link) owned by the user that nobody else may write to.
bool IsTrustedDirectory(const std::string& dir);
// NAME in `dir` is published by a simulator that is still running.
bool IsLivePublishedPort(const std::string& dir, const std::string& name);

// A name with a ".." step ("../x", "pts/../../x").
bool HasParentStep(std::string_view portName);
// The device file to open for a port name; empty for an empty name or one with a ".."
// step, which would lead out of the device directories.
std::string PortDevicePath(const std::string& portName);
std::string PortDevicePath(const std::string& portName, const std::string& simDir);

// The system's serial ports from the tty class directory (/sys/class/tty): ports with a
// device behind them and a node in `devDir`, without the unconfigured legacy ports the
// kernel lists anyway and without the port the kernel uses as its console.
std::vector<std::string> ListSystemSerialPorts(const std::string& ttyClassDir, const std::string& devDir);
// The live ports a simulator published in `simDir`.
std::vector<std::string> ListPublishedPorts(const std::string& simDir);

}  // namespace tessaro
