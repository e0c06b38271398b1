// What a display connector needs from a display it feeds: the four display
// operations, the object whose removal it watches, and the few settings it
// reads from oscilloscopes and spectrograms. Displays implement this; the
// chain library knows nothing else about them.
#pragma once

#include "platform/waveformat.h"

class QObject;

namespace zol {

class IMMDisplay {
public:
    virtual ~IMMDisplay() = default;

    // Tells the display the PCM format it will receive.
    virtual void SetWaveFormat(const WAVEFORMATEX* format) = 0;
    // Bytes the display consumes per slice.
    virtual int NeededBytes() const = 0;
    // Processes and draws one slice of NeededBytes bytes.
    virtual void ShowPCMData(const char* data) = 0;
    // Clears and repaints.
    virtual void ResetDisplay() = 0;
    // The component, for removal notices.
    virtual QObject* DisplayObject() = 0;

    // Read from oscilloscopes (and Accelerate from spectrograms); other
    // displays keep these defaults.
    virtual bool Scroll() const { return false; }
    virtual bool Accelerate() const { return false; }
    virtual int FFTLength() const { return 0; }
    virtual TMMBits BitLength() const { return b16Bit; }
    virtual TMMMode Mode() const { return mStereo; }
};

}  // namespace zol
