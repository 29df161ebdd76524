#include "worker/TextQueue.h"

#include <utility>

namespace scalino {

void TextQueue::add(std::string text) {
    {
        std::lock_guard lock(mutex_);
        texts_.push_back(std::move(text));
    }
    added_.notify_one();
}

std::optional<std::string> TextQueue::take(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    added_.wait(lock, stop, [this] { return !texts_.empty(); });
    if (stop.stop_requested()) return std::nullopt;
    std::string text = std::move(texts_.front());
    texts_.pop_front();
    ++taken_;
    return text;
}

void TextQueue::finished() {
    std::lock_guard lock(mutex_);
    if (taken_ > 0) --taken_;
}

void TextQueue::clear() {
    std::lock_guard lock(mutex_);
    texts_.clear();
}

size_t TextQueue::size() const {
    std::lock_guard lock(mutex_);
    return texts_.size();
}

size_t TextQueue::unfinished() const {
    std::lock_guard lock(mutex_);
    return texts_.size() + taken_;
}

}  // namespace scalino
