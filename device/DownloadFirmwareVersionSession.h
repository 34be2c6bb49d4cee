#pragma once

#include "device/Bootloader.h"
#include "device/FirmwareInfoBlock.h"
#include "device/MVDeviceSession.h"

#include <cstdint>

namespace bootloader
{

// Reads the device's FirmwareInfoBlock with "GetFwInfo", awaiting the reply
// timeoutMs. The exchange uses the device's own session id; the id that run
// takes is given back unused. A failed read leaves error 14 and firmwareInfo
// zeroed.
class DownloadFirmwareVersionSession : public MVDeviceSession
{
public:
    explicit DownloadFirmwareVersionSession(int timeoutMs_ = defaultTimeoutMs) : MVDeviceSession(timeoutMs_)
    {
    }

    bool doRun(MVDevice* device, int sessionId) override;

    uint8_t txBuffer[bufferSize] = {};
    uint8_t rxBuffer[bufferSize] = {};
    FirmwareInfoBlock firmwareInfo = {};
};

} // namespace bootloader
