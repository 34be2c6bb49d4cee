#include "app/AppState.h"

#include "app/CommandLineUpdater.h"
#include "app/ConnectedDeviceInfoView.h"
#include "app/InitialDeviceInfoView.h"
#include "app/InterruptSignals.h"
#include "app/MainComponent.h"
#include "app/MessageToast.h"
#include "app/SeveralAmplifiersRefusal.h"
#include "app/UpdateOutcome.h"
#include "app/UpdateSessionSetup.h"
#include "device/Bootloader.h"
#include "device/DeviceManager.h"
#include "device/DeviceText.h"
#include "device/DownloadFirmwareVersionSession.h"
#include "device/FirmwareUpdateSession.h"
#include "device/GenericDeviceSession.h"
#include "resources/BinaryData.h"

#include <exception>
#include <iostream>
#include <sstream>

namespace
{

const juce::Colour busyColour(0xffe4af09);
const juce::Colour readyColour(0xffffffff);

mv::DeviceManager* manager()
{
    return mv::DeviceManager::getInstance();
}

// Queues a UI closure and triggers the component's asynchronous update.
void queue(MainComponent* component, std::function<void()> closure)
{
    component->queueUiClosure(std::move(closure));
    component->triggerAsyncUpdate();
}

// Runs a generic session and returns its reply text; a read that fails
// leaves it empty. A timeout or a bad reply throws out of the session and is
// reported here, so it never ends the program.
template <typename Session>
std::string readText(std::shared_ptr<Session> session, MVDevice* device, const char* what)
{
    try
    {
        if (session->run(device))
            return session->replyPacker.value;
    }
    catch (const std::exception& e)
    {
        std::cout << "Cannot read " << what << ": " << e.what() << std::endl;
    }
    return {};
}

// The firmware version text, or an empty text when the block was not read.
std::string readFirmwareVersion(MVDevice* device, int timeoutMs)
{
    bootloader::DownloadFirmwareVersionSession session;
    session.timeoutMs = timeoutMs;
    session.error = 0;
    bool ok = false;
    try
    {
        ok = session.run(device);
    }
    catch (const std::exception& e)
    {
        std::cout << "Cannot read the firmware version: " << e.what() << std::endl;
    }
    if (!ok)
        return {};
    const auto& v = session.firmwareInfo.firmwareVersion;
    std::ostringstream text;
    writeVersion(text, v[0], v[1], v[2], v[3]);
    return text.str();
}

// The three texts of the device view, read from device (which may be null)
// in this order.
ConnectedAppState::DeviceInfo readDeviceTexts(MVDevice* device, int timeoutMs)
{
    ConnectedAppState::DeviceInfo info;
    auto command17 = std::shared_ptr<Command17Session>(new Command17Session(timeoutMs));
    info.command17 = sanitiseDeviceText(readText(command17, device, "command 17"));

    auto serialSession = createSerialNumberSession();
    serialSession->timeoutMs = timeoutMs;
    info.serialNumber = sanitiseDeviceText(readText(serialSession, device, "the serial number"));

    info.firmwareVersion = readFirmwareVersion(device, timeoutMs);
    return info;
}

void setDeviceButtonsEnabled(MainComponent* component, bool enabled)
{
    component->getEjectButton().setEnabled(enabled);
    component->getCheckButton().setEnabled(enabled);
}

void showBusy(MainComponent* component, const juce::String& text)
{
    setDeviceButtonsEnabled(component, false);
    component->getRow(2).setButtonTextColour(busyColour);
    component->getRow(2).setButtonText(text);
}

void showToast(MainComponent* component, const std::string& text)
{
    component->getToast().setText(juce::String(text));
    component->getToast().show();
}

} // namespace

void writeVersion(std::ostream& out, uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    out << unsigned(a) << '.' << unsigned(b) << '.' << unsigned(c) << '.' << unsigned(d);
}

void InitialAppState::enter(MainComponent* component)
{
    manager()->disconnect();
    manager()->startTimer();
    queue(component, [component] { showConnectView(component); });
}

void InitialAppState::showConnectView(MainComponent* component)
{
    component->getInitialView().setVisible(true);
    component->getConnectedView().setVisible(false);
    component->getConnectButton().setButtonText("Connect Hardware");
    component->getConnectButton().setEnabled(true);
    component->resized();
}

void ConnectingAppState::enter(MainComponent* component)
{
    queue(component, [component] { showConnecting(component); });

    // No poll may start a scan on the message thread while the task scans.
    manager()->stopTimer();
    auto scanFinished = component->forCurrentState(&ConnectingAppState::onScanFinished);
    task = std::async(std::launch::async,
                      [scanFinished]
                      {
                          const int found = scanTask();
                          juce::MessageManager::callAsync([scanFinished, found] { scanFinished(found); });
                      });
}

void ConnectingAppState::showConnecting(MainComponent* component)
{
    component->getConnectButton().setButtonText("Connecting...");
    component->getConnectButton().setEnabled(false);
    component->resized();
}

int ConnectingAppState::scanTask()
{
    try
    {
        manager()->stopTimer();
        return manager()->scanDevices();
    }
    catch (const std::exception& e)
    {
        std::cout << "Scan failed: " << e.what() << std::endl;
    }
    return 0;
}

