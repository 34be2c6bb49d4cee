// The chunked-data transfer (45) and the addressed block transfer (1) on the
// scripted device.

#include "CommandCases.h"
#include "WireModel.h"

#include "commands/BlockTransfer.h"
#include "commands/ChunkedData.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"
#include "tests/device/ScriptedDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <utility>

using namespace wire;
using testing_device::ScriptedDevice;

namespace
{

constexpr int noWait = -1; // replies arrive inside send

Bytes pattern(size_t n, unsigned seed = 1)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 131 + seed * 17 + (i >> 8));
    return b;
}

struct Reply
{
    uint8_t cls;
    uint8_t cmd;
    Bytes payload;
};

// Answers the frame that `isLast` picks with the replies, in a row.
void answerLast(ScriptedDevice& device, std::function<bool(const Bytes& payload)> isLast,
                std::vector<Reply> replies)
{
    device.onSend = [&device, isLast, replies](const Bytes& request)
    {
        const Bytes payload = testing_device::unpack7(request.data() + 6, request.size() - 7);
        if (!isLast(payload))
            return;
        for (const Reply& r : replies)
            device.deliver(testing_device::frame(request[2], r.cls, r.cmd, r.payload));
    };
}

// A chunked-data chunk, from the wire format: total, index, length, data.
bool lastChunked(const Bytes& p)
{
    return p.size() >= 2 && p[1] + 1 == p[0];
}

} // namespace

TEST(ChunkedData, SplitsDataAndItsSumIntoChunksOf255)
{
    struct Case
    {
        size_t size;
        size_t chunks;
        size_t lastLength;
    };
    const Case rows[] = {{0, 0, 0}, {1, 1, 2}, {254, 1, 255}, {255, 2, 1}, {256, 2, 2}, {65024, 255, 255}};
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.size);
        const Bytes data = pattern(row.size);
        const std::vector<ChunkRecord> chunks = splitIntoChunks(data);
        ASSERT_EQ(chunks.size(), row.chunks);
        Bytes joined;
        for (size_t i = 0; i < chunks.size(); ++i)
        {
            EXPECT_EQ(chunks[i].totalChunks, uint8_t(row.chunks));
            EXPECT_EQ(chunks[i].chunkIndex, uint8_t(i));
            EXPECT_EQ(chunks[i].dataLength, i + 1 == chunks.size() ? row.lastLength : 255u);
            joined.insert(joined.end(), chunks[i].data, chunks[i].data + chunks[i].dataLength);
        }
        if (row.size > 0)
        {
            EXPECT_EQ(joined, cat({data, {sum8(data)}}));
        }
    }
    try
    {
        splitIntoChunks(pattern(65025));
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "totalChunk size has exceed the limitation size");
    }
}

TEST(ChunkedData, SendsEveryChunkThenAwaitsOneAck)
{
    {
        ScriptedDevice device;
        answerLast(device, lastChunked, {{MessageClass::Ack, 45, {}}});
        ChunkedDataSession s;
        s.timeoutMs = noWait;
        s.data = {0x80, 0x80};
        EXPECT_TRUE(s.run(&device));
        EXPECT_EQ(s.error, 0);
        ASSERT_EQ(device.sent.size(), 1u);
        EXPECT_EQ(device.sent[0],
                  testing_device::frame(1, MessageClass::Set, 45, {1, 0, 3, 0x80, 0x80, 0x00}));
    }
    {
        // 764 bytes and the sum: three full chunks, answered after the last.
        const Bytes data = pattern(764);
        const Bytes withSum = cat({data, {sum8(data)}});
        ScriptedDevice device;
        answerLast(device, lastChunked, {{MessageClass::Ack, 45, {}}});
        ChunkedDataSession s;
        s.timeoutMs = noWait;
        s.data = data;
        EXPECT_TRUE(s.run(&device));
        ASSERT_EQ(device.sent.size(), 3u);
        for (uint8_t i = 0; i < 3; ++i)
            EXPECT_EQ(
                device.sent[i],
                testing_device::frame(
                    1, MessageClass::Set, 45,
                    cat({{3, i, 255}, Bytes(withSum.begin() + 255 * i, withSum.begin() + 255 * (i + 1))})));
    }
}

