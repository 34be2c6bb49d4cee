// Program entry of the demo build: the same application, talking to one
// emulated amplifier instead of JUCE's MIDI ports. The amplifier runs an
// older firmware version than the embedded image, so both the window's
// "Check to update" and "--path" with the generated image flash a newer one.
#include "app/OstrelFwUpgradeLauncherApplication.h"
#include "device/FirmwareInfoBlock.h"
#include "device/MidiPortLayer.h"
#include "emulator/EmulatedPortLayer.h"
#include "emulator/K7Amplifier.h"
#include "resources/BinaryData.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace
{

// The embedded image's info block with its firmware version lowered: the
// last non-zero version byte goes down by one.
std::vector<uint8_t> olderInfoBlock()
{
    const auto* image = reinterpret_cast<const uint8_t*>(BinaryData::K7APWithChecksum_bin);
    const auto size = static_cast<std::size_t>(BinaryData::K7APWithChecksum_binSize);
    std::vector<uint8_t> block(FirmwareInfoBlock::size, 0);
    if (size >= FirmwareInfoBlock::imageOffset + FirmwareInfoBlock::size)
        std::copy_n(image + FirmwareInfoBlock::imageOffset, FirmwareInfoBlock::size, block.begin());

    const std::size_t versionOffset = FirmwareInfoBlock::firmwareVersionOffset;
    for (std::size_t i = versionOffset + 4; i-- > versionOffset;)
    {
        if (block[i] != 0)
        {
            --block[i];
            return block;
        }
    }
    return block;
}

class DemoApplication : public OstrelFwUpgradeLauncherApplication
{
public:
    DemoApplication()
    {
        layer = std::make_shared<emu::EmulatedPortLayer>();
        amplifier = emu::Amplifier::create<emu::K7Amplifier>();
        amplifier->setSerialNumber("K7AP-DEMO-000042");
        amplifier->getBootloader().setInfoBlock(olderInfoBlock());
        layer->addAmplifier(amplifier);
        mv::setMidiPortLayer(layer);
    }

    ~DemoApplication() override { mv::setMidiPortLayer(nullptr); }

private:
    std::shared_ptr<emu::EmulatedPortLayer> layer;
    std::shared_ptr<emu::K7Amplifier> amplifier;
};

} // namespace

START_JUCE_APPLICATION(DemoApplication)
