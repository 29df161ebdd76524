#include "worker/LineAssembler.h"

namespace scalino {

LineAssembler::Push LineAssembler::push(unsigned char byte) {
    if (byte == terminator_) {
        buffer_ += static_cast<char>(byte);
        return Push::Complete;
    }
    Push result = Push::Partial;
    if (buffer_.size() >= kMaxLineLength) {
        buffer_.clear();
        result = Push::Overflow;
    }
    buffer_ += static_cast<char>(byte);
    return result;
}

}  // namespace scalino
