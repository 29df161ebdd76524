#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/TtyEnumerator.h"
#include "rs232/NativeDriver.h"
#include "rs232/PortDriverInfo.h"

// Which ttys are serial ports and how they are named, from what udev reported about them.
namespace scalino {

// A tty an instrument can be connected to: a USB serial adapter, a USB modem (ACM) or a UART
// that exists. Not virtual consoles and ptys, nor the ttyS placeholders the kernel registers
// for legacy UARTs it did not find.
bool isSerialPort(const TtyDevice& tty);

// Natural order: runs of digits compare by their value, so ttyS2 < ttyS10 < ttyUSB2 < ttyUSB10.
// Names equal by value (ttyS1, ttyS01) fall back to plain order, keeping the order strict.
bool naturalLess(std::string_view a, std::string_view b);

// Undoes udev's encoding of property values (ID_MODEL_ENC, ID_VENDOR_ENC), which writes blanks
// and other unsafe bytes as \xNN.
std::string decodeUdevString(std::string_view encoded);

// The product name: from the hardware database, else the device's own product string, else
// words for the kind of port ("USB serial adapter", "USB modem (ACM)", "Serial port").
std::string portDescription(const TtyDevice& tty);

// The maker: from the hardware database, else the device's own manufacturer string, else the
// name of the kernel driver.
std::string portManufacturer(const TtyDevice& tty);

// The /dev/serial/by-id/ link of the port, which keeps its name when the adapter moves to
// another socket; empty when udev made none.
std::string byIdLink(const TtyDevice& tty);

// The serial ports among the ttys, in natural order of their device paths, with driver
// information. A by-id link claimed by several ports (identical adapters without a serial
// number) identifies none of them and is left out.
std::vector<PortDriverInfo> serialPorts(const std::vector<TtyDevice>& ttys);

// Every port name in order, then every port's information in the same order.
void reportPorts(const std::vector<PortDriverInfo>& ports, PortListSink& sink);

}  // namespace scalino
