#include "device/MidiPortLayer.h"

#include "device/JuceMidiPorts.h"

#include <mutex>

namespace mv
{

namespace
{

std::mutex& layerMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<MidiPortLayer>& installedLayer()
{
    static std::shared_ptr<MidiPortLayer> layer;
    return layer;
}

} // namespace

MidiPortLayer& getMidiPortLayer()
{
    {
        std::lock_guard<std::mutex> lock(layerMutex());
        if (auto& layer = installedLayer())
            return *layer;
    }
    static JuceMidiPortLayer juceLayer;
    return juceLayer;
}

void setMidiPortLayer(std::shared_ptr<MidiPortLayer> layer)
{
    std::shared_ptr<MidiPortLayer> previous;
    {
        std::lock_guard<std::mutex> lock(layerMutex());
        previous = std::move(installedLayer());
        installedLayer() = std::move(layer);
    }
    // previous is released outside the lock: its destructor may do anything.
}

} // namespace mv
