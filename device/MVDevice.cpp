#include "device/MVDevice.h"

#include "device/Bootloader.h"
#include "device/CommandFrame.h"

#include <algorithm>
#include <cstring>

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

std::pair<int, int> MVDevice::findMidiMessage(const std::vector<uint8_t>& buffer, int from)
{
    const int size = static_cast<int>(buffer.size());
    const std::pair<int, int> none{-1, -1};
    if (from < 0)
        from = 0;
    for (int i = from; i < size; ++i)
    {
        const uint8_t b = buffer[i];
        if (b == 0xB0)
            return i + 2 < size ? std::make_pair(i, i + 2) : none;
        if (b == 0xC0)
            return i + 1 < size ? std::make_pair(i, i + 1) : none;
        if (b == 0xF0)
        {
            int start = i;
            for (int j = i + 1; j < size; ++j)
            {
                if (buffer[j] == 0xF7)
                    return {start, j};
                if (buffer[j] == 0xF0)
                    start = j;
            }
            return none;
        }
    }
    return none;
}

namespace
{
inline bool extendsSysex(const uint8_t* data, int length)
{
    for (int i = 0; i < length; ++i)
        if (data[i] == 0xF0 || data[i] == 0xF7)
            return false;
    return true;
}

// A range insert costs more than a few bytes pushed one by one.
inline void appendTo(std::vector<uint8_t>& buffer, const uint8_t* data, int length)
{
    if (length <= 8)
        for (int i = 0; i < length; ++i)
            buffer.push_back(data[i]);
    else
        buffer.insert(buffer.end(), data, data + length);
}
} // namespace

void MVDevice::appendReceivedBytes(const uint8_t* data, int length)
{
    if (data == nullptr || length <= 0)
        return;
    if (!receiveBuffer)
        receiveBuffer = std::make_unique<std::vector<uint8_t>>();
    std::vector<uint8_t>& buffer = *receiveBuffer;
    if (pending == Pending::Sysex && extendsSysex(data, length) &&
        buffer.size() + length <= receiveBufferLimit)
    {
        // Bytes inside a SysEx message that neither end nor restart it only
        // extend it: nothing to cut, the scan moves past them.
        appendTo(buffer, data, length);
        scanPosition = buffer.size();
        return;
    }
    appendTo(buffer, data, length);

    const std::size_t consumed = cutMessages();
    if (consumed > 0)
    {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(consumed));
        scanPosition -= consumed;
        if (pending != Pending::None)
            messageStart -= consumed;
    }
    if (buffer.size() > receiveBufferLimit)
        trimReceiveBuffer();
}

std::size_t MVDevice::cutMessages()
{
    // Messages are dispatched straight from the buffer, which stays unchanged
    // until the scan ends.
    const uint8_t* const bytes = receiveBuffer->data();
    const std::size_t size = receiveBuffer->size();
    std::size_t consumed = 0;
    std::size_t i = scanPosition;
    const auto complete = [&](std::size_t last)
    {
        dispatchMessage(bytes + messageStart, static_cast<int>(last - messageStart + 1));
        consumed = last + 1;
        pending = Pending::None;
    };
    while (i < size)
    {
        switch (pending)
        {
            case Pending::None:
                while (i < size && bytes[i] != 0xF0 && bytes[i] != 0xB0 && bytes[i] != 0xC0)
                    ++i;
                if (i < size)
                {
                    pending = bytes[i] == 0xF0   ? Pending::Sysex
                              : bytes[i] == 0xB0 ? Pending::Controller
                                                 : Pending::ProgramChange;
                    messageStart = i++;
                }
                break;
            case Pending::Sysex:
                // Only F0, which restarts the message there, and F7, which ends
                // it, count.
                while (i < size && bytes[i] != 0xF0 && bytes[i] != 0xF7)
                    ++i;
                if (i < size)
                {
                    if (bytes[i] == 0xF0)
                        messageStart = i;
                    else
                        complete(i);
                    ++i;
                }
                break;
            case Pending::Controller:
            case Pending::ProgramChange:
            {
                // Two data bytes or one, whatever their values.
                const std::size_t last = messageStart + (pending == Pending::Controller ? 2 : 1);
                if (last < size)
                {
                    complete(last);
                    i = last + 1;
                }
                else
                {
                    i = size;
                }
                break;
            }
        }
    }
    scanPosition = size;
    return consumed;
}

void MVDevice::trimReceiveBuffer()
{
    // Keep the message still arriving, from the last F0 on; when even that is
    // too long it can never be received, so keep only the last two bytes,
    // which may begin a channel message. The kept bytes are scanned afresh.
    std::vector<uint8_t>& buffer = *receiveBuffer;
    const auto lastStart = std::find(buffer.rbegin(), buffer.rend(), uint8_t{0xF0});
    if (lastStart != buffer.rend())
        buffer.erase(buffer.begin(), lastStart.base() - 1);
    if (buffer.size() > receiveBufferLimit)
        buffer.erase(buffer.begin(), buffer.end() - 2);
    scanPosition = 0;
    pending = Pending::None;
    const std::size_t consumed = cutMessages();
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(consumed));
    scanPosition -= consumed;
    if (pending != Pending::None)
        messageStart -= consumed;
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

std::size_t MVDevice::getReceiveBufferSize() const
{
    return receiveBuffer ? receiveBuffer->size() : 0;
}
