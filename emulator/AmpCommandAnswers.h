#pragma once

// The command set's answer to each command and class it takes: one small
// handler per command, reading and changing the stored state. The answers
// are those of a faultless amplifier; AmpReplyFaults changes them.

#include "emulator/AmpCommandState.h"
#include "emulator/AmpFrames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace emu
{

struct AmpReply
{
    uint8_t messageClass;
    std::vector<uint8_t> payload;
};

struct AmpAnswer
{
    std::vector<AmpReply> replies; // in order; none: not answered
    // Set 17 and 35: the text read (empty when it could not be read), for
    // the set's string listener.
    std::optional<std::string> heardString;
};

using AmpAnswerHandler = AmpAnswer (*)(const ParsedFrame& request, AmpCommandState& state);

// The handler of this command and class; null when the amplifier does not
// take such a request.
AmpAnswerHandler findAnswer(uint8_t command, uint8_t messageClass);

} // namespace emu
