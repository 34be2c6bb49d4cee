#pragma once

// What the amplifier's command set stores and serves back (AmpCommandSet.h
// says which command reads and writes what). Plain data: AmpCommandSet
// guards it with its lock.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace emu
{

// The wire size of a record of command 2 (6 bytes), 3 (10) or 24 (16).
inline std::size_t recordSize(uint8_t command)
{
    return command == 2 ? 6 : command == 3 ? 10 : 16;
}

struct AmpCommandState
{
    std::map<std::pair<std::string, uint32_t>, float> dspValues;
    std::map<std::string, bool> dspSwitches;
    std::map<uint8_t, std::string> strings;
    // Records as stored: their wire bytes by key, per command.
    std::map<uint8_t, std::map<uint32_t, std::vector<uint8_t>>> records;
    std::vector<std::pair<uint8_t, uint8_t>> pairs;
    struct Blob
    {
        uint32_t value = 0;
        std::vector<uint8_t> data;
        bool sumMatched = false;
    };
    Blob blob;
    std::map<uint32_t, uint8_t> query22;
    uint8_t value25 = 0;
    uint32_t values32[2] = {};
    uint32_t value33 = 0;
    uint32_t values40[3] = {};
    uint8_t byte50 = 0;
    std::map<uint32_t, uint32_t> int32Values;
    std::map<std::pair<uint8_t, uint8_t>, std::vector<uint8_t>> blocks;
    int blockReadChunkSize = 255; // data bytes per chunk of a block read
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
