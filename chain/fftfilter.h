// The FFT filtering engine: imposes an arbitrary gain-per-frequency curve on
// 16-bit interleaved PCM by fast convolution. The curve (one linear gain per
// bin) is turned into a linear-phase kernel of N/2 + 1 taps centred at N/4
// (frequency sampling with a window); blocks of N frames are filtered two
// half-blocks per transform and overlap-added. Input and output FIFOs let
// buffers of any size pass through unchanged in size.
//
// One engine is one preallocated block: nothing is allocated per buffer.
// Curve and window changes (window thread) and filtering or resets (capture
// thread) are serialised by the engine's lock. An owner that must guard the
// engine itself (its replacement while buffers pass) hands the engine its own
// lock, so the two share one.
#pragma once

#include "platform/waveformat.h"

#include <mutex>

namespace zol {

struct TFFTFilterEngine;
using PFFTFilter = TFFTFilterEngine*;

// The engine's largest transform.
constexpr int kMaxFilterFFTLength = 1024;

// A new engine for `format` with N = the largest power of two not above
// min(fftLength, 1024) (at least 2), FIFOs for buffers of up to
// `maxBufferBytes` bytes, the Hamming window and a flat 0 dB curve. None when
// memory is short. A missing or non-PCM format gives an engine that passes
// data through untouched. With `lock` the engine takes that lock instead of
// one of its own; it must outlive the engine.
PFFTFilter CreateFilterEngine(const WAVEFORMATEX* format, int fftLength, int maxBufferBytes,
                              std::mutex* lock = nullptr);
void FreeFilterEngine(PFFTFilter engine);

// Sets bins trunc(f1 / b) .. trunc(f2 / b) (b = rate / N; edges clamped to
// 0 .. rate / 2) to the linear gain 10^((gainDb + 6) / 20) and rebuilds the
// kernel. A band with f1 = f2 covers up to trunc((f2 + 1) / b).
void SetBandGain(PFFTFilter engine, float gainDb, float f2, float f1);
// Window used for the kernel design; rebuilds the kernel.
void SetFilterWindow(PFFTFilter engine, int window);
// Empties both FIFOs and clears the overlap tails.
void ResetFilterEngine(PFFTFilter engine);
// Filters `bytes` bytes of interleaved 16-bit PCM in place; `channel` is a
// TMMChannel (chBoth, chLeft, chRight). Returns true when an output sample
// was clipped.
bool FilterBuffer(PFFTFilter engine, int channel, char* data, int bytes);
// The same, for a caller that holds the engine's lock.
bool FilterBufferLocked(PFFTFilter engine, int channel, char* data, int bytes);

// Inspection (tests, response displays).
int FilterEngineFFTLength(PFFTFilter engine);
int FilterEngineWindow(PFFTFilter engine);
// Copies the N/2 + 1 linear bin gains.
void GetFilterResponse(PFFTFilter engine, float* gains);
// Copies the active kernel spectrum (N interleaved complex values).
void GetFilterKernel(PFFTFilter engine, float* kernel);
// Bytes waiting in the input FIFO and ready in the output FIFO.
int FilterEngineInputFill(PFFTFilter engine);
int FilterEngineOutputFill(PFFTFilter engine);

}  // namespace zol
