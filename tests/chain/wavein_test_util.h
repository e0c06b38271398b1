// Helpers of the capture source's tests.
#pragma once

#include "chain/dspcomponent.h"

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace zol::test {

// A plain link that records what reaches it.
class CountLink : public TMMDSPComponent {
public:
    std::int64_t bytes = 0;
    int buffers = 0;
    std::vector<std::uint32_t> sizes;
    std::vector<int> firstFrames;  // frame number in the first sample of each buffer
    std::thread::id thread;
    int opens = 0, closes = 0, starts = 0, stops = 0;
    std::function<void(PWaveHdr)> onBuffer;

    void BufferReady(PWaveHdr hdr) override
    {
        bytes += hdr->dwBytesRecorded;
        ++buffers;
        sizes.push_back(hdr->dwBytesRecorded);
        if (hdr->dwBytesRecorded >= 2)
            firstFrames.push_back(static_cast<std::uint8_t>(hdr->lpData[0]) |
                                  static_cast<std::uint8_t>(hdr->lpData[1]) << 8);
        thread = std::this_thread::get_id();
        if (onBuffer)
            onBuffer(hdr);
        TMMDSPComponent::BufferReady(hdr);
    }
    void NotifyOpen() override { ++opens; TMMDSPComponent::NotifyOpen(); }
    void NotifyClose() override { ++closes; TMMDSPComponent::NotifyClose(); }
    void NotifyStart() override { ++starts; TMMDSPComponent::NotifyStart(); }
    void NotifyStop() override { ++stops; TMMDSPComponent::NotifyStop(); }
};

}  // namespace zol::test
