#include "platform/ParityMarkDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace scalino {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t FF = 0xFF;

struct Decoded {
    Bytes bytes;
    std::vector<MarkedByte> marks;  // positions index bytes
};

// Feeds the chunks one after the other, as successive reads would deliver them.
Decoded decodeChunks(ParityMarkDecoder& decoder, const std::vector<Bytes>& chunks) {
    Decoded result;
    for (const Bytes& chunk : chunks) {
        Bytes out(chunk.size() + 1, 0xAA);
        std::vector<MarkedByte> marks;
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

Decoded decodeChunks(const std::vector<Bytes>& chunks) {
    ParityMarkDecoder decoder;
    Decoded result = decodeChunks(decoder, chunks);
    EXPECT_FALSE(decoder.midMarker());
    return result;
}

struct StreamCase {
    const char* name;
    Bytes raw;   // as the line discipline delivers it with INPCK|PARMRK
    Bytes data;  // what the reader must get
    std::vector<MarkedByte> marks;
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

const StreamCase kStreams[] = {
    {"plain", {'a', 'b', 'c'}, {'a', 'b', 'c'}, {}},
    {"doubled 0xFF is one data byte", {'a', FF, FF, 'b'}, {'a', FF, 'b'}, {}},
    {"faulty byte is delivered and marked",
     {'a', FF, 0, 'X', 'b'},
     {'a', 'X', 'b'},
     {{1, ByteMark::Error}}},
    {"break reads as a marked zero byte", {FF, 0, 0, 'z'}, {0, 'z'}, {{0, ByteMark::Break}}},
    {"faulty 0xFF does not start a marker", {FF, 0, FF, 'q'}, {FF, 'q'}, {{0, ByteMark::Error}}},
    {"faulty 0xFF then a doubled 0xFF", {FF, 0, FF, FF, FF}, {FF, FF}, {{0, ByteMark::Error}}},
    {"faulty 0x01", {FF, 0, 1}, {1}, {{0, ByteMark::Error}}},
    {"markers back to back",
     {FF, FF, FF, 0, 'A', FF, 0, 0, FF, FF, FF, 0, '1'},
     {FF, 'A', 0, FF, '1'},
     {{1, ByteMark::Error}, {2, ByteMark::Break}, {4, ByteMark::Error}}},
    // PARMRK never puts anything else after 0xFF; such bytes predate the marking.
    {"0xFF before an ordinary byte is kept", {FF, 'A', 'B'}, {FF, 'A', 'B'}, {}},
    {"empty", {}, {}, {}},
};

class ParityMarkStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(ParityMarkStreamTest, OneChunk) {
    const StreamCase& c = GetParam();
    const Decoded d = decodeChunks({c.raw});
    EXPECT_EQ(d.bytes, c.data);
    EXPECT_EQ(d.marks, c.marks);
}

TEST_P(ParityMarkStreamTest, SplitIntoTwoChunksAtEveryPosition) {
    const StreamCase& c = GetParam();
    for (std::size_t cut = 0; cut <= c.raw.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const Bytes first(c.raw.begin(), c.raw.begin() + static_cast<long>(cut));
        const Bytes second(c.raw.begin() + static_cast<long>(cut), c.raw.end());
        const Decoded d = decodeChunks({first, second});
        EXPECT_EQ(d.bytes, c.data);
        EXPECT_EQ(d.marks, c.marks);
    }
}

TEST_P(ParityMarkStreamTest, SplitIntoThreeChunksAtEveryPairOfPositions) {
    const StreamCase& c = GetParam();
    const auto at = [&c](std::size_t i) { return c.raw.begin() + static_cast<long>(i); };
    for (std::size_t a = 0; a <= c.raw.size(); ++a) {
        for (std::size_t b = a; b <= c.raw.size(); ++b) {
            SCOPED_TRACE("cuts at " + std::to_string(a) + " and " + std::to_string(b));
            const Decoded d = decodeChunks(
                {Bytes(c.raw.begin(), at(a)), Bytes(at(a), at(b)), Bytes(at(b), c.raw.end())});
            EXPECT_EQ(d.bytes, c.data);
            EXPECT_EQ(d.marks, c.marks);
        }
    }
}

TEST_P(ParityMarkStreamTest, OneByteAtATime) {
    const StreamCase& c = GetParam();
    std::vector<Bytes> chunks;
    for (std::uint8_t b : c.raw)
        chunks.push_back({b});
    const Decoded d = decodeChunks(chunks);
    EXPECT_EQ(d.bytes, c.data);
    EXPECT_EQ(d.marks, c.marks);
}

INSTANTIATE_TEST_SUITE_P(ParityMark, ParityMarkStreamTest, ::testing::ValuesIn(kStreams),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(ParityMarkDecoderTest, LoneFFAtTheEndOfAChunkWaitsForTheNextChunk) {
    ParityMarkDecoder decoder;
    Decoded d = decodeChunks(decoder, {{'a', FF}});
    EXPECT_EQ(d.bytes, (Bytes{'a'}));
    EXPECT_TRUE(decoder.midMarker());

    d = decodeChunks(decoder, {{FF, 'b'}});
    EXPECT_EQ(d.bytes, (Bytes{FF, 'b'}));
    EXPECT_FALSE(decoder.midMarker());
}

TEST(ParityMarkDecoderTest, MarkerSpreadOverThreeReads) {
    ParityMarkDecoder decoder;
    const Decoded d = decodeChunks(decoder, {{'a', FF}, {0}, {'X', 'b'}});
    EXPECT_EQ(d.bytes, (Bytes{'a', 'X', 'b'}));
    EXPECT_EQ(d.marks, (std::vector<MarkedByte>{{1, ByteMark::Error}}));
}

TEST(ParityMarkDecoderTest, LeftOverFFFollowedByOrdinaryByteNeedsOneByteMoreThanTheChunk) {
    ParityMarkDecoder decoder;
    decodeChunks(decoder, {{FF}});
    Bytes out(2, 0);
    std::vector<MarkedByte> marks;
    const Bytes chunk{'A'};
    EXPECT_EQ(decoder.decode(chunk, out.data(), marks), 2u);
    EXPECT_EQ(out, (Bytes{FF, 'A'}));
}

TEST(ParityMarkDecoderTest, ResetForgetsAStartedMarker) {
    ParityMarkDecoder decoder;
    decodeChunks(decoder, {{'a', FF, 0}});
    ASSERT_TRUE(decoder.midMarker());
    decoder.reset();
    EXPECT_FALSE(decoder.midMarker());
    const Decoded d = decodeChunks(decoder, {{'X', 'Y'}});
    EXPECT_EQ(d.bytes, (Bytes{'X', 'Y'}));
    EXPECT_TRUE(d.marks.empty());
}

TEST(ParityMarkDecoderTest, LongRunsWithMarkersInside) {
    Bytes raw, data;
    std::vector<MarkedByte> marks;
    for (int i = 0; i < 3000; ++i) {
        const auto b = static_cast<std::uint8_t>(i * 7);
        if (i % 500 == 250) {
            raw.insert(raw.end(), {FF, 0, b});
            marks.push_back({data.size(), b == 0 ? ByteMark::Break : ByteMark::Error});
        } else if (b == FF) {
            raw.insert(raw.end(), {FF, FF});
        } else {
            raw.push_back(b);
        }
        data.push_back(b);
    }
    // Reads of a size that cuts markers at changing places.
    std::vector<Bytes> chunks;
    for (std::size_t i = 0; i < raw.size(); i += 97) {
        chunks.emplace_back(raw.begin() + static_cast<long>(i),
                            raw.begin() + static_cast<long>(std::min(raw.size(), i + 97)));
    }
    const Decoded d = decodeChunks(chunks);
    EXPECT_EQ(d.bytes, data);
    EXPECT_EQ(d.marks, marks);
}

// ---- MarkedBuffer ---------------------------------------------------------------------------

std::vector<std::pair<std::uint8_t, ByteMark>> takeEach(MarkedBuffer& buffer) {
    std::vector<std::pair<std::uint8_t, ByteMark>> taken;
    while (!buffer.empty()) {
        ByteMark mark;
        const std::uint8_t b = buffer.take(mark);
        taken.emplace_back(b, mark);
    }
    return taken;
}

using Taken = std::vector<std::pair<std::uint8_t, ByteMark>>;

TEST(ParityMarkBufferTest, MarkComesWithItsByteAndNoOther) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{'1', '2', FF, 0, '3', '\r'});
    EXPECT_EQ(buffer.size(), 4u);
    EXPECT_EQ(takeEach(buffer), (Taken{{'1', ByteMark::None},
                                       {'2', ByteMark::None},
                                       {'3', ByteMark::Error},
                                       {'\r', ByteMark::None}}));
}

TEST(ParityMarkBufferTest, MarkOnTheLastByteOfALine) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{'7', FF, 0, '\r', '8'});
    EXPECT_EQ(takeEach(buffer),
              (Taken{{'7', ByteMark::None}, {'\r', ByteMark::Error}, {'8', ByteMark::None}}));
}

