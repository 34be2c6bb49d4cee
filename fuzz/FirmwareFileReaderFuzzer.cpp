// The firmware file reader on arbitrary files: the input is written to a file
// of its own in a private temporary folder, read, and removed. The reader
// makes two checks of its own on a regular file below 2^28 bytes: the file is
// not empty, and a file long enough to hold the info block at 0x400 has the
// length the block gives (its size from 4 x firmwareLength to 4 x
// firmwareLength + 3 bytes). A shorter file is read whole: the image check
// decides on it later. The read succeeds exactly then, holding the file's
// bytes and handing them out through the image pointer; a refusal is one
// line and holds nothing.
#include "device/FirmwareFileReader.h"
#include "device/FirmwareInfoBlock.h"
#include "common/LittleEndianWord.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{

// The private folder, made at the first input and removed at exit.
struct TempFolder
{
    std::string path;

    TempFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/firmware_file_reader_XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path = pattern;
    }
    ~TempFolder() { ::rmdir(path.c_str()); }
};

void writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    size_t done = 0;
    while (done < size)
    {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

// The reader's own rule, counted here from the file's bytes.
bool readable(const uint8_t* data, size_t size)
{
    constexpr size_t blockEnd = FirmwareInfoBlock::imageOffset + FirmwareInfoBlock::size;
    constexpr size_t lengthAt = FirmwareInfoBlock::imageOffset + offsetof(FirmwareInfoBlock, firmwareLength);
    if (size == 0)
        return false;
    return size < blockEnd || size / 4 == readLe32(data + lengthAt);
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The one line of a refusal: an empty file, or a length other than the
// block's, with the file's size.
bool saysWhy(const std::string& refused, const std::string& path, size_t size)
{
    if (size == 0)
        return refused == "Firmware file refused: '" + path + "' is empty";
    return startsWith(refused, "Firmware image refused: its info block gives a firmware length of ") &&
           endsWith(refused, ", the image has " + std::to_string(size) + " bytes") &&
           refused.find('\n') == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    static TempFolder folder;
    const std::string path = folder.path + "/firmware.bin";
    writeFile(path, data, size);

    static const uint8_t elsewhere = 0;
    const uint8_t* image = &elsewhere;
    {
        FirmwareFileReader reader(image);
        const std::string refused = reader.read(path);
        if (refused.empty() != readable(data, size))
            std::abort();
        if (refused.empty())
        {
            if (reader.size() != static_cast<int>(size) || image == nullptr || image == &elsewhere ||
                std::memcmp(image, data, size) != 0)
                std::abort();
        }
        else if (!saysWhy(refused, path, size) || reader.size() != 0)
        {
            std::abort();
        }
        reader.release();
        if (image != nullptr || reader.size() != 0)
            std::abort();
    }
    ::unlink(path.c_str());
    return 0;
}
