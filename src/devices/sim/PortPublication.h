#pragma once
// Publishing a simulated port under a name the program's port list finds: a symbolic link
// NAME in the user's simulator directory pointing at the pseudo-terminal, beside a lock
// file NAME.lock held for as long as the name is claimed (see serial/PortNames.h).

#include <string>

namespace tessaro::sim {

class PortPublication {
public:
    // Claims NAME in `dir`, creating the directory (mode 0700) when missing. Throws
    // std::runtime_error when the directory is not the user's own or a running simulator
    // holds the name.
    PortPublication(std::string dir, std::string name);
    ~PortPublication();  // removes the link and the lock file
    PortPublication(const PortPublication&) = delete;
    PortPublication& operator=(const PortPublication&) = delete;

    // Points the name at a device, replacing any previous target in one step.
    void PointTo(const std::string& devicePath);
    // Removes the link but keeps the name claimed (the port has vanished).
    void Withdraw();

    const std::string& Name() const { return name_; }
    std::string LinkPath() const { return dir_ + "/" + name_; }

    // Whether a running simulator holds NAME in `dir`.
    static bool IsClaimed(const std::string& dir, const std::string& name);
    // Makes `dir` if missing and checks that it is the user's own and closed to others.
    static void PrepareDirectory(const std::string& dir);

private:
    std::string dir_;
    std::string name_;
    int lockFd_ = -1;
};

}  // namespace tessaro::sim
