#pragma once
// Many operator messages raised by one action (a long text with a bad character on every
// line) would open as many modal boxes, one after the other. Such a batch is shown as the
// first few messages and a count of the rest, in one box.

#include <cstddef>
#include <string>
#include <vector>

namespace tessaro {

inline constexpr std::size_t kMessagesShownSeparately = 10;

// The boxes to show for `messages`: each in its own while there are at most `limit`, else
// one holding the first `limit` and how many more there were.
std::vector<std::string> CollapsedMessages(const std::vector<std::string>& messages,
                                           std::size_t limit = kMessagesShownSeparately);

// Shows the collapsed messages through ShowMessage.
void ShowMessages(const std::vector<std::string>& messages, std::size_t limit = kMessagesShownSeparately);

}  // namespace tessaro
