#include "app/CommandLineUpdater.h"

#include "app/InterruptSignals.h"
#include "app/SeveralAmplifiersRefusal.h"
#include "app/UpdateOutcome.h"
#include "app/UpdateSessionSetup.h"
#include "device/DeviceManager.h"
#include "device/DeviceText.h"
#include "device/FirmwareUpdateSession.h"
#include "device/GenericDeviceSession.h"
#include "device/MVDevice.h"

#include <juce_core/juce_core.h>

#include <algorithm>
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

// Waits waitMs, polling the session's stop request when it has one; false
// when a stop was requested.
bool waitUnlessStopped(int waitMs, const FirmwareUpdateSession* session)
{
    using Clock = std::chrono::steady_clock;
    if (session == nullptr || session->stopRequest == nullptr)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return true;
    }
    constexpr auto pollInterval = std::chrono::milliseconds(10);
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    while (!session->stopRequested())
    {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, pollInterval));
    }
    return false;
}

} // namespace

bool runCommandLineUpdate(const juce::File& file, int reopenWaitMs, int replyTimeoutMs)
{
    return runCommandLineUpdate(file.getFullPathName().toStdString(), reopenWaitMs, replyTimeoutMs);
}

bool runCommandLineUpdate(const std::string& path, int reopenWaitMs, int replyTimeoutMs)
{
    // Ctrl-C and SIGTERM stop the run at its next check instead of being
    // swallowed (JUCE's SIGINT flag) or killing it mid-update.
    const InterruptSignals interruptSignals;
    const std::atomic<bool>& stopRequest = InterruptSignals::stopRequest();

    auto* manager = mv::DeviceManager::getInstance();
    const int found = manager->scanDevices();
    if (stopRequest)
    {
        std::cout << interruptedBeforeTrafficLine() << std::endl;
        return false;
    }
    if (found == 0)
    {
        std::cout << "No device found" << std::endl;
        return false;
    }
    std::cout << found << " device(s) found" << std::endl;
    if (refuseSeveralAmplifiers(found))
        return false;

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
    if (stopRequest)
    {
        std::cout << interruptedBeforeTrafficLine() << std::endl;
        manager->disconnect();
        return false;
    }

    ReopenWait wait;
    wait.milliseconds = reopenWaitMs;

    bool ok = false;
    {
        FirmwareUpdateSession session;
        fillUpdateSession(session, UpdateImage::fromFile(path), printUpdateProgress, wait, replyTimeoutMs);
        session.stopRequest = &stopRequest;
        ok = runUpdateSession(session, device);
        for (const std::string& line : updateOutcomeLines(session, ok))
            std::cout << line << std::endl;
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

bool reopenDevice(MVDevice* device, FirmwareUpdateSession* session, void* user)
{
    if (device == nullptr)
        return false;
    const int waitMs =
        user != nullptr ? static_cast<const ReopenWait*>(user)->milliseconds : defaultReopenWaitMs;
    device->close();
    // A session asked to stop ends the wait and leaves the device closed.
    if (!waitUnlessStopped(waitMs, session))
        return false;
    return device->open();
}
