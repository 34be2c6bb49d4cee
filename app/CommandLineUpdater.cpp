#include "app/CommandLineUpdater.h"

#include "app/DeviceText.h"
#include "app/InterruptSignals.h"
#include "app/SeveralAmplifiersRefusal.h"
#include "app/UpdateSessionSetup.h"
#include "device/DeviceManager.h"
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

using StopPoint = FirmwareUpdateSession::StopPoint;

// The one line of a run stopped by SIGINT or SIGTERM: the step, and what
// the amplifier is left with.
std::string interruptedLine(StopPoint point, int blocksWritten = 0, int blockCount = 0,
                            bool inBootloader = false)
{
    std::string step;
    switch (point)
    {
        case StopPoint::None:
        case StopPoint::BeforeTraffic:
            step = "before anything was sent to the bootloader";
            break;
        case StopPoint::Switching:
            step = "while switching to the bootloader";
            break;
        case StopPoint::Restarting:
            step = "while waiting for the amplifier to restart";
            break;
        case StopPoint::Writing:
            step = blocksWritten == 0 ? "before writing block 1 of " + std::to_string(blockCount)
                                      : "after writing block " + std::to_string(blocksWritten) + " of " +
                                            std::to_string(blockCount);
            break;
        case StopPoint::ComingBack:
            return "Update interrupted after the last block while waiting for the amplifier to come back: "
                   "every block was written and the amplifier was told to start the new firmware";
    }
    const char* const state = inBootloader ? "the amplifier is in its bootloader; running the updater "
                                             "again finishes the update"
                                           : "the amplifier is unchanged";
    return "Update interrupted " + step + ": " + state;
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
    // Ctrl-C and SIGTERM stop the run at its next check instead of being
    // swallowed (JUCE's SIGINT flag) or killing it mid-update.
    const InterruptSignals interruptSignals;
    const std::atomic<bool>& stopRequest = InterruptSignals::stopRequest();

    auto* manager = mv::DeviceManager::getInstance();
    const int found = manager->scanDevices();
    if (stopRequest)
    {
        std::cout << interruptedLine(StopPoint::BeforeTraffic) << std::endl;
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
        std::cout << interruptedLine(StopPoint::BeforeTraffic) << std::endl;
        manager->disconnect();
        return false;
    }

    ReopenWait wait;
    wait.milliseconds = reopenWaitMs;

    bool ok = false;
    {
        FirmwareUpdateSession session;
        fillUpdateSession(session, UpdateImage::fromFile(file.getFullPathName().toStdString()),
                          printUpdateProgress, wait, replyTimeoutMs);
        session.stopRequest = &stopRequest;
        ok = runUpdateSession(session, device);
        if (ok)
            std::cout << "Firmware upgraded!" << std::endl;
        else if (session.stoppedAt != StopPoint::None)
            std::cout << interruptedLine(session.stoppedAt, session.blocksWritten, session.blockCount,
                                         session.inBootloader)
                      << std::endl;
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
