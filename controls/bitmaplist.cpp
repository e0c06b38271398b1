#include "controls/bitmaplist.h"

#include "controls/blockcodec.h"
#include "platform/errors.h"
#include "platform/strings.h"

#include <QBuffer>
#include <QImageReader>

#include <limits>

namespace zol {

namespace {

const QByteArray kMagicPlain("MBML", 4);
const QByteArray kMagicCompressed("MBMC", 4);
// Room for the headers and colour table of a BMP image beyond its pixels.
constexpr qsizetype kBmpHeaderSlack = 1024 * 1024;

// Largest BMP image one compressed item may rebuild: the chunks of a damaged
// stream could otherwise claim far more memory than the stream is. A BMP
// image is never larger than the bitmap it decodes to (plus its headers), so
// the bitmap reader's own allocation limit bounds every image it would load,
// compressed or plain, and no loadable bitmap is refused here.
qsizetype MaxImageBytes()
{
    const qsizetype limitMb = QImageReader::allocationLimit();
    if (limitMb <= 0)
        return std::numeric_limits<qsizetype>::max();
    return limitMb * 1024 * 1024 + kBmpHeaderSlack;
}

[[noreturn]] void Invalid()
{
    throw EStreamError(LoadResString(SInvalidBitmapListStream));
}

// The BMP file image of a bitmap; a null bitmap has none.
QByteArray BmpImage(const QImage& bitmap)
{
    QByteArray bytes;
    if (bitmap.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!bitmap.save(&buffer, "BMP"))
        throw EWriteError(LoadResString(SUnableToWrite).arg(QStringLiteral("BMP")));
    return bytes;
}

QImage BitmapFrom(const QByteArray& bytes)
{
    QImage bitmap;
    if (bytes.isEmpty())
        return bitmap;
    if (!bitmap.loadFromData(bytes, "BMP"))
        Invalid();
    return bitmap;
}

std::int32_t ReadLength(TMemoryStream& stream)
{
    const std::int32_t n = stream.ReadI32();
    if (n < 0 || n > stream.Remaining())
        throw EReadError(LoadResString(SStreamReadError));
    return n;
}

QByteArray ReadPlainItem(TMemoryStream& stream)
{
    const std::int32_t n = ReadLength(stream);
    QByteArray bytes(n, Qt::Uninitialized);
    stream.ReadBuffer(bytes.data(), n);
    return bytes;
}

// A total, then chunks (length in the low 16 bits of a 4-byte value, then
// one compressed block) until the total is used up.
QByteArray ReadCompressedItem(TMemoryStream& stream)
{
    const std::int32_t total = ReadLength(stream);
    const qsizetype maxImage = MaxImageBytes();
    QByteArray image;
    std::int64_t used = 0;
    QByteArray chunk;
    while (used < total) {
        const int length = static_cast<int>(static_cast<std::uint32_t>(stream.ReadI32()) & 0xFFFF);
        used += std::int64_t{length} + 4;
        if (used > total)
            Invalid();
        chunk.resize(length);
        stream.ReadBuffer(chunk.data(), length);
        DecompressBlock(reinterpret_cast<const std::uint8_t*>(chunk.constData()), length, image);
        if (image.size() > maxImage)
            Invalid();
    }
    return image;
}

}  // namespace

TMMBitmapList::TMMBitmapList(QObject* owner) : TMMNonVisualComponent(owner) {}

TMMBitmapList::~TMMBitmapList()
{
    Destroying();
}

void TMMBitmapList::CheckIndex(int index, int limit) const
{
    if (index < 0 || index >= limit)
        throw EMMBitmapListError(LoadResString(SListIndexError).arg(index));
}

int TMMBitmapList::Add(const QImage& bitmap)
{
    const int index = Count();
    Insert(index, bitmap);
    return index;
}

void TMMBitmapList::Insert(int index, const QImage& bitmap)
{
    CheckIndex(index, Count() + 1);
    Changing();
    items_.insert(items_.begin() + index, bitmap.copy());
    Changed();
}

void TMMBitmapList::Delete(int index)
{
    CheckIndex(index, Count());
    Changing();
    items_.erase(items_.begin() + index);
    Changed();
}

void TMMBitmapList::Clear()
{
    BeginUpdate();
    for (int i = Count() - 1; i >= 0; --i)
        Delete(i);
    EndUpdate();
}

const QImage& TMMBitmapList::Item(int index) const
{
    CheckIndex(index, Count());
    return items_[static_cast<std::size_t>(index)];
}

void TMMBitmapList::SetItem(int index, const QImage& bitmap)
{
    CheckIndex(index, Count());
    Changing();
    items_[static_cast<std::size_t>(index)] = bitmap.copy();
    Changed();
}

void TMMBitmapList::Assign(const TMMBitmapList* source)
{
    if (source == this)
        return;
    BeginUpdate();
    Clear();
    if (source != nullptr) {
        for (const QImage& bitmap : source->items_)
            Add(bitmap);
        compressed_ = source->compressed_;
    }
    EndUpdate();
}

void TMMBitmapList::BeginUpdate()
{
    if (updateCount_ == 0)
        Changing();
    ++updateCount_;
}

void TMMBitmapList::EndUpdate()
{
    --updateCount_;
    if (updateCount_ == 0)
        Changed();
}

void TMMBitmapList::Changing()
{
    if (updateCount_ == 0 && OnChanging)
        OnChanging(this);
}

void TMMBitmapList::Changed()
{
    if (updateCount_ != 0)
        return;
    // Observers that change the list meanwhile do not start a new round.
    ++updateCount_;
    struct Lower {
        int& count;
        ~Lower() { --count; }
    } lower{updateCount_};
    observable_.Notify(this);
    if (OnChange)
        OnChange(this);
}

void TMMBitmapList::LoadFromStream(TMemoryStream& stream)
{
    QByteArray magic(4, Qt::Uninitialized);
    stream.ReadBuffer(magic.data(), 4);
    if (magic != kMagicPlain && magic != kMagicCompressed)
        Invalid();
    const bool compressed = magic == kMagicCompressed;
    const std::int32_t count = stream.ReadI32();
    // Every item takes at least its 4-byte length.
    if (count < 0 || count > stream.Remaining() / 4)
        Invalid();
    std::vector<QImage> loaded;
    loaded.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
        loaded.push_back(BitmapFrom(compressed ? ReadCompressedItem(stream) : ReadPlainItem(stream)));
    // Only a stream read in full replaces the list.
    BeginUpdate();
    Clear();
    for (QImage& bitmap : loaded) {
        Changing();
        items_.push_back(std::move(bitmap));
        Changed();
    }
    EndUpdate();
}

void TMMBitmapList::SaveItem(TMemoryStream& stream, const QImage& bitmap) const
{
    const QByteArray image = BmpImage(bitmap);
    if (!compressed_) {
        stream.WriteI32(static_cast<std::int32_t>(image.size()));
        stream.WriteBuffer(image.constData(), image.size());
        return;
    }
    const std::int64_t totalAt = stream.Position();
    stream.WriteI32(0);
    std::int64_t total = 0;
    for (qsizetype at = 0; at < image.size(); at += kBlockMaxInput) {
        const int n = static_cast<int>(std::min<qsizetype>(kBlockMaxInput, image.size() - at));
        const QByteArray block = CompressBlock(reinterpret_cast<const std::uint8_t*>(image.constData() + at), n);
        stream.WriteI32(static_cast<std::int32_t>(block.size()));
        stream.WriteBuffer(block.constData(), block.size());
        total += block.size() + 4;
    }
    const std::int64_t end = stream.Position();
    stream.SetPosition(totalAt);
    stream.WriteI32(static_cast<std::int32_t>(total));
    stream.SetPosition(end);
}

void TMMBitmapList::SaveToStream(TMemoryStream& stream) const
{
    const QByteArray& magic = compressed_ ? kMagicCompressed : kMagicPlain;
    stream.WriteBuffer(magic.constData(), 4);
    stream.WriteI32(Count());
    for (const QImage& bitmap : items_)
        SaveItem(stream, bitmap);
}

QByteArray TMMBitmapList::SaveListItems() const
{
    if (items_.empty())
        return QByteArray();
    TMemoryStream stream;
    SaveToStream(stream);
    return stream.Data();
}

void TMMBitmapList::LoadListItems(const QByteArray& bytes)
{
    TMemoryStream stream(bytes);
    LoadFromStream(stream);
}

}  // namespace zol
