#pragma once

// The amplifier's command set, as the emulator plays it, written from the
// wire format (emulator/AmpFrames, emulator/AmpMessagePack) apart from the
// host's command library. Every request frame it takes is recorded decoded;
// AmpCommandAnswers answers it, AmpReplyFaults applies the faults set.
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

#include "emulator/AmpCommandState.h"
#include "emulator/AmpReplyFaults.h"

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
    using Blob = AmpCommandState::Blob;
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
    mutable std::mutex mutex;
    StringListener stringListener;
    std::map<uint8_t, CommandReplyFaults> faults;
    BlockReadFaults blockReadFaults;
    std::vector<AmpRequest> requests;
    std::vector<std::vector<uint8_t>> channelMessages;
    AmpCommandState state;
};

} // namespace emu
