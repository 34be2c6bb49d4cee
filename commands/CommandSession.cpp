#include "commands/CommandSession.h"

#include "commands/CommandLimits.h"
#include "device/MVDevice.h"
#include "device/SessionError.h"

static_assert(sessionIdCount == MVDevice::sessionCount, "a command may run on any of the device's ids");

int checkTarget(const MVDevice* device, int sessionId)
{
    if (device == nullptr || !isSessionId(sessionId))
        return SessionError::InvalidRequest;
    return SessionError::None;
}
