#include "worker/WeightWorkerBarcode.h"

namespace scalino {

std::int32_t WeightWorkerBarcode::doInBackground(std::stop_token stop) {
    return readProcessedLines(stop, LineProcessor::Semantics::Barcode, "Parity Error",
                              "Framing Error");
}

}  // namespace scalino
