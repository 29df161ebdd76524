#include "worker/WorkerChoice.h"

#include "config/Instrument.h"
#include "worker/WeightWorkerAnd.h"
#include "worker/WeightWorkerBarcode.h"

namespace scalino {

std::shared_ptr<WeightWorker> createWeightWorker(const Config& config, WeightWorkerView& view,
                                                 UiExecutor& executor, PortOpener opener) {
    using ConfigHelper::Instrument;
    const Instrument instrument =
        config.getInstrument().value_or(ConfigHelper::getDefault<Instrument>());
    if (ConfigHelper::getInstrumentType(instrument) == ConfigHelper::InstrumentType::TEXT) {
        return std::make_shared<WeightWorkerBarcode>(config, view, executor, std::move(opener));
    }
    if (instrument == Instrument::AND || instrument == Instrument::AND_EM) {
        return std::make_shared<WeightWorkerAnd>(config, view, executor, std::move(opener));
    }
    return std::make_shared<WeightWorker>(config, view, executor, std::move(opener));
}

}  // namespace scalino