TEST(ChunkedData, Failures)
{
    struct Case
    {
        const char* name;
        size_t size;
        std::vector<Reply> replies;
        int failSendAt;
        int error;
        size_t sent;
    };
    const Case rows[] = {
        {"largest block", 65024, {{MessageClass::Ack, 45, {}}}, -1, 0, 255},
        {"empty data", 0, {{MessageClass::Ack, 45, {}}}, -1, SessionError::InvalidRequest, 0},
        {"over 255 chunks", 65025, {{MessageClass::Ack, 45, {}}}, -1, SessionError::NoSession, 0},
        {"no reply", 600, {}, -1, SessionError::NoReply, 3},
        {"Data reply", 600, {{MessageClass::Data, 45, {}}}, -1, SessionError::WrongClass, 3},
        {"other command", 600, {{MessageClass::Ack, 46, {}}}, -1, SessionError::WrongCommand, 3},
        {"send fails at chunk 1", 600, {{MessageClass::Ack, 45, {}}}, 1, SessionError::NoDevice, 2},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScriptedDevice device;
        device.failSendAt = row.failSendAt;
        answerLast(device, lastChunked, row.replies);
        ChunkedDataSession s;
        s.timeoutMs = noWait;
        s.data = pattern(row.size);
        EXPECT_EQ(s.run(&device), row.error == 0);
        EXPECT_EQ(s.error, row.error);
        EXPECT_EQ(device.sent.size(), row.sent);
    }
}

namespace
{

struct WriteRig
{
    ScriptedDevice device;
    BlockWriteSession s;
    Bytes block;

    WriteRig(size_t size, uint32_t chunkSize, int totalChunks,
             std::vector<Reply> replies = {{MessageClass::Ack, 1, {}}})
        : block(pattern(size, 3))
    {
        s.timeoutMs = noWait;
        s.addressA = 0x12;
        s.addressB = 0x81;
        s.chunkSize = chunkSize;
        s.totalChunks = totalChunks;
        s.block = &block;
        answerLast(
            device, [](const Bytes& p) { return p.size() >= 2 && p[1] + 1 == p[0]; }, replies);
    }
};

} // namespace

TEST(BlockWrite, SendsTheChunksWithAddressesAndSum)
{
    struct Case
    {
        size_t size;
        uint32_t chunkSize;
        int total;
    };
    const Case rows[] = {{300, 255, 2}, {200, 0, 1},   {1, 255, 1}, {255, 255, 1},
                         {256, 255, 2}, {256, 128, 2}, {10, 3, 4},  {255, 1, 255}};
    for (const Case& row : rows)
    {
        SCOPED_TRACE(std::to_string(row.size) + " bytes in chunks of " + std::to_string(row.chunkSize));
        WriteRig rig(row.size, row.chunkSize, row.total);
        EXPECT_TRUE(rig.s.run(&rig.device));
        const auto chunks = blockChunks(rig.block, row.chunkSize == 0 ? row.size : row.chunkSize, 0x12, 0x81);
        ASSERT_EQ(rig.device.sent.size(), chunks.size());
        for (size_t i = 0; i < chunks.size(); ++i)
            EXPECT_EQ(rig.device.sent[i], testing_device::frame(1, MessageClass::Set, 1, chunks[i]));
    }
}

TEST(BlockWrite, RefusesWhatItCannotSendFaithfully)
{
    struct Case
    {
        const char* name;
        size_t size;
        uint32_t chunkSize;
        int total;
        std::function<void(WriteRig&)> change;
    };
    const Case rows[] = {
        {"chunk size 256", 600, 256, 3, nullptr},
        {"chunk size 0, 256 bytes", 256, 0, 1, nullptr},
        {"fewer chunks than the block needs", 300, 255, 1, nullptr},
        {"more chunks than the block needs", 300, 255, 3, nullptr},
        {"no chunks", 300, 255, 0, nullptr},
        {"negative total", 300, 255, -2, nullptr},
        {"over 255 chunks", 300, 1, 300, nullptr},
        {"empty block", 0, 255, 0, nullptr},
        {"empty block, one chunk", 0, 255, 1, nullptr},
        {"null block", 10, 255, 1, [](WriteRig& r) { r.s.block = nullptr; }},
        {"address A 256", 10, 255, 1, [](WriteRig& r) { r.s.addressA = 256; }},
        {"address B 300", 10, 255, 1, [](WriteRig& r) { r.s.addressB = 300; }},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        WriteRig rig(row.size, row.chunkSize, row.total);
        if (row.change)
            row.change(rig);
        EXPECT_FALSE(rig.s.run(&rig.device));
        EXPECT_EQ(rig.s.error, SessionError::InvalidRequest);
        EXPECT_TRUE(rig.device.sent.empty());
    }
    WriteRig rig(10, 255, 1);
    EXPECT_FALSE(rig.s.doRun(nullptr, 1));
    EXPECT_FALSE(rig.s.doRun(&rig.device, 64));
    EXPECT_TRUE(rig.device.sent.empty());
}

