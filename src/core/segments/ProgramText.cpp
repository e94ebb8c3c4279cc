#include "segments/ProgramText.h"

#include <atomic>
#include <utility>

namespace tessaro {

namespace {

// Shared by every text of the process: device records are copied between registries and
// threads, so a version must never be given to two different texts.
std::uint64_t NextVersion() {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

TProgramText::TProgramText(std::string text)
    : text_(std::make_shared<const std::string>(std::move(text))), version_(NextVersion()) {}

const std::string& TProgramText::Empty() {
    static const std::string empty;
    return empty;
}

TProgramText& TProgramText::operator=(std::string text) {
    text_ = std::make_shared<const std::string>(std::move(text));
    version_ = NextVersion();
    return *this;
}

}  // namespace tessaro
