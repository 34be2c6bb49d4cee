#include "emulator/AmpCommandSet.h"

#include "emulator/AmpMessagePack.h"
#include "emulator/Amplifier.h"

#include <algorithm>
#include <cstring>

namespace emu
{

namespace
{

// The amplifier's command numbers.
const uint8_t knownCommands[] = {1,  2,  3,  4,  5,  6,  17, 21, 22, 23, 24, 25, 32, 33, 34, 35, 36,
                                 40, 41, 44, 45, 49, 50, 51, 56, 57, 61, 63, 80, 81, 82, 96, 97, 98};

uint8_t byteSum(const std::vector<uint8_t>& bytes, std::size_t from, std::size_t to)
{
    uint8_t sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum = uint8_t(sum + bytes[i]);
    return sum;
}

std::size_t recordSize(uint8_t command)
{
    return command == 2 ? 6 : command == 3 ? 10 : 16;
}

// The key a record's wire bytes are stored under.
uint32_t keyOf(uint8_t command, const uint8_t* entry)
{
    if (command == 24)
        return uint32_t(entry[0]) | uint32_t(entry[1]) << 8 | uint32_t(entry[2]) << 16 |
               uint32_t(entry[3]) << 24;
    return AmpCommandSet::recordKey(entry[0], entry[1]);
}

} // namespace

void AmpCommandSet::setStringListener(StringListener listener)
{
    std::lock_guard<std::mutex> lock(mutex);
    stringListener = std::move(listener);
}

void AmpCommandSet::setFaults(uint8_t command, const CommandReplyFaults& commandFaults)
{
    std::lock_guard<std::mutex> lock(mutex);
    faults[command] = commandFaults;
}

void AmpCommandSet::setBlockReadFaults(const BlockReadFaults& readFaults)
{
    std::lock_guard<std::mutex> lock(mutex);
    blockReadFaults = readFaults;
}

void AmpCommandSet::clearFaults()
{
    std::lock_guard<std::mutex> lock(mutex);
    faults.clear();
    blockReadFaults = BlockReadFaults();
}

void AmpCommandSet::setBlockReadChunkSize(int size)
{
    std::lock_guard<std::mutex> lock(mutex);
    blockReadChunkSize = std::clamp(size, 1, 255);
}

bool AmpCommandSet::handle(const std::vector<uint8_t>& message, Amplifier& amp)
{
    if (message.empty())
        return false;
    if (message.front() != 0xF0)
    {
        std::lock_guard<std::mutex> lock(mutex);
        channelMessages.push_back(message);
        return true;
    }
    ParsedFrame request;
    if (!parseFrame(message, request) || std::find(std::begin(knownCommands), std::end(knownCommands),
                                                   request.command) == std::end(knownCommands))
        return false;
    if (request.messageClass == classAltSet && request.command != 2 && request.command != 3 &&
        request.command != 24)
        return false;
    if (request.messageClass != classSet && request.messageClass != classGet &&
        request.messageClass != classAltSet)
        return false;

    std::vector<Reply> replies;
    std::string storedString;
    CommandReplyFaults commandFaults;
    StringListener listener;
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back({request.sessionId, request.messageClass, request.command, request.payload});
        replies = answer(request, storedString);
        const auto found = faults.find(request.command);
        if (found != faults.end())
            commandFaults = found->second;
        listener = stringListener;
    }
    if (listener && request.messageClass == classSet && (request.command == 17 || request.command == 35))
        listener(request.command, storedString);
    for (const Reply& reply : replies)
        send(amp, request, reply, commandFaults);
    return true;
}

void AmpCommandSet::send(Amplifier& amp, const ParsedFrame& request, const Reply& reply,
                         const CommandReplyFaults& f) const
{
    if (f.silent)
        return;
    std::vector<uint8_t> payload = reply.payload;
    if (f.padPayloadTo > 0 && payload.size() < std::size_t(f.padPayloadTo))
        payload.resize(std::size_t(f.padPayloadTo), 0);
    const uint8_t sessionId = f.wrongSession ? uint8_t((request.sessionId + 1) % 64) : request.sessionId;
    uint8_t messageClass = reply.messageClass;
    if (f.wrongClass)
        messageClass = messageClass == classData ? classAck : classData;
    const uint8_t command = uint8_t(request.command + (f.wrongCommand ? 1 : 0));
    std::vector<uint8_t> frame = makeFrame(sessionId, messageClass, command, payload);
    if (f.badChecksum)
        frame[3] ^= 0x01;
    if (f.delayMs > 0)
        amp.schedule(f.delayMs, [&amp, frame] { amp.reply(frame); });
    else
        amp.reply(frame);
}

