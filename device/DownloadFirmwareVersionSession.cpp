#include "device/DownloadFirmwareVersionSession.h"

#include "device/MVDevice.h"
#include "device/SessionError.h"

namespace bootloader
{

bool DownloadFirmwareVersionSession::doRun(MVDevice* device, int)
{
    if (device == nullptr)
    {
        error = SessionError::NoDevice;
        return false;
    }
    const int own = device->getOwnSessionId();
    if (own == -1)
    {
        error = SessionError::NoSession;
        return false;
    }
    if (!readFwInfo(device, own, txBuffer, rxBuffer, &firmwareInfo, timeoutMs))
    {
        error = SessionError::GetFwInfoFailed;
        return false;
    }
    return true;
}

} // namespace bootloader
