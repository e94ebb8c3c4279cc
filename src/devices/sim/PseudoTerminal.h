#pragma once
// A pseudo-terminal pair in raw mode for one simulated instrument. The program opens the
// slave side like a serial port; the simulator reads and writes the master side. The
// simulator keeps a slave descriptor open itself, so the pair lives on while the program
// closes its side after every exchange, and bytes written meanwhile wait in the slave's
// queue as they would in a serial driver's.

#include <string>

namespace tessaro::sim {

class PseudoTerminal {
public:
    PseudoTerminal();  // throws std::system_error when the system has no pseudo-terminal left
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    int SlaveFd() const { return slave_; }                       // the simulator's own, never read or written
    const std::string& SlavePath() const { return slavePath_; }  // "/dev/pts/7"
    std::string SlaveName() const;                               // "pts/7", a port name

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tessaro::sim
