#pragma once

#include "app/ConnectButtonLookAndFeel.h"
#include "app/UrlButtonLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The connect view: a one-line prompt, the "Connect Hardware" pill and two
// text links.
class InitialDeviceInfoView : public juce::Component
{
public:
    InitialDeviceInfoView();
    ~InitialDeviceInfoView() override;

    void resized() override;

    // Declared before the buttons that use them, so they outlive the buttons.
    lookandfeel::ConnectButtonLookAndFeel connectLookAndFeel;
    lookandfeel::UrlButtonLookAndFeel urlLookAndFeel;
    std::unique_ptr<juce::Label> promptLabel;
    std::unique_ptr<juce::TextButton> connectButton;
    std::unique_ptr<juce::TextButton> learnMoreButton;
    std::unique_ptr<juce::TextButton> helpButton;
    juce::StretchableLayoutManager layout;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(InitialDeviceInfoView)
};
