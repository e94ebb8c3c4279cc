#pragma once
// Connects the core's two outlets to the window: operator messages become message boxes on
// the window thread, diagnostic channel lines become QLoggingCategory debug output.
// Diagnostic lines are off by default; switch a channel on with the usual logging rules, e.g.
// QT_LOGGING_RULES="Main form.debug=true" (or "*.debug=true" for every channel).

#include <QString>
#include <functional>
#include <string_view>

class QLoggingCategory;

namespace tessaro {

// Shows operator messages in a modal box on the window thread.
void InstallMessageBoxSink();
// Same path with another presentation (tests): `present` always runs on the window thread;
// a message raised on another thread waits there until `present` has returned. A message
// that meets a diversion (text/Messages.h), also one that begins while the message waits
// for the window thread, is not presented.
void InstallMessageSink(std::function<void(const QString& text)> present);

// Routes DiagLog(channel, line) to the category named exactly like the channel.
void InstallDiagnosticSink();
// The category of a channel, created on first use and kept for the whole run.
const QLoggingCategory& DiagnosticCategory(std::string_view channel);

// Both sinks, as the program installs them at start.
void InstallWindowSinks();

}  // namespace tessaro
