#include "platform/ParityMarkDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace scalino {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Marks = std::vector<MarkedByte>;
using Taken = std::vector<std::pair<std::uint8_t, ByteMark>>;
constexpr std::uint8_t FF = 0xFF;

struct Decoded {
    Bytes bytes;
    Marks marks;  // positions index bytes
};

// Feeds the chunks one after the other, as successive reads would deliver them.
Decoded decodeChunks(ParityMarkDecoder& decoder, const std::vector<Bytes>& chunks) {
    Decoded result;
    for (const Bytes& chunk : chunks) {
        Bytes out(chunk.size() + 1, 0xAA);  // the room decode asks for
        Marks marks;
        const std::size_t n = decoder.decode(chunk, out.data(), marks);
        EXPECT_LE(n, chunk.size() + 1);
        for (MarkedByte m : marks) {
            EXPECT_LT(m.position, n);
            m.position += result.bytes.size();
            result.marks.push_back(m);
        }
        result.bytes.insert(result.bytes.end(), out.begin(), out.begin() + static_cast<long>(n));
    }
    return result;
}

// A marker may be cut anywhere by the reads, so every stream is decoded in three chunks cut at
// every pair of places (which includes the whole stream in one) and a byte at a time.
TEST(ParityMarkDecoderTest, DecodesTheSameWhereverTheReadsCutTheStream) {
    const struct {
        const char* name;
        Bytes raw;   // as the line discipline delivers it with INPCK|PARMRK
        Bytes data;  // what the reader must get
        Marks marks;
    } cases[] = {
        {"plain", {'a', 'b', 'c'}, {'a', 'b', 'c'}, {}},
        {"doubled 0xFF is one data byte", {'a', FF, FF, 'b'}, {'a', FF, 'b'}, {}},
        {"faulty byte is delivered and marked",
         {'a', FF, 0, 'X', 'b'},
         {'a', 'X', 'b'},
         {{1, ByteMark::Error}}},
        {"break reads as a marked zero byte", {FF, 0, 0, 'z'}, {0, 'z'}, {{0, ByteMark::Break}}},
        {"faulty 0xFF starts no marker", {FF, 0, FF, 'q'}, {FF, 'q'}, {{0, ByteMark::Error}}},
        {"faulty 0xFF, then a doubled one", {FF, 0, FF, FF, FF}, {FF, FF}, {{0, ByteMark::Error}}},
        {"markers back to back",
         {FF, FF, FF, 0, 'A', FF, 0, 0, FF, FF, FF, 0, '1'},
         {FF, 'A', 0, FF, '1'},
         {{1, ByteMark::Error}, {2, ByteMark::Break}, {4, ByteMark::Error}}},
        // PARMRK never puts anything else after 0xFF; such bytes predate the marking.
        {"0xFF before an ordinary byte is kept", {FF, 'A', 'B'}, {FF, 'A', 'B'}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto at = [&c](std::size_t i) { return c.raw.begin() + static_cast<long>(i); };
        std::vector<Bytes> oneByteEach;
        for (std::size_t a = 0; a <= c.raw.size(); ++a) {
            if (a < c.raw.size()) oneByteEach.push_back({c.raw[a]});
            for (std::size_t b = a; b <= c.raw.size(); ++b) {
                SCOPED_TRACE("cuts at " + std::to_string(a) + " and " + std::to_string(b));
                ParityMarkDecoder decoder;
                const Decoded d = decodeChunks(
                    decoder,
                    {Bytes(c.raw.begin(), at(a)), Bytes(at(a), at(b)), Bytes(at(b), c.raw.end())});
                EXPECT_EQ(d.bytes, c.data);
                EXPECT_EQ(d.marks, c.marks);
                EXPECT_FALSE(decoder.midMarker());
            }
        }
        ParityMarkDecoder decoder;
        const Decoded d = decodeChunks(decoder, oneByteEach);
        EXPECT_EQ(d.bytes, c.data);
        EXPECT_EQ(d.marks, c.marks);
    }
}

// ---- MarkedBuffer ---------------------------------------------------------------------------

Taken takeEach(MarkedBuffer& buffer) {
    Taken taken;
    while (!buffer.empty()) {
        ByteMark mark;
        const std::uint8_t b = buffer.take(mark);
        taken.emplace_back(b, mark);
    }
    return taken;
}

TEST(ParityMarkBufferTest, EachMarkComesWithItsOwnByteAcrossFills) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{'a', 'b', FF, 0, 'X'});
    ByteMark mark;
    EXPECT_EQ(buffer.take(mark), 'a');
    EXPECT_EQ(mark, ByteMark::None);
    buffer.fill(decoder, Bytes{FF, 0, 0, 'c', FF});  // ends inside a marker
    buffer.fill(decoder, Bytes{0, '\r'});
    EXPECT_EQ(takeEach(buffer), (Taken{{'b', ByteMark::None},
                                       {'X', ByteMark::Error},
                                       {0, ByteMark::Break},
                                       {'c', ByteMark::None},
                                       {'\r', ByteMark::Error}}));
}

