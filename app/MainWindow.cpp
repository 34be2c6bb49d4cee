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
    setContentOwned(new MainComponent(), true);
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
