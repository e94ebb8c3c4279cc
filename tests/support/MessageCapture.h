#pragma once
// Collects the operator messages shown while it lives, in order.

#include <string>
#include <vector>

#include "text/Messages.h"

namespace tessaro {

class MessageCapture {
public:
    MessageCapture() : previous_(SetMessageSink([this](const std::string& text) { messages.push_back(text); })) {}
    ~MessageCapture() { SetMessageSink(previous_); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    std::vector<std::string> messages;

private:
    MessageSink previous_;
};

}  // namespace tessaro
