#include "app/DeviceInfoEditView.h"

#include "app/StyleConstants.h"

DeviceInfoEditView::DeviceInfoEditView(const juce::String& title)
{
    titleLabel = std::make_unique<juce::Label>();
    titleLabel->setColour(juce::Label::textColourId, colourTitleGrey);
    titleLabel->setSize(titleLabel->getWidth(), 19);
    titleLabel->setFont(fontBold14);
    addAndMakeVisible(*titleLabel);

    valueLabel = std::make_unique<juce::Label>();
    valueLabel->setColour(juce::Label::textColourId, colourTextGrey);
    valueLabel->setSize(valueLabel->getWidth(), 21);
    valueLabel->setFont(fontRegular16);
    valueLabel->setColour(juce::Label::textWhenEditingColourId, colourTextGrey);
    addAndMakeVisible(*valueLabel);

    button = std::make_unique<juce::TextButton>();
    button->setSize(button->getWidth(), 28);
    button->setLookAndFeel(&buttonLookAndFeel);
    button->setColour(juce::TextButton::buttonColourId, colourButtonGrey);
    button->setColour(juce::TextButton::textColourOffId, colourTextGrey);
    button->setMouseCursor(juce::MouseCursor::PointingHandCursor);
    addAndMakeVisible(*button);

    setTitle(title);
}

DeviceInfoEditView::~DeviceInfoEditView()
{
    button->setLookAndFeel(nullptr);
}

void DeviceInfoEditView::setTitle(const juce::String& text)
{
    titleLabel->setText(text, juce::dontSendNotification);
}

void DeviceInfoEditView::setValue(const juce::String& text)
{
    valueLabel->setText(text, juce::dontSendNotification);
}

void DeviceInfoEditView::setButtonText(const juce::String& text)
{
    button->setButtonText(text);
}

void DeviceInfoEditView::setButtonTextColour(const juce::Colour& colour)
{
    button->setColour(juce::TextButton::textColourOffId, colour);
}

void DeviceInfoEditView::setButtonVisible(bool visible)
{
    button->setVisible(visible);
}

void DeviceInfoEditView::paint(juce::Graphics& g)
{
    juce::Graphics::ScopedSaveState state(g);
    g.setColour(colourLineGrey);
    g.fillRect(21, valueLabel->getBottom() + 14, getWidth() - 42, 1);
}

void DeviceInfoEditView::resized()
{
    titleLabel->setBounds(21, 0, 185, 19);
    valueLabel->setBounds(21, titleLabel->getBottom() + 5, 185, 25);
    button->setSize(90, 28);
    button->setCentrePosition(getWidth() - 19 - button->getWidth() / 2,
                              (titleLabel->getY() + valueLabel->getBottom()) / 2);
}
