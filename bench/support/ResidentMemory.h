#pragma once
// The process's resident memory, for benchmarks that report what a long run keeps.

#include <malloc.h>

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

// What malloc has handed out and not had back, in MiB: set against the resident memory, the
// difference is what the heap holds free (fragmentation) besides the program's code and stacks.
inline double HeapInUseMegabytes() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<double>(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0);
}

// Free bytes inside the heap's arenas, in MiB: memory malloc keeps for later use. Pages of it
// given back to the system (malloc_trim) still count here but no longer in the resident size.
inline double HeapFreeMegabytes() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<double>(heap.fordblks) / (1024.0 * 1024.0);
}

}  // namespace tessaro::bench