void ConnectingAppState::onScanFinished(MainComponent* component, int found)
{
    auto* devices = manager();
    bool connectAttempted = false;
    if (found > 0)
    {
        const auto keys = devices->getDeviceKeys();
        if (!keys.empty())
        {
            devices->connect(keys.front());
            connectAttempted = true;
        }
    }
    // A failed connect still shows the device view, whose reads then fail.
    if (connectAttempted)
        component->setState(std::make_unique<ConnectedAppState>());
    else
        component->setState(std::make_unique<InitialAppState>());
}

void ConnectedAppState::enter(MainComponent* component)
{
    auto read = component->forCurrentState(&ConnectedAppState::readDeviceInfo);
    juce::MessageManager::callAsync([read, toastText = toastText] { read(toastText); });
}

void ConnectedAppState::readDeviceInfo(MainComponent* component, const std::string& toastText)
{
    const DeviceInfo info =
        readDeviceTexts(manager()->getCurrentDevice(), component->getSettings().readTimeoutMs);
    component->queueUiClosure([component, info] { showDeviceInfo(component, info); });
    if (!toastText.empty())
        component->queueUiClosure([component, toastText] { showToast(component, toastText); });
    manager()->startTimer();
    component->triggerAsyncUpdate();
}

void ConnectedAppState::showDeviceInfo(MainComponent* component, const DeviceInfo& info)
{
    setDeviceButtonsEnabled(component, true);
    component->getRow(1).setValue(juce::String::fromUTF8(info.serialNumber.c_str()));
    component->getRow(2).setValue(juce::String::fromUTF8(info.firmwareVersion.c_str()));
    component->getRow(2).setButtonTextColour(readyColour);
    component->getRow(2).setButtonText("Check to update");
    component->getInitialView().setVisible(false);
    component->getConnectedView().setVisible(true);
    component->resized();
}

void FirmwareCheckingAppState::enter(MainComponent* component)
{
    queue(component, [component] { showChecking(component); });

    auto checkFinished = component->forCurrentState(&FirmwareCheckingAppState::onCheckFinished);
    task = std::async(std::launch::async, [checkFinished] { checkTask(checkFinished); });
}

void FirmwareCheckingAppState::checkTask(const std::function<void()>& checkFinished)
{
    manager()->stopTimer();
    juce::MessageManager::callAsync(checkFinished);
}

void FirmwareCheckingAppState::showChecking(MainComponent* component)
{
    showBusy(component, "Checking...");
}

void FirmwareCheckingAppState::onCheckFinished(MainComponent* component)
{
    component->setState(std::make_unique<FirmwareUpdatingAppState>());
}

FirmwareUpdatingAppState::~FirmwareUpdatingAppState() = default;

void FirmwareUpdatingAppState::enter(MainComponent* component)
{
    manager()->stopTimer();
    const int amplifiersFound = int(manager()->getDeviceKeys().size());
    queue(component, [component] { showUpdating(component); });

    // Held until the state goes, after its task: a signal during the update
    // stops it at a safe point instead of quitting (SIGINT) or killing
    // (SIGTERM) the program in the middle of it.
    signals = std::make_unique<InterruptSignals>();
    const std::atomic<bool>* stopRequest = &InterruptSignals::stopRequest();
    auto updateFinished = component->forCurrentState(&FirmwareUpdatingAppState::onUpdateFinished, true);
    task = std::async(std::launch::async,
                      [updateFinished, settings = component->getSettings(), amplifiersFound, stopRequest]
                      {
                          const Outcome outcome = updateTask(settings, amplifiersFound, stopRequest);
                          juce::MessageManager::callAsync([updateFinished, outcome]
                                                          { updateFinished(outcome); });
                      });
}

void FirmwareUpdatingAppState::showUpdating(MainComponent* component)
{
    showBusy(component, "Updating...");
}

FirmwareUpdatingAppState::Outcome FirmwareUpdatingAppState::updateTask(const AppSettings& settings,
                                                                       int amplifiersFound,
                                                                       const std::atomic<bool>* stopRequest)
{
    Outcome outcome;
    outcome.stopRequest = stopRequest;
    // The refusal's own line says it all.
    if (refuseSeveralAmplifiers(amplifiersFound))
        return outcome;
    ReopenWait wait;
    wait.milliseconds = settings.reopenWaitMs;
    const UpdateImage image =
        settings.firmwareImage != nullptr
            ? UpdateImage::inMemory(settings.firmwareImage, settings.firmwareImageSize)
            : UpdateImage::inMemory(reinterpret_cast<const uint8_t*>(BinaryData::K7APWithChecksum_bin),
                                    BinaryData::K7APWithChecksum_binSize);
    FirmwareUpdateSession session;
    fillUpdateSession(session, image, nullptr, wait);
    session.stopRequest = stopRequest;
    outcome.ok = runUpdateSession(session, manager()->getCurrentDevice());
    outcome.lines = updateOutcomeLines(session, outcome.ok);
    return outcome;
}

void FirmwareUpdatingAppState::onUpdateFinished(MainComponent* component, const Outcome& outcome)
{
    const bool interrupted = outcome.interrupted();
    if (interrupted || component->isClosePending())
    {
        // Nobody is left to see a toast: the outcome goes where the command
        // line puts it.
        for (const std::string& line : outcome.lines)
            std::cout << line << std::endl;
        component->closeNow(interrupted && !outcome.ok ? 1 : 0);
        return;
    }
    component->setState(std::make_unique<ConnectedAppState>(outcome.ok ? "Your firmware is up-to-date."
                                                                       : "Firmware updating failed!"));
}
