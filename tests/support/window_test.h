// The base of the tests that run the whole main window in simulated time:
// a fresh simulated clock and the simulated mixer card, a working folder of
// its own, errors recorded, and everything closed and taken away again.
// A test sets its capture back end (or uses UseWav) before Open.
#pragma once

#include "app/zolu.h"
#include "platform/mixerbackend.h"
#include "platform/simgain.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "tests/support/test_support.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace zol::test {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSim();
        platform::InstallMixer(platform::CreateMixerBackend("sim"));
    }
    void TearDown() override
    {
        CloseForm();
        platform::InstallMixer(nullptr);
        platform::SetWaveInBackend(nullptr);
        platform::SetSimulatedCaptureGain(1.0);
    }
    // The window, shown and started on the test's working folder.
    TMainForm& OpenForm(TOptions options = {})
    {
        options.workdir = dir.path();
        form = std::make_unique<TMainForm>(options);
        form->show();
        form->FormCreate();
        return *form;
    }
    void CloseForm()
    {
        if (!form)
            return;
        form->close();
        Sim().Settle();
        form.reset();
        Sim().Settle();
    }
    // Captures from a 16-bit stereo WAV file of `frames` at 11025 Hz.
    void UseWav(const QByteArray& frames)
    {
        const QString path = dir.filePath("input.wav");
        ASSERT_TRUE(platform::WriteWavFile(path, 11025, 16, 2, frames));
        platform::SetWaveInBackend(platform::MakeWavFileBackend(path));
    }

    QTemporaryDir dir;
    std::unique_ptr<TMainForm> form;
    ErrorRecorder errors;
};

}  // namespace zol::test