std::vector<AmpCommandSet::Reply> AmpCommandSet::answer(const ParsedFrame& request, std::string& storedString)
{
    const uint8_t command = request.command;
    const std::vector<uint8_t>& p = request.payload;
    MpReader reader(p);

    if (command == 2 || command == 3 || command == 24)
        return answerRecords(request);
    if (command == 1)
        return answerBlock(request);
    if (command == 45)
        return answerChunked(request);

    if (request.messageClass == classSet)
    {
        const std::vector<Reply> ack{{classAck, {}}};
        switch (command)
        {
            case 4:
            {
                std::string module;
                uint64_t index = 0;
                MpItem value;
                if (reader.nextString(module) && reader.nextUnsigned(index) && reader.next(value) &&
                    value.kind == MpItem::Kind::Float)
                    dspValues[{module, uint32_t(index)}] = value.real;
                return {}; // never answered
            }
            case 25:
                return {};
            case 5:
            {
                pairs.clear();
                const uint32_t n = readLe32(p, 0);
                for (std::size_t at = 4; n > 0 && at + 1 < p.size() && pairs.size() < n; at += 2)
                    pairs.emplace_back(p[at], p[at + 1]);
                return ack;
            }
            case 17:
            case 23:
            case 35:
                if (reader.nextString(storedString))
                    strings[command] = storedString;
                return ack;
            case 21:
            {
                std::string module;
                MpItem on;
                if (reader.nextString(module) && reader.next(on) && on.kind == MpItem::Kind::Boolean)
                    dspSwitches[module] = on.flag;
                return ack;
            }
            case 34:
            {
                const uint32_t n = readLe32(p, 4);
                if (p.size() == std::size_t(n) + 9)
                {
                    blob.value = readLe32(p, 0);
                    blob.data.assign(p.begin() + 8, p.begin() + 8 + long(n));
                    blob.sumMatched = byteSum(p, 8, 8 + n) == p.back();
                }
                return ack;
            }
            case 41:
            {
                const uint32_t n = readLe32(p, 0);
                if (p.size() == std::size_t(n) + 4)
                    irLoaderText.assign(p.begin() + 4, p.end());
                return ack;
            }
            case 50:
                if (!p.empty())
                    byte50 = p[0];
                return ack;
            default:
                return ack;
        }
    }

    if (request.messageClass != classGet)
        return {};
    const int lengthDelta = [&]
    {
        const auto found = faults.find(command);
        return found == faults.end() ? 0 : found->second.lengthDelta;
    }();
    std::vector<uint8_t> out;
    switch (command)
    {
        case 4:
        {
            std::string module;
            uint64_t index = 0;
            if (!reader.nextString(module) || !reader.nextUnsigned(index))
                return {};
            const auto found = dspValues.find({module, uint32_t(index)});
            mpWriteFloat(out, found == dspValues.end() ? 0.0f : found->second);
            break;
        }
        case 21:
        {
            std::string module;
            if (!reader.nextString(module))
                return {};
            const auto found = dspSwitches.find(module);
            mpWriteBoolean(out, found != dspSwitches.end() && found->second);
            break;
        }
        case 17:
        case 23:
        case 35:
            out.assign(strings[command].begin(), strings[command].end());
            break;
        case 22:
        {
            const auto found = query22.find(readLe32(p, 0));
            out.push_back(found == query22.end() ? 0 : found->second);
            break;
        }
        case 25:
            out.push_back(value25);
            break;
        case 32:
            appendLe32(out, values32[0]);
            appendLe32(out, values32[1]);
            break;
        case 33:
            appendLe32(out, value33);
            break;
        case 36:
        {
            MpItem header;
            if (!reader.next(header) || header.kind != MpItem::Kind::Array)
                return {};
            std::vector<uint32_t> values;
            for (uint64_t i = 0; i < header.number; ++i)
            {
                uint64_t key = 0;
                if (!reader.nextUnsigned(key))
                    return {};
                const auto found = int32Values.find(uint32_t(key));
                values.push_back(found == int32Values.end() ? 0 : found->second);
            }
            if (lengthDelta < 0)
                values.resize(values.size() - std::min(values.size(), std::size_t(-lengthDelta)));
            else
                values.resize(values.size() + std::size_t(lengthDelta), 0);
            mpWriteArrayHeader(out, uint32_t(values.size()));
            for (uint32_t value : values)
                mpWriteUnsigned(out, value);
            break;
        }
        case 40:
            for (uint32_t value : values40)
                appendLe32(out, value);
            break;
        case 50:
            out.assign(std::size_t(std::max(0, 1 + lengthDelta)), byte50);
            break;
        default:
            return {};
    }
    return {{classData, out}};
}

