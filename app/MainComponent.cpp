#include "app/MainComponent.h"

#include "app/ConnectedDeviceInfoView.h"
#include "app/InitialDeviceInfoView.h"
#include "app/MessageToast.h"
#include "device/DeviceManager.h"
#include "resources/BinaryData.h"

#include <chrono>

const char* const MainComponent::homePageUrl = "https://tolvo.example/";
const char* const MainComponent::supportPageUrl = "https://support.tolvo.example/hc/en-us/requests/new";

MainComponent::MainComponent(AppSettings settings_)
    : settings(settings_), urlOpener([](const juce::URL& url) { url.launchInDefaultBrowser(); }),
      state(std::make_unique<InitialAppState>())
{
    speakerImage = juce::ImageFileFormat::loadFrom(BinaryData::grelmSpeaker_png,
                                                   static_cast<size_t>(BinaryData::grelmSpeaker_pngSize));

    speakerButton = std::make_unique<juce::ImageButton>(juce::String());
    speakerButton->setImages(true, true, true, speakerImage, 1.0f, juce::Colours::transparentBlack,
                             speakerImage, 1.0f, juce::Colours::transparentBlack, speakerImage, 1.0f,
                             juce::Colours::transparentBlack, 0.0f);
    addAndMakeVisible(*speakerButton);

    initialView = std::make_unique<InitialDeviceInfoView>();
    addAndMakeVisible(*initialView);
    getConnectButton().addListener(this);
    initialView->learnMoreButton->addListener(this);
    initialView->helpButton->addListener(this);

    connectedView = std::make_unique<ConnectedDeviceInfoView>();
    addChildComponent(*connectedView);
    getEjectButton().addListener(this);
    getCheckButton().addListener(this);

    toast = std::make_unique<MessageToast>();
    addChildComponent(*toast);

    setSize(defaultWidth, defaultHeight);

    mv::DeviceManager::getInstance()->setListener([this](mv::DeviceManager* manager)
                                                  { devicesChanged(manager); });

    state->enter(this);
}

MainComponent::~MainComponent()
{
    // Closures posted before now find the component gone and do nothing.
    lifetime.reset();
    closed = true;
    cancelPendingUpdate();
    {
        std::lock_guard<std::mutex> lock(uiClosuresMutex);
        uiClosures.clear();
    }

    auto* manager = mv::DeviceManager::getInstance();
    manager->stopTimer();
    manager->setListener([](mv::DeviceManager*) {});
    retireState();
    manager->disconnect();
}

juce::TextButton& MainComponent::getConnectButton()
{
    return *initialView->connectButton;
}

DeviceInfoEditView& MainComponent::getRow(int index)
{
    return *connectedView->rows[static_cast<size_t>(index)];
}

juce::TextButton& MainComponent::getEjectButton()
{
    return *getRow(0).button;
}

juce::TextButton& MainComponent::getCheckButton()
{
    return *getRow(2).button;
}

void MainComponent::queueUiClosure(std::function<void()> closure)
{
    std::lock_guard<std::mutex> lock(uiClosuresMutex);
    uiClosures.push_back(std::move(closure));
}

void MainComponent::handleAsyncUpdate()
{
    // Run unlocked, so a closure may queue another one.
    std::deque<std::function<void()>> pending;
    {
        std::lock_guard<std::mutex> lock(uiClosuresMutex);
        pending.swap(uiClosures);
    }
    for (auto& closure : pending)
    {
        if (closure)
            closure();
    }
}

void MainComponent::setState(std::unique_ptr<AppState> next)
{
    // Closures of the old state are dropped from now on.
    ++stateToken;
    state = std::move(next);
    state->enter(this);
}

void MainComponent::retireState()
{
    if (state == nullptr)
        return;
    if (auto* task = state->getTask(); task != nullptr && task->valid())
    {
        using namespace std::chrono_literals;
        while (task->wait_for(0ms) != std::future_status::ready)
        {
            // The task may wait for the message thread (port listing and
            // opening); serve it unless the loop is ending, in which case
            // such waits fail at once.
            auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();
            if (messageManager != nullptr && messageManager->isThisTheMessageThread() &&
                !messageManager->hasStopMessageBeenSent())
                messageManager->runDispatchLoopUntil(10);
            else
                task->wait_for(10ms);
        }
    }
    state.reset();
}

