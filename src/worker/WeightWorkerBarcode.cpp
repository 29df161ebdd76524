#include "worker/WeightWorkerBarcode.h"

#include "worker/WorkerBundle.h"

namespace scalino {

std::int32_t WeightWorkerBarcode::doInBackground(std::stop_token stop) {
    LineProcessor processor(config(), LineProcessor::Semantics::Barcode,
                            [this](const std::string& event) { view().logImportantEvent(event); });
    return readLines(stop, "Parity Error", "Framing Error",
                     [&](std::int32_t count, DataLine::Instant instant) {
                         try {
                             publishLine(processor.process(bufferedLine()), count, instant);
                         } catch (const std::exception& error) {
                             view().logImportantEvent(std::string("Error [WW]: ") + error.what());
                         }
                     });
}

}  // namespace scalino
