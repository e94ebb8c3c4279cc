#pragma once
// The process's resident memory, for benchmarks that report what a long run keeps.

#include <fstream>
#include <string>

namespace tessaro::bench {

// VmRSS of /proc/self/status in MiB; 0 where the file cannot be read.
inline double ResidentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kilobytes = 0;
            status >> kilobytes;
            return kilobytes / 1024;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

}  // namespace tessaro::bench
