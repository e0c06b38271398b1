// The binary streams of the components: the equalizer's filter set ("EQU"),
// the plain object list ("OBJ") and the bitmap list ("MBML"/"MBMC"). Each
// input loads, or is refused with a stream error that leaves the component
// as it was; what loads stores again, and loads again to the same bytes.
#include "tests/fuzz/fuzz_targets.h"

#include "chain/equalizer.h"
#include "chain/objectlist.h"
#include "controls/bitmaplist.h"
#include "platform/errors.h"
#include "platform/waveformat.h"

#include <QImageReader>

#include <cmath>
#include <cstring>
#include <vector>

namespace zol::fuzz {

namespace {

QByteArray Bytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Audio through whatever curve the stream gave (NaN, endless or huge band
// edges and gains included).
void Filter(TMMEqualizer& eq)
{
    WAVEFORMATEX format{};
    MakePcmFormat(format, 16, 2, 11025);
    eq.SetWaveFormat(&format);
    eq.NotifyOpen();
    eq.NotifyStart();
    constexpr std::size_t kSamples = 1024;
    std::vector<unsigned char> block(kWaveHdrArea + kSamples * 2);
    auto* hdr = reinterpret_cast<WAVEHDR*>(block.data());
    hdr->lpData = reinterpret_cast<char*>(block.data() + kWaveHdrArea);
    hdr->dwBufferLength = hdr->dwBytesRecorded = static_cast<std::uint32_t>(kSamples * 2);
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < kSamples; ++i) {
            const auto s = static_cast<std::int16_t>(8000 * std::sin(0.37 * static_cast<double>(i)));
            std::memcpy(hdr->lpData + 2 * i, &s, 2);
        }
        eq.BufferReady(hdr);
    }
    eq.NotifyClose();
}

}  // namespace

int EqualizerStream(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = Bytes(data, size);
    TMMEqualizer eq;
    eq.Filters()->AddFilter(100, 200, -3);
    const QByteArray before = eq.SaveFilterStream();
    try {
        eq.LoadFilterStream(bytes);
    } catch (const EStreamError&) {
        Check(eq.Filters()->UpdateCount() == 0, "a refused stream ends its update");
        if (bytes.left(4) != QByteArray("EQU\0", 4))
            Check(eq.SaveFilterStream() == before, "a stream of another kind leaves the filters as they were");
        return 0;
    }
    Check(eq.Filters()->UpdateCount() == 0, "a loaded stream ends its update");
    Check(eq.FFTLength() >= 8 && eq.FFTLength() <= 4096, "the FFT length is one the engine takes");
    for (int i = 0; i < eq.Filters()->Count(); ++i)
        Check(dynamic_cast<TMMEQFilter*>(eq.Filters()->Get(i)) != nullptr, "only filters join an equalizer");
    const QByteArray again = eq.SaveFilterStream();
    TMMEqualizer copy;
    try {
        copy.LoadFilterStream(again);
    } catch (const EStreamError&) {
        Broken("what an equalizer stores, it loads");
    }
    Check(copy.SaveFilterStream() == again, "a stored filter set loads to the same stream");
    Filter(eq);
    return 0;
}

int ObjectStream(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = Bytes(data, size);
    TObjectList list;
    list.Add(new TMMFIRFilterItem(1, 2));
    try {
        list.LoadFromBytes(bytes);
    } catch (const EStreamError&) {
        Check(list.UpdateCount() == 0, "a refused stream ends its update");
        if (bytes.left(4) != QByteArray("OBJ\0", 4))
            Check(list.Count() == 1, "a stream of another kind leaves the list as it was");
        return 0;
    }
    Check(list.UpdateCount() == 0, "a loaded stream ends its update");
    const QByteArray again = list.SaveToBytes();
    TObjectList copy;
    try {
        copy.LoadFromBytes(again);
    } catch (const EStreamError&) {
        Broken("what an object list stores, it loads");
    }
    Check(copy.Count() == list.Count(), "a stored list loads with all its items");
    Check(copy.SaveToBytes() == again, "a stored list loads to the same stream");
    return 0;
}

int BitmapList(const std::uint8_t* data, std::size_t size)
{
    // A BMP header of a few bytes may claim a bitmap of hundreds of
    // megabytes, which the bitmap reader then makes; a lower limit keeps
    // each input quick and exercises the refusal of larger ones.
    static const bool limited = [] {
        QImageReader::setAllocationLimit(4);
        return true;
    }();
    (void)limited;
    const QByteArray bytes = Bytes(data, size);
    TMMBitmapList list;
    QImage kept(5, 4, QImage::Format_RGB32);
    kept.fill(qRgb(1, 2, 3));
    list.Add(kept);
    try {
        list.LoadListItems(bytes);
    } catch (const EStreamError&) {
        Check(list.Count() == 1 && list.Item(0).pixel(4, 3) == kept.pixel(4, 3),
              "a refused stream leaves the list as it was");
        Check(list.UpdateCount() == 0, "a refused stream ends its update");
        return 0;
    }
    Check(list.UpdateCount() == 0, "a loaded stream ends its update");
    if (list.Count() == 0) {
        Check(list.SaveListItems().isEmpty(), "an empty list stores nothing");
        return 0;
    }
    // What loaded stores and loads again, in both forms, with its pixels.
    for (bool compressed : {false, true}) {
        list.SetCompressed(compressed);
        TMMBitmapList copy;
        try {
            copy.LoadListItems(list.SaveListItems());
        } catch (const EStreamError&) {
            Broken("what a bitmap list stores, it loads");
        }
        Check(copy.Count() == list.Count(), "a stored list loads with all its bitmaps");
        for (int i = 0; i < list.Count(); ++i) {
            const QImage a = list.Item(i).convertToFormat(QImage::Format_RGB32);
            const QImage b = copy.Item(i).convertToFormat(QImage::Format_RGB32);
            Check(a.size() == b.size(), "a stored bitmap keeps its size");
            // The colour of each pixel (the top byte of an RGB32 pixel is
            // whatever the BMP image held there).
            for (int y = 0; y < a.height(); ++y) {
                const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
                const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
                for (int x = 0; x < a.width(); ++x)
                    Check((pa[x] & 0xFFFFFF) == (pb[x] & 0xFFFFFF), "a stored bitmap keeps its pixels");
            }
        }
    }
    return 0;
}

}  // namespace zol::fuzz
