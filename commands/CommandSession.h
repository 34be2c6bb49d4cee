#pragma once

// What every command object (an MVDeviceSession) of this library shares: the
// check of its target before anything is sent, and the two ways it leaves its
// result in the error field.

#include "device/MVDeviceSession.h"

class MVDevice;

// 17 for a null device or a session id outside 0-63, else 0.
int checkTarget(const MVDevice* device, int sessionId);

// Stores code in the session's error field and returns whether it is 0: the
// commands that write their code on every run.
inline bool storeResult(MVDeviceSession& session, int code)
{
    session.error = code;
    return code == 0;
}

// Writes code into the error field only when it is a failure: the commands
// whose error field keeps its value on success.
inline bool storeFailure(MVDeviceSession& session, int code)
{
    if (code != 0)
        session.error = code;
    return code == 0;
}