TEST(ParityMarkBufferTest, FillBehindWaitingBytesKeepsTheirMarks) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{'a', 'b', FF, 0, 'X'});
    ByteMark mark;
    EXPECT_EQ(buffer.take(mark), 'a');
    buffer.fill(decoder, Bytes{FF, 0, 0, 'c', FF});  // ends inside a marker
    buffer.fill(decoder, Bytes{0, 'Y'});
    EXPECT_EQ(takeEach(buffer), (Taken{{'b', ByteMark::None},
                                       {'X', ByteMark::Error},
                                       {0, ByteMark::Break},
                                       {'c', ByteMark::None},
                                       {'Y', ByteMark::Error}}));
}

TEST(ParityMarkBufferTest, TakeManyReportsEachMarkInOrderAndStopsAtCount) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{'a', FF, 0, 'b', FF, 0, 0, 'c', FF, 0, 'd'});
    std::vector<ByteMark> seen;
    Bytes out(10, 0);
    EXPECT_EQ(buffer.take(out.data(), 2, [&](ByteMark m) { seen.push_back(m); }), 2u);
    EXPECT_EQ(seen, (std::vector<ByteMark>{ByteMark::Error}));  // 'b', the second byte
    EXPECT_EQ(buffer.take(out.data() + 2, 1, [&](ByteMark m) { seen.push_back(m); }), 1u);
    EXPECT_EQ(seen, (std::vector<ByteMark>{ByteMark::Error, ByteMark::Break}));
    EXPECT_EQ(buffer.take(out.data() + 3, 7, [&](ByteMark m) { seen.push_back(m); }), 2u);
    EXPECT_EQ(seen, (std::vector<ByteMark>{ByteMark::Error, ByteMark::Break, ByteMark::Error}));
    out.resize(5);
    EXPECT_EQ(out, (Bytes{'a', 'b', 0, 'c', 'd'}));
    EXPECT_TRUE(buffer.empty());
}

