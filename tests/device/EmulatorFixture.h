#pragma once

// Installs an emulated port layer for one test and restores JUCE's after it,
// with helpers that pump the message thread while a background thread waits
// for it.

#include "device/MidiPortLayer.h"
#include "emulator/AmpFrames.h"
#include "emulator/Amplifier.h"
#include "emulator/EmulatedPortLayer.h"
#include "tests/support/PumpUntil.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// Short enough for fast tests, long enough for an in-process reply.
constexpr int testProbeWaitMs = 100;

struct EmulatorFixture : ::testing::Test
{
    std::shared_ptr<emu::EmulatedPortLayer> layer = std::make_shared<emu::EmulatedPortLayer>();

    void SetUp() override { mv::setMidiPortLayer(layer); }
    void TearDown() override { mv::setMidiPortLayer(nullptr); }

    template <typename T = emu::Amplifier> std::shared_ptr<T> addAmp(juce::String name, uint32_t word)
    {
        auto amp = emu::Amplifier::create<T>(emu::AmplifierConfig{name, name, word});
        layer->addAmplifier(amp);
        return amp;
    }

    // Pumps the message thread for ms milliseconds.
    static void pump(int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil(ms); }

    // Pumps until the condition holds or the time is up; the condition's value.
    static bool pumpUntil(const std::function<bool()>& condition, int ms = 15000)
    {
        return testsupport::pumpUntil(condition, ms);
    }

    // Runs fn on a background thread while the message thread is pumped;
    // between pumps the message thread runs onMessageThread too.
    static void runInBackground(const std::function<void()>& fn,
                                const std::function<void()>& onMessageThread = nullptr)
    {
        std::atomic<bool> done{false};
        std::thread worker(
            [&]
            {
                fn();
                done = true;
            });
        while (!done)
        {
            pump(2);
            if (onMessageThread)
                onMessageThread();
        }
        worker.join();
    }
};
