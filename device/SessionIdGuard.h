#pragma once

#include "device/MVDevice.h"

// Releases a session id when it goes out of scope, also on an exception.
struct SessionIdGuard
{
    SessionIdGuard(MVDevice* device_, int sessionId_) : device(device_), sessionId(sessionId_) {}
    ~SessionIdGuard()
    {
        if (device != nullptr)
            device->releaseSessionId(static_cast<unsigned>(sessionId));
    }

    SessionIdGuard(const SessionIdGuard&) = delete;
    SessionIdGuard& operator=(const SessionIdGuard&) = delete;

    MVDevice* device;
    int sessionId;
};
