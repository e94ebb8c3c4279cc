#pragma once
// Messages that worker threads add and one thread takes.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tessaro {

class TLockedMessages {
public:
    void Add(const std::string& text) {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(messages_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

}  // namespace tessaro
