#include "worker/WeightWorkerAnd.h"

#include <chrono>
#include <thread>

#include "rs232/SerialExceptions.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

// Time the balance gets to answer a change of DTR or RTS. Not interruptible: the check is
// short and runs before the connection is handed to anyone who could stop it.
void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace

WeightWorkerAnd::WeightWorkerAnd(const Config& config, WeightWorkerView& view, UiExecutor& executor,
                                 PortOpener opener)
    : WeightWorker(config, view, executor, std::move(opener)) {
    testDevice();
}

void WeightWorkerAnd::testDevice() {
    if (!hasModemLines()) {
        warn("and.error.no.handshake.lines");
        return;
    }
    try {
        port().setDTR(true);
        settle();
        const bool dataSetReady = port().sigDSR();
        port().setRTS(true);
        settle();
        const bool clearToSend = port().sigCTS();
        if (dataSetReady && !clearToSend) warn("and.error.unusual");
        if (!dataSetReady) {
            warn(clearToSend ? "and.error.dataset.not.ready" : "and.error.not.connected");
        }
    } catch (const SerialPortException&) {
        warn("and.error.no.handshake.lines");
    }
}

void WeightWorkerAnd::warn(const char* key) {
    view().showWarning(workerText("warning"), workerText(key));
}

}  // namespace scalino