TEST(ParityMarkBufferTest, TakeManyWithoutMarksCallsNothing) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{'a', FF, FF, 'b'});
    Bytes out(3, 0);
    int calls = 0;
    EXPECT_EQ(buffer.take(out.data(), 3, [&](ByteMark) { ++calls; }), 3u);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(out, (Bytes{'a', FF, 'b'}));
}

TEST(ParityMarkBufferTest, RoomShrinksWithWaitingBytesAndAFullChunkFits) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    EXPECT_EQ(buffer.room(), MarkedBuffer::kCapacity);
    buffer.fill(decoder, Bytes(10, 'x'));
    EXPECT_EQ(buffer.room(), MarkedBuffer::kCapacity - 10);
    buffer.fill(decoder, Bytes(buffer.room(), 'y'));
    EXPECT_EQ(buffer.size(), MarkedBuffer::kCapacity);
    EXPECT_EQ(buffer.room(), 0u);
    ByteMark mark;
    EXPECT_EQ(buffer.take(mark), 'x');
    EXPECT_EQ(buffer.room(), 1u);
}

TEST(ParityMarkBufferTest, ClearDropsBytesAndMarks) {
    ParityMarkDecoder decoder;
    MarkedBuffer buffer;
    buffer.fill(decoder, Bytes{FF, 0, 'X', 'a'});
    buffer.clear();
    EXPECT_TRUE(buffer.empty());
    buffer.fill(decoder, Bytes{'p', 'q'});
    EXPECT_EQ(takeEach(buffer), (Taken{{'p', ByteMark::None}, {'q', ByteMark::None}}));
}

// ---- classifyMark ---------------------------------------------------------------------------

struct ClassifyCase {
    const char* name;
    ByteMark mark;
    bool counted;  // the driver keeps counters
    LineErrorCounts counts;
    bool parityEnabled;
    LineError expected;
    LineErrorCounts left;
};

void PrintTo(const ClassifyCase& c, std::ostream* os) {
    *os << c.name;
}

const ClassifyCase kClassify[] = {
    {"no counters, parity on", ByteMark::Error, false, {}, true, LineError::Parity, {}},
    {"no counters, parity off", ByteMark::Error, false, {}, false, LineError::Framing, {}},
    {"no counters, zero byte", ByteMark::Break, false, {}, true, LineError::Break, {}},
    {"framing counted while parity on",
     ByteMark::Error,
     true,
     {1, 0, 0},
     true,
     LineError::Framing,
     {0, 0, 0}},
    {"parity counted", ByteMark::Error, true, {1, 2, 0}, true, LineError::Parity, {1, 1, 0}},
    {"break counted", ByteMark::Break, true, {0, 1, 1}, true, LineError::Break, {0, 1, 0}},
    {"zero byte with parity error",
     ByteMark::Break,
     true,
     {0, 1, 0},
     true,
     LineError::Parity,
     {0, 0, 0}},
    {"break count is not spent on a non-zero byte",
     ByteMark::Error,
     true,
     {0, 0, 1},
     false,
     LineError::Framing,
     {0, 0, 1}},
    {"counters kept but nothing counted", ByteMark::Error, true, {}, true, LineError::Parity, {}},
};

class ParityMarkClassifyTest : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(ParityMarkClassifyTest, Classifies) {
    const ClassifyCase& c = GetParam();
    LineErrorCounts counts = c.counts;
    EXPECT_EQ(classifyMark(c.mark, c.counted ? &counts : nullptr, c.parityEnabled), c.expected);
    EXPECT_EQ(counts.frame, c.left.frame);
    EXPECT_EQ(counts.parity, c.left.parity);
    EXPECT_EQ(counts.brk, c.left.brk);
}

INSTANTIATE_TEST_SUITE_P(ParityMark, ParityMarkClassifyTest, ::testing::ValuesIn(kClassify),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace scalino
