#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace scalino {

// One line received from the instrument: the raw bytes with the terminator, the value to type,
// its number within the connection, when its terminator arrived and whether the port reported
// a parity or framing fault while it was received.
class DataLine {
public:
    using Instant = std::chrono::system_clock::time_point;

    DataLine(std::string rawData, std::string processedData, std::int32_t count, bool error,
             Instant instant)
        : rawData_(std::move(rawData)),
          processedData_(std::move(processedData)),
          count_(count),
          error_(error),
          instant_(instant) {}

    DataLine copy() const { return *this; }
    void deleteProcessedData() { processedData_.clear(); }

    std::int32_t getCount() const { return count_; }
    Instant getInstant() const { return instant_; }
    // The local date and time of the instant, in the computer's time zone.
    std::tm getDateTime() const;
    const std::string& getProcessedData() const { return processedData_; }
    bool isError() const { return error_; }
    // The raw data in readable form (see transformControlChars).
    std::string getRawData() const { return transformControlChars(rawData_); }
    // The bytes as received.
    const std::string& rawBytes() const { return rawData_; }
    bool hasValue() const { return !processedData_.empty(); }

    // Printable ASCII as itself, every other character as "<code>": CR LF shows as <13><10>.
    static std::string transformControlChars(std::string_view text);

private:
    std::string rawData_;
    std::string processedData_;
    std::int32_t count_;
    bool error_;
    Instant instant_;
};

}  // namespace scalino
