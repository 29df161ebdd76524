#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace scalino {

// What the line discipline said about one received byte.
enum class ByteMark : std::uint8_t {
    None,
    // The byte arrived with a parity or framing error ("\377 \0 X", X not 0).
    Error,
    // "\377 \0 \0": a break, or a 0x00 byte with a parity or framing error; the two look alike,
    // only the driver's counters tell them apart.
    Break,
};

// One marked byte of decoded output.
struct MarkedByte {
    std::size_t position;  // index of the byte in the output
    ByteMark mark;
    friend bool operator==(const MarkedByte&, const MarkedByte&) = default;
};

// Undoes the marking that INPCK|PARMRK adds to received data: "\377 \377" is one data byte
// 0xFF, "\377 \0 X" is the byte X received with an error. A marker may be split across two
// reads, so the decoder keeps its place between chunks. The marked byte itself is part of the
// output (a break becomes a 0x00 byte, as without PARMRK), so every mark has a position.
class ParityMarkDecoder {
public:
    // Decodes one chunk into out, appends one entry per marked byte to marks and returns the
    // number of bytes written. out needs room for in.size() + 1 bytes: a 0xFF left over from
    // the previous chunk that proves not to start a marker adds one byte.
    std::size_t decode(std::span<const std::uint8_t> in, std::uint8_t* out,
                       std::vector<MarkedByte>& marks);
    // Forgets a marker begun in an earlier chunk (after the input was flushed).
    void reset() { state_ = State::Data; }
    // True while the last chunk ended inside a marker.
    bool midMarker() const { return state_ != State::Data; }

private:
    enum class State : std::uint8_t { Data, AfterFF, AfterFF00 };
    State state_ = State::Data;
};

// The decoded bytes of one port waiting to be handed out, with their marks. Handing out a
// marked byte reports its mark, so an error surfaces exactly with the byte it belongs to.
class MarkedBuffer {
public:
    static constexpr std::size_t kCapacity = 4096;

    bool empty() const { return head_ == tail_; }
    std::size_t size() const { return tail_ - head_; }
    // Raw bytes that fill() accepts now: decoding never makes data longer.
    std::size_t room() const { return kCapacity - size(); }

    // Decodes a raw chunk of at most room() bytes behind the bytes already waiting.
    void fill(ParityMarkDecoder& decoder, std::span<const std::uint8_t> raw);

    // The next byte; mark tells whether it was marked. Only when !empty().
    std::uint8_t take(ByteMark& mark) {
        const std::size_t at = head_++;
        if (at == nextMark_) [[unlikely]] {
            mark = marks_[markHead_].mark;
            advanceMark();
        } else {
            mark = ByteMark::None;
        }
        return data_[at];
    }

    // Moves up to count bytes to out and calls onMark(ByteMark) for each marked one, in order.
    template <typename OnMark>
    std::size_t take(std::uint8_t* out, std::size_t count, OnMark&& onMark) {
        std::size_t done = 0;
        while (done < count && !empty()) {
            std::size_t end = std::min(tail_, head_ + (count - done));
            const bool reachesMark = nextMark_ < end;
            if (reachesMark) end = nextMark_ + 1;
            const std::size_t n = end - head_;
            copyOut(out + done, n);
            done += n;
            if (reachesMark) {
                onMark(marks_[markHead_].mark);
                advanceMark();
            }
        }
        return done;
    }

    void clear();

private:
    static constexpr std::size_t kNoMark = static_cast<std::size_t>(-1);

    void advanceMark();
    void compact();
    void copyOut(std::uint8_t* out, std::size_t n);

    std::array<std::uint8_t, kCapacity + 1> data_{};  // + 1: see ParityMarkDecoder::decode
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
    std::vector<MarkedByte> marks_;  // positions index data_
    std::size_t markHead_ = 0;
    std::size_t nextMark_ = kNoMark;  // position of marks_[markHead_], kept for the fast path
};

// Error counters of a UART (TIOCGICOUNT) for the kinds a mark can stand for.
struct LineErrorCounts {
    std::uint32_t frame = 0;
    std::uint32_t parity = 0;
    std::uint32_t brk = 0;
};

enum class LineError : std::uint8_t { Parity, Framing, Break };

// Says what a mark stands for. unclaimed holds the counter increments no mark has been matched
// with yet, or is null where the driver keeps no counters; the kind matched is taken from it.
// Without a matching count, a zero byte is a break and any other byte a parity error when
// parity is checked, else a framing error (the only error left without parity).
LineError classifyMark(ByteMark mark, LineErrorCounts* unclaimed, bool parityEnabled);

}  // namespace scalino