TEST(BlockWrite, ReplyAndSendFailures)
{
    struct Case
    {
        const char* name;
        std::vector<Reply> replies;
        int failSendAt;
        int error;
        size_t sent;
    };
    const Case rows[] = {
        {"no reply", {}, -1, SessionError::NoReply, 3},
        {"Data reply", {{MessageClass::Data, 1, {}}}, -1, SessionError::WrongClass, 3},
        {"other command", {{MessageClass::Ack, 2, {}}}, -1, SessionError::WrongCommand, 3},
        {"Ack with a payload", {{MessageClass::Ack, 1, Bytes(800, 1)}}, -1, 0, 3},
        {"send fails at chunk 1", {{MessageClass::Ack, 1, {}}}, 1, SessionError::NoDevice, 2},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        WriteRig rig(700, 255, 3, row.replies);
        rig.device.failSendAt = row.failSendAt;
        rig.s.error = 99;
        EXPECT_EQ(rig.s.run(&rig.device), row.error == 0);
        EXPECT_EQ(rig.s.error, row.error == 0 ? 99 : row.error);
        EXPECT_EQ(rig.device.sent.size(), row.sent);
    }
}

TEST(BlockWrite, BuildChunkStaysInsideTheBlock)
{
    BlockWriteSession s;
    s.chunkSize = 255;
    s.totalChunks = 2;
    const Bytes block = pattern(300);
    uint8_t out[768] = {};
    // 16843010 * 255 is 254 modulo 2^32: a 32-bit position would land inside.
    unsigned cursor = 16843010;
    EXPECT_EQ(s.buildChunk(out, block, cursor), 0);
    EXPECT_EQ(cursor, 16843010u);
    cursor = 2;
    EXPECT_EQ(s.buildChunk(out, block, cursor), 0);
    cursor = 1;
    EXPECT_EQ(s.buildChunk(nullptr, block, cursor), 0);
    EXPECT_EQ(s.buildChunk(out, block, cursor), 3 + 45 + 1);
    EXPECT_EQ(cursor, 2u);

    s.chunkSize = 0;
    s.totalChunks = 1;
    cursor = 1;
    EXPECT_EQ(s.buildChunk(out, pattern(10), cursor), 0) << "chunk size 0 has one chunk";
    cursor = 0;
    EXPECT_EQ(s.buildChunk(out, block, cursor), 0) << "300 bytes do not fit one length byte";
    EXPECT_EQ(cursor, 0u);
}

TEST(BlockRequest, FrameBuilder)
{
    const uint8_t a = 0x81, b = 7;
    uint8_t out[1024];
    EXPECT_EQ(buildBlockReadFrame(3, &a, &b, out), 10);
    EXPECT_EQ(Bytes(out, out + 10), testing_device::frame(3, MessageClass::Get, 1, {0x81, 7}));
    EXPECT_EQ(buildBlockReadFrame(3, nullptr, &b, out), 0);
    EXPECT_EQ(buildBlockReadFrame(3, &a, nullptr, out), 0);
    EXPECT_EQ(buildBlockReadFrame(3, &a, &b, nullptr), 0);
    EXPECT_EQ(buildBlockReadFrame(-1, &a, &b, out), 0);
    EXPECT_EQ(buildBlockReadFrame(64, &a, &b, out), 0);
}

