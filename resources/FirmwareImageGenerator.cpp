// Writes a synthetic amplifier firmware image, deterministically.
//
//   FirmwareImageGenerator OUTPUT [--size BYTES] [--version A.B.C.D] [--bootloader A.B.C.D]
//                                 [--name XXXX] [--seed N]
//
// The image is pseudo-random filler with a firmware info block at 0x400:
//   0-3 device name, 4-7 bootloader version, 8-11 firmware version (so the
//   version sits at image offset 0x408), 12-15 length in 32-bit words (every
//   whole word of the image), 16-19 the 32-bit sum of all whole words except
//   the block's own, 20-83 eight sector entries {length in words, sum}.
// The sectors tile the whole words from offset 0; each sector's sum leaves out
// the info block's words, so the bootloader's sector check passes on every one.
#include "common/LittleEndianWord.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr uint32_t infoOffset = 0x400;
constexpr uint32_t infoSize = 84;
constexpr int sectorCount = 8;
constexpr uint32_t defaultSize = 708859;
// The smallest image whose eight equal sectors all end past the info block.
constexpr uint32_t minimumSize = 8 * 1120;

struct Options
{
    std::string output;
    uint32_t size = defaultSize;
    uint8_t firmwareVersion[4] = {1, 4, 2, 0};
    uint8_t bootloaderVersion[4] = {1, 0, 0, 3};
    char name[4] = {'K', '7', 'A', 'P'};
    uint64_t seed = 0x746f6c766f4b3741ull;
};

void usage()
{
    std::fprintf(stderr, "usage: FirmwareImageGenerator OUTPUT [--size BYTES] [--version A.B.C.D]\n"
                         "                              [--bootloader A.B.C.D] [--name XXXX] [--seed N]\n");
}

bool parseNumber(const char* text, uint64_t max, uint64_t& out)
{
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || text[0] == '-' || value > max)
        return false;
    out = value;
    return true;
}

bool parseVersion(const char* text, uint8_t out[4])
{
    if (text == nullptr)
        return false;
    std::string s(text);
    size_t start = 0;
    for (int i = 0; i < 4; ++i)
    {
        const size_t dot = s.find('.', start);
        if ((i < 3) != (dot != std::string::npos))
            return false;
        const std::string part = s.substr(start, i < 3 ? dot - start : std::string::npos);
        uint64_t value = 0;
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos ||
            !parseNumber(part.c_str(), 255, value))
            return false;
        out[i] = static_cast<uint8_t>(value);
        start = dot + 1;
    }
    return true;
}

bool parseArguments(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        uint64_t number = 0;
        if (arg == "--size")
        {
            if (!parseNumber(value, 0x0fffffff, number) || number < minimumSize)
            {
                std::fprintf(stderr, "--size needs a byte count from %u to %u\n", minimumSize, 0x0fffffffu);
                return false;
            }
            options.size = static_cast<uint32_t>(number);
            ++i;
        }
        else if (arg == "--version" || arg == "--bootloader")
        {
            uint8_t* target = arg == "--version" ? options.firmwareVersion : options.bootloaderVersion;
            if (!parseVersion(value, target))
            {
                std::fprintf(stderr, "%s needs four numbers 0-255 joined by dots\n", arg.c_str());
                return false;
            }
            ++i;
        }
        else if (arg == "--name")
        {
            if (value == nullptr || std::strlen(value) != 4)
            {
                std::fprintf(stderr, "--name needs exactly four characters\n");
                return false;
            }
            std::memcpy(options.name, value, 4);
            ++i;
        }
        else if (arg == "--seed")
        {
            if (!parseNumber(value, UINT64_MAX, number))
            {
                std::fprintf(stderr, "--seed needs a number\n");
                return false;
            }
            options.seed = number;
            ++i;
        }
        else if (!arg.empty() && arg[0] != '-' && options.output.empty())
        {
            options.output = arg;
        }
        else
        {
            std::fprintf(stderr, "unknown argument: %s\n", arg.c_str());
            return false;
        }
    }
    if (options.output.empty())
    {
        std::fprintf(stderr, "no output file given\n");
        return false;
    }
    return true;
}

uint64_t splitMix64(uint64_t& state)
{
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

bool inInfoBlock(uint32_t offset)
{
    return offset >= infoOffset && offset < infoOffset + infoSize;
}

// Sector lengths in words: a flash-like layout (four 16 KiB, one 64 KiB, two
// 128 KiB and the rest) when the image is large enough, eight equal parts
// otherwise. Either way they add up to the image's whole words.
void sectorLengths(uint32_t words, uint32_t lengths[sectorCount])
{
    static const uint32_t layout[sectorCount - 1] = {4096, 4096, 4096, 4096, 16384, 32768, 32768};
    uint32_t fixed = 0;
    for (uint32_t length : layout)
        fixed += length;
    if (words > fixed)
    {
        for (int k = 0; k < sectorCount - 1; ++k)
            lengths[k] = layout[k];
        lengths[sectorCount - 1] = words - fixed;
        return;
    }
    const uint32_t part = words / sectorCount;
    for (int k = 0; k < sectorCount - 1; ++k)
        lengths[k] = part;
    lengths[sectorCount - 1] = words - part * (sectorCount - 1);
}

std::vector<uint8_t> buildImage(const Options& options)
{
    std::vector<uint8_t> image(options.size);
    uint64_t state = options.seed;
    for (uint32_t offset = 0; offset < options.size; offset += 8)
    {
        const uint64_t r = splitMix64(state);
        for (uint32_t i = 0; i < 8 && offset + i < options.size; ++i)
            image[offset + i] = static_cast<uint8_t>(r >> (8 * i));
    }

    const uint32_t words = options.size / 4;
    uint32_t lengths[sectorCount];
    sectorLengths(words, lengths);

    uint8_t* info = image.data() + infoOffset;
    std::memset(info, 0, infoSize);
    std::memcpy(info + 0, options.name, 4);
    std::memcpy(info + 4, options.bootloaderVersion, 4);
    std::memcpy(info + 8, options.firmwareVersion, 4);
    writeLe32(image.data() + infoOffset + 12, words);

    uint32_t total = 0;
    uint32_t word = 0;
    for (int k = 0; k < sectorCount; ++k)
    {
        uint32_t sum = 0;
        for (uint32_t end = word + lengths[k]; word < end; ++word)
        {
            const uint32_t offset = word * 4;
            if (inInfoBlock(offset))
                continue;
            sum += readLe32(image.data() + offset);
        }
        total += sum;
        writeLe32(image.data() + infoOffset + 20 + 8 * k, lengths[k]);
        writeLe32(image.data() + infoOffset + 24 + 8 * k, sum);
    }
    writeLe32(image.data() + infoOffset + 16, total);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseArguments(argc, argv, options))
    {
        usage();
        return 2;
    }
    const std::vector<uint8_t> image = buildImage(options);

    const std::string temporary = options.output + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
    {
        std::fprintf(stderr, "cannot write %s\n", temporary.c_str());
        return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), options.output.c_str()) != 0)
    {
        std::fprintf(stderr, "cannot write %s\n", options.output.c_str());
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
