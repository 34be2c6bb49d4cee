#pragma once

// A device for the MVDevice tests: writes go to a list of packets, received
// bytes go straight to the stream cutter; a delegate that records what it
// gets; frames and keyword messages built for the tests.

#include "device/CommandFrame.h"
#include "device/MVDevice.h"

#include <cstdio>
#include <string>
#include <vector>

namespace mvdevice_test
{

using Bytes = std::vector<uint8_t>;

// A device whose output is a list of the packets written.
class TestDevice : public MVDevice
{
public:
    bool open() override { return true; }
    void close() override {}
    int writeRaw(const uint8_t* data, int length) override
    {
        packets.emplace_back(data, data + length);
        if (failAtPacket >= 0 && static_cast<int>(packets.size()) > failAtPacket)
            return -1;
        return length;
    }
    void setMaxPacketSize(int size) { maxPacketSize = size; }
    void feed(const Bytes& bytes) { appendReceivedBytes(bytes.data(), static_cast<int>(bytes.size())); }
    void dispatch(const Bytes& bytes) { dispatchMessage(bytes.data(), static_cast<int>(bytes.size())); }

    std::vector<Bytes> packets;
    int failAtPacket = -1; // index of the first writeRaw that fails
};

struct Recorder : mvhw::MVDeviceEventDelegate
{
    void handleMessage(const uint8_t* m, int n) override { events.push_back("message " + hex(m, n)); }
    void handleSysex(const uint8_t* m, int n) override { events.push_back("sysex " + hex(m, n)); }
    static std::string hex(const uint8_t* m, int n)
    {
        std::string s;
        char buf[4];
        for (int i = 0; i < n; ++i)
        {
            std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", m[i]);
            s += buf;
        }
        return s;
    }
    std::vector<std::string> events;
};

inline Bytes frame(uint8_t sid, uint8_t cls, uint8_t cmd, const Bytes& payload = {})
{
    Bytes out(1100);
    out.resize(static_cast<std::size_t>(
        buildCommandFrame(sid, cls, cmd, payload.data(), static_cast<int>(payload.size()), out.data())));
    return out;
}

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes keywordMessage(const std::string& keyword, const Bytes& tail = {0xF7})
{
    Bytes m{0xF0};
    m.insert(m.end(), keyword.begin(), keyword.end());
    return m + tail;
}

// Receives whatever is queued on the id without waiting.
inline std::vector<Bytes> drain(MVDevice& device, unsigned id)
{
    std::vector<Bytes> out;
    uint8_t buffer[2048];
    for (int n; (n = device.receive(id, buffer, -1, sizeof buffer)) >= 0;)
        out.emplace_back(buffer, buffer + n);
    return out;
}
} // namespace mvdevice_test
