#include "EmulatorFixture.h"

#include "device/JuceMidiPorts.h"

TEST(MidiPortLayer, InstallAndRestore)
{
    EXPECT_NE(dynamic_cast<mv::JuceMidiPortLayer*>(&mv::getMidiPortLayer()), nullptr);
    auto layer = std::make_shared<emu::EmulatedPortLayer>();
    mv::setMidiPortLayer(layer);
    EXPECT_EQ(&mv::getMidiPortLayer(), layer.get());
    mv::setMidiPortLayer(nullptr);
    EXPECT_NE(dynamic_cast<mv::JuceMidiPortLayer*>(&mv::getMidiPortLayer()), nullptr);
}

TEST(MidiPortLayer, JuceLayerRefusesIndicesOutsideItsLists)
{
    mv::JuceMidiPortLayer juceLayer;
    const int inputs = juceLayer.getInputNames().size();
    const int outputs = juceLayer.getOutputNames().size();
    EXPECT_EQ(juceLayer.openInput(-1, nullptr), nullptr);
    EXPECT_EQ(juceLayer.openInput(inputs, nullptr), nullptr);
    EXPECT_EQ(juceLayer.openOutput(-1), nullptr);
    EXPECT_EQ(juceLayer.openOutput(outputs), nullptr);
}
