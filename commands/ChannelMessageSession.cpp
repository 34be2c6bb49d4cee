#include "commands/ChannelMessageSession.h"

#include "device/MVDevice.h"
#include "device/SessionError.h"

bool ChannelMessageSession::run(MVDevice* device)
{
    if (device == nullptr)
    {
        error = SessionError::NoDevice;
        return false;
    }
    const int data = second * 5 + first;
    if (data > 255)
    {
        error = SessionError::InvalidRequest;
        return false;
    }
    const uint8_t message[2] = {status, static_cast<uint8_t>(data)};
    const int sent = device->send(message, 2);
    if (sent < 0)
        error = SessionError::NoDevice;
    return sent == 2;
}

bool ChannelMessageSession::doRun(MVDevice* device, int)
{
    return run(device);
}
