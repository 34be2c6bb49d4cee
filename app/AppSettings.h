#pragma once

#include "app/CommandLineUpdater.h"
#include "device/MVDeviceSession.h"

#include <cstdint>

// The waits and the image of the window's states. The defaults are the
// program's own; tests shorten the waits.
struct AppSettings
{
    // The wait of reopenDevice around the flash.
    int reopenWaitMs = defaultReopenWaitMs;
    // The reply timeout of the command-17, serial-number and information reads.
    int readTimeoutMs = MVDeviceSession::defaultTimeoutMs;
    // The image "Check to update" writes; null for the embedded firmware image.
    const uint8_t* firmwareImage = nullptr;
    int firmwareImageSize = 0;
};
