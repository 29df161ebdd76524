#pragma once

#include "rs232/NativeDriver.h"

namespace scalino {

// How the Linux driver finds serial ports and hears of adapters being plugged in or removed.
class PortDiscovery {
public:
    virtual ~PortDiscovery() = default;
    // Reports every usable serial port, in natural order, with its driver information.
    virtual void discover(PortListSink& sink) = 0;
    // Calls callback->deviceNotification() from a thread of its own on every tty added or
    // removed, until stopMonitoring; false when monitoring cannot start.
    virtual bool startMonitoring(DeviceNotificationCallback* callback) = 0;
    virtual void stopMonitoring() = 0;
};

}  // namespace scalino
