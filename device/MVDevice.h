#pragma once

#include "device/DeviceKey.h"
#include "device/MVDeviceEventDelegate.h"
#include "device/MVQueue.h"
#include "device/StreamCutter.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The open connection to one amplifier. Sends byte strings through writeRaw
// and routes every complete message received back to the MVQueue of the
// session id it names. Session ids 0 to 63; the device takes one of its own
// at construction (always 0) and keeps it for its life.
//
// Threads: appendReceivedBytes and dispatchMessage run on the one thread that
// delivers received bytes; send, receive, acquireSessionId and
// releaseSessionId may be called from any thread.
class MVDevice
{
public:
    static constexpr int sessionCount = 64;

    MVDevice();
    virtual ~MVDevice();

    MVDevice(const MVDevice&) = delete;
    MVDevice& operator=(const MVDevice&) = delete;

    virtual bool open() = 0;
    virtual void close() = 0;
    // Why the last open failed, as far as the device can tell.
    enum class OpenFailure
    {
        None,
        Gone,         // its ports are not listed
        Ambiguous,    // more ports carry its names than before: another device of the name came
        PortsRefused, // listed, but they did not open
    };
    virtual OpenFailure getLastOpenFailure() const { return OpenFailure::None; }
    // The identity of the device; null here.
    virtual const DeviceKey* getDeviceKey() const;
    // Sends bytes to the device; the count sent, or -1 when nothing could be sent.
    virtual int writeRaw(const uint8_t* data, int length) = 0;

    // A free id with a new empty queue, searched circularly after the id
    // handed out last; -1 when all 64 are in use.
    int acquireSessionId();
    // Frees the id's queue. Ids above 63 (-1 too) and the device's own id are
    // ignored: the own id is held until the device is destroyed.
    void releaseSessionId(unsigned sessionId);

    // Sends the bytes with writeRaw, whole, or in packets of at most
    // maxPacketSize bytes when that is positive. Returns the sum of the
    // writeRaw results, or -1 as soon as a writeRaw reports failure (the
    // remaining packets are not sent).
    int send(const uint8_t* data, int length);

    // Waits up to timeoutMs (0: without limit) for the next message on the id
    // and copies it into buffer, which holds capacity bytes. Returns its
    // length; 0 at once for a null buffer; -1 for an id above 63, an id not
    // in use or a timeout; MVQueue::messageTooLong for a message longer than
    // capacity, which is dropped unwritten.
    int receive(unsigned sessionId, void* buffer, int timeoutMs, int capacity);

    // Drops the messages queued for the id for which the predicate holds;
    // the count dropped (0 for an id not in use).
    std::size_t discardQueued(unsigned sessionId,
                              const std::function<bool(const std::vector<uint8_t>&)>& predicate);
    // Messages waiting for the id, and those its queue dropped at its limits.
    std::size_t getQueuedCount(unsigned sessionId);
    std::size_t getDroppedCount(unsigned sessionId);
    // Receives waiting on the id right now.
    std::size_t getWaiterCount(unsigned sessionId);

    // Feeds the bytes to the device's StreamCutter and dispatches every
    // message they complete, in order.
    void appendReceivedBytes(const uint8_t* data, int length)
    {
        receiveCutter.feed(data, length,
                           [this](const uint8_t* message, int size) { dispatchMessage(message, size); });
    }

    // Routes one complete message: bootloader replies ("RetFwStatus",
    // "RetFwInfo", "RetWriteFlash" after byte 0) to the own id; valid frames
    // to their session id's queue (dropped when the id is not in use) or,
    // for ids of 64 or more, to the delegate; anything else to the delegate.
    void dispatchMessage(const uint8_t* message, int length);

    int getOwnSessionId() const { return ownSessionId; }
    int getMaxPacketSize() const { return maxPacketSize; }

    // The receiver of messages no session takes; not owned, null for none.
    // Set it before bytes arrive.
    void setEventDelegate(mvhw::MVDeviceEventDelegate* delegate) { eventDelegate = delegate; }
    mvhw::MVDeviceEventDelegate* getEventDelegate() const { return eventDelegate; }

    // Received bytes not yet cut into messages.
    std::size_t getReceiveBufferSize() const { return receiveCutter.bufferedSize(); }

protected:
    int maxPacketSize = 0;

private:
    std::vector<std::shared_ptr<MVQueue>> sessionQueues;
    StreamCutter receiveCutter;
    std::mutex sessionMutex;
    int ownSessionId = -1;
    int lastSessionId = sessionCount - 1;
    mvhw::MVDeviceEventDelegate* eventDelegate = nullptr;

    std::shared_ptr<MVQueue> getQueue(unsigned sessionId);
};
