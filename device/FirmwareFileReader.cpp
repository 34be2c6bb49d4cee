#include "device/FirmwareFileReader.h"

#include "device/Bootloader.h"
#include "device/FirmwareImageCheck.h"
#include "device/FirmwareInfoBlock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::string cannotOpen(int err)
{
    return std::string("cannot be opened: ") + std::strerror(err);
}

// Why a file of this type is no firmware file.
std::string notRegularFileReason(mode_t mode)
{
    if (S_ISDIR(mode))
        return "is a directory";
    if (S_ISFIFO(mode))
        return "is a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device file";
    return "is not a regular file";
}

// Why the opened file is not read, from what fstat says of it (its size in
// size); empty when it may be read.
std::string statusReason(int fd, off_t& size)
{
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return "is not a regular file";
    size = status.st_size;
    if (size == 0)
        return "is empty";
    if (size >= bootloader::maxImageSize) // offsets must stay below 2^28
        return "has " + std::to_string(size) + " bytes; an image must stay below " +
               std::to_string(bootloader::maxImageSize);
    return {};
}

// The length rule on a file's info block and size, before the file is read
// whole: a file far longer than its block says is refused unread. Empty when
// the rule holds or the block cannot be read here; the whole read and the
// image check then decide.
std::string lengthRefusal(int fd, off_t size)
{
    constexpr off_t blockAt = static_cast<off_t>(FirmwareInfoBlock::imageOffset);
    uint8_t block[FirmwareInfoBlock::size];
    if (size < blockAt + static_cast<off_t>(sizeof block))
        return {};
    std::size_t done = 0;
    while (done < sizeof block)
    {
        const ssize_t n = ::pread(fd, block + done, sizeof block - done, blockAt + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        done += static_cast<std::size_t>(n);
    }
    FirmwareInfoBlock info;
    decodeFirmwareInfoBlock(block, sizeof block, &info);
    return checkFirmwareLength(info, size);
}

// Reads size bytes from fd into bytes; empty, or why they were not all read.
std::string readWhole(int fd, std::size_t size, std::vector<uint8_t>& bytes)
{
    try
    {
        bytes.resize(size);
        std::size_t done = 0;
        while (done < size)
        {
            const ssize_t n = ::read(fd, bytes.data() + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
            {
                const int err = errno;
                return std::string("cannot be read: ") + std::strerror(err);
            }
            if (n == 0)
                return "ended after " + std::to_string(done) + " of its " + std::to_string(size) + " bytes";
            done += static_cast<std::size_t>(n);
        }
        return {};
    }
    catch (const std::bad_alloc&)
    {
        return "does not fit into memory";
    }
}

} // namespace

std::string FirmwareFileReader::read(const std::string& path)
{
    release();
    hasRead = true;
    const std::string refused = "Firmware file refused: '" + path + "' ";
    // Only a regular file: opening a FIFO blocks until a writer comes, and a
    // device file never ends. Checked before the open, and again on what was
    // opened, without blocking.
    struct stat status
    {
    };
    if (::stat(path.c_str(), &status) != 0)
        return refused + cannotOpen(errno);
    if (!S_ISREG(status.st_mode))
        return refused + notRegularFileReason(status.st_mode);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refused + cannotOpen(errno);

    off_t size = 0;
    std::string reason = statusReason(fd, size);
    const std::string imageRefused = reason.empty() ? lengthRefusal(fd, size) : std::string();
    if (reason.empty() && imageRefused.empty())
        reason = readWhole(fd, static_cast<std::size_t>(size), bytes);
    ::close(fd);
    if (!imageRefused.empty())
        return imageRefused;
    if (!reason.empty())
    {
        std::vector<uint8_t>().swap(bytes);
        return refused + reason;
    }
    image = bytes.data();
    return {};
}

void FirmwareFileReader::release()
{
    if (!hasRead)
        return;
    hasRead = false;
    image = nullptr;
    std::vector<uint8_t>().swap(bytes);
}
