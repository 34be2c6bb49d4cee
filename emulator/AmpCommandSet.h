#pragma once

// The amplifier's command set, as the emulator plays it, written from the
// wire format (emulator/AmpFrames, emulator/AmpMessagePack) apart from the
// host's command library. Every request frame it takes is recorded decoded.
//
// Replies: Ack to Set, none to Set 4, Set 25 or a chunk of 1 or 45 before
// the last; AltAck to AltSet 2 and 3, AltSet to AltSet 24; Data to Get.
// State served back:
//   4, 21     DSP values per module and parameter, switches per module
//   17, 23, 35 strings (17 and 35 are also handed to the string listener,
//             through which K7Amplifier serves its own Get 17 and 35)
//   2, 3, 24  records per key (first and second; the u32 key for 24); a Get
//             answers the stored records of the keys it names, in order,
//             and skips unknown keys
//   5, 34     the last pairs, the last blob (value, data, whether its sum held)
//   22 25 32 33 40 50  the values read (22: one byte per query; 50 also set)
//   36        a value per key (0 for unknown keys)
//   1         blocks per address pair; a read answers all chunks in a row, in
//             chunks of blockReadChunkSize data bytes; an unknown address is
//             not answered
//   45        the chunked block, stored when its sum holds
//   41        the IR loader JSON text
//   anything that is no SysEx: recorded as a channel message
// Thread-safe: the amplifier's thread handles requests while a test reads and
// changes the state.

