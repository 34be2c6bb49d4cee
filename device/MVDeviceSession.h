#pragma once

class MVDevice;

// One request-and-reply operation on an open device. A session is built, run
// once and dropped; it is not shared between threads.
class MVDeviceSession
{
public:
    static constexpr int defaultTimeoutMs = 3000;

    explicit MVDeviceSession(int timeoutMs_ = defaultTimeoutMs) : timeoutMs(timeoutMs_) {}
    virtual ~MVDeviceSession() = default;

    // Takes a free session id, runs doRun on it and gives the id back, also
    // when doRun throws (the exception then passes on). A null device leaves
    // error 8 and no free id error 10; both return false and send nothing.
    virtual bool run(MVDevice* device);

    // The exchange proper, on the given session id.
    virtual bool doRun(MVDevice* device, int sessionId) = 0;

    // How long each reply is awaited, in milliseconds (0: without limit; a
    // negative one takes only what is queued already).
    int timeoutMs;
    // The SessionError left by the last failure; run never resets it.
    int error = 0;
};
