#include "app/MainWindow.h"

#include "app/MainComponent.h"
#include "app/ProductInfo.h"

OstrelFwUpgradeLauncherApplication::MainWindow::MainWindow(juce::String name)
    : juce::DocumentWindow(name,
                           juce::Desktop::getInstance().getDefaultLookAndFeel().findColour(
                               juce::ResizableWindow::backgroundColourId),
                           juce::DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar(true);
    auto* component = new MainComponent();
    component->setExitHandler(
        [](int exitCode)
        {
            if (auto* app = juce::JUCEApplication::getInstance())
            {
                app->setApplicationReturnValue(exitCode);
                app->systemRequestedQuit();
            }
        });
    setContentOwned(component, true);
    setResizable(true, true);
    centreWithSize(getWidth(), getHeight());
    setName(productName);
    setVisible(true);
}

MainComponent* OstrelFwUpgradeLauncherApplication::MainWindow::getMainComponent() const
{
    return dynamic_cast<MainComponent*>(getContentComponent());
}

void OstrelFwUpgradeLauncherApplication::MainWindow::closeButtonPressed()
{
    const auto quit = []
    {
        if (auto* app = juce::JUCEApplication::getInstance())
            app->systemRequestedQuit();
    };
    if (auto* component = getMainComponent())
        component->requestClose(quit);
    else
        quit();
}