TEST(BlockRead, AssemblesTheChunksAndChecksEach)
{
    const Bytes block = pattern(600, 5);
    using Chunks = std::vector<Reply>;
    auto data = [](const Bytes& p) { return Reply{MessageClass::Data, 1, p}; };
    struct Case
    {
        const char* name;
        std::function<void(Chunks&)> change;
        int error;
        uint32_t addressA = 0x21;
    };
    const Case rows[] = {
        {"in order", nullptr, 0},
        {"a chunk padded to 768 bytes", [](Chunks& c) { c[1].payload.resize(768, 0); }, 0},
        {"a chunk of 769 bytes", [](Chunks& c) { c[1].payload.resize(769, 0); }, SessionError::BadLength},
        {"chunk 1 missing", [](Chunks& c) { c.erase(c.begin() + 1); }, SessionError::ChunkOutOfOrder},
        {"chunk 0 repeated", [&](Chunks& c) { c.insert(c.begin() + 1, c[0]); },
         SessionError::ChunkOutOfOrder},
        {"chunks 1 and 2 swapped", [](Chunks& c) { std::swap(c[1], c[2]); }, SessionError::ChunkOutOfOrder},
        {"chunk 1 names another total", [](Chunks& c) { c[1].payload[0] = 4; },
         SessionError::ChunkOutOfOrder},
        {"the first reply is chunk 1", [](Chunks& c) { c.erase(c.begin()); }, SessionError::ChunkOutOfOrder},
        {"a total of 0", [](Chunks& c) { c[0].payload[0] = 0; }, SessionError::ChunkOutOfOrder},
        {"address A differs", [](Chunks& c) { c[0].payload[2] ^= 1; }, SessionError::AddressMismatch},
        {"address B differs", [](Chunks& c) { c[0].payload[3] ^= 1; }, SessionError::AddressMismatch},
        {"address A above 255", nullptr, SessionError::AddressMismatch, 0x121},
        {"block sum differs", [](Chunks& c) { c[2].payload.back() ^= 1; }, SessionError::ChecksumMismatch},
        {"length byte past the payload", [](Chunks& c) { ++c[2].payload[2]; }, SessionError::BadLength},
        {"chunk 0's length past the payload", [](Chunks& c) { c[0].payload.resize(100); },
         SessionError::BadLength},
        {"the last chunk without its sum", [](Chunks& c) { c[2].payload.pop_back(); },
         SessionError::BadLength},
        {"an empty chunk", [](Chunks& c) { c[1].payload.clear(); }, SessionError::BadLength},
        {"silence after chunk 1", [](Chunks& c) { c.pop_back(); }, SessionError::NoReply},
        {"chunk 2 is an Ack", [](Chunks& c) { c[2].cls = MessageClass::Ack; }, SessionError::WrongClass},
        {"chunk 2 of command 2", [](Chunks& c) { c[2].cmd = 2; }, SessionError::WrongCommand},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        Chunks replies;
        for (const Bytes& p : blockChunks(block, 255, 0x21, 0x80))
            replies.push_back(data(p));
        if (row.change)
            row.change(replies);
        ScriptedDevice device;
        answerLast(
            device, [](const Bytes&) { return true; }, replies);
        BlockReadSession s;
        s.timeoutMs = noWait;
        s.addressA = row.addressA;
        s.addressB = 0x80;
        s.block = {9, 9};
        EXPECT_EQ(s.run(&device), row.error == 0);
        EXPECT_EQ(s.error, row.error);
        EXPECT_EQ(s.block, row.error == 0 ? block : Bytes({9, 9}));
        ASSERT_EQ(device.sent.size(), 1u);
        EXPECT_EQ(device.sent[0],
                  testing_device::frame(1, MessageClass::Get, 1, {uint8_t(row.addressA), 0x80}));
    }
}

TEST(BlockRead, SingleChunkBlocksAndRefusals)
{
    for (size_t size : {size_t(1), size_t(255)})
    {
        const Bytes block = pattern(size);
        ScriptedDevice device;
        std::vector<Reply> replies;
        for (const Bytes& p : blockChunks(block, 255, 1, 2))
            replies.push_back({MessageClass::Data, 1, p});
        answerLast(
            device, [](const Bytes&) { return true; }, replies);
        BlockReadSession s;
        s.timeoutMs = noWait;
        s.addressA = 1;
        s.addressB = 2;
        EXPECT_TRUE(s.run(&device));
        EXPECT_EQ(s.block, block);
    }
    ScriptedDevice device;
    device.failSendAt = 0;
    BlockReadSession s;
    EXPECT_FALSE(s.run(&device));
    EXPECT_EQ(s.error, SessionError::NoDevice);
    EXPECT_FALSE(s.doRun(&device, -1));
    EXPECT_EQ(s.error, SessionError::InvalidRequest);
}