#include "emulator/AmpFrames.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace emu
{

class Amplifier;

// Faults of the replies to one command number.
struct CommandReplyFaults
{
    bool silent = false;
    int delayMs = 0;           // every reply held back this long
    bool wrongClass = false;   // Data for Ack-class replies, Ack for Data
    bool wrongCommand = false; // the request's command + 1
    bool badChecksum = false;  // the checksum byte off by one bit
    bool wrongSession = false; // the next session id
    // 50: the reply carries 1 + lengthDelta bytes; 2, 3, 24: the count claims
    // lengthDelta more records than the payload holds; 36: lengthDelta more
    // (or fewer) values than keys.
    int lengthDelta = 0;
    // 2, 3, 24: a count whose 4 + size * count wraps 32 bits to the real
    // payload length.
    bool wrappingCount = false;
    // The reply payload zero-padded to this many bytes: 769 to 889 give
    // frames of 886 to 1024 bytes, 890 and more frames over 1024.
    int padPayloadTo = 0;
};

// Faults of a block read's chunks (chunk counts from 0).
struct BlockReadFaults
{
    enum class Kind
    {
        None,
        MissingChunk,      // chunk is not sent
        RepeatedChunk,     // chunk is sent twice
        SwappedChunks,     // chunk and chunk + 1 change places
        WrongTotal,        // chunk names one chunk more in its total
        WrongAddress,      // chunk 0 names address A + 1
        WrongSum,          // the last chunk's sum is off by one
        LengthPastPayload, // chunk's length byte is one more than its data
        SilentAfter        // nothing after chunk
    };
    Kind kind = Kind::None;
    int chunk = 0;
};

struct AmpRequest
{
    uint8_t sessionId;
    uint8_t messageClass;
    uint8_t command;
    std::vector<uint8_t> payload; // decoded
};

class AmpCommandSet
{
public:
    using StringListener = std::function<void(uint8_t command, const std::string& text)>;

    // Handles a command request or a channel message (true) and replies
    // through amp; false for anything else. Runs on the amplifier's thread.
    bool handle(const std::vector<uint8_t>& message, Amplifier& amp);

    // Called, outside the set's lock, with every string Set 17 or 35 stores.
    void setStringListener(StringListener listener);

    void setFaults(uint8_t command, const CommandReplyFaults& faults);
    void setBlockReadFaults(const BlockReadFaults& faults);
    void clearFaults();
    void setBlockReadChunkSize(int size); // 1 to 255

    std::vector<AmpRequest> getRequests() const;
    void clearRequests();
    std::vector<std::vector<uint8_t>> getChannelMessages() const;

    float getDspValue(const std::string& module, uint32_t parameter) const;
    void setDspValue(const std::string& module, uint32_t parameter, float value);
    bool getDspSwitch(const std::string& module) const;
    void setDspSwitch(const std::string& module, bool on);
    std::string getString(uint8_t command) const;

    // Records as stored: their wire bytes (6, 10 or 16) by key.
    std::map<uint32_t, std::vector<uint8_t>> getRecords(uint8_t command) const;
    void setRecord(uint8_t command, uint32_t key, const std::vector<uint8_t>& bytes);
    // The key of a record of command 2 or 3: first << 8 | second.
    static uint32_t recordKey(uint8_t first, uint8_t second) { return uint32_t(first) << 8 | second; }

    std::vector<std::pair<uint8_t, uint8_t>> getPairs() const;
    struct Blob
    {
        uint32_t value = 0;
        std::vector<uint8_t> data;
        bool sumMatched = false;
    };
    Blob getBlob() const;

    void setQuery22Value(uint32_t query, uint8_t value);
    void setValue25(uint8_t value);
    void setValues32(uint32_t first, uint32_t second);
    void setValue33(uint32_t value);
    void setValues40(uint32_t first, uint32_t second, uint32_t third);
    uint8_t getByte50() const;
    void setByte50(uint8_t value);
    void setInt32Value(uint32_t key, uint32_t value);

    std::vector<uint8_t> getBlock(uint8_t addressA, uint8_t addressB) const;
    void setBlock(uint8_t addressA, uint8_t addressB, const std::vector<uint8_t>& block);
    std::vector<uint8_t> getChunkedBlock() const;
    int getChunkedSumFailures() const;
    std::string getIrLoaderText() const;

private:
    struct Reply
    {
        uint8_t messageClass;
        std::vector<uint8_t> payload;
    };
    // The replies to one request, in order (none for no reply), built
    // under the lock.
    std::vector<Reply> answer(const ParsedFrame& request, std::string& storedString);
    std::vector<Reply> answerRecords(const ParsedFrame& request);
    std::vector<Reply> answerBlock(const ParsedFrame& request);
    std::vector<Reply> answerChunked(const ParsedFrame& request);
    std::vector<Reply> readBlock(uint8_t addressA, uint8_t addressB);
    void send(Amplifier& amp, const ParsedFrame& request, const Reply& reply,
              const CommandReplyFaults& faults) const;

    mutable std::mutex mutex;
    StringListener stringListener;
    std::map<uint8_t, CommandReplyFaults> faults;
    BlockReadFaults blockReadFaults;
    int blockReadChunkSize = 255;

    std::vector<AmpRequest> requests;
    std::vector<std::vector<uint8_t>> channelMessages;
    std::map<std::pair<std::string, uint32_t>, float> dspValues;
    std::map<std::string, bool> dspSwitches;
    std::map<uint8_t, std::string> strings;
    std::map<uint8_t, std::map<uint32_t, std::vector<uint8_t>>> records;
    std::vector<std::pair<uint8_t, uint8_t>> pairs;
    Blob blob;
    std::map<uint32_t, uint8_t> query22;
    uint8_t value25 = 0;
    uint32_t values32[2] = {};
    uint32_t value33 = 0;
    uint32_t values40[3] = {};
    uint8_t byte50 = 0;
    std::map<uint32_t, uint32_t> int32Values;
    std::map<std::pair<uint8_t, uint8_t>, std::vector<uint8_t>> blocks;
    // A block write or a chunked transfer in progress, per session id.
    struct Transfer
    {
        uint8_t total = 0;
        int next = 0;
        uint8_t addressA = 0;
        uint8_t addressB = 0;
        std::vector<uint8_t> bytes;
    };
    std::map<uint8_t, Transfer> blockWrites;
    std::map<uint8_t, Transfer> chunkedWrites;
    std::vector<uint8_t> chunkedBlock;
    int chunkedSumFailures = 0;
    std::string irLoaderText;
};

} // namespace emu
