#pragma once
// What a simulated instrument knows: how it answers one command line. Time is passed in
// (seconds on a monotonic clock), so the models run the same under tests and on a pty.

#include <optional>
#include <string>
#include <string_view>

namespace tessaro::sim {

class InstrumentModel {
public:
    virtual ~InstrumentModel() = default;
    // One command line without its CR. The reply bytes to send, or nothing for no reply.
    virtual std::optional<std::string> Answer(std::string_view line, double now) = 0;
    // One line for the simulator's listing: "flow controller, gas 8 (N2), full scale ...".
    virtual std::string Describe() const = 0;
};

}  // namespace tessaro::sim
