#include "app/ConnectedDeviceInfoView.h"

namespace
{

struct RowSetup
{
    const char* title;
    const char* value;
    const char* buttonText;
    bool buttonShown;
    juce::uint32 buttonTextColour;
};

const RowSetup rowSetups[] = {
    {"Device", "Tolvo T1", "Eject", true, 0xffff431d},
    {"Serial", "123-456789-10111-21", "", false, 0xffffffff},
    {"Firmware", "0.41533.3232", "Check to update", true, 0xffffffff},
};

constexpr double rowHeight = 70.0;

} // namespace

ConnectedDeviceInfoView::ConnectedDeviceInfoView()
{
    int index = 0;
    for (const RowSetup& setup : rowSetups)
    {
        auto row = std::make_unique<DeviceInfoEditView>(setup.title);
        row->setButtonText(setup.buttonText);
        row->setValue(setup.value);
        row->setButtonVisible(setup.buttonShown);
        row->setButtonTextColour(juce::Colour(setup.buttonTextColour));
        rows.push_back(std::move(row));
        addAndMakeVisible(*rows.back());
        layout.setItemLayout(index++, rowHeight, rowHeight, rowHeight);
    }
}

ConnectedDeviceInfoView::~ConnectedDeviceInfoView() = default;

void ConnectedDeviceInfoView::resized()
{
    juce::Component* components[] = {rows[0].get(), rows[1].get(), rows[2].get()};
    layout.layOutComponents(components, 3, 0, 20, getWidth(), getHeight(), true, true);
}