std::vector<AmpCommandSet::Reply> AmpCommandSet::answerRecords(const ParsedFrame& request)
{
    const uint8_t command = request.command;
    const std::vector<uint8_t>& p = request.payload;
    const std::size_t size = recordSize(command);
    const uint32_t n = readLe32(p, 0);
    auto& stored = records[command];

    if (request.messageClass == classSet || request.messageClass == classAltSet)
    {
        if (p.size() == 4 + std::size_t(n) * size)
            for (std::size_t at = 4; at < p.size(); at += size)
                stored[keyOf(command, p.data() + at)].assign(p.begin() + long(at),
                                                             p.begin() + long(at + size));
        const uint8_t replyClass = request.messageClass == classSet ? classAck
                                   : command == 24                  ? classAltSet
                                                                    : classAltAck;
        return {{replyClass, {}}};
    }

    // A Get: the stored records of the keys named, unknown keys skipped.
    const std::size_t keySize = command == 24 ? 4 : 2;
    if (p.size() != 4 + std::size_t(n) * keySize)
        return {};
    std::vector<uint8_t> body;
    uint32_t count = 0;
    for (std::size_t at = 4; at < p.size(); at += keySize)
    {
        const auto found = stored.find(keyOf(command, p.data() + at));
        if (found == stored.end())
            continue;
        body.insert(body.end(), found->second.begin(), found->second.end());
        ++count;
    }
    CommandReplyFaults f;
    if (const auto found = faults.find(command); found != faults.end())
        f = found->second;
    uint32_t claimed = count + uint32_t(f.lengthDelta);
    if (f.wrappingCount)
        claimed = count + uint32_t((uint64_t(1) << 32) / (size & (~size + 1)));
    std::vector<uint8_t> out;
    appendLe32(out, claimed);
    out.insert(out.end(), body.begin(), body.end());
    return {{classData, out}};
}

std::vector<AmpCommandSet::Reply> AmpCommandSet::answerBlock(const ParsedFrame& request)
{
    const std::vector<uint8_t>& p = request.payload;
    if (request.messageClass == classGet)
        return p.size() == 2 ? readBlock(p[0], p[1]) : std::vector<Reply>{};
    if (request.messageClass != classSet || p.size() < 3)
        return {};

    // One chunk of a write: total, index, [A, B on chunk 0], L, data, [sum on the last].
    const uint8_t total = p[0];
    const uint8_t index = p[1];
    std::size_t at = 2;
    Transfer& transfer = blockWrites[request.sessionId];
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
        blockWrites.erase(request.sessionId);
        return {};
    }
    transfer.bytes.insert(transfer.bytes.end(), p.begin() + long(at), p.begin() + long(at + length));
    ++transfer.next;
    if (!last)
        return {};
    if (byteSum(transfer.bytes, 0, transfer.bytes.size()) == p.back())
        blocks[{transfer.addressA, transfer.addressB}] = transfer.bytes;
    blockWrites.erase(request.sessionId);
    return {{classAck, {}}};
}

std::vector<AmpCommandSet::Reply> AmpCommandSet::readBlock(uint8_t addressA, uint8_t addressB)
{
    const auto found = blocks.find({addressA, addressB});
    if (found == blocks.end() || found->second.empty())
        return {};
    const std::vector<uint8_t>& block = found->second;
    const std::size_t chunkSize = std::size_t(blockReadChunkSize);
    const std::size_t total = (block.size() + chunkSize - 1) / chunkSize;
    std::vector<Reply> chunks;
    for (std::size_t index = 0; index < total; ++index)
    {
        std::vector<uint8_t> chunk{uint8_t(total), uint8_t(index)};
        if (index == 0)
        {
            chunk.push_back(addressA);
            chunk.push_back(addressB);
        }
        const std::size_t from = index * chunkSize;
        const std::size_t length = std::min(chunkSize, block.size() - from);
        chunk.push_back(uint8_t(length));
        chunk.insert(chunk.end(), block.begin() + long(from), block.begin() + long(from + length));
        if (index + 1 == total)
            chunk.push_back(byteSum(block, 0, block.size()));
        chunks.push_back({classData, chunk});
    }

    const BlockReadFaults f = blockReadFaults;
    const std::size_t k = std::size_t(std::max(0, f.chunk));
    using Kind = BlockReadFaults::Kind;
    if (k < chunks.size())
    {
        std::vector<uint8_t>& chunk = chunks[k].payload;
        switch (f.kind)
        {
            case Kind::MissingChunk:
                chunks.erase(chunks.begin() + long(k));
                break;
            case Kind::RepeatedChunk:
                chunks.insert(chunks.begin() + long(k) + 1, chunks[k]);
                break;
            case Kind::SwappedChunks:
                if (k + 1 < chunks.size())
                    std::swap(chunks[k], chunks[k + 1]);
                break;
            case Kind::WrongTotal:
                ++chunk[0];
                break;
            case Kind::WrongAddress:
                ++chunks[0].payload[2];
                break;
            case Kind::WrongSum:
                ++chunks.back().payload.back();
                break;
            case Kind::LengthPastPayload:
                ++chunk[k == 0 ? 4 : 2];
                break;
            case Kind::SilentAfter:
                chunks.resize(k + 1);
                break;
            case Kind::None:
                break;
        }
    }
    return chunks;
}

