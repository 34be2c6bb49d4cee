#include "commands/RecordLists.h"

#include "commands/ByteSum.h"
#include "common/LittleEndianWord.h"
#include "device/CommandFrame.h"

#include <cstring>

namespace
{

// Writes the count, then each record's entry of entrySize bytes through
// write(entry, record); the payload length.
template <typename Record, typename Write>
int packList(const std::vector<Record>& records, uint8_t* out, std::size_t entrySize, Write write)
{
    if (out == nullptr)
        return 0;
    writeLe32(out, static_cast<uint32_t>(records.size()));
    uint8_t* entry = out + listHeaderSize;
    for (const Record& record : records)
    {
        write(entry, record);
        entry += entrySize;
    }
    return static_cast<int>(entry - out);
}

void putSix(uint8_t* entry, const SixByteRecord& r)
{
    entry[0] = r.first;
    entry[1] = r.second;
    writeLe32(entry + 2, r.value);
}

void putTen(uint8_t* entry, const TenByteRecord& r)
{
    entry[0] = r.first;
    entry[1] = r.second;
    writeLe32(entry + 2, r.valueA);
    writeLe32(entry + 6, r.valueB);
}

void putSixteen(uint8_t* entry, const SixteenByteRecord& r)
{
    writeLe32(entry, r.key);
    std::memcpy(entry + 4, r.data, sizeof r.data);
}

template <typename Record> void putKey(uint8_t* entry, const Record& r)
{
    entry[0] = r.first;
    entry[1] = r.second;
}

bool validFrameTarget(int sessionId, const uint8_t* out)
{
    return out != nullptr && isSessionId(sessionId);
}

// Packs a list of at most maxListEntries(entrySize) entries with pack into a
// zeroed payload buffer and frames it; 0 when refused.
template <typename Record, typename Pack>
int buildListFrame(int sessionId, uint8_t messageClass, uint8_t command, const std::vector<Record>& records,
                   std::size_t entrySize, uint8_t* out, Pack pack)
{
    if (!validFrameTarget(sessionId, out) || records.size() > maxListEntries(entrySize))
        return 0;
    uint8_t payload[payloadBufferSize] = {};
    const int length = pack(records, payload);
    return buildCommandFrame(static_cast<uint8_t>(sessionId), messageClass, command, payload, length, out);
}

template <typename Record, typename Read>
bool parseList(const uint8_t* decoded, int decodedLength, std::vector<Record>& out, Read read)
{
    out.clear();
    if (decoded == nullptr || decodedLength < listHeaderSize)
        return false;
    const uint32_t count = readLe32(decoded);
    if (uint64_t(listHeaderSize) + uint64_t(sizeof(Record)) * count != uint64_t(decodedLength))
        return false;
    out.reserve(count);
    const uint8_t* entry = decoded + listHeaderSize;
    for (uint32_t i = 0; i < count; ++i, entry += sizeof(Record))
        out.push_back(read(entry));
    return true;
}

} // namespace

int packSixByteRecords(const std::vector<SixByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 6, putSix);
}

int packSixByteAltValues(const std::vector<SixByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 6,
                    [](uint8_t* entry, const SixByteRecord& r)
                    {
                        putKey(entry, r);
                        entry[2] = static_cast<uint8_t>(r.value);
                    });
}

int packSixByteKeys(const std::vector<SixByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 2, putKey<SixByteRecord>);
}

int packTenByteRecords(const std::vector<TenByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 10, putTen);
}

int packTenByteAltValues(const std::vector<TenByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 10,
                    [](uint8_t* entry, const TenByteRecord& r)
                    {
                        putKey(entry, r);
                        entry[2] = static_cast<uint8_t>(r.valueA);
                        entry[6] = static_cast<uint8_t>(r.valueB);
                    });
}

int packTenByteKeys(const std::vector<TenByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 2, putKey<TenByteRecord>);
}

int packSixteenByteRecords(const std::vector<SixteenByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 16, putSixteen);
}

int packSixteenByteKeys(const std::vector<SixteenByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 4,
                    [](uint8_t* entry, const SixteenByteRecord& r) { writeLe32(entry, r.key); });
}

int packPairs(const std::vector<FiveByteRecord>& records, uint8_t* out)
{
    return packList(records, out, 2,
                    [](uint8_t* entry, const FiveByteRecord& r)
                    {
                        entry[0] = static_cast<uint8_t>(r.first);
                        entry[1] = r.second;
                    });
}

