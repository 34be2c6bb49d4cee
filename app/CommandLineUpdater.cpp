#include "app/CommandLineUpdater.h"

#include "app/DeviceText.h"
#include "app/UpdateSessionSetup.h"
#include "device/DeviceManager.h"
#include "device/FirmwareUpdateSession.h"
#include "device/GenericDeviceSession.h"
#include "device/MVDevice.h"

#include <juce_core/juce_core.h>

#include <atomic>
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

    bool ok = false;
    {
        FirmwareUpdateSession session;
        fillUpdateSession(session, UpdateImage::fromFile(file.getFullPathName().toStdString()),
                          printUpdateProgress, wait, replyTimeoutMs);
        ok = runUpdateSession(session, device);
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
    // One line per block, thousands per update: flushed only when the
    // percentage moves on (the last line, 100, among them).
    static std::atomic<int> lastPercent{-1};
    std::cout << "Updating: " << percent << "%\n";
    if (lastPercent.exchange(percent) != percent)
        std::cout.flush();
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
