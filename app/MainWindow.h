#pragma once

#include "app/OstrelFwUpgradeLauncherApplication.h"

#include <juce_gui_basics/juce_gui_basics.h>

class MainComponent;

// The main window; it owns the MainComponent, and its close button ends the
// program.
class OstrelFwUpgradeLauncherApplication::MainWindow : public juce::DocumentWindow
{
public:
    explicit MainWindow(juce::String name);

    // Stops the poll, disconnects and asks the application to quit; while a
    // task still uses the device, the task's result carries the close out.
    void closeButtonPressed() override;

    MainComponent* getMainComponent() const;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MainWindow)
};
