#include "app/CommandLineUpdater.h"

#include "app/DeviceText.h"
#include "device/DeviceManager.h"
#include "device/FirmwareUpdateSession.h"
#include "device/GenericDeviceSession.h"
#include "device/MVDevice.h"

#include <juce_core/juce_core.h>

#include <chrono>
#include <exception>
#include <iostream>
#include <string>
#include <thread>

namespace
{

// The serial number, or an empty text when the read fails; a read that throws
// (no reply, bad checksum) is reported on its own line and does not end the run.
std::string readSerialNumber(MVDevice* device)
{
    try
    {
        auto session = createSerialNumberSession();
        session->run(device);
        return session->replyPacker.value;
    }
    catch (const std::exception& e)
    {
        std::cout << "Cannot read device SN: " << e.what() << std::endl;
        return {};
    }
}

} // namespace

const char* const moreThanOneAmplifierLine =
    "More than one amplifier found: connect only the one to update, then try again";

bool runCommandLineUpdate(const juce::File& file, int reopenWaitMs, int replyTimeoutMs)
{
    auto* manager = mv::DeviceManager::getInstance();
    const int found = manager->scanDevices();
    if (found == 0)
    {
        std::cout << "No device found" << std::endl;
        return false;
    }
    std::cout << found << " device(s) found" << std::endl;
    if (found > 1)
    {
        std::cout << moreThanOneAmplifierLine << std::endl;
        return false;
    }

    const auto keys = manager->getDeviceKeys();
    if (!keys.empty())
        manager->connect(keys.front());
    MVDevice* device = manager->getCurrentDevice();
    if (device == nullptr)
    {
        std::cout << "Cannot connect to device!" << std::endl;
        return false;
    }

    const std::string serial = sanitiseDeviceText(readSerialNumber(device));
    std::cout << "Get device SN:'" << serial << "'" << std::endl;

    ReopenWait wait;
    wait.milliseconds = reopenWaitMs;
    void* reopenUser = reopenWaitMs == defaultReopenWaitMs ? nullptr : &wait;

    bool ok = false;
    {
        FirmwareUpdateSession session;
        session.timeoutMs = 3000;
        session.error = 0;
        session.firmwarePath = file.getFullPathName().toStdString();
        session.progressCallback = printUpdateProgress;
        session.progressUser = nullptr;
        session.image = nullptr;
        session.imageSize = 0;
        session.loadFromFile = true;
        session.phaseDelayMs = 0;
        session.packetDelayMs = 0;
        session.beforeFlashCallback = reopenDevice;
        session.beforeFlashUser = reopenUser;
        session.afterFlashCallback = reopenDevice;
        session.afterFlashUser = reopenUser;
        session.replyTimeoutMs = replyTimeoutMs;

        try
        {
            ok = session.run(device);
        }
        catch (const std::exception& e)
        {
            std::cout << "Firmware update stopped: " << e.what() << std::endl;
            ok = false;
        }
        if (ok)
            std::cout << "Firmware upgraded!" << std::endl;
        else
            std::cout << "Firmware upgrade failed! Error code is " << session.error << std::endl;
    }

    manager->disconnect();
    return ok;
}

void printUpdateProgress(MVDevice*, FirmwareUpdateSession*, int percent, void*)
{
    std::cout << "Updating: " << percent << "%" << std::endl;
}

bool reopenDevice(MVDevice* device, FirmwareUpdateSession*, void* user)
{
    if (device == nullptr)
        return false;
    const int waitMs =
        user != nullptr ? static_cast<const ReopenWait*>(user)->milliseconds : defaultReopenWaitMs;
    device->close();
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    return device->open();
}
