#include "device/MVDevice.h"

#include "device/Bootloader.h"
#include "device/CommandFrame.h"

#include <algorithm>

MVDevice::MVDevice() : sessionQueues(sessionCount)
{
    ownSessionId = acquireSessionId();
}

MVDevice::~MVDevice()
{
    std::lock_guard<std::mutex> lock(sessionMutex);
    for (auto& slot : sessionQueues)
        slot.reset();
}

const DeviceKey* MVDevice::getDeviceKey() const
{
    return nullptr;
}

int MVDevice::acquireSessionId()
{
    std::lock_guard<std::mutex> lock(sessionMutex);
    for (int i = 1; i <= sessionCount; ++i)
    {
        const int id = (lastSessionId + i) % sessionCount;
        if (!sessionQueues[id])
        {
            sessionQueues[id] = std::make_shared<MVQueue>();
            lastSessionId = id;
            return id;
        }
    }
    return -1;
}

void MVDevice::releaseSessionId(unsigned sessionId)
{
    if (sessionId >= static_cast<unsigned>(sessionCount))
        return;
    // The own id stays in use for the device's life: the bootloader replies
    // are routed to it.
    if (static_cast<int>(sessionId) == ownSessionId)
        return;
    std::lock_guard<std::mutex> lock(sessionMutex);
    sessionQueues[sessionId].reset();
}

std::size_t MVDevice::discardQueued(unsigned sessionId,
                                    const std::function<bool(const std::vector<uint8_t>&)>& predicate)
{
    const std::shared_ptr<MVQueue> queue = getQueue(sessionId);
    return queue ? queue->removeIf(predicate) : 0;
}

std::size_t MVDevice::getQueuedCount(unsigned sessionId)
{
    const std::shared_ptr<MVQueue> queue = getQueue(sessionId);
    return queue ? queue->size() : 0;
}

std::size_t MVDevice::getDroppedCount(unsigned sessionId)
{
    const std::shared_ptr<MVQueue> queue = getQueue(sessionId);
    return queue ? queue->getDroppedCount() : 0;
}

std::size_t MVDevice::getWaiterCount(unsigned sessionId)
{
    const std::shared_ptr<MVQueue> queue = getQueue(sessionId);
    return queue ? queue->getWaiterCount() : 0;
}

std::shared_ptr<MVQueue> MVDevice::getQueue(unsigned sessionId)
{
    if (sessionId >= static_cast<unsigned>(sessionCount))
        return nullptr;
    std::lock_guard<std::mutex> lock(sessionMutex);
    return sessionQueues[sessionId];
}

int MVDevice::send(const uint8_t* data, int length)
{
    const int packetSize = maxPacketSize;
    if (packetSize <= 0)
    {
        const int written = writeRaw(data, length);
        return written < 0 ? -1 : written;
    }

    if (data == nullptr)
        return 0;
    int total = 0;
    int offset = 0;
    while (offset < length)
    {
        const int packet = std::min(packetSize, length - offset);
        const int written = writeRaw(data + offset, packet);
        if (written < 0)
            return -1;
        total += written;
        offset += packet;
    }
    return total;
}

int MVDevice::receive(unsigned sessionId, void* buffer, int timeoutMs, int capacity)
{
    // The copied pointer keeps the queue alive while this call waits on it.
    std::shared_ptr<MVQueue> queue = getQueue(sessionId);
    if (!queue)
        return -1;
    return queue->pop(buffer, timeoutMs, capacity);
}

void MVDevice::dispatchMessage(const uint8_t* message, int length)
{
    if (message == nullptr || length <= 0)
        return;

    if (bootloader::isBootloaderReply(message, length))
    {
        if (auto queue = getQueue(static_cast<unsigned>(ownSessionId)))
            queue->push(message, length);
        return;
    }

    if (validateCommandFrame(message, static_cast<unsigned>(length)))
    {
        const uint8_t sessionId = getCommandFrameSessionId(message);
        if (sessionId < sessionCount)
        {
            if (auto queue = getQueue(sessionId))
                queue->push(message, length);
        }
        else if (eventDelegate != nullptr)
        {
            eventDelegate->handleMessage(message, length);
        }
        return;
    }

    if (eventDelegate == nullptr)
        return;
    if (message[0] == 0xF0 && message[length - 1] != 0)
        eventDelegate->handleSysex(message, length);
    eventDelegate->handleMessage(message, length);
}
