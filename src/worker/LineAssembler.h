#pragma once

#include <string>
#include <string_view>

namespace scalino {

// Collects received bytes into lines that end with, and include, the input terminator. A line
// that grows past kMaxLineLength bytes without its terminator is discarded so that memory stays
// bounded whatever a device sends; the caller reports it.
class LineAssembler {
public:
    static constexpr size_t kMaxLineLength = 64 * 1024;

    enum class Push {
        Partial,   // the byte was added, the line goes on
        Complete,  // the byte was the terminator: line() holds the whole line
        Overflow,  // kMaxLineLength bytes without terminator were discarded; the byte starts anew
    };

    explicit LineAssembler(unsigned char terminator) : terminator_(terminator) {
        buffer_.reserve(30);
    }

    Push push(unsigned char byte);
    // The complete line after push returned Complete, or the bytes received so far.
    std::string_view line() const { return buffer_; }
    // Adds a byte without looking for the terminator or the bound: for bytes that are only to
    // be reported, never processed.
    void append(unsigned char byte) { buffer_.push_back(static_cast<char>(byte)); }
    // Forgets the line, ready for the next one.
    void clear() { buffer_.clear(); }
    bool hasPendingBytes() const { return !buffer_.empty(); }

private:
    unsigned char terminator_;
    std::string buffer_;
};

}  // namespace scalino
