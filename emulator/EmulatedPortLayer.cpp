#include "emulator/EmulatedPortLayer.h"

#include <algorithm>

namespace emu
{

void EmulatedPortLayer::addAmplifier(std::shared_ptr<Amplifier> amp)
{
    std::lock_guard<std::mutex> lock(mutex);
    amplifiers.push_back(std::move(amp));
}

void EmulatedPortLayer::insertAmplifier(std::size_t position, std::shared_ptr<Amplifier> amp)
{
    std::lock_guard<std::mutex> lock(mutex);
    amplifiers.insert(amplifiers.begin() + long(std::min(position, amplifiers.size())), std::move(amp));
}

void EmulatedPortLayer::removeAmplifier(const std::shared_ptr<Amplifier>& amp)
{
    std::lock_guard<std::mutex> lock(mutex);
    amplifiers.erase(std::remove(amplifiers.begin(), amplifiers.end(), amp), amplifiers.end());
}

std::vector<std::shared_ptr<Amplifier>> EmulatedPortLayer::getAmplifiers() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return amplifiers;
}

std::vector<std::shared_ptr<Amplifier>> EmulatedPortLayer::plugged() const
{
    std::vector<std::shared_ptr<Amplifier>> result;
    for (const auto& amp : getAmplifiers())
        if (amp->isPlugged())
            result.push_back(amp);
    return result;
}

juce::StringArray EmulatedPortLayer::getInputNames()
{
    ++inputListings;
    juce::StringArray names;
    for (const auto& amp : plugged())
        names.add(amp->getInputName());
    return names;
}

juce::StringArray EmulatedPortLayer::getOutputNames()
{
    ++outputListings;
    juce::StringArray names;
    for (const auto& amp : plugged())
        names.add(amp->getOutputName());
    return names;
}

std::unique_ptr<mv::MidiInputPort> EmulatedPortLayer::openInput(int index,
                                                                mv::MidiInputPortCallback* callback)
{
    const auto amps = plugged();
    if (index < 0 || size_t(index) >= amps.size())
        return nullptr;
    return amps[size_t(index)]->openInput(amps[size_t(index)], callback);
}

std::unique_ptr<mv::MidiOutputPort> EmulatedPortLayer::openOutput(int index)
{
    const auto amps = plugged();
    if (index < 0 || size_t(index) >= amps.size())
        return nullptr;
    return amps[size_t(index)]->openOutput(amps[size_t(index)]);
}

} // namespace emu