TEST(Transfers, ChunkDelayAfterEachChunkOf45AndBeforeEachChunkOf1)
{
    // Each pause as the number of frames sent before it and its length. The
    // Ack comes only once the last frame and the last pause have both
    // happened, so a transfer that waits for it earlier gets no reply.
    using Pauses = std::vector<std::pair<size_t, int64_t>>;
    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<MVDeviceSession>(ChunkSleep)> make;
        uint8_t command;
        int failSendAt;
        Pauses pauses;
        size_t sent;
        int error;
    };
    constexpr int64_t delay = 7;
    auto chunked = [](size_t size)
    {
        return [size](ChunkSleep sleep)
        {
            auto s = std::make_unique<ChunkedDataSession>();
            s->data = pattern(size);
            s->chunkDelayMs = delay;
            s->sleepFor = std::move(sleep);
            return std::unique_ptr<MVDeviceSession>(std::move(s));
        };
    };
    auto blockWrite = [](size_t size, uint32_t chunkSize, int total)
    {
        const auto block = std::make_shared<Bytes>(pattern(size, 3)); // kept alive by the table
        return [=](ChunkSleep sleep)
        {
            auto s = std::make_unique<BlockWriteSession>();
            s->block = block.get();
            s->chunkSize = chunkSize;
            s->totalChunks = total;
            s->chunkDelayMs = delay;
            s->sleepFor = std::move(sleep);
            return std::unique_ptr<MVDeviceSession>(std::move(s));
        };
    };
    const Case rows[] = {
        {"ChunkedData, 3 full chunks", chunked(764), 45, -1, {{1, delay}, {2, delay}, {3, delay}}, 3, 0},
        {"ChunkedData, one chunk", chunked(2), 45, -1, {{1, delay}}, 1, 0},
        {"ChunkedData, send fails at chunk 1", chunked(600), 45, 1, {{1, delay}}, 2, SessionError::NoDevice},
        {"BlockWrite, 3 chunks", blockWrite(700, 255, 3), 1, -1, {{0, delay}, {1, delay}, {2, delay}}, 3, 0},
        {"BlockWrite, chunk size 0", blockWrite(200, 0, 1), 1, -1, {{0, delay}}, 1, 0},
        {"BlockWrite, send fails at chunk 1",
         blockWrite(700, 255, 3),
         1,
         1,
         {{0, delay}, {1, delay}},
         2,
         SessionError::NoDevice},
    };
    for (const Case& row : rows)
    {
        SCOPED_TRACE(row.name);
        ScriptedDevice device;
        device.failSendAt = row.failSendAt;
        Pauses pauses;
        auto ackWhenDone = [&]
        {
            if (device.sent.size() == row.sent && pauses.size() == row.pauses.size())
                device.deliver(
                    testing_device::frame(device.sent.back()[2], MessageClass::Ack, row.command, {}));
        };
        device.onSend = [&](const Bytes&) { ackWhenDone(); };
        auto session = row.make(
            [&](int64_t ms)
            {
                pauses.emplace_back(device.sent.size(), ms);
                ackWhenDone();
            });
        session->timeoutMs = noWait;
        EXPECT_EQ(session->run(&device), row.error == 0);
        EXPECT_EQ(session->error, row.error);
        EXPECT_EQ(device.sent.size(), row.sent);
        EXPECT_EQ(pauses, row.pauses);
    }

    // Unless replaced, the pauses block the calling thread.
    for (const ChunkSleep& sleep : {ChunkedDataSession().sleepFor, BlockWriteSession().sleepFor})
    {
        const auto* function = sleep.target<void (*)(int64_t)>();
        ASSERT_NE(function, nullptr);
        EXPECT_EQ(*function, &sleepMilliseconds);
    }
}

TEST(Transfers, EveryTransferAgainstEveryReplyFault)
{
    using cases::Fault;
    const Fault faults[] = {Fault::None,        Fault::Silent,       Fault::WrongClass, Fault::WrongCommand,
                            Fault::BadChecksum, Fault::WrongSession, Fault::Decodes768, Fault::Decodes769,
                            Fault::Decodes889,  Fault::Over1024,     Fault::SendFails};
    for (const cases::TransferCase& c : cases::transferCases())
        for (Fault fault : faults)
        {
            SCOPED_TRACE(c.name + " / " + cases::faultName(fault));
            ScriptedDevice device;
            // A failing send: a write's second chunk when it has one, else the
            // first request; the transfer stops there.
            const size_t failAt = c.requests.size() > 1 ? 1 : 0;
            if (fault == Fault::SendFails)
                device.failSendAt = int(failAt);
            device.onSend = [&](const Bytes& request)
            {
                if (device.sent.size() != c.requests.size())
                    return;
                for (const Bytes& payload : c.replies)
                    for (const Bytes& reply :
                         cases::faultyReply(request[2], c.command, c.replyClass, payload, fault))
                        device.deliver(reply);
            };
            auto session = c.make();
            session->timeoutMs = noWait;
            session->error = 99;
            const bool ok = session->run(&device);
            cases::checkTransfer(c, *session, ok, cases::transferCode(c, fault));

            const size_t sent = fault == Fault::SendFails ? failAt + 1 : c.requests.size();
            std::vector<Bytes> transcript;
            for (size_t i = 0; i < sent; ++i)
                transcript.push_back(testing_device::frame(1, c.requestClass, c.command, c.requests[i]));
            EXPECT_EQ(device.sent, transcript);
        }
}
