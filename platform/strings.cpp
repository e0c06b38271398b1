#include "platform/strings.h"

#include <unordered_map>

namespace zol {

namespace {
const std::unordered_map<int, const char*>& Table()
{
    static const std::unordered_map<int, const char*> table = {
        {SOutOfMemory, "Out of memory"},
        {SNotEnoughTimers, "Not enough timers available"},
        {SUnknownMMError, "Specified error number is out of range (unknown error)"},
        {SMMSystemError, "MMSystem error: %1"},
        {SUnableToWrite, "Unable to write to %1"},
        {SInvalidStream, "Invalid stream format"},
        {SClassNotRegistered, "Class <%1> not registered"},
        {SSourceClassNotRegistered, "Source Class <%1> not registered"},
        {SNilSourceClass, "Nil Source Class!"},
        {SInvalidObjectStream, "Invalid Object stream"},
        {SCallbacksInterrupt, "\"CallBacks\" are called at interrupt time !"},
        {SCallbacksOnlyWin95, "This is currently only supported under Windows 95"},
        {SStreamReadError, "Stream read error"},
        {SListIndexError, "List index out of bounds (%1)"},
        {SDeviceIdOutOfRange, "Device id is out of range"},
        {SNoWaveInDevice, "No wave audio recording device found"},
        {SInvalidDeviceId, "Invalid DeviceID"},
        {SInvalidWaveFormat, "Invalid wave format"},
        {SCantRecordFormat, "The actual device can't record this format"},
        {SUnableToOpenDevice, "Unable to open device"},
        {SUnableToCloseDevice, "Unable to close device"},
        {SAllocWaveHeader, "Unable to allocate memory for wave header"},
        {SFreeWaveHeader, "Unable to free header memory"},
        {SCouldNotCreateThread, "Could not create thread"},
        {SDeviceLost, "The recording device stopped delivering audio"},
        {SInvalidWaveFormatCaps, "Invalid WaveFormat"},
        {SInvalidInterval, "Interval should be > 0"},
        {SBitlengthNotSupported, "Bitlength not supported yet"},
        {SCanvasNeeded, "Canvas needed for this operation"},
        {SDIBWhileDrawing, "Attempt to create new DIB while initialized for drawing"},
        {SInvalidBitmapListStream, "Invalid BitmapList stream"},
        {SCompressionError, "LZRW Error!"},
        {SDIBNoDeviceContext, "Unable to access DIB device context"},
        {SInvalidAnimatedCount, "Invalid count of animated colors"},
        {SInvalidAnimatedIndex, "Invalidate animated color index"},
        {SGetPaletteEntries, "Get palette entries failed"},
        {SSetPaletteEntries, "Set palette entries failed"},
        {SAnimatePalette, "Animation of palette entries failed"},
        {SBitmapResourceMissing, "Bitmap resource %1 not found"},
        {SChangeWhileOpen, "Change to property while device was open"},
        {SDeviceNotValid, "Device not valid"},
        {SControlNotValid, "Control not valid"},
        {SItemIndexOutOfRange, "Item index out of range"},
        {SItemInfoNonMultiple, "Item info requested from non-multiple control"},
        {SInvalidControlClass, "Invalid control class"},
        {SUndefinedComponentType, "Undefined API component type"},
        {SUndefinedControlClass, "Undefined API control class"},
        {SMixerRequired, "Mixer required for this operation"},
        {SCantTargetMixer, "Can't target to mixer"},
        {SMixerCantReferenceMixer, "Mixer can't reference mixer"},
        {SDestLineNotAudioLine, "DestLine should be TMMAudioLine"},
        {SOnlyWithMixerBlock, "This controls can be used only with MixerBlock"},
        {SOnlyOneDesigner, "Only one Designer is allowed per Form"},
        {SOwnerMustBeForm, "Owner must be a Form"},
    };
    return table;
}
}  // namespace

QString LoadResString(int id)
{
    const auto& table = Table();
    auto it = table.find(id);
    return it == table.end() ? QString() : QString::fromUtf8(it->second);
}

QString CallPrefix(const char* callName)
{
    return QString::fromLatin1(callName) + QStringLiteral(":\n\r");
}

}  // namespace zol
