#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

namespace scalino {

// An unbounded first-in, first-out queue of texts between threads. Adding never blocks; taking
// waits for a text or for a stop request.
class TextQueue {
public:
    void add(std::string text);
    // The oldest text, or none once stop is requested. A stop wins over a waiting text, which
    // stays queued. A text taken counts as unfinished until finished() is called for it.
    std::optional<std::string> take(std::stop_token stop);
    void finished();
    void clear();
    size_t size() const;
    // Texts queued or taken and not finished yet.
    size_t unfinished() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable_any added_;
    std::deque<std::string> texts_;
    size_t taken_ = 0;  // taken and not finished
};

}  // namespace scalino
