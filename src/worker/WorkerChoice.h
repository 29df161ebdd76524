#pragma once

#include <memory>

#include "worker/WeightWorker.h"

namespace scalino {

// The connection the instrument calls for: the barcode worker for text instruments, the A&D
// handshake worker for the two A&D profiles with handshake, the plain worker for all others.
// Opens the port (and runs the handshake check) but does not start reading.
std::shared_ptr<WeightWorker> createWeightWorker(const Config& config, WeightWorkerView& view,
                                                 UiExecutor& executor, PortOpener opener = {});

}  // namespace scalino
