#include "app/AppState.h"

#include "app/CommandLineUpdater.h"
#include "app/ConnectedDeviceInfoView.h"
#include "app/DeviceText.h"
#include "app/InitialDeviceInfoView.h"
#include "app/MainComponent.h"
#include "app/MessageToast.h"
#include "app/UpdateSessionSetup.h"
#include "device/Bootloader.h"
#include "device/DeviceManager.h"
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

} // namespace

void writeVersion(std::ostream& out, uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    out << unsigned(a) << '.' << unsigned(b) << '.' << unsigned(c) << '.' << unsigned(d);
}

void InitialAppState::enter(MainComponent* component)
{
    manager()->disconnect();
    manager()->startTimer();
    queue(component,
          [component]
          {
              component->getInitialView().setVisible(true);
              component->getConnectedView().setVisible(false);
              component->getConnectButton().setButtonText("Connect Hardware");
              component->getConnectButton().setEnabled(true);
              component->resized();
          });
}

void ConnectingAppState::enter(MainComponent* component)
{
    queue(component,
          [component]
          {
              component->getConnectButton().setButtonText("Connecting...");
              component->getConnectButton().setEnabled(false);
              component->resized();
          });

    // No poll may start a scan on the message thread while the task scans.
    manager()->stopTimer();
    auto onScanFinished = component->forCurrentState(std::function<void(int)>(
        [component](int found)
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
        }));

    task = std::async(std::launch::async,
                      [onScanFinished]
                      {
                          int found = 0;
                          try
                          {
                              manager()->stopTimer();
                              found = manager()->scanDevices();
                          }
                          catch (const std::exception& e)
                          {
                              std::cout << "Scan failed: " << e.what() << std::endl;
                          }
                          juce::MessageManager::callAsync([onScanFinished, found] { onScanFinished(found); });
                      });
}

void ConnectedAppState::enter(MainComponent* component)
{
    auto readDeviceInfo = component->forCurrentState(std::function<void()>(
        [component, toastText = toastText]
        {
            const int timeoutMs = component->getSettings().readTimeoutMs;
            MVDevice* device = manager()->getCurrentDevice();

            auto command17 = std::shared_ptr<Command17Session>(new Command17Session(timeoutMs));
            const std::string command17Text = sanitiseDeviceText(readText(command17, device, "command 17"));

            auto serialSession = createSerialNumberSession();
            serialSession->timeoutMs = timeoutMs;
            const std::string serialText =
                sanitiseDeviceText(readText(serialSession, device, "the serial number"));

            const std::string versionText = readFirmwareVersion(device, timeoutMs);

            component->queueUiClosure(
                [component, command17Text, serialText, versionText]
                {
                    setDeviceButtonsEnabled(component, true);
                    component->getRow(1).setValue(juce::String::fromUTF8(serialText.c_str()));
                    component->getRow(2).setValue(juce::String::fromUTF8(versionText.c_str()));
                    component->getRow(2).setButtonTextColour(readyColour);
                    component->getRow(2).setButtonText("Check to update");
                    component->getInitialView().setVisible(false);
                    component->getConnectedView().setVisible(true);
                    component->resized();
                });
            if (!toastText.empty())
            {
                component->queueUiClosure(
                    [component, toastText]
                    {
                        component->getToast().setText(juce::String(toastText));
                        component->getToast().show();
                    });
            }
            manager()->startTimer();
            component->triggerAsyncUpdate();
        }));
    juce::MessageManager::callAsync(readDeviceInfo);
}

void FirmwareCheckingAppState::enter(MainComponent* component)
{
    queue(component, [component] { showBusy(component, "Checking..."); });

    auto onCheckFinished = component->forCurrentState(std::function<void()>(
        [component] { component->setState(std::make_unique<FirmwareUpdatingAppState>()); }));
    task = std::async(std::launch::async,
                      [onCheckFinished]
                      {
                          manager()->stopTimer();
                          juce::MessageManager::callAsync(onCheckFinished);
                      });
}

void FirmwareUpdatingAppState::enter(MainComponent* component)
{
    manager()->stopTimer();
    // With several amplifiers found, the one that comes back from the restart
    // could be another: nothing is flashed.
    const bool oneAmplifier = manager()->getDeviceKeys().size() <= 1;
    queue(component, [component] { showBusy(component, "Updating..."); });

    auto onUpdateFinished = component->forCurrentState(std::function<void(bool)>(
        [component](bool ok)
        {
            component->setState(std::make_unique<ConnectedAppState>(ok ? "Your firmware is up-to-date."
                                                                       : "Firmware updating failed!"));
        }));

    const AppSettings settings = component->getSettings();
    task =
        std::async(std::launch::async,
                   [onUpdateFinished, settings, oneAmplifier]
                   {
                       if (!oneAmplifier)
                       {
                           std::cout << moreThanOneAmplifierLine << std::endl;
                           juce::MessageManager::callAsync([onUpdateFinished] { onUpdateFinished(false); });
                           return;
                       }
                       ReopenWait wait;
                       wait.milliseconds = settings.reopenWaitMs;
                       const UpdateImage image =
                           settings.firmwareImage != nullptr
                               ? UpdateImage::inMemory(settings.firmwareImage, settings.firmwareImageSize)
                               : UpdateImage::inMemory(
                                     reinterpret_cast<const uint8_t*>(BinaryData::K7APWithChecksum_bin),
                                     BinaryData::K7APWithChecksum_binSize);
                       FirmwareUpdateSession session;
                       fillUpdateSession(session, image, nullptr, wait);
                       const bool ok = runUpdateSession(session, manager()->getCurrentDevice());
                       juce::MessageManager::callAsync([onUpdateFinished, ok] { onUpdateFinished(ok); });
                   });
}
