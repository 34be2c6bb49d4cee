#pragma once

#include "app/CommandLineUpdater.h"
#include "device/FirmwareUpdateSession.h"

#include <cstdint>
#include <string>

// What one update writes: the file at path, which the session reads whole,
// or bytes already in memory.
struct UpdateImage
{
    static UpdateImage fromFile(std::string path);
    static UpdateImage inMemory(const uint8_t* bytes, int size);

    bool isFile = false;
    std::string path;
    const uint8_t* bytes = nullptr;
    int size = 0;
};

// Fills every field of session for one update as the updater runs it: the
// image, no delays, reopenDevice before and after the flash with wait (which
// must outlive the run; its default wait passes a null user pointer),
// progress reported to progress (may be null), each bootloader reply awaited
// replyTimeoutMs.
void fillUpdateSession(FirmwareUpdateSession& session, const UpdateImage& image,
                       FirmwareUpdateSession::ProgressCallback progress, ReopenWait& wait,
                       int replyTimeoutMs = bootloader::replyTimeoutMs);

// Runs the session on device. An exception ends the run as a failure,
// reported on a line of its own.
bool runUpdateSession(FirmwareUpdateSession& session, MVDevice* device);
