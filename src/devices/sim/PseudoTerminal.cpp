#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tessaro::sim {

namespace {

[[noreturn]] void Fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) Fail("posix_openpt");
    char name[128];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        const int error = errno;
        close(master_);
        errno = error;
        Fail("pseudo-terminal slave");
    }
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        const int error = errno;
        close(master_);
        errno = error;
        Fail("open pseudo-terminal slave");
    }
    // Raw from the start: no echo of the replies back to the simulator, no line editing.
    termios settings{};
    tcgetattr(slave_, &settings);
    cfmakeraw(&settings);
    tcsetattr(slave_, TCSANOW, &settings);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

std::string PseudoTerminal::SlaveName() const {
    const std::string prefix = "/dev/";
    return slavePath_.compare(0, prefix.size(), prefix) == 0 ? slavePath_.substr(prefix.size()) : slavePath_;
}

}  // namespace tessaro::sim
