#include "displays/ledcache.h"

#include "platform/errors.h"
#include "platform/strings.h"
#include "resources/bitmaps.h"

namespace zol {

namespace {

const char* const kSizeNames[kLEDSizeCount] = {
    "06X07", "07X11", "08X13", "11X19", "13X20", "13X21", "15X24",
    "15X25", "17X29", "18X25", "19X33", "21X37", "23X41",
};

std::unique_ptr<TDigitCache>& TheCache()
{
    static std::unique_ptr<TDigitCache> cache;
    return cache;
}

// Maps the template colours of `image` (in place) to the look's colours.
void Recolour(QImage& image, QRgb background, QRgb inactive, QRgb lit)
{
    const QRgb white = qRgb(0xFF, 0xFF, 0xFF);
    const QRgb black = qRgb(0x00, 0x00, 0x00);
    const QRgb silver = qRgb(0xC0, 0xC0, 0xC0);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x] | 0xFF000000u;
            line[x] = p == white ? lit : p == black ? background : p == silver ? inactive : black;
        }
    }
}

}  // namespace

QString LEDStripName(TMMLEDType type, TMMLEDSize size)
{
    const int index = static_cast<int>(size);
    const QString suffix = index >= 0 && index < kLEDSizeCount ? QLatin1String(kSizeNames[index])
                                                               : QString::number(index);
    return (type == ltDigit ? QStringLiteral("LCD_") : QStringLiteral("LCDS_")) + suffix;
}

int LEDGlyphCount(TMMLEDType type)
{
    return type == ltDigit ? 11 : 4;
}

TDigitCache* TDigitCache::Instance()
{
    return TheCache().get();
}

int TDigitCache::RefCount(const QImage* strip) const
{
    for (const auto& e : entries_)
        if (&e->strip == strip)
            return e->refCount;
    return 0;
}

const QImage* TDigitCache::AcquireDigitBitmap(TMMLEDType type, TMMLEDSize size, const QColor& background,
                                              const QColor& inactive, const QColor& lit, bool drawInactive)
{
    // Symbol types share the same strip but, being part of the key, keep
    // entries of their own.
    auto& cache = TheCache();
    if (cache) {
        for (const auto& e : cache->entries_) {
            if (e->type == type && e->size == size && e->drawInactive == drawInactive &&
                e->background.rgba() == background.rgba() && e->inactive.rgba() == inactive.rgba() &&
                e->lit.rgba() == lit.rgba()) {
                ++e->refCount;
                return &e->strip;
            }
        }
    }
    const QString name = LEDStripName(type, size);
    QImage strip = LoadBitmapResource(name);
    if (strip.isNull() || strip.width() % LEDGlyphCount(type) != 0)
        throw EOutOfResources(LoadResString(SBitmapResourceMissing).arg(name));
    const QRgb back = background.rgb();
    Recolour(strip, back, drawInactive ? inactive.rgb() : back, lit.rgb());

    auto entry = std::make_unique<Entry>(
        Entry{std::move(strip), type, size, drawInactive, background, inactive, lit, 1});
    const QImage* result = &entry->strip;
    if (!cache)
        cache = std::make_unique<TDigitCache>();
    cache->entries_.push_back(std::move(entry));
    return result;
}

void TDigitCache::ReleaseDigitBitmap(const QImage*& strip)
{
    auto& cache = TheCache();
    const QImage* released = strip;
    // The caller gives up its reference in any case, so it never keeps a
    // pointer to a strip it no longer counts on.
    strip = nullptr;
    if (!cache || released == nullptr)
        return;
    auto& entries = cache->entries_;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (&(*it)->strip != released)
            continue;
        if (--(*it)->refCount <= 0)
            entries.erase(it);
        break;
    }
    if (entries.empty())
        cache.reset();
}

}  // namespace zol
