#pragma once

// The faults of the command set's replies, and the one step that applies
// them to a faultless answer (AmpCommandAnswers).

#include "emulator/AmpCommandAnswers.h"
#include "emulator/AmpFrames.h"

#include <cstdint>
#include <vector>

namespace emu
{

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

// The frames that answer request, in the order they go out: the replies with
// the faults applied, all but delayMs, which is the sender's.
std::vector<std::vector<uint8_t>> faultedFrames(const ParsedFrame& request, std::vector<AmpReply> replies,
                                                const CommandReplyFaults& faults,
                                                const BlockReadFaults& blockReadFaults);

} // namespace emu
