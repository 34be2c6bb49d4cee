#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// A dark rounded box with one centred line of text. show() fades it in over
// 200 ms; 4000 ms after the latest show() it fades out over 150 ms and hides.
class MessageToast : public juce::Component, public juce::Timer
{
public:
    static constexpr int fadeInMs = 200;
    static constexpr int holdMs = 4000;
    static constexpr int fadeOutMs = 150;

    MessageToast();
    ~MessageToast() override;

    void setText(const juce::String& text);
    void show();

    // Fades the toast out and hides it; the timer fires once per show().
    void timerCallback() override;

    void paint(juce::Graphics& g) override;
    void resized() override;

    std::unique_ptr<juce::Label> label;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MessageToast)
};
