#include "platform/NativeLibrary.h"

#include "platform/TermiosDriver.h"
#include "platform/UdevPortDiscovery.h"
#include "rs232/SerialPortLocal.h"

namespace scalino {

std::shared_ptr<NativeDriver> createNativeDriver() {
    return std::make_shared<TermiosDriver>(std::make_unique<UdevPortDiscovery>());
}

void installNativeDriver() {
    SerialPortLocal::setNativeDriver(createNativeDriver());
}

}  // namespace scalino
