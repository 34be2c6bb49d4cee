#include "emulator/AmpReplyFaults.h"

#include "emulator/AmpMessagePack.h"

#include <gtest/gtest.h>

namespace
{

using Bytes = std::vector<uint8_t>;
using emu::classAck;
using emu::classData;
using emu::classGet;
using emu::classSet;

template <typename Faults, typename Set> Faults with(Set set)
{
    Faults faults;
    set(faults);
    return faults;
}

Bytes values36(std::vector<uint32_t> values)
{
    Bytes out;
    emu::mpWriteArrayHeader(out, uint32_t(values.size()));
    for (uint32_t value : values)
        emu::mpWriteUnsigned(out, value);
    return out;
}

Bytes badChecksum(Bytes frame)
{
    frame[3] ^= 0x01;
    return frame;
}

} // namespace

TEST(AmpReplyFaults, ChangeTheRepliesTheyName)
{
    using F = emu::CommandReplyFaults;
    struct Case
    {
        const char* name;
        uint8_t sessionId;
        uint8_t messageClass;
        uint8_t command;
        std::vector<emu::AmpReply> replies;
        F faults;
        std::vector<Bytes> frames;
    };
    const std::vector<emu::AmpReply> data4{{classData, {1, 2}}};
    const std::vector<emu::AmpReply> ack{{classAck, {}}};
    const Bytes record{1, 2, 3, 4, 5, 6};
    const std::vector<emu::AmpReply> oneRecord{{classData, {1, 0, 0, 0, 1, 2, 3, 4, 5, 6}}};
    const Case cases[] = {
        {"none", 5, classGet, 4, data4, {}, {emu::makeFrame(5, classData, 4, {1, 2})}},
        {"silent", 5, classGet, 4, data4, with<F>([](F& f) { f.silent = true; }), {}},
        {"Data as Ack",
         5,
         classGet,
         4,
         data4,
         with<F>([](F& f) { f.wrongClass = true; }),
         {emu::makeFrame(5, classAck, 4, {1, 2})}},
        {"Ack as Data",
         5,
         classSet,
         6,
         ack,
         with<F>([](F& f) { f.wrongClass = true; }),
         {emu::makeFrame(5, classData, 6)}},
        {"the next command",
         5,
         classGet,
         4,
         data4,
         with<F>([](F& f) { f.wrongCommand = true; }),
         {emu::makeFrame(5, classData, 5, {1, 2})}},
        {"the next session id, 63 to 0",
         63,
         classGet,
         4,
         data4,
         with<F>([](F& f) { f.wrongSession = true; }),
         {emu::makeFrame(0, classData, 4, {1, 2})}},
        {"bad checksum",
         5,
         classGet,
         4,
         data4,
         with<F>([](F& f) { f.badChecksum = true; }),
         {badChecksum(emu::makeFrame(5, classData, 4, {1, 2}))}},
        {"padded",
         5,
         classGet,
         4,
         data4,
         with<F>([](F& f) { f.padPayloadTo = 4; }),
         {emu::makeFrame(5, classData, 4, {1, 2, 0, 0})}},
        {"never shortened by padding",
         5,
         classGet,
         4,
         data4,
         with<F>([](F& f) { f.padPayloadTo = 1; }),
         {emu::makeFrame(5, classData, 4, {1, 2})}},
        {"Get 50: a byte more",
         5,
         classGet,
         50,
         {{classData, {7}}},
         with<F>([](F& f) { f.lengthDelta = 1; }),
         {emu::makeFrame(5, classData, 50, {7, 7})}},
        {"Get 50: no byte",
         5,
         classGet,
         50,
         {{classData, {7}}},
         with<F>([](F& f) { f.lengthDelta = -1; }),
         {emu::makeFrame(5, classData, 50)}},
        {"Set 50: its Ack as it is",
         5,
         classSet,
         50,
         ack,
         with<F>([](F& f) { f.lengthDelta = 1; }),
         {emu::makeFrame(5, classAck, 50)}},
        {"Get 2: a record more claimed",
         5,
         classGet,
         2,
         oneRecord,
         with<F>([](F& f) { f.lengthDelta = 1; }),
         {emu::makeFrame(5, classData, 2, {2, 0, 0, 0, 1, 2, 3, 4, 5, 6})}},
        {"Get 2: a count that wraps with 6-byte records",
         5,
         classGet,
         2,
         oneRecord,
         with<F>([](F& f) { f.wrappingCount = true; }),
         {emu::makeFrame(5, classData, 2, {1, 0, 0, 0x80, 1, 2, 3, 4, 5, 6})}},
        {"Get 24: a count that wraps with 16-byte records",
         5,
         classGet,
         24,
         {{classData, {0, 0, 0, 0}}},
         with<F>([](F& f) { f.wrappingCount = true; }),
         {emu::makeFrame(5, classData, 24, {0, 0, 0, 0x10})}},
        {"Set 2: its Ack as it is",
         5,
         classSet,
         2,
         ack,
         with<F>([](F& f) { f.lengthDelta = 1; }),
         {emu::makeFrame(5, classAck, 2)}},
        {"Get 36: a value fewer",
         5,
         classGet,
         36,
         {{classData, values36({5, 0x1234})}},
         with<F>([](F& f) { f.lengthDelta = -1; }),
         {emu::makeFrame(5, classData, 36, values36({5}))}},
        {"Get 36: two zeros more",
         5,
         classGet,
         36,
         {{classData, values36({5})}},
         with<F>([](F& f) { f.lengthDelta = 2; }),
         {emu::makeFrame(5, classData, 36, values36({5, 0, 0}))}},
        {"Get 32: no count to change",
         5,
         classGet,
         32,
         {{classData, {1, 2, 3, 4}}},
         with<F>([](F& f) { f.lengthDelta = 3; }),
         {emu::makeFrame(5, classData, 32, {1, 2, 3, 4})}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const emu::ParsedFrame request{c.sessionId, c.messageClass, c.command, {}};
        EXPECT_EQ(emu::faultedFrames(request, c.replies, c.faults, {}), c.frames);
    }
}

TEST(AmpReplyFaults, ChangeTheChunksOfABlockRead)
{
    using Kind = emu::BlockReadFaults::Kind;
    const Bytes c0{3, 0, 1, 2, 1, 10}, c1{3, 1, 1, 20}, c2{3, 2, 1, 30, 60};
    struct Case
    {
        const char* name;
        Kind kind;
        int chunk;
        std::vector<Bytes> chunks;
    };
    const Case cases[] = {
        {"none", Kind::None, 0, {c0, c1, c2}},
        {"chunk 1 missing", Kind::MissingChunk, 1, {c0, c2}},
        {"chunk 1 repeated", Kind::RepeatedChunk, 1, {c0, c1, c1, c2}},
        {"chunks 1 and 2 swapped", Kind::SwappedChunks, 1, {c0, c2, c1}},
        {"the last chunk has none to swap with", Kind::SwappedChunks, 2, {c0, c1, c2}},
        {"chunk 2 with another total", Kind::WrongTotal, 2, {c0, c1, {4, 2, 1, 30, 60}}},
        {"another address", Kind::WrongAddress, 0, {{3, 0, 2, 2, 1, 10}, c1, c2}},
        {"another sum", Kind::WrongSum, 0, {c0, c1, {3, 2, 1, 30, 61}}},
        {"chunk 0's length past its data", Kind::LengthPastPayload, 0, {{3, 0, 1, 2, 2, 10}, c1, c2}},
        {"chunk 1's length past its data", Kind::LengthPastPayload, 1, {c0, {3, 1, 2, 20}, c2}},
        {"silence after chunk 0", Kind::SilentAfter, 0, {c0}},
        {"a chunk the block does not have", Kind::MissingChunk, 3, {c0, c1, c2}},
    };
    const emu::ParsedFrame request{5, classGet, 1, {1, 2}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        emu::BlockReadFaults faults;
        faults.kind = c.kind;
        faults.chunk = c.chunk;
        std::vector<Bytes> expected;
        for (const Bytes& chunk : c.chunks)
            expected.push_back(emu::makeFrame(5, classData, 1, chunk));
        EXPECT_EQ(
            emu::faultedFrames(request, {{classData, c0}, {classData, c1}, {classData, c2}}, {}, faults),
            expected);
    }
    // Only a block read's chunks change.
    emu::BlockReadFaults repeated;
    repeated.kind = Kind::RepeatedChunk;
    EXPECT_EQ(emu::faultedFrames({5, classGet, 4, {}}, {{classData, {1}}}, {}, repeated),
              std::vector<Bytes>{emu::makeFrame(5, classData, 4, {1})});
    // The reply faults then apply to every chunk that goes out.
    emu::CommandReplyFaults nextSession;
    nextSession.wrongSession = true;
    EXPECT_EQ(emu::faultedFrames(request, {{classData, c0}, {classData, c1}}, nextSession, repeated),
              (std::vector<Bytes>{emu::makeFrame(6, classData, 1, c0), emu::makeFrame(6, classData, 1, c0),
                                  emu::makeFrame(6, classData, 1, c1)}));
}
