#pragma once

#include <map>
#include <string>
#include <vector>

namespace scalino {

// What udev knows of one tty, gathered once so that the choice of ports and their names can be
// worked out (and tested) without udev.
struct TtyDevice {
    std::string devNode;  // /dev/ttyUSB0
    std::string sysName;  // ttyUSB0
    // The tty hangs below a device of a bus. Virtual consoles, /dev/tty, /dev/console and
    // ptys have none.
    bool hasDevice = false;
    // Subsystem of the device the tty belongs to ("usb-serial", "usb", "pnp", "platform",
    // "pci", ...). The kernel's own serial-base layer between a UART and its bus device is
    // passed over, so a UART reports the bus it sits on.
    std::string parentSubsystem;
    // Driver of that device or, where it has none, of the nearest ancestor that has one
    // ("ftdi_sio", "cdc_acm", "serial8250", "serial").
    std::string driver;
    // The UART type of the tty's "type" attribute where it has one; "0" means the kernel
    // found no UART behind it.
    std::string portType;
    // The strings the USB device reports in sysfs; they stand in for udev's properties when
    // no udev daemon has processed the device.
    std::string usbProduct;
    std::string usbManufacturer;
    // udev properties: ID_MODEL, ID_MODEL_ENC, ID_MODEL_ID, ID_MODEL_FROM_DATABASE, ID_VENDOR,
    // ID_VENDOR_ENC, ID_VENDOR_ID, ID_VENDOR_FROM_DATABASE, ID_SERIAL, DEVLINKS, ...
    std::map<std::string, std::string> properties;
};

// Lists the ttys of the machine.
class TtyEnumerator {
public:
    virtual ~TtyEnumerator() = default;
    // Every tty whose device node exists, in no particular order.
    virtual std::vector<TtyDevice> enumerate() = 0;
};

}  // namespace scalino