int packBlob(uint8_t* out, const uint8_t* data, uint32_t length, uint32_t value)
{
    if (out == nullptr || (data == nullptr && length > 0))
        return 0;
    writeLe32(out, value);
    writeLe32(out + 4, length);
    if (length > 0)
        std::memcpy(out + 8, data, length);
    out[8 + length] = sumBytes(data, length);
    return static_cast<int>(length + 9);
}

int buildRecords6SetFrame(int sessionId, const std::vector<SixByteRecord>& records, uint8_t* out)
{
    return buildListFrame(sessionId, MessageClass::Set, CommandId::Records6, records, 6, out,
                          packSixByteRecords);
}

int buildRecords6AltSetFrame(int sessionId, const std::vector<SixByteRecord>& records, uint8_t* out)
{
    return buildListFrame(sessionId, MessageClass::AltSet, CommandId::Records6, records, 6, out,
                          packSixByteAltValues);
}

int buildRecords6GetFrame(int sessionId, const std::vector<SixByteRecord>& records, uint8_t* out)
{
    return buildListFrame(sessionId, MessageClass::Get, CommandId::Records6, records, 2, out,
                          packSixByteKeys);
}

int buildRecords10SetFrame(int sessionId, const std::vector<TenByteRecord>& records, uint8_t* out)
{
    return buildListFrame(sessionId, MessageClass::Set, CommandId::Records10, records, 10, out,
                          packTenByteRecords);
}

int buildRecords10AltSetFrame(int sessionId, const std::vector<TenByteRecord>& records, uint8_t* out)
{
    return buildListFrame(sessionId, MessageClass::AltSet, CommandId::Records10, records, 10, out,
                          packTenByteAltValues);
}

int buildRecords10GetFrame(int sessionId, const std::vector<TenByteRecord>& records, uint8_t* out)
{
    return buildListFrame(sessionId, MessageClass::Get, CommandId::Records10, records, 2, out,
                          packTenByteKeys);
}

int buildPairsSetFrame(int sessionId, const std::vector<FiveByteRecord>& records, uint8_t* out)
{
    return buildListFrame(sessionId, MessageClass::Set, CommandId::Pairs, records, 2, out, packPairs);
}

int buildRecords16Frame(int sessionId, uint8_t messageClass, const std::vector<SixteenByteRecord>& records,
                        uint8_t* out)
{
    if (messageClass == MessageClass::Get)
        return buildListFrame(sessionId, messageClass, CommandId::Records16, records, 4, out,
                              packSixteenByteKeys);
    return buildListFrame(sessionId, messageClass, CommandId::Records16, records, 16, out,
                          packSixteenByteRecords);
}

int buildValue25SetFrame(int sessionId, uint8_t* out)
{
    if (!validFrameTarget(sessionId, out))
        return 0;
    return buildCommandFrame(static_cast<uint8_t>(sessionId), MessageClass::Set, CommandId::Value25, nullptr,
                             0, out);
}

int buildBlobSetFrame(int sessionId, uint8_t* out, const uint8_t* data, uint32_t length, uint32_t value)
{
    if (!validFrameTarget(sessionId, out) || (data == nullptr && length > 0) || length > maxBlobLength)
        return 0;
    uint8_t payload[payloadBufferSize] = {};
    const int payloadLength = packBlob(payload, data, length, value);
    return buildCommandFrame(static_cast<uint8_t>(sessionId), MessageClass::Set, CommandId::Blob, payload,
                             payloadLength, out);
}

bool parseRecords6(const uint8_t* decoded, int decodedLength, std::vector<SixByteRecord>& out)
{
    return parseList(decoded, decodedLength, out,
                     [](const uint8_t* e) {
                         return SixByteRecord{e[0], e[1], readLe32(e + 2)};
                     });
}

bool parseRecords10(const uint8_t* decoded, int decodedLength, std::vector<TenByteRecord>& out)
{
    return parseList(decoded, decodedLength, out,
                     [](const uint8_t* e) {
                         return TenByteRecord{e[0], e[1], readLe32(e + 2), readLe32(e + 6)};
                     });
}

bool parseRecords16(const uint8_t* decoded, int decodedLength, std::vector<SixteenByteRecord>& out)
{
    return parseList(decoded, decodedLength, out,
                     [](const uint8_t* e)
                     {
                         SixteenByteRecord r{readLe32(e), {}};
                         std::memcpy(r.data, e + 4, sizeof r.data);
                         return r;
                     });
}
