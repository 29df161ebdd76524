#include "scalino/WindowServices.h"

#include <QCoreApplication>

#include <random>

#include "config/SettingsStore.h"
#include "platform/FluidSynthSequencer.h"
#include "platform/KeyEventBackend.h"
#include "platform/EiKeyboard.h"
#include "platform/KdeFakeInputKeyboard.h"
#include "platform/RemoteDesktopPortal.h"
#include "platform/WaylandVirtualKeyboard.h"
#include "platform/X11DesktopLayout.h"
#include "prefs/FilePreferencesFactory.h"
#include "rs232/SerialPortLocal.h"

namespace scalino {

std::shared_ptr<KeyEventGenerator> settingsKeyEvents(const Config& config, std::stop_token stop) {
    return createKeyEventGenerator(config.getKeyboardType(),
                                   ConfigHelper::backendName(config.getKeyboardOutput()),
                                   config.getXkbLayout(), stop);
}

// Asked by connecting, which the compositor answers at once, and the session bus for the
// portal's version, without a session or a dialog; a keyboard is dropped again before any key.
bool waylandKeyboardOffered() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return false;
    const auto opens = [](const auto& open) {
        try {
            return open() != nullptr;
        } catch (const std::exception&) {
            return false;
        }
    };
    return opens([] { return WaylandVirtualKeyboard::open(); }) ||
           opens([] { return KdeFakeInputKeyboard::open(); }) ||
           (EiKeyboard::libraryAvailable() &&
            RemoteDesktopPortal::offeredVersion() >= 2);
}

WindowServices processWindowServices() {
    WindowServices services;
    selectPreferencesFile();
    services.preferencesRoot = &FilePreferencesFactory::instance().userRoot();
    services.outputs.keys = settingsKeyEvents;
    services.outputs.sequencer = defaultSequencer;
    services.listPorts = [] { return SerialPortLocal::getPortList(); };
    services.exit = [](int status) { QCoreApplication::exit(status); };
    services.updateCheckDue = [] {
        std::random_device seed;
        return std::uniform_int_distribution<int>(0, 3)(seed) == 0;
    };
    // The same question typing with the desktop's layout asks: can its keymap be read.
    services.serverLayoutAvailable = [] {
        try {
            return X11DesktopLayout::open() != nullptr;
        } catch (const std::exception&) {
            return false;
        }
    };
    services.waylandKeyboardAvailable = waylandKeyboardOffered;
    return services;
}

}  // namespace scalino
