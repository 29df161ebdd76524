#include "worker/WorkerBundle.h"

#include "util/ResourceBundle.h"

namespace scalino {

std::string workerText(std::string_view key, const std::vector<std::string>& arguments) {
    return formatMessage(ResourceBundle::getBundle(kWorkerBundleName).getString(key), arguments);
}

}  // namespace scalino
