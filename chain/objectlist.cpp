#include "chain/objectlist.h"

#include "chain/equalizer.h"
#include "platform/strings.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace zol {

// ---------------------------------------------------------------------------
// Class registry

namespace {

struct Registry {
    std::mutex mutex;
    std::map<QString, TRegisterRec> classes;  // sorted by name
    Registry();
};

TRegisterRec FIRFilterItemRec()
{
    TRegisterRec rec;
    rec.create = [] { return new TMMFIRFilterItem; };
    rec.reader = [](TRegisteredObject* object, TMemoryStream& stream) {
        auto* item = static_cast<TMMFIRFilterItem*>(object);
        const float freq = stream.ReadSingle();
        const float gain = stream.ReadSingle();
        item->SetFreq(freq);
        item->SetGain(gain);
    };
    rec.writer = [](const TRegisteredObject* object, TMemoryStream& stream) {
        const auto* item = static_cast<const TMMFIRFilterItem*>(object);
        stream.WriteSingle(item->Freq());
        stream.WriteSingle(item->Gain());
    };
    return rec;
}

// The item classes of this program register with the registry itself, so
// they are known before any stream is read.
Registry::Registry()
{
    classes.emplace(QStringLiteral("TMMEQFilter"), EQFilterRegisterRec());
    classes.emplace(QStringLiteral("TMMFIRFilterItem"), FIRFilterItemRec());
}

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

bool Lookup(const QString& name, TRegisterRec& rec)
{
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.classes.find(name.left(kMaxClassName));
    if (it == r.classes.end())
        return false;
    rec = it->second;
    return true;
}

}  // namespace

void RegisterObjectClass(const QString& className, TObjectFactory create, TObjectReader reader, TObjectWriter writer)
{
    if (className.isEmpty() || !create || !reader || !writer)
        return;
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.classes.emplace(className.left(kMaxClassName), TRegisterRec{std::move(create), std::move(reader), std::move(writer)});
}

bool IsObjectClassRegistered(const QString& className)
{
    TRegisterRec rec;
    return Lookup(className, rec);
}

QStringList RegisteredObjectClasses()
{
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    QStringList names;
    for (const auto& entry : r.classes)
        names.append(entry.first);
    return names;
}

TRegisteredObject* ReadObject(TMemoryStream& stream)
{
    const int length = stream.ReadU8();
    const QString name = stream.ReadChars(length);
    TRegisterRec rec;
    if (!Lookup(name, rec))
        throw EClassNotFound(LoadResString(SClassNotRegistered).arg(name.left(kMaxClassName)));
    std::unique_ptr<TRegisteredObject> object(rec.create());
    rec.reader(object.get(), stream);
    return object.release();
}

void WriteObject(const TRegisteredObject* object, TMemoryStream& stream)
{
    if (object == nullptr)
        throw EClassNotFound(LoadResString(SNilSourceClass));
    const QString name = object->ClassName().left(kMaxClassName);
    TRegisterRec rec;
    if (!Lookup(name, rec))
        throw EClassNotFound(LoadResString(SSourceClassNotRegistered).arg(name));
    const QByteArray bytes = name.toLatin1();
    stream.WriteU8(static_cast<std::uint8_t>(bytes.size()));
    stream.WriteBuffer(bytes.constData(), bytes.size());
    rec.writer(object, stream);
}

// ---------------------------------------------------------------------------
// TObjectList

TObjectList::TObjectList() = default;

TObjectList::~TObjectList()
{
    OnChange = nullptr;
    OnChanging = nullptr;
    FreeAll();
    Clear();
}

void TObjectList::Changed()
{
    if (updateCount_ == 0 && OnChange)
        OnChange(this);
}

void TObjectList::Changing()
{
    if (updateCount_ == 0 && OnChanging)
        OnChanging(this);
}

void TObjectList::IndexError(int index) const
{
    throw EListError(LoadResString(SListIndexError).arg(index));
}

void TObjectList::Grow()
{
    int delta = 4;
    if (capacity_ > 8)
        delta = 16;
    else if (capacity_ > 4)
        delta = 8;
    SetCapacity(std::min(capacity_ + delta, kMaxCount));
}

TRegisteredObject* TObjectList::Get(int index) const
{
    if (index < 0 || index >= count_)
        IndexError(index);
    return items_[static_cast<std::size_t>(index)];
}

void TObjectList::Put(int index, TRegisteredObject* item)
{
    if (index < 0 || index >= count_)
        IndexError(index);
    items_[static_cast<std::size_t>(index)] = item;
}

void TObjectList::FreeItem(TRegisteredObject* item)
{
    if (ownsObjects_)
        delete item;
}

void TObjectList::SetUpdateState(bool updating)
{
    if (updating)
        Changing();
    else
        Changed();
}

void TObjectList::BeginUpdate()
{
    if (updateCount_ == 0)
        SetUpdateState(true);
    ++updateCount_;
}

