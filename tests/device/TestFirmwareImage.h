#pragma once

// Firmware images for tests and benchmarks: random bytes with a valid info
// block at 0x400, computed here from the image format's definition. Header
// only and JUCE-free.

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace testing_device
{

inline void putLe32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

inline uint32_t getLe32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// size must be at least 0x454. The whole words are cut into eight sectors of
// about equal length; the sums leave out the info block's 21 words.
inline std::vector<uint8_t> makeTestImage(size_t size, unsigned seed,
                                          std::array<uint8_t, 4> version = {1, 2, 3, 37})
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> image(size);
    for (auto& b : image)
        b = uint8_t(rng());

    const size_t info = 0x400;
    const uint8_t head[8] = {'K', '7', 'A', 'P', 1, 0, 0, 4};
    for (size_t i = 0; i < 8; ++i)
        image[info + i] = head[i];
    for (size_t i = 0; i < 4; ++i)
        image[info + 8 + i] = version[i];

    const uint32_t words = uint32_t(size / 4);
    putLe32(image, info + 12, words);
    uint32_t lengths[8];
    for (int k = 0; k < 8; ++k)
        lengths[k] = k < 7 ? words / 8 : words - 7 * (words / 8);

    auto isInfoWord = [&](size_t off) { return off >= info && off < info + 84; };
    uint32_t total = 0;
    size_t word = 0;
    for (int k = 0; k < 8; ++k)
    {
        uint32_t sum = 0;
        for (uint32_t w = 0; w < lengths[k]; ++w, ++word)
            if (!isInfoWord(word * 4))
                sum += getLe32(image, word * 4);
        total += sum;
        putLe32(image, info + 20 + 8 * size_t(k), lengths[k]);
        putLe32(image, info + 24 + 8 * size_t(k), sum);
    }
    // The sums above never read the info block, so filling it last is safe.
    putLe32(image, info + 16, total);
    return image;
}

} // namespace testing_device
