#pragma once
// Operator messages (the modal boxes) and diagnostic channel lines leave the core through
// two replaceable sinks. The window installs a message box and QLoggingCategory writers;
// tests install collectors. Install sinks before worker threads start.

#include <functional>
#include <string>
#include <string_view>

namespace tessaro {

using MessageSink = std::function<void(const std::string& text)>;
using DiagnosticSink = std::function<void(std::string_view channel, std::string_view line)>;

// Shows a message the operator must read. Without an installed sink it goes to stderr.
// While a diversion is in place the message goes to the diversion instead. Safe from any
// thread.
void ShowMessage(const std::string& text);
// Replaces the message sink and returns the previous one.
MessageSink SetMessageSink(MessageSink sink);

// While the program waits for something that must end within a bound (closing, stopping
// the workers), a message that waits for the operator's click would hold it up. For its
// lifetime a diversion takes every message instead of the sink; `divert` must return at
// once and may be called on any thread. Diversions do not nest: a second one replaces the
// first until it ends.
class TMessageDiversion {
public:
    explicit TMessageDiversion(MessageSink divert);
    ~TMessageDiversion();
    TMessageDiversion(const TMessageDiversion&) = delete;
    TMessageDiversion& operator=(const TMessageDiversion&) = delete;
};

// Hands `text` to the diversion in place and returns true; false when there is none. A
// sink whose message waits before it is shown (a box on the window thread for a message of
// a worker) asks again when it comes to show it: a diversion may have begun meanwhile.
bool DivertMessage(const std::string& text);

// Sends one line to a named diagnostic channel. Without an installed sink it is dropped.
void DiagLog(std::string_view channel, std::string_view line);
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);

}  // namespace tessaro
