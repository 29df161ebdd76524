#pragma once

#include "worker/WeightWorker.h"

namespace scalino {

// The connection to a barcode scanner or another instrument that sends text: the value is the
// first group of the expression, edited and cleaned but not formatted, and a line that cannot be
// processed costs only that line.
class WeightWorkerBarcode : public WeightWorker {
public:
    using WeightWorker::WeightWorker;

protected:
    std::int32_t doInBackground(std::stop_token stop) override;
};

}  // namespace scalino
