#pragma once

#include "worker/WeightWorker.h"

namespace scalino {

// The connection to an A&D balance with the hardware handshake: after opening the port it
// checks that the balance answers on the modem-control lines and warns the user otherwise.
// The connection goes on whatever the check finds.
class WeightWorkerAnd : public WeightWorker {
public:
    WeightWorkerAnd(const Config& config, WeightWorkerView& view, UiExecutor& executor,
                    PortOpener opener = {});

    // Raises DTR and then RTS and watches DSR and CTS; about 100 ms on the calling thread.
    void testDevice();

private:
    void warn(const char* key);
};

}  // namespace scalino
