#include "text/Messages.h"

#include <cstdio>
#include <utility>

namespace tessaro {

namespace {
MessageSink& messageSink() {
    static MessageSink sink;
    return sink;
}
DiagnosticSink& diagnosticSink() {
    static DiagnosticSink sink;
    return sink;
}
}  // namespace

void ShowMessage(const std::string& text) {
    if (const auto& sink = messageSink())
        sink(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

MessageSink SetMessageSink(MessageSink sink) { return std::exchange(messageSink(), std::move(sink)); }

void DiagLog(std::string_view channel, std::string_view line) {
    if (const auto& sink = diagnosticSink()) sink(channel, line);
}

DiagnosticSink SetDiagnosticSink(DiagnosticSink sink) { return std::exchange(diagnosticSink(), std::move(sink)); }

}  // namespace tessaro
