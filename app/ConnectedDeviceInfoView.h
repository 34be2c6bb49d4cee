#pragma once

#include "app/DeviceInfoEditView.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <vector>

// The device view: three rows, "Device" with the eject button, "Serial", and
// "Firmware" with the check button.
class ConnectedDeviceInfoView : public juce::Component
{
public:
    ConnectedDeviceInfoView();
    ~ConnectedDeviceInfoView() override;

    void resized() override;

    // Always three: 0 Device (button: eject), 1 Serial (no button),
    // 2 Firmware (button: check).
    std::vector<std::unique_ptr<DeviceInfoEditView>> rows;
    juce::StretchableLayoutManager layout;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(ConnectedDeviceInfoView)
};