TEST(ParityMarkBufferTest, TakingManyReportsEachMarkInOrderAndStopsAtCount) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{'a', FF, 0, 'b', FF, 0, 0, 'c', FF, 0, 'd'});
    std::vector<ByteMark> seen;
    const auto note = [&seen](ByteMark m) { seen.push_back(m); };
    Bytes out(10, 0);
    EXPECT_EQ(buffer.take(out.data(), 2, note), 2u);
    EXPECT_EQ(seen, (std::vector<ByteMark>{ByteMark::Error}));  // 'b', the second byte
    EXPECT_EQ(buffer.take(out.data() + 2, 1, note), 1u);
    EXPECT_EQ(seen, (std::vector<ByteMark>{ByteMark::Error, ByteMark::Break}));
    EXPECT_EQ(buffer.take(out.data() + 3, 7, note), 2u);
    EXPECT_EQ(seen, (std::vector<ByteMark>{ByteMark::Error, ByteMark::Break, ByteMark::Error}));
    out.resize(5);
    EXPECT_EQ(out, (Bytes{'a', 'b', 0, 'c', 'd'}));
    EXPECT_TRUE(buffer.empty());
}

// The driver reads at most room() bytes; what has been taken must make room again.
TEST(ParityMarkBufferTest, TakenBytesMakeRoomForMore) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes(MarkedBuffer::kCapacity - 1, 'x'));
    buffer.fill(decoder, Bytes{'y'});
    EXPECT_EQ(buffer.room(), 0u);
    Bytes out(MarkedBuffer::kCapacity - 3, 0);
    ASSERT_EQ(buffer.take(out.data(), out.size(), [](ByteMark) {}), out.size());
    ASSERT_EQ(buffer.room(), MarkedBuffer::kCapacity - 3);
    buffer.fill(decoder, Bytes{FF, 0, 'Z'});
    EXPECT_EQ(takeEach(buffer), (Taken{{'x', ByteMark::None},
                                       {'x', ByteMark::None},
                                       {'y', ByteMark::None},
                                       {'Z', ByteMark::Error}}));
}

// What a flush does: the bytes waiting, their marks and a marker begun are all forgotten.
TEST(ParityMarkBufferTest, ClearAndResetForgetBytesMarksAndAStartedMarker) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{FF, 0, 'X', 'a', FF, 0});
    ASSERT_TRUE(decoder.midMarker());
    buffer.clear();
    decoder.reset();
    EXPECT_TRUE(buffer.empty());
    buffer.fill(decoder, Bytes{'p', 'q'});
    EXPECT_EQ(takeEach(buffer), (Taken{{'p', ByteMark::None}, {'q', ByteMark::None}}));
}

// ---- classifyMark ---------------------------------------------------------------------------

// Counters, where the driver keeps them, say what a mark stands for; the kind matched is used up.
TEST(ParityMarkClassifyTest, CountersDecideWhereKeptOtherwiseTheByteAndTheParitySetting) {
    const ByteMark marked = ByteMark::Error, zero = ByteMark::Break;
    const std::nullopt_t noCounters = std::nullopt;
    const struct {
        const char* name;
        ByteMark mark;
        std::optional<LineErrorCounts> counts;  // frame, parity, break
        bool parityEnabled;
        LineError expected;
        LineErrorCounts left;
    } cases[] = {
        {"no counters, parity on", marked, noCounters, true, LineError::Parity, {}},
        {"no counters, parity off", marked, noCounters, false, LineError::Framing, {}},
        {"no counters, zero byte", zero, noCounters, true, LineError::Break, {}},
        {"nothing counted", marked, LineErrorCounts{}, true, LineError::Parity, {}},
        {"framing counted, parity on", marked, {{1, 0, 0}}, true, LineError::Framing, {}},
        {"parity counted", marked, {{1, 2, 0}}, true, LineError::Parity, {1, 1, 0}},
        {"break counted", zero, {{0, 1, 1}}, true, LineError::Break, {0, 1, 0}},
        {"zero byte with parity error", zero, {{0, 1, 0}}, true, LineError::Parity, {}},
        {"break count kept for a zero byte",
         marked,
         {{0, 0, 1}},
         false,
         LineError::Framing,
         {0, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<LineErrorCounts> counts = c.counts;
        EXPECT_EQ(classifyMark(c.mark, counts ? &*counts : nullptr, c.parityEnabled), c.expected);
        const LineErrorCounts left = counts.value_or(LineErrorCounts{});
        EXPECT_EQ(left.frame, c.left.frame);
        EXPECT_EQ(left.parity, c.left.parity);
        EXPECT_EQ(left.brk, c.left.brk);
    }
}

}  // namespace
}  // namespace scalino
