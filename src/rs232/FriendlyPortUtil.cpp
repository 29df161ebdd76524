#include "rs232/FriendlyPortUtil.h"

#include <mutex>
#include <optional>

#include "rs232/SerialPortLocal.h"

namespace scalino {
namespace {

struct Snapshot {
    std::mutex mutex;
    std::optional<std::vector<PortDriverInfo>> infos;
};

Snapshot& snapshot() {
    static Snapshot instance;
    return instance;
}

std::vector<PortDriverInfo> current() {
    std::lock_guard lock(snapshot().mutex);
    return snapshot().infos.value_or(std::vector<PortDriverInfo>{});
}

}  // namespace

void FriendlyPortUtil::update() {
    update(SerialPortLocal::getDriverInfoList());
}

void FriendlyPortUtil::update(std::vector<PortDriverInfo> infos) {
    std::lock_guard lock(snapshot().mutex);
    snapshot().infos = std::move(infos);
}

bool FriendlyPortUtil::portInfoListIsPopulated() {
    return !current().empty();
}

std::string FriendlyPortUtil::friendlyName(const PortDriverInfo& info) {
    return info.getPortName() + ": " + info.getDriverDesc() + " - " + info.getDriverMfgr();
}

std::vector<std::string> FriendlyPortUtil::getFriendlyPortList() {
    std::vector<std::string> names;
    for (const PortDriverInfo& info : current())
        names.push_back(friendlyName(info));
    return names;
}

std::string FriendlyPortUtil::getFriendlyPortName(const std::string& portName) {
    for (const PortDriverInfo& info : current()) {
        if (info.getPortName() == portName) return friendlyName(info);
    }
    return portName;
}

std::string FriendlyPortUtil::getUnfriendlyPortName(const std::string& friendlyName) {
    for (const PortDriverInfo& info : current()) {
        if (FriendlyPortUtil::friendlyName(info) == friendlyName) return info.getPortName();
    }
    return friendlyName;
}

}  // namespace scalino
