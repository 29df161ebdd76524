#include "platform/ParityMarkDecoder.h"

#include <cstring>

namespace scalino {

std::size_t ParityMarkDecoder::decode(std::span<const std::uint8_t> in, std::uint8_t* out,
                                      std::vector<MarkedByte>& marks) {
    const std::uint8_t* p = in.data();
    const std::uint8_t* const end = p + in.size();
    std::uint8_t* o = out;
    while (p < end) {
        switch (state_) {
            case State::Data: {
                // Nearly all data is unmarked: copy whole runs up to the next 0xFF.
                const void* ff = std::memchr(p, 0xFF, static_cast<std::size_t>(end - p));
                const std::uint8_t* stop = ff ? static_cast<const std::uint8_t*>(ff) : end;
                std::memcpy(o, p, static_cast<std::size_t>(stop - p));
                o += stop - p;
                p = stop;
                if (p < end) {
                    ++p;
                    state_ = State::AfterFF;
                }
                break;
            }
            case State::AfterFF:
                if (*p == 0x00) {
                    ++p;
                    state_ = State::AfterFF00;
                } else {
                    // "\377 \377" is a data byte 0xFF. Any other follower cannot come from PARMRK
                    // (a 0xFF received before the marking was switched on): keep the 0xFF and
                    // read the follower as ordinary data rather than lose either.
                    *o++ = 0xFF;
                    if (*p == 0xFF) ++p;
                    state_ = State::Data;
                }
                break;
            case State::AfterFF00:
                marks.push_back({static_cast<std::size_t>(o - out),
                                 *p == 0x00 ? ByteMark::Break : ByteMark::Error});
                *o++ = *p++;
                state_ = State::Data;
                break;
        }
    }
    return static_cast<std::size_t>(o - out);
}

void MarkedBuffer::fill(ParityMarkDecoder& decoder, std::span<const std::uint8_t> raw) {
    compact();
    const std::size_t firstNew = marks_.size();
    const std::size_t n = decoder.decode(raw, data_.data() + tail_, marks_);
    for (std::size_t i = firstNew; i < marks_.size(); ++i)
        marks_[i].position += tail_;
    tail_ += n;
    if (nextMark_ == kNoMark && markHead_ < marks_.size()) nextMark_ = marks_[markHead_].position;
}

void MarkedBuffer::clear() {
    head_ = tail_ = 0;
    marks_.clear();
    markHead_ = 0;
    nextMark_ = kNoMark;
}

void MarkedBuffer::advanceMark() {
    ++markHead_;
    nextMark_ = markHead_ < marks_.size() ? marks_[markHead_].position : kNoMark;
}

// Moves the waiting bytes to the front so that a new chunk always finds room() free bytes.
void MarkedBuffer::compact() {
    if (head_ == 0) return;
    if (empty()) {
        clear();
        return;
    }
    std::memmove(data_.data(), data_.data() + head_, tail_ - head_);
    marks_.erase(marks_.begin(), marks_.begin() + static_cast<std::ptrdiff_t>(markHead_));
    for (MarkedByte& m : marks_)
        m.position -= head_;
    markHead_ = 0;
    nextMark_ = marks_.empty() ? kNoMark : marks_.front().position;
    tail_ -= head_;
    head_ = 0;
}

void MarkedBuffer::copyOut(std::uint8_t* out, std::size_t n) {
    std::memcpy(out, data_.data() + head_, n);
    head_ += n;
}

LineError classifyMark(ByteMark mark, LineErrorCounts* unclaimed, bool parityEnabled) {
    if (unclaimed != nullptr) {
        auto claim = [](std::uint32_t& count) {
            if (count == 0) return false;
            --count;
            return true;
        };
        if (mark == ByteMark::Break && claim(unclaimed->brk)) return LineError::Break;
        if (claim(unclaimed->parity)) return LineError::Parity;
        if (claim(unclaimed->frame)) return LineError::Framing;
    }
    if (mark == ByteMark::Break) return LineError::Break;
    return parityEnabled ? LineError::Parity : LineError::Framing;
}

}  // namespace scalino
