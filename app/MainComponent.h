#pragma once

#include "app/AppSettings.h"
#include "app/AppState.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class InitialDeviceInfoView;
class ConnectedDeviceInfoView;
class DeviceInfoEditView;
class MessageToast;

namespace mv
{
class DeviceManager;
}

// The whole content of the main window: the speaker picture, the connect
// view, the device view and the toast, and the current application state.
class MainComponent : public juce::Component, public juce::AsyncUpdater, public juce::Button::Listener
{
public:
    static constexpr int defaultWidth = 375;
    static constexpr int defaultHeight = 667;
    static const char* const homePageUrl;
    static const char* const supportPageUrl;

    explicit MainComponent(AppSettings settings = {});
    // Stops the poll, removes the listener, retires the state (waiting for its
    // task) and disconnects the device.
    ~MainComponent() override;

    // Appends a closure to the UI queue; the caller then triggers the
    // asynchronous update, which runs the queue oldest first.
    void queueUiClosure(std::function<void()> closure);
    void handleAsyncUpdate() override;

    // Makes next the current state and enters it. The old state is destroyed
    // first, after its task has returned.
    void setState(std::unique_ptr<AppState> next);
    AppState* getState() const { return state.get(); }

    void buttonClicked(juce::Button* button) override;
    void resized() override;
    void paint(juce::Graphics& g) override;

    // The device manager's listener.
    void devicesChanged(mv::DeviceManager* manager);

    // The window's close. With no task running it stops the poll, disconnects
    // and calls quit at once; otherwise it is remembered, and the running
    // task's result closure carries it out. A flash is never cut short.
    void requestClose(std::function<void()> quit);
    bool isClosePending() const { return closePending; }
    bool isClosed() const { return closed; }

    // How the program ends with an exit code when the component asks it to
    // (a signal during an update); without one, the close's quit is called.
    void setExitHandler(std::function<void(int exitCode)> handler) { exitHandler = std::move(handler); }
    // Stops the poll, disconnects and ends the program: with exit code 0
    // through the pending close's quit when there is one, otherwise through
    // the exit handler.
    void closeNow(int exitCode);

    // Binds a step of the current state to this component, so that it runs
    // only while this component lives and that state is still current. When a
    // close is pending, the bound step carries the close out instead of
    // running, unless throughClose is set: the step then runs and carries it
    // out itself (closeNow). The result may be called from any thread's
    // posted message, but runs its checks on the message thread.
    template <typename... Args>
    std::function<void(Args...)> forCurrentState(void (*step)(MainComponent*, Args...),
                                                 bool throughClose = false)
    {
        return [this, alive = std::weak_ptr<void>(lifetime), token = stateToken, step,
                throughClose](Args... args)
        {
            if (alive.expired() || closed || token != stateToken)
                return;
            if (closePending && !throughClose)
            {
                finishClose();
                return;
            }
            step(this, args...);
        };
    }

    // Replaces how the web links are opened (juce::URL::launchInDefaultBrowser).
    void setUrlOpener(std::function<void(const juce::URL&)> opener) { urlOpener = std::move(opener); }

    const AppSettings& getSettings() const { return settings; }
    InitialDeviceInfoView& getInitialView() { return *initialView; }
    ConnectedDeviceInfoView& getConnectedView() { return *connectedView; }
    MessageToast& getToast() { return *toast; }
    juce::TextButton& getConnectButton();
    DeviceInfoEditView& getRow(int index);
    juce::TextButton& getEjectButton();
    juce::TextButton& getCheckButton();

private:
    template <typename T> bool stateIs() const { return dynamic_cast<T*>(state.get()) != nullptr; }
    void finishClose();
    // Destroys the current state. When its task still runs, the message
    // thread is served meanwhile, since the task may wait for it.
    void retireState();

    AppSettings settings;
    std::function<void(const juce::URL&)> urlOpener;
    std::function<void()> quitFunction;
    std::function<void(int)> exitHandler;
    // Expires when the component goes, so closures posted earlier do nothing.
    std::shared_ptr<int> lifetime = std::make_shared<int>(0);
    uint64_t stateToken = 0;
    bool closePending = false;
    bool closed = false;

    std::unique_ptr<juce::ImageButton> speakerButton;
    juce::Image speakerImage;
    std::unique_ptr<InitialDeviceInfoView> initialView;
    std::unique_ptr<ConnectedDeviceInfoView> connectedView;
    std::unique_ptr<MessageToast> toast;
    juce::StretchableLayoutManager verticalLayout;
    juce::StretchableLayoutManager horizontalLayout;
    std::unique_ptr<AppState> state;
    std::deque<std::function<void()>> uiClosures;
    std::mutex uiClosuresMutex;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MainComponent)
};
