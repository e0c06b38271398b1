// Shared set-up of the mixer tests: a simulated card installed as the mixer
// back end, and the main window's mixer components on it.
#pragma once

#include "mixer/mixercontrol.h"
#include "platform/mixer_sim.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace zol::test {

class SimMixerTest : public ::testing::Test {
protected:
    void SetUp() override { Install(1); }
    void TearDown() override
    {
        platform::RunPendingTasks();
        platform::InstallMixer(nullptr);
    }
    void Install(int cards)
    {
        auto backend = std::make_unique<platform::SimMixerBackend>(cards);
        sim = backend.get();
        platform::InstallMixer(std::move(backend));
    }
    platform::SimMixerBackend* sim = nullptr;
};

// The mixer device, the microphone line, the wave-in line and the
// microphone volume, as the main window wires them.
struct MainMixer {
    TMMMixerDevice device;
    TMMAudioLine mic;
    TMMAudioLine wavein;
    TMMVolumeControl volume;
    MainMixer()
    {
        mic.SetMixer(&device);
        mic.SetComponentType(ctSrcMicrophone);
        wavein.SetMixer(&device);
        wavein.SetComponentType(ctDstWaveIn);
        volume.SetAudioLine(&mic);
    }
};

}  // namespace zol::test
