#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

class InterruptSignals;
class MainComponent;

// One state of the window. MainComponent holds the current one and calls
// enter once, right after it has become current. States change the views
// only through closures queued on the component; their tasks run on pool
// threads, touch only the device manager, the device and the sessions, and
// return their results as closures posted to the message thread. A posted
// closure runs only while the state that posted it is still current.
class AppState
{
public:
    virtual ~AppState() = default;
    virtual void enter(MainComponent* component) = 0;

    // The state's background task, or null for a state without one.
    // Destroying the state waits for it.
    virtual std::future<void>* getTask() { return nullptr; }
    // True while the state waits for its task's result closure: a close of
    // the window is then carried out by that closure.
    virtual bool isBusy() const { return false; }
};

// A state that runs one background task; destroying it waits for the task
// (the future of std::async blocks until the task has returned).
class TaskAppState : public AppState
{
public:
    std::future<void>* getTask() override { return &task; }
    bool isBusy() const override { return true; }

protected:
    std::future<void> task;
};

// Each state's steps are static functions taking the component, so that each
// can be run alone. enter composes them: it queues the view steps on the
// component and binds the result steps with MainComponent::forCurrentState
// for its task or the message loop to call.

struct AppSettings;

// No device: the connect view; starts the device poll.
class InitialAppState : public AppState
{
public:
    void enter(MainComponent* component) override;

    // The connect view, with "Connect Hardware" enabled.
    static void showConnectView(MainComponent* component);
};

// Scans for amplifiers in the background and connects the first one found.
class ConnectingAppState : public TaskAppState
{
public:
    void enter(MainComponent* component) override;

    // The connect button disabled, saying "Connecting...".
    static void showConnecting(MainComponent* component);
    // The task: a discovery; the number of amplifiers found, 0 when it throws.
    static int scanTask();
    // Connects the first amplifier listed and goes on to the device view,
    // also when the connect fails; with none found or listed, back to the
    // connect view.
    static void onScanFinished(MainComponent* component, int found);
};

// The device view: reads the command-17 text, the serial number and the
// firmware version, shows them and starts the device poll. Unlike the other
// states' work, the read runs on the message thread, in a closure the state
// posts: the device manager takes no lock and belongs to the message thread,
// and the poll it starts afterwards must not run a discovery while the read
// still uses the device. It holds the message thread for at most three reply
// timeouts.
class ConnectedAppState : public AppState
{
public:
    ConnectedAppState() = default;
    // After an update: the toast with this text is shown once the read is
    // over, so neither its fade-in nor its hold passes while the read holds
    // the message thread.
    explicit ConnectedAppState(std::string toastText) : toastText(std::move(toastText)) {}

    void enter(MainComponent* component) override;

    // What the read got; a text not read is empty.
    struct DeviceInfo
    {
        std::string command17; // read, not shown
        std::string serialNumber;
        std::string firmwareVersion;
    };

    // Reads the current device's information (empty texts without one) with
    // the settings' timeout, queues showDeviceInfo with it and then the toast
    // with toastText unless it is empty, and starts the device poll.
    static void readDeviceInfo(MainComponent* component, const std::string& toastText);
    // The device view with the serial number and firmware version, both
    // buttons enabled and "Check to update" in the ready colour.
    static void showDeviceInfo(MainComponent* component, const DeviceInfo& info);

private:
    std::string toastText;
};

// The step between "Check to update" and the update: stops the poll.
class FirmwareCheckingAppState : public TaskAppState
{
public:
    void enter(MainComponent* component) override;

    // Both device buttons disabled, "Checking..." in the busy colour.
    static void showChecking(MainComponent* component);
    // The task: stops the device poll, then posts checkFinished to the
    // message thread.
    static void checkTask(const std::function<void()>& checkFinished);
    // Goes on to the update.
    static void onCheckFinished(MainComponent* component);
};

// Writes the firmware image to the current device in the background and
// reports the outcome in the toast. While it lives, SIGINT and SIGTERM only
// ask the update to stop at its next safe point (InterruptSignals), as in
// the command line; the update's outcome line is then printed and the
// program ends.
class FirmwareUpdatingAppState : public TaskAppState
{
public:
    ~FirmwareUpdatingAppState() override;

    void enter(MainComponent* component) override;

    // What the update task hands back.
    struct Outcome
    {
        bool ok = false;
        // The lines the command line would end the update with.
        std::vector<std::string> lines;
        // Set by a SIGINT or SIGTERM during the update; null for none.
        const std::atomic<bool>* stopRequest = nullptr;

        bool interrupted() const { return stopRequest != nullptr && stopRequest->load(); }
    };

    // Both device buttons disabled, "Updating..." in the busy colour.
    static void showUpdating(MainComponent* component);
    // The task: writes the settings' image, or the embedded one, to the
    // current device unless refuseSeveralAmplifiers refuses; stops at the
    // next safe point once stopRequest (may be null) is set.
    static Outcome updateTask(const AppSettings& settings, int amplifiersFound,
                              const std::atomic<bool>* stopRequest = nullptr);
    // Back to the device view, which reads the device information again and
    // then shows the outcome in the toast. When the update was interrupted
    // or the window's close waited for it, the outcome's lines are printed
    // instead and the program ends: with exit code 1 after an interruption
    // that left the firmware unwritten.
    static void onUpdateFinished(MainComponent* component, const Outcome& outcome);

private:
    std::unique_ptr<InterruptSignals> signals;
};

// Writes the four bytes as unsigned decimals joined by dots: 1.2.3.37.
void writeVersion(std::ostream& out, uint8_t a, uint8_t b, uint8_t c, uint8_t d);
