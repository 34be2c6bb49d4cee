#include "app/MessageToast.h"

#include "app/StyleConstants.h"

MessageToast::MessageToast()
{
    label = std::make_unique<juce::Label>();
    label->setFont(fontRegular16);
    label->setColour(juce::Label::textColourId, colourTextGrey);
    label->setJustificationType(juce::Justification::centred);
    addAndMakeVisible(*label);
}

MessageToast::~MessageToast()
{
    stopTimer();
}

void MessageToast::setText(const juce::String& text)
{
    label->setText(text, juce::dontSendNotification);
}

void MessageToast::show()
{
    stopTimer();
    juce::Desktop::getInstance().getAnimator().fadeIn(this, fadeInMs);
    startTimer(holdMs);
}

void MessageToast::timerCallback()
{
    juce::Desktop::getInstance().getAnimator().fadeOut(this, fadeOutMs);
    stopTimer();
}

void MessageToast::paint(juce::Graphics& g)
{
    juce::Graphics::ScopedSaveState state(g);
    g.setColour(colourToastGrey);
    g.fillRoundedRectangle(0.0f, 0.0f, static_cast<float>(getWidth()), static_cast<float>(getHeight()), 8.0f);
}

void MessageToast::resized()
{
    label->setBounds(0, 0, getWidth(), getHeight());
}
