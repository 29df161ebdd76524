#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/PortDiscovery.h"
#include "platform/TtyEnumerator.h"

namespace scalino {

// Lists the ttys through libudev. Without a udev daemon (containers, minimal systems) libudev
// still reads /sys: the ttys are all there, only the udev properties (database names, by-id
// links) are missing.
class UdevTtyEnumerator final : public TtyEnumerator {
public:
    std::vector<TtyDevice> enumerate() override;
};

// Port discovery and hot-plug notification on Linux.
class UdevPortDiscovery final : public PortDiscovery {
public:
    UdevPortDiscovery();
    explicit UdevPortDiscovery(std::unique_ptr<TtyEnumerator> enumerator);
    ~UdevPortDiscovery() override;

    UdevPortDiscovery(const UdevPortDiscovery&) = delete;
    UdevPortDiscovery& operator=(const UdevPortDiscovery&) = delete;

    void discover(PortListSink& sink) override;
    // Replaces any monitoring in progress. Notifications are coalesced: a burst of events
    // read together (a multi-port adapter plugged in) gives one call.
    bool startMonitoring(DeviceNotificationCallback* callback) override;
    // Returns once no further notification can come. May be called from within the callback.
    void stopMonitoring() override;

private:
    class Monitor;
    struct Running {
        std::shared_ptr<Monitor> monitor;
        std::thread thread;
    };
    static void finish(Running running);

    std::unique_ptr<TtyEnumerator> enumerator_;
    std::mutex mutex_;  // guards running_, which the callback's thread may stop
    Running running_;
};

}  // namespace scalino