void TObjectList::EndUpdate()
{
    if (updateCount_ <= 0)
        return;
    --updateCount_;
    if (updateCount_ == 0)
        SetUpdateState(false);
}

void TObjectList::Insert(int index, TRegisteredObject* item)
{
    if (index < 0 || index > count_ || count_ >= kMaxCount)
        IndexError(index);
    Changing();
    if (count_ == capacity_)
        Grow();
    for (int i = count_; i > index; --i)
        items_[static_cast<std::size_t>(i)] = items_[static_cast<std::size_t>(i - 1)];
    items_[static_cast<std::size_t>(index)] = item;
    ++count_;
    Changed();
}

int TObjectList::Add(TRegisteredObject* item)
{
    const int index = count_;
    Insert(count_, item);
    return index;
}

void TObjectList::AddList(const TObjectList& list)
{
    if (&list == this)
        return;  // would never end
    BeginUpdate();
    try {
        for (int i = 0; i < list.Count(); ++i)
            Add(list.Get(i));
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

int TObjectList::IndexOf(const TRegisteredObject* item) const
{
    for (int i = 0; i < count_; ++i)
        if (items_[static_cast<std::size_t>(i)] == item)
            return i;
    return -1;
}

void TObjectList::Clear()
{
    if (count_ == 0)
        return;
    Changing();
    count_ = 0;
    capacity_ = 0;
    items_.clear();
    items_.shrink_to_fit();
    Changed();
}

void TObjectList::FreeAll()
{
    // Items are taken out of their slots before they are freed, so a slot
    // never points at a freed item.
    for (int i = 0; i < count_; ++i) {
        TRegisteredObject* item = items_[static_cast<std::size_t>(i)];
        items_[static_cast<std::size_t>(i)] = nullptr;
        FreeItem(item);
    }
    Clear();
}

void TObjectList::SetCapacity(int value)
{
    if (value == capacity_)
        return;
    if (value < count_ || value > kMaxCount)
        IndexError(value);
    std::vector<TRegisteredObject*> items(static_cast<std::size_t>(value), nullptr);
    std::copy(items_.begin(), items_.begin() + count_, items.begin());
    items_.swap(items);
    capacity_ = value;
}

void TObjectList::SetCount(int value)
{
    if (value < 0 || value > kMaxCount)
        IndexError(value);
    if (value > capacity_)
        SetCapacity(value);
    for (int i = count_; i < value; ++i)
        items_[static_cast<std::size_t>(i)] = nullptr;
    count_ = value;
}

void TObjectList::Assign(const TObjectList*)
{
    throw EMMError(QStringLiteral("Cannot assign to a TObjectList"));
}

bool TObjectList::AcceptItem(const TRegisteredObject*) const
{
    return true;
}

void TObjectList::ReadMagic(TMemoryStream& stream, const char magic[4])
{
    char got[4];
    stream.ReadBuffer(got, 4);
    if (std::memcmp(got, magic, 4) != 0)
        throw EStreamError(LoadResString(SInvalidObjectStream));
}

void TObjectList::ReadItems(TMemoryStream& stream, std::uint8_t ownsFlag)
{
    const int n = stream.ReadI16();
    // Every item takes at least its name's length byte and one character:
    // a count the stream cannot hold is a damaged stream.
    if (n < 0 || n > stream.Remaining() / 2 || count_ + n > kMaxCount)
        throw EReadError(LoadResString(SStreamReadError));
    ownsObjects_ = ownsFlag != 0 || n > 0;
    if (capacity_ < count_ + n)
        SetCapacity(count_ + n);
    for (int i = 0; i < n; ++i) {
        std::unique_ptr<TRegisteredObject> item(ReadObject(stream));
        if (!AcceptItem(item.get()))
            throw EStreamError(LoadResString(SInvalidObjectStream));
        Add(item.get());
        item.release();
    }
}

void TObjectList::WriteItems(TMemoryStream& stream) const
{
    stream.WriteI16(static_cast<std::int16_t>(count_));
    for (int i = 0; i < count_; ++i)
        WriteObject(items_[static_cast<std::size_t>(i)], stream);
}

void TObjectList::ReadData(TMemoryStream& stream)
{
    BeginUpdate();
    try {
        ReadMagic(stream, "OBJ");
        FreeAll();
        const std::uint8_t owns = stream.ReadU8();
        ReadItems(stream, owns);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TObjectList::WriteData(TMemoryStream& stream) const
{
    stream.WriteBuffer("OBJ", 4);
    stream.WriteU8(ownsObjects_ ? 1 : 0);
    WriteItems(stream);
}

QByteArray TObjectList::SaveToBytes() const
{
    TMemoryStream stream;
    WriteData(stream);
    return stream.Data();
}

void TObjectList::LoadFromBytes(const QByteArray& bytes)
{
    TMemoryStream stream(bytes);
    ReadData(stream);
}

}  // namespace zol
