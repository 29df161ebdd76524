#pragma once

#include <mutex>

namespace scalino {

// The one lock that serialises opening, closing, configuring and resetting ports in the
// process, so that no two threads do those at once.
class NativeHandleMutex {
public:
    static std::mutex& getInstance() {
        static std::mutex instance;
        return instance;
    }
};

}  // namespace scalino
