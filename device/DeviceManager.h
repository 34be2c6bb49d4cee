#pragma once

// The process-wide owner of the one open device: runs the discovery, hands
// out the device keys found, connects to one of them and polls the MIDI
// inputs, calling its listener when the set of devices has changed.
//
// Used on the message thread. getInstance and stopTimer may be called from
// any thread; scanDevices and getCurrentDevice from a background task once the
// poll is stopped.

#include "device/DeviceKey.h"
#include "device/MVDevice.h"

#include <functional>
#include <memory>
#include <vector>

namespace mv
{

class DeviceManager;
using DeviceChangedCallback = std::function<void(DeviceManager*)>;

class DeviceManager
{
public:
    static constexpr int defaultPollIntervalMs = 2000;

    // The singleton, created on first use and destroyed at process exit.
    static DeviceManager* getInstance();

    // The program uses getInstance; tests make managers of their own.
    DeviceManager();
    ~DeviceManager();

    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    void setListener(DeviceChangedCallback listener);
    // Runs a discovery; the number of devices found.
    int scanDevices();
    std::vector<DeviceKey> getDeviceKeys();
    // Opens the device with the key and makes it current; null on failure,
    // leaving no device current. The previous device is destroyed first.
    MVDevice* connect(const DeviceKey& key);
    void disconnect();
    MVDevice* getCurrentDevice();
    void startTimer();
    void stopTimer();
    // Whether the device poll is running.
    bool isPolling() const;

    // The poll's period (2000 ms) and the discovery's wait after each probe
    // (1000 ms); set them before starting the poll.
    void setPollInterval(int milliseconds);
    void setProbeWait(int milliseconds);

private:
    class Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace mv
