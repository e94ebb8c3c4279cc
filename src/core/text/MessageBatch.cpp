#include "text/MessageBatch.h"

#include "text/Messages.h"

namespace tessaro {

std::vector<std::string> CollapsedMessages(const std::vector<std::string>& messages, std::size_t limit) {
    if (messages.size() <= limit) return messages;
    std::string box;
    for (std::size_t i = 0; i < limit; ++i) box += messages[i] + "\n";
    const std::size_t rest = messages.size() - limit;
    box += "... and " + std::to_string(rest) + (rest == 1 ? " more message" : " more messages");
    return {box};
}

void ShowMessages(const std::vector<std::string>& messages, std::size_t limit) {
    for (const std::string& box : CollapsedMessages(messages, limit)) ShowMessage(box);
}

}  // namespace tessaro
