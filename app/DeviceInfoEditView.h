#pragma once

#include "app/ConnectButtonLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// One row of the device view: a title over a value on the left, an optional
// pill button on the right and a thin separator line underneath.
class DeviceInfoEditView : public juce::Component
{
public:
    explicit DeviceInfoEditView(const juce::String& title);
    ~DeviceInfoEditView() override;

    void setTitle(const juce::String& text);
    void setValue(const juce::String& text);
    void setButtonText(const juce::String& text);
    void setButtonTextColour(const juce::Colour& colour);
    void setButtonVisible(bool visible);

    void paint(juce::Graphics& g) override;
    void resized() override;

    // Declared before the button that uses it, so it outlives the button.
    lookandfeel::ConnectButtonLookAndFeel buttonLookAndFeel;
    std::unique_ptr<juce::Label> titleLabel;
    std::unique_ptr<juce::Label> valueLabel;
    std::unique_ptr<juce::TextButton> button;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(DeviceInfoEditView)
};
