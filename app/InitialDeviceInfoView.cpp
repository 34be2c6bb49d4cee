#include "app/InitialDeviceInfoView.h"

#include "app/StyleConstants.h"

namespace
{

constexpr double itemHeight = 40.0;

std::unique_ptr<juce::TextButton> makeLinkButton(const juce::String& text, juce::Component& parent,
                                                 juce::LookAndFeel& lookAndFeel)
{
    auto button = std::make_unique<juce::TextButton>();
    button->setButtonText(text);
    button->setColour(juce::TextButton::textColourOffId, colourTextGrey);
    button->setColour(juce::TextButton::buttonColourId, juce::Colour(0x00000000));
    button->setSize(parent.getWidth(), 40);
    button->setLookAndFeel(&lookAndFeel);
    button->setMouseCursor(juce::MouseCursor::PointingHandCursor);
    parent.addAndMakeVisible(*button);
    return button;
}

} // namespace

InitialDeviceInfoView::InitialDeviceInfoView()
{
    promptLabel = std::make_unique<juce::Label>();
    promptLabel->setText("Connect your Tolvo Amp with USB cable.", juce::dontSendNotification);
    promptLabel->setFont(fontMedium14);
    promptLabel->setColour(juce::Label::textColourId, colourTextGrey);
    promptLabel->setJustificationType(juce::Justification::centred);
    promptLabel->setSize(getWidth(), 40);
    addAndMakeVisible(*promptLabel);

    connectButton = std::make_unique<juce::TextButton>();
    connectButton->setButtonText("Connect Hardware");
    connectButton->setColour(juce::TextButton::textColourOnId, juce::Colour(0xff282828));
    connectButton->setColour(juce::TextButton::buttonColourId, juce::Colour(0xffe4af09));
    connectButton->setSize(getWidth(), 40);
    connectButton->setLookAndFeel(&connectLookAndFeel);
    connectButton->setMouseCursor(juce::MouseCursor::PointingHandCursor);
    addAndMakeVisible(*connectButton);

    learnMoreButton = makeLinkButton("Learn more about Tolvo speaker", *this, urlLookAndFeel);
    helpButton = makeLinkButton("Help Center", *this, urlLookAndFeel);
}

InitialDeviceInfoView::~InitialDeviceInfoView()
{
    connectButton->setLookAndFeel(nullptr);
    learnMoreButton->setLookAndFeel(nullptr);
    helpButton->setLookAndFeel(nullptr);
}

void InitialDeviceInfoView::resized()
{
    const int w = getWidth();
    const int h = getHeight();

    promptLabel->setSize(w, promptLabel->getHeight());
    connectButton->setSize(w, connectButton->getHeight());
    connectButton->setTopLeftPosition(62, connectButton->getY());
    connectButton->setSize(w - 124, connectButton->getHeight());

    layout.setItemLayout(0, itemHeight, itemHeight, itemHeight);
    layout.setItemLayout(1, itemHeight, itemHeight, itemHeight);
    juce::Component* top[] = {promptLabel.get(), connectButton.get()};
    layout.layOutComponents(top, 2, 0, 38, w, 80, true, false);

    const int bottom = connectButton->getBottom();
    learnMoreButton->setSize(w, learnMoreButton->getHeight());
    helpButton->setSize(w, helpButton->getHeight());
    juce::Component* links[] = {learnMoreButton.get(), helpButton.get()};
    layout.layOutComponents(links, 2, 0, bottom + 76, w, h - (bottom + 76), true, false);
}
