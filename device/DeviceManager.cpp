#include "device/DeviceManager.h"

#include "device/Discovery.h"
#include "device/MVUsbMidiK7.h"
#include "device/MidiPortLayer.h"

#include <juce_events/juce_events.h>

namespace mv
{

class DeviceManager::Impl : public juce::Timer
{
public:
    explicit Impl(DeviceManager* owner) : owner(owner) {}

    ~Impl() override
    {
        stopTimer();
        listener = nullptr;
        currentDevice.reset();
    }

    void timerCallback() override
    {
        if (!midiInputsChanged())
            return;
        const int count = scanDevices();
        const std::vector<DeviceKey> keys = owner->getDeviceKeys();
        if (size_t(count) == lastDeviceKeys.size() && lastDeviceKeys == keys)
            return;
        lastMidiInputNames = getMidiPortLayer().getInputNames();
        lastDeviceKeys = keys;
        if (listener)
            listener(owner);
    }

    int scanDevices()
    {
        lastMidiInputNames = getMidiPortLayer().getInputNames();
        discoverDevices(probeWaitMs);
        return int(copyDeviceRecords().size());
    }

    bool compareMidiInputs() { return getMidiPortLayer().getInputNames() != lastMidiInputNames; }

    bool midiInputsChanged()
    {
        return runOnMessageThread([this] { return compareMidiInputs(); });
    }

    std::unique_ptr<MVDevice> currentDevice;
    std::vector<DeviceKey> lastDeviceKeys;
    juce::StringArray lastMidiInputNames;
    DeviceChangedCallback listener;
    DeviceManager* const owner;
    int pollIntervalMs = defaultPollIntervalMs;
    int probeWaitMs = defaultProbeWaitMs;
};

DeviceManager* DeviceManager::getInstance()
{
    static DeviceManager instance;
    return &instance;
}

DeviceManager::DeviceManager() : impl(std::make_unique<Impl>(this)) {}

DeviceManager::~DeviceManager()
{
    disconnect();
    impl.reset();
}

void DeviceManager::setListener(DeviceChangedCallback listener)
{
    impl->listener = std::move(listener);
}

int DeviceManager::scanDevices()
{
    return impl->scanDevices();
}

std::vector<DeviceKey> DeviceManager::getDeviceKeys()
{
    std::vector<DeviceKey> keys;
    for (const DeviceRecord& record : copyDeviceRecords())
        keys.push_back(deviceKeyOf(record));
    return keys;
}

MVDevice* DeviceManager::connect(const DeviceKey& key)
{
    impl->currentDevice = std::make_unique<MVUsbMidiK7>(key);
    if (!impl->currentDevice->open())
    {
        impl->currentDevice.reset();
        return nullptr;
    }
    return impl->currentDevice.get();
}

void DeviceManager::disconnect()
{
    if (impl->currentDevice == nullptr)
        return;
    impl->currentDevice->close();
    impl->currentDevice.reset();
}

MVDevice* DeviceManager::getCurrentDevice()
{
    return impl->currentDevice.get();
}

void DeviceManager::startTimer()
{
    impl->startTimer(impl->pollIntervalMs);
}

void DeviceManager::stopTimer()
{
    impl->stopTimer();
}

bool DeviceManager::isPolling() const
{
    return impl->isTimerRunning();
}

void DeviceManager::setPollInterval(int milliseconds)
{
    impl->pollIntervalMs = milliseconds;
}

void DeviceManager::setProbeWait(int milliseconds)
{
    impl->probeWaitMs = milliseconds;
}

} // namespace mv
