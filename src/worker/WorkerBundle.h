#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace scalino {

inline constexpr std::string_view kWorkerBundleName = "scalino.worker.WorkerBundle";

// A text of the worker bundle, with {0}, {1}, ... replaced by the arguments.
std::string workerText(std::string_view key, const std::vector<std::string>& arguments = {});

// A line that cannot be processed; what() is the message for the user.
class ProcessingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace scalino
