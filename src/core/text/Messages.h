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
void ShowMessage(const std::string& text);
// Replaces the message sink and returns the previous one.
MessageSink SetMessageSink(MessageSink sink);

// Sends one line to a named diagnostic channel. Without an installed sink it is dropped.
void DiagLog(std::string_view channel, std::string_view line);
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);

}  // namespace tessaro
