// Recoloured LED glyph strips shared by every digit of the same look.
#pragma once

#include <QColor>
#include <QImage>

#include <memory>
#include <vector>

namespace zol {

// Glyph sizes; the name gives the nominal size, LEDGlyphWidth/Height the real
// size of a glyph in the strips.
enum TMMLEDSize {
    ls06x07, ls07x11, ls08x13, ls11x19, ls13x20, ls13x21, ls15x24,
    ls15x25, ls17x29, ls18x25, ls19x33, ls21x37, ls23x41,
};
constexpr int kLEDSizeCount = 13;

// What a digit shows: a digit 0..9 or one of the symbols.
enum TMMLEDType { ltDigit, ltPeriod, ltColon, ltMinus };

// Resource name of the strip for a type and size: "LCD_13X21" for digits,
// "LCDS_13X21" for the symbol types.
QString LEDStripName(TMMLEDType type, TMMLEDSize size);
// Number of glyphs in a strip: 11 for digits (unlit, 0..9), 4 for symbols
// (unlit, period, colon, minus).
int LEDGlyphCount(TMMLEDType type);

// One per process, created by the first acquire and freed when its last entry
// is released.
class TDigitCache {
public:
    // A shared strip of the given look: white template pixels become `lit`,
    // black ones `background`, silver ones `inactive` (or `background` when
    // `drawInactive` is false), any other colour black. Strips are shared by
    // reference count; an unknown size raises EOutOfResources.
    static const QImage* AcquireDigitBitmap(TMMLEDType type, TMMLEDSize size, const QColor& background,
                                            const QColor& inactive, const QColor& lit, bool drawInactive);
    // Drops one reference of `strip` and clears the caller's pointer; the last
    // reference frees the strip, and the last strip frees the cache.
    static void ReleaseDigitBitmap(const QImage*& strip);

    // The cache, or none when no strip is held.
    static TDigitCache* Instance();
    int Count() const { return static_cast<int>(entries_.size()); }
    // References of `strip`, 0 when it is not in the cache.
    int RefCount(const QImage* strip) const;

private:
    struct Entry {
        QImage strip;
        TMMLEDType type;
        TMMLEDSize size;
        bool drawInactive;
        QColor background, inactive, lit;
        int refCount;
    };
    std::vector<std::unique_ptr<Entry>> entries_;
};

}  // namespace zol
