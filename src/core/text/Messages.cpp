#include "text/Messages.h"

#include <cstdio>
#include <memory>
#include <mutex>
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

// Workers raise messages while the window thread begins or ends a diversion.
struct TDiversionSlot {
    std::mutex Mutex;
    std::shared_ptr<const MessageSink> Divert;
};
TDiversionSlot& diversionSlot() {
    static TDiversionSlot slot;
    return slot;
}

std::shared_ptr<const MessageSink> CurrentDiversion() {
    TDiversionSlot& slot = diversionSlot();
    std::lock_guard lock(slot.Mutex);
    return slot.Divert;
}

void SetDiversion(std::shared_ptr<const MessageSink> divert) {
    TDiversionSlot& slot = diversionSlot();
    std::lock_guard lock(slot.Mutex);
    slot.Divert = std::move(divert);
}

}  // namespace

TMessageDiversion::TMessageDiversion(MessageSink divert) {
    SetDiversion(std::make_shared<const MessageSink>(std::move(divert)));
}

TMessageDiversion::~TMessageDiversion() { SetDiversion(nullptr); }

bool DivertMessage(const std::string& text) {
    // The copy keeps the diversion alive for a call that overlaps its end.
    const std::shared_ptr<const MessageSink> divert = CurrentDiversion();
    if (!divert || !*divert) return false;
    (*divert)(text);
    return true;
}

void ShowMessage(const std::string& text) {
    if (DivertMessage(text)) return;
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
