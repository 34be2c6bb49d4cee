#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads a firmware file whole for one update run, before any device traffic,
// and holds its bytes while the run needs them. Only a non-empty regular file
// below 2^28 bytes is read, and one whose info block gives another length is
// refused unread.
//
// The run's image pointer, given at construction, points at the bytes from a
// read that succeeds until they are released, by release or at the reader's
// end. After a read, refused or not, release sets it to null.
class FirmwareFileReader
{
public:
    explicit FirmwareFileReader(const uint8_t*& image_) : image(image_) {}
    ~FirmwareFileReader() { release(); }

    FirmwareFileReader(const FirmwareFileReader&) = delete;
    FirmwareFileReader& operator=(const FirmwareFileReader&) = delete;

    // Reads the file at path (UTF-8 bytes) whole, in place of the bytes held:
    // an empty text, or the one line that says why the file, or the image by
    // its length, is refused (no bytes are held then).
    std::string read(const std::string& path);
    // The count of bytes held.
    int size() const { return static_cast<int>(bytes.size()); }
    // Frees the bytes and sets the image to null; nothing before a read.
    void release();

private:
    const uint8_t*& image;
    std::vector<uint8_t> bytes;
    bool hasRead = false;
};
