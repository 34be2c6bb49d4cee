#include "device/MVDeviceSession.h"

#include "device/MVDevice.h"
#include "device/SessionError.h"
#include "device/SessionIdGuard.h"

bool MVDeviceSession::run(MVDevice* device)
{
    if (device == nullptr)
    {
        error = SessionError::NoDevice;
        return false;
    }

    const int sessionId = device->acquireSessionId();
    SessionIdGuard guard(device, sessionId);
    if (sessionId < 0)
    {
        error = SessionError::NoSession;
        return false;
    }
    return doRun(device, sessionId);
}
