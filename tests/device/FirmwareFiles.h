#pragma once

// Firmware files on disk for the tests that read them: paths in the test's
// temporary folder, and the files that every read refuses, with the reason
// the refusal line gives.

#include "tests/device/TestFirmwareImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace testing_device
{

inline std::string tempPath(const char* name)
{
    return std::string(::testing::TempDir()) + "/flash_" + std::to_string(::getpid()) + "_" + name;
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The refused files, made for one test and removed after it.
struct RefusedFiles
{
    struct Case
    {
        std::string path;
        std::string why; // the one line says this after the quoted path
    };

    RefusedFiles()
    {
        writeFile(empty, {});
        {
            // Sparse: 2^28 bytes take no space and are never read.
            std::FILE* file = std::fopen(huge.c_str(), "wb");
            EXPECT_NE(file, nullptr);
            if (file != nullptr)
            {
                std::fseek(file, (1L << 28) - 1, SEEK_SET);
                std::fputc(0, file);
                std::fclose(file);
            }
        }
        // Opening a FIFO would block until a writer comes; a device never ends.
        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        writeFile(beside, makeTestImage(2000, 7));
        cases = {
            {tempPath("missing.bin"), "cannot be opened: No such file or directory"},
            {empty, "is empty"},
            {huge, "has 268435456 bytes; an image must stay below 268435456"},
            {std::string(::testing::TempDir()), "is a directory"},
            {std::string(), "cannot be opened: No such file or directory"},
            {fifo, "is a FIFO"},
            {"/dev/zero", "is a device file"},
            {beside + "/child", "cannot be opened: Not a directory"},
        };
    }
    ~RefusedFiles()
    {
        for (const std::string& path : {empty, huge, fifo, beside})
            std::remove(path.c_str());
    }
    RefusedFiles(const RefusedFiles&) = delete;
    RefusedFiles& operator=(const RefusedFiles&) = delete;

    const std::string empty = tempPath("empty.bin");
    const std::string huge = tempPath("huge.bin");
    const std::string fifo = tempPath("fifo.bin");
    const std::string beside = tempPath("beside.bin");
    std::vector<Case> cases;
};

} // namespace testing_device
