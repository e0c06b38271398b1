// The program's string table: every message text shown to the user has an
// identifier 28000 + n and is looked up here, so texts live in one place.
#pragma once

#include <QString>

namespace zol {

enum StrId : int {
    // general
    SOutOfMemory = 28000,
    SNotEnoughTimers = 28001,
    SUnknownMMError = 28002,
    SMMSystemError = 28003,
    SUnableToWrite = 28004,
    SInvalidStream = 28005,
    SClassNotRegistered = 28006,
    SSourceClassNotRegistered = 28007,
    SNilSourceClass = 28008,
    SInvalidObjectStream = 28009,
    SCallbacksInterrupt = 28010,
    SCallbacksOnlyWin95 = 28011,
    SStreamReadError = 28012,
    SListIndexError = 28013,
    // audio devices and capture
    SDeviceIdOutOfRange = 28020,
    SNoWaveInDevice = 28021,
    SInvalidDeviceId = 28022,
    SInvalidWaveFormat = 28023,
    SCantRecordFormat = 28024,
    SUnableToOpenDevice = 28025,
    SUnableToCloseDevice = 28026,
    SAllocWaveHeader = 28027,
    SFreeWaveHeader = 28028,
    SCouldNotCreateThread = 28029,
    SDeviceLost = 28030,
    SInvalidWaveFormatCaps = 28031,
    // timers
    SInvalidInterval = 28040,
    // displays
    SBitlengthNotSupported = 28045,
    SCanvasNeeded = 28046,
    SDIBWhileDrawing = 28047,
    SInvalidBitmapListStream = 28048,
    SCompressionError = 28049,
    SDIBNoDeviceContext = 28050,
    SInvalidAnimatedCount = 28051,
    SInvalidAnimatedIndex = 28052,
    SGetPaletteEntries = 28053,
    SSetPaletteEntries = 28054,
    SAnimatePalette = 28055,
    SBitmapResourceMissing = 28059,
    SChangeWhileOpen = 28060,
    // mixer
    SDeviceNotValid = 28070,
    SControlNotValid = 28071,
    SItemIndexOutOfRange = 28072,
    SItemInfoNonMultiple = 28073,
    SInvalidControlClass = 28074,
    SUndefinedComponentType = 28075,
    SUndefinedControlClass = 28076,
    SMixerRequired = 28077,
    SCantTargetMixer = 28078,
    SMixerCantReferenceMixer = 28079,
    SDestLineNotAudioLine = 28080,
    SOnlyWithMixerBlock = 28081,
    // designer
    SOnlyOneDesigner = 28090,
    SOwnerMustBeForm = 28091,
};

// The text of a string-table entry; an unknown identifier gives an empty text.
QString LoadResString(int id);

// Prefix of a failing device call: the call's name, a line feed and a
// carriage return, e.g. "WaveInOpen:\n\r".
QString CallPrefix(const char* callName);

}  // namespace zol
