#include "emulator/AmpCommandAnswers.h"

#include "emulator/AmpCommandSet.h"
#include "emulator/AmpMessagePack.h"

#include <algorithm>
#include <iterator>

namespace emu
{

namespace
{

using Bytes = std::vector<uint8_t>;
using Transfer = AmpCommandState::Transfer;

uint8_t byteSum(const Bytes& bytes, std::size_t from, std::size_t to)
{
    uint8_t sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum = uint8_t(sum + bytes[i]);
    return sum;
}

// The key a record's wire bytes (or a Get's key) at bytes[at] stand for.
uint32_t keyAt(uint8_t command, const Bytes& bytes, std::size_t at)
{
    return command == 24 ? readLe32At(bytes, at) : AmpCommandSet::recordKey(bytes[at], bytes[at + 1]);
}

AmpAnswer reply(uint8_t messageClass, Bytes payload = {})
{
    return {{{messageClass, std::move(payload)}}, {}};
}

AmpAnswer ack()
{
    return reply(classAck);
}

AmpAnswer data(Bytes payload)
{
    return reply(classData, std::move(payload));
}

AmpAnswer acknowledge(const ParsedFrame&, AmpCommandState&)
{
    return ack();
}

AmpAnswer unanswered(const ParsedFrame&, AmpCommandState&)
{
    return {};
}

// 1: blocks per address pair.

// One chunk of a write: total, index, [A, B on chunk 0], L, data, [sum on
// the last]. The last chunk is acknowledged, and the block stored when its
// sum holds.
AmpAnswer writeBlockChunk(const ParsedFrame& request, AmpCommandState& state)
{
    const Bytes& p = request.payload;
    if (p.size() < 3)
        return {};
    const uint8_t total = p[0];
    const uint8_t index = p[1];
    std::size_t at = 2;
    Transfer& transfer = state.blockWrites[request.sessionId];
    if (index == 0)
    {
        if (p.size() < 5)
            return {};
        transfer = Transfer{total, 0, p[2], p[3], {}};
        at = 4;
    }
    const bool last = index + 1 == total;
    const std::size_t length = p[at++];
    if (transfer.next != index || transfer.total != total || p.size() != at + length + (last ? 1 : 0))
    {
        state.blockWrites.erase(request.sessionId);
        return {};
    }
    transfer.bytes.insert(transfer.bytes.end(), p.begin() + long(at), p.begin() + long(at + length));
    ++transfer.next;
    if (!last)
        return {};
    if (byteSum(transfer.bytes, 0, transfer.bytes.size()) == p.back())
        state.blocks[{transfer.addressA, transfer.addressB}] = transfer.bytes;
    state.blockWrites.erase(request.sessionId);
    return ack();
}

// All chunks of the block at A, B in a row, in the same layout as a write;
// an unknown address is not answered.
AmpAnswer readBlock(const ParsedFrame& request, AmpCommandState& state)
{
    const Bytes& p = request.payload;
    if (p.size() != 2)
        return {};
    const auto found = state.blocks.find({p[0], p[1]});
    if (found == state.blocks.end() || found->second.empty())
        return {};
    const Bytes& block = found->second;
    const std::size_t chunkSize = std::size_t(state.blockReadChunkSize);
    const std::size_t total = (block.size() + chunkSize - 1) / chunkSize;
    AmpAnswer answer;
    for (std::size_t index = 0; index < total; ++index)
    {
        Bytes chunk{uint8_t(total), uint8_t(index)};
        if (index == 0)
            chunk.insert(chunk.end(), {p[0], p[1]});
        const std::size_t from = index * chunkSize;
        const std::size_t length = std::min(chunkSize, block.size() - from);
        chunk.push_back(uint8_t(length));
        chunk.insert(chunk.end(), block.begin() + long(from), block.begin() + long(from + length));
        if (index + 1 == total)
            chunk.push_back(byteSum(block, 0, block.size()));
        answer.replies.push_back({classData, chunk});
    }
    return answer;
}

// 2, 3, 24: records per key; a Set carries a u32 count and the records.

void storeRecordsOf(const ParsedFrame& request, AmpCommandState& state)
{
    const Bytes& p = request.payload;
    const std::size_t size = recordSize(request.command);
    if (p.size() != 4 + std::size_t(readLe32At(p, 0)) * size)
        return;
    auto& stored = state.records[request.command];
    for (std::size_t at = 4; at < p.size(); at += size)
        stored[keyAt(request.command, p, at)].assign(p.begin() + long(at), p.begin() + long(at + size));
}

AmpAnswer storeRecords(const ParsedFrame& request, AmpCommandState& state)
{
    storeRecordsOf(request, state);
    return ack();
}

AmpAnswer storeRecordsAltAck(const ParsedFrame& request, AmpCommandState& state)
{
    storeRecordsOf(request, state);
    return reply(classAltAck);
}

AmpAnswer storeRecordsAltSet(const ParsedFrame& request, AmpCommandState& state)
{
    storeRecordsOf(request, state);
    return reply(classAltSet);
}

// A u32 count and keys (2 bytes, 4 for 24): the count and the stored records
// of the keys named, unknown keys skipped.
AmpAnswer readRecords(const ParsedFrame& request, AmpCommandState& state)
{
    const uint8_t command = request.command;
    const Bytes& p = request.payload;
    const std::size_t keySize = command == 24 ? 4 : 2;
    if (p.size() != 4 + std::size_t(readLe32At(p, 0)) * keySize)
        return {};
    const auto& stored = state.records[command];
    Bytes body;
    uint32_t count = 0;
    for (std::size_t at = 4; at < p.size(); at += keySize)
    {
        const auto found = stored.find(keyAt(command, p, at));
        if (found == stored.end())
            continue;
        body.insert(body.end(), found->second.begin(), found->second.end());
        ++count;
    }
    Bytes out;
    appendLe32(out, count);
    out.insert(out.end(), body.begin(), body.end());
    return data(out);
}

// 4, 21: DSP values per module and parameter, switches per module.

AmpAnswer setDspValue(const ParsedFrame& request, AmpCommandState& state)
{
    MpReader reader(request.payload);
    std::string module;
    uint64_t index = 0;
    MpItem value;
    if (reader.nextString(module) && reader.nextUnsigned(index) && reader.next(value) &&
        value.kind == MpItem::Kind::Float)
        state.dspValues[{module, uint32_t(index)}] = value.real;
    return {}; // never answered
}

AmpAnswer getDspValue(const ParsedFrame& request, AmpCommandState& state)
{
    MpReader reader(request.payload);
    std::string module;
    uint64_t index = 0;
    if (!reader.nextString(module) || !reader.nextUnsigned(index))
        return {};
    const auto found = state.dspValues.find({module, uint32_t(index)});
    Bytes out;
    mpWriteFloat(out, found == state.dspValues.end() ? 0.0f : found->second);
    return data(out);
}

AmpAnswer setDspSwitch(const ParsedFrame& request, AmpCommandState& state)
{
    MpReader reader(request.payload);
    std::string module;
    MpItem on;
    if (reader.nextString(module) && reader.next(on) && on.kind == MpItem::Kind::Boolean)
        state.dspSwitches[module] = on.flag;
    return ack();
}

AmpAnswer getDspSwitch(const ParsedFrame& request, AmpCommandState& state)
{
    MpReader reader(request.payload);
    std::string module;
    if (!reader.nextString(module))
        return {};
    const auto found = state.dspSwitches.find(module);
    Bytes out;
    mpWriteBoolean(out, found != state.dspSwitches.end() && found->second);
    return data(out);
}

// 17, 23, 35: strings.

// The text as read; stored only when it could be read.
std::string storeStringOf(const ParsedFrame& request, AmpCommandState& state)
{
    std::string text;
    MpReader reader(request.payload);
    if (reader.nextString(text))
        state.strings[request.command] = text;
    return text;
}

AmpAnswer storeString(const ParsedFrame& request, AmpCommandState& state)
{
    storeStringOf(request, state);
    return ack();
}

// 17 and 35: the text also goes to the string listener.
AmpAnswer storeHeardString(const ParsedFrame& request, AmpCommandState& state)
{
    AmpAnswer answer = ack();
    answer.heardString = storeStringOf(request, state);
    return answer;
}

AmpAnswer readString(const ParsedFrame& request, AmpCommandState& state)
{
    const std::string& text = state.strings[request.command];
    return data(Bytes(text.begin(), text.end()));
}

// 5, 34, 41: the last pairs, the last blob, the IR loader text.

AmpAnswer storePairs(const ParsedFrame& request, AmpCommandState& state)
{
    const Bytes& p = request.payload;
    state.pairs.clear();
    const uint32_t n = readLe32At(p, 0);
    for (std::size_t at = 4; n > 0 && at + 1 < p.size() && state.pairs.size() < n; at += 2)
        state.pairs.emplace_back(p[at], p[at + 1]);
    return ack();
}

// value u32, n u32, n data bytes, their sum.
AmpAnswer storeBlob(const ParsedFrame& request, AmpCommandState& state)
{
    const Bytes& p = request.payload;
    const uint32_t n = readLe32At(p, 4);
    if (p.size() == std::size_t(n) + 9)
    {
        state.blob.value = readLe32At(p, 0);
        state.blob.data.assign(p.begin() + 8, p.begin() + 8 + long(n));
        state.blob.sumMatched = byteSum(p, 8, 8 + n) == p.back();
    }
    return ack();
}

AmpAnswer storeIrLoaderText(const ParsedFrame& request, AmpCommandState& state)
{
    const Bytes& p = request.payload;
    if (p.size() == std::size_t(readLe32At(p, 0)) + 4)
        state.irLoaderText.assign(p.begin() + 4, p.end());
    return ack();
}

// 45: a chunked block: total, index, L, data; the last data byte is the sum
// of the others.
AmpAnswer writeChunkedBlock(const ParsedFrame& request, AmpCommandState& state)
{
    const Bytes& p = request.payload;
    if (p.size() < 4 || p.size() != std::size_t(p[2]) + 3)
        return {};
    const uint8_t total = p[0];
    const uint8_t index = p[1];
    Transfer& transfer = state.chunkedWrites[request.sessionId];
    if (index == 0)
        transfer = Transfer{total, 0, 0, 0, {}};
    if (transfer.next != index || transfer.total != total)
    {
        state.chunkedWrites.erase(request.sessionId);
        return {};
    }
    transfer.bytes.insert(transfer.bytes.end(), p.begin() + 3, p.end());
    ++transfer.next;
    if (index + 1 != total)
        return {};
    const Bytes& bytes = transfer.bytes;
    if (byteSum(bytes, 0, bytes.size() - 1) == bytes.back())
        state.chunkedBlock.assign(bytes.begin(), bytes.end() - 1);
    else
        ++state.chunkedSumFailures;
    state.chunkedWrites.erase(request.sessionId);
    return ack();
}

// 22 25 32 33 40 50: the values read; 36: a value per key.

AmpAnswer readQuery22(const ParsedFrame& request, AmpCommandState& state)
{
    const auto found = state.query22.find(readLe32At(request.payload, 0));
    return data({found == state.query22.end() ? uint8_t(0) : found->second});
}

AmpAnswer readValue25(const ParsedFrame&, AmpCommandState& state)
{
    return data({state.value25});
}

AmpAnswer readValues32(const ParsedFrame&, AmpCommandState& state)
{
    Bytes out;
    for (uint32_t value : state.values32)
        appendLe32(out, value);
    return data(out);
}

AmpAnswer readValue33(const ParsedFrame&, AmpCommandState& state)
{
    Bytes out;
    appendLe32(out, state.value33);
    return data(out);
}

AmpAnswer readValues40(const ParsedFrame&, AmpCommandState& state)
{
    Bytes out;
    for (uint32_t value : state.values40)
        appendLe32(out, value);
    return data(out);
}

AmpAnswer storeByte50(const ParsedFrame& request, AmpCommandState& state)
{
    if (!request.payload.empty())
        state.byte50 = request.payload[0];
    return ack();
}

AmpAnswer readByte50(const ParsedFrame&, AmpCommandState& state)
{
    return data({state.byte50});
}

// An array of keys: an array of their values, 0 for unknown keys.
AmpAnswer readInt32Values(const ParsedFrame& request, AmpCommandState& state)
{
    MpReader reader(request.payload);
    MpItem header;
    if (!reader.next(header) || header.kind != MpItem::Kind::Array)
        return {};
    std::vector<uint32_t> values;
    for (uint64_t i = 0; i < header.number; ++i)
    {
        uint64_t key = 0;
        if (!reader.nextUnsigned(key))
            return {};
        const auto found = state.int32Values.find(uint32_t(key));
        values.push_back(found == state.int32Values.end() ? 0 : found->second);
    }
    Bytes out;
    mpWriteArrayHeader(out, uint32_t(values.size()));
    for (uint32_t value : values)
        mpWriteUnsigned(out, value);
    return data(out);
}

struct CommandAnswers
{
    uint8_t command;
    AmpAnswerHandler set;
    AmpAnswerHandler get;
    AmpAnswerHandler altSet; // null: AltSet not taken
};

// Every command the amplifier takes.
const CommandAnswers answers[] = {
    {1, writeBlockChunk, readBlock, nullptr},
    {2, storeRecords, readRecords, storeRecordsAltAck},
    {3, storeRecords, readRecords, storeRecordsAltAck},
    {4, setDspValue, getDspValue, nullptr},
    {5, storePairs, unanswered, nullptr},
    {6, acknowledge, unanswered, nullptr},
    {17, storeHeardString, readString, nullptr},
    {21, setDspSwitch, getDspSwitch, nullptr},
    {22, acknowledge, readQuery22, nullptr},
    {23, storeString, readString, nullptr},
    {24, storeRecords, readRecords, storeRecordsAltSet},
    {25, unanswered, readValue25, nullptr},
    {32, acknowledge, readValues32, nullptr},
    {33, acknowledge, readValue33, nullptr},
    {34, storeBlob, unanswered, nullptr},
    {35, storeHeardString, readString, nullptr},
    {36, acknowledge, readInt32Values, nullptr},
    {40, acknowledge, readValues40, nullptr},
    {41, storeIrLoaderText, unanswered, nullptr},
    {44, acknowledge, unanswered, nullptr},
    {45, writeChunkedBlock, unanswered, nullptr},
    {49, acknowledge, unanswered, nullptr},
    {50, storeByte50, readByte50, nullptr},
    {51, acknowledge, unanswered, nullptr},
    {56, acknowledge, unanswered, nullptr},
    {57, acknowledge, unanswered, nullptr},
    {61, acknowledge, unanswered, nullptr},
    {63, acknowledge, unanswered, nullptr},
    {80, acknowledge, unanswered, nullptr},
    {81, acknowledge, unanswered, nullptr},
    {82, acknowledge, unanswered, nullptr},
    {96, acknowledge, unanswered, nullptr},
    {97, acknowledge, unanswered, nullptr},
    {98, acknowledge, unanswered, nullptr},
};

} // namespace

AmpAnswerHandler findAnswer(uint8_t command, uint8_t messageClass)
{
    const auto row = std::find_if(std::begin(answers), std::end(answers),
                                  [command](const CommandAnswers& r) { return r.command == command; });
    if (row == std::end(answers))
        return nullptr;
    switch (messageClass)
    {
        case classSet:
            return row->set;
        case classGet:
            return row->get;
        case classAltSet:
            return row->altSet;
        default:
            return nullptr;
    }
}

} // namespace emu
