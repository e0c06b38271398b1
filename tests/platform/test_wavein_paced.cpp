// The paced wave-in device in real time: its timer thread delivers buffers
// while the caller stops and closes it.
#include "platform/wavein_sources.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace zol;
using namespace zol::platform;

TEST(WaveInPaced, NoCallbackRunsOnceResetOrCloseHasReturned)
{
    InstallClock(std::make_unique<RealClock>());
    {
        auto backend = MakeSimReceiverBackend();
        WAVEFORMATEX f{};
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = 2;
        f.nSamplesPerSec = 44100;
        f.wBitsPerSample = 16;
        f.nBlockAlign = 4;
        f.nAvgBytesPerSec = 4 * 44100;
        for (int round = 0; round < 3; ++round) {
            std::atomic<bool> inData{false};
            std::atomic<int> data{0};
            std::atomic<bool> closed{false};
            std::atomic<bool> dataAfterClose{false};
            std::unique_ptr<WaveInDevice> device;
            ASSERT_EQ(backend->Open(0, f,
                                    [&](int msg, WAVEHDR*, int) {
                                        if (msg == WIM_CLOSE)
                                            closed = true;
                                        if (msg != WIM_DATA)
                                            return;
                                        if (closed)
                                            dataAfterClose = true;
                                        // The first filled buffer is slow to hand on.
                                        if (data++ == 0) {
                                            inData = true;
                                            std::this_thread::sleep_for(std::chrono::milliseconds(150));
                                            inData = false;
                                        }
                                    },
                                    device),
                      0);
            std::vector<std::vector<char>> blocks(4, std::vector<char>(256));
            std::vector<WAVEHDR> headers(4);
            for (int i = 0; i < 4; ++i) {
                headers[i].lpData = blocks[i].data();
                headers[i].dwBufferLength = 256;
                ASSERT_EQ(device->PrepareHeader(&headers[i]), 0);
                ASSERT_EQ(device->AddBuffer(&headers[i]), 0);
            }
            ASSERT_EQ(device->Start(), 0);
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!inData && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            ASSERT_TRUE(inData.load());
            if (round == 0) {
                ASSERT_EQ(device->Reset(), 0);
                EXPECT_FALSE(inData.load()) << "Reset returned while a buffer was still being handed back";
                ASSERT_EQ(device->Close(), 0);
            } else if (round == 1) {
                ASSERT_EQ(device->Close(), 0);
                EXPECT_FALSE(inData.load()) << "Close returned while a buffer was still being handed back";
            } else {
                // Destroyed without a Close: the callback must not outlive it.
                device.reset();
                EXPECT_FALSE(inData.load()) << "the device was destroyed while it still called back";
            }
            device.reset();
            EXPECT_FALSE(dataAfterClose.load());
        }
    }
    test::ResetSim();
}
