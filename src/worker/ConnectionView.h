#pragma once

#include <string>

#include "worker/WeightWorkerView.h"

namespace scalino {

// What a connection reports to its front end (the window, or scalino-cli read). The events,
// warnings and the connected state arrive as the worker reports them (see WeightWorkerView for
// the threads); update receives each line after duplicate suppression and sound, on the UI
// thread, just before its value is handed to typing.
class ConnectionView : public WeightWorkerView {
public:
    // Something found while connecting that does not stop the connection. Called on the thread
    // that starts the connection, before the port is opened.
    enum class Problem {
        KeyboardOutput,  // the keys cannot be sent; detail says why. Values are not typed.
        CapsLock,        // Caps Lock is on; letters would come out in the wrong case
        SoundOutput,     // the sound cannot start; detail says why. Values come without sound.
    };
    virtual void connectionProblem(Problem problem, const std::string& detail) = 0;
};

}  // namespace scalino