void MainComponent::buttonClicked(juce::Button* button)
{
    if (closed || closePending)
        return;

    if (button == initialView->learnMoreButton.get())
    {
        urlOpener(juce::URL(homePageUrl));
    }
    else if (button == initialView->helpButton.get())
    {
        urlOpener(juce::URL(supportPageUrl));
    }
    else if (button == &getConnectButton())
    {
        // A click posted by devicesChanged may arrive after a user's click.
        if (stateIs<InitialAppState>())
            setState(std::make_unique<ConnectingAppState>());
    }
    else if (button == &getEjectButton())
    {
        if (stateIs<ConnectedAppState>())
            setState(std::make_unique<InitialAppState>());
    }
    else if (button == &getCheckButton())
    {
        if (stateIs<ConnectedAppState>())
            setState(std::make_unique<FirmwareCheckingAppState>());
    }
}

void MainComponent::devicesChanged(mv::DeviceManager* manager)
{
    if (closed || closePending)
        return;

    if (manager->getCurrentDevice() == nullptr)
    {
        if (stateIs<InitialAppState>())
            getConnectButton().triggerClick();
    }
    else if (stateIs<ConnectedAppState>() || stateIs<FirmwareCheckingAppState>())
    {
        // The device may be gone; nothing has been written to it yet.
        setState(std::make_unique<InitialAppState>());
    }
}

void MainComponent::requestClose(std::function<void()> quit)
{
    if (closed)
        return;
    quitFunction = std::move(quit);
    if (state != nullptr && state->isBusy())
    {
        closePending = true;
        return;
    }
    finishClose();
}

void MainComponent::finishClose()
{
    closeNow(0);
}

void MainComponent::closeNow(int exitCode)
{
    if (closed)
        return;
    const bool byCloseButton = closePending && quitFunction;
    closed = true;
    closePending = false;
    auto* manager = mv::DeviceManager::getInstance();
    manager->stopTimer();
    manager->disconnect();
    if ((byCloseButton && exitCode == 0) || !exitHandler)
    {
        if (quitFunction)
            quitFunction();
    }
    else
    {
        exitHandler(exitCode);
    }
}

void MainComponent::resized()
{
    const int w = getWidth();
    const int h = getHeight();
    juce::Component* view = initialView->isVisible() ? static_cast<juce::Component*>(initialView.get())
                                                     : static_cast<juce::Component*>(connectedView.get());

    horizontalLayout.setItemLayout(0, w - 150, w - 150, w - 150);
    juce::Component* picture[] = {speakerButton.get()};
    horizontalLayout.layOutComponents(picture, 1, 75, 0, w - 150, h, false, true);
    juce::Component* viewOnly[] = {view};
    horizontalLayout.layOutComponents(viewOnly, 1, 0, 0, w, h, false, true);

    verticalLayout.setItemLayout(0, 0, 256, 256);
    verticalLayout.setItemLayout(1, 256, h, h);
    verticalLayout.setItemLayout(2, 0, h, h);
    juce::Component* column[] = {speakerButton.get(), view, nullptr};
    verticalLayout.layOutComponents(column, 3, 0, 93, w, h, true, false);

    const int viewBottom = view->getBottom();
    toast->setSize(w - 64, juce::jmin(64, h - viewBottom));
    toast->setTopLeftPosition(32, viewBottom + 16);
}

void MainComponent::paint(juce::Graphics& g)
{
    // Built at the first paint from the size at that moment.
    static const juce::ColourGradient background(juce::Colour(0xff3c3c3c), 0.0f, 0.0f,
                                                 juce::Colour(0xff171717), static_cast<float>(getWidth()),
                                                 getHeight() * 0.3f, true);
    juce::Graphics::ScopedSaveState saved(g);
    g.setGradientFill(background);
    g.fillAll();
}