std::vector<AmpCommandSet::Reply> AmpCommandSet::answerChunked(const ParsedFrame& request)
{
    const std::vector<uint8_t>& p = request.payload;
    if (request.messageClass != classSet || p.size() < 4 || p.size() != std::size_t(p[2]) + 3)
        return {};
    const uint8_t total = p[0];
    const uint8_t index = p[1];
    Transfer& transfer = chunkedWrites[request.sessionId];
    if (index == 0)
        transfer = Transfer{total, 0, 0, 0, {}};
    if (transfer.next != index || transfer.total != total)
    {
        chunkedWrites.erase(request.sessionId);
        return {};
    }
    transfer.bytes.insert(transfer.bytes.end(), p.begin() + 3, p.end());
    ++transfer.next;
    if (index + 1 != total)
        return {};
    // The last data byte is the sum of the others.
    const std::vector<uint8_t>& bytes = transfer.bytes;
    if (byteSum(bytes, 0, bytes.size() - 1) == bytes.back())
        chunkedBlock.assign(bytes.begin(), bytes.end() - 1);
    else
        ++chunkedSumFailures;
    chunkedWrites.erase(request.sessionId);
    return {{classAck, {}}};
}

std::vector<AmpRequest> AmpCommandSet::getRequests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
}

void AmpCommandSet::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    requests.clear();
    channelMessages.clear();
}

std::vector<std::vector<uint8_t>> AmpCommandSet::getChannelMessages() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return channelMessages;
}

float AmpCommandSet::getDspValue(const std::string& module, uint32_t parameter) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = dspValues.find({module, parameter});
    return found == dspValues.end() ? 0.0f : found->second;
}

void AmpCommandSet::setDspValue(const std::string& module, uint32_t parameter, float value)
{
    std::lock_guard<std::mutex> lock(mutex);
    dspValues[{module, parameter}] = value;
}

bool AmpCommandSet::getDspSwitch(const std::string& module) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = dspSwitches.find(module);
    return found != dspSwitches.end() && found->second;
}

void AmpCommandSet::setDspSwitch(const std::string& module, bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    dspSwitches[module] = on;
}

std::string AmpCommandSet::getString(uint8_t command) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = strings.find(command);
    return found == strings.end() ? std::string() : found->second;
}

std::map<uint32_t, std::vector<uint8_t>> AmpCommandSet::getRecords(uint8_t command) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = records.find(command);
    return found == records.end() ? std::map<uint32_t, std::vector<uint8_t>>() : found->second;
}

void AmpCommandSet::setRecord(uint8_t command, uint32_t key, const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    records[command][key] = bytes;
}

std::vector<std::pair<uint8_t, uint8_t>> AmpCommandSet::getPairs() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return pairs;
}

AmpCommandSet::Blob AmpCommandSet::getBlob() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return blob;
}

void AmpCommandSet::setQuery22Value(uint32_t query, uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    query22[query] = value;
}

void AmpCommandSet::setValue25(uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    value25 = value;
}

void AmpCommandSet::setValues32(uint32_t first, uint32_t second)
{
    std::lock_guard<std::mutex> lock(mutex);
    values32[0] = first;
    values32[1] = second;
}

void AmpCommandSet::setValue33(uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    value33 = value;
}

void AmpCommandSet::setValues40(uint32_t first, uint32_t second, uint32_t third)
{
    std::lock_guard<std::mutex> lock(mutex);
    values40[0] = first;
    values40[1] = second;
    values40[2] = third;
}

uint8_t AmpCommandSet::getByte50() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return byte50;
}

void AmpCommandSet::setByte50(uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    byte50 = value;
}

void AmpCommandSet::setInt32Value(uint32_t key, uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    int32Values[key] = value;
}

std::vector<uint8_t> AmpCommandSet::getBlock(uint8_t addressA, uint8_t addressB) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = blocks.find({addressA, addressB});
    return found == blocks.end() ? std::vector<uint8_t>() : found->second;
}

void AmpCommandSet::setBlock(uint8_t addressA, uint8_t addressB, const std::vector<uint8_t>& block)
{
    std::lock_guard<std::mutex> lock(mutex);
    blocks[{addressA, addressB}] = block;
}

std::vector<uint8_t> AmpCommandSet::getChunkedBlock() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return chunkedBlock;
}

int AmpCommandSet::getChunkedSumFailures() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return chunkedSumFailures;
}

std::string AmpCommandSet::getIrLoaderText() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return irLoaderText;
}

} // namespace emu
