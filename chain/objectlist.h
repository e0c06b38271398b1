// TObjectList, a small persistent list of plain objects that stores itself,
// items included, as one raw-data property ("ObjectContainer") of a
// component, and the class registry through which stored items are written
// with their class name and re-created on reading.
#pragma once

#include "platform/mmstream.h"
#include "platform/errors.h"

#include <QString>

#include <functional>
#include <vector>

namespace zol {

// The framework's list-index error.
ZOL_DECLARE_ERROR(EListError, EMMError);

// Base of every object a TObjectList holds and the registry knows.
class TRegisteredObject {
public:
    virtual ~TRegisteredObject() = default;
    // The name it is registered and streamed under.
    virtual QString ClassName() const = 0;
};

// --- class registry

// A bare instance: every field zero, nothing else set up.
using TObjectFactory = std::function<TRegisteredObject*()>;
using TObjectReader = std::function<void(TRegisteredObject* object, TMemoryStream& stream)>;
using TObjectWriter = std::function<void(const TRegisteredObject* object, TMemoryStream& stream)>;

struct TRegisterRec {
    TObjectFactory create;
    TObjectReader reader;
    TObjectWriter writer;
};

// Longest class name the registry compares.
constexpr int kMaxClassName = 63;

// Registers a class under `className` (a name already registered is kept).
void RegisterObjectClass(const QString& className, TObjectFactory create, TObjectReader reader, TObjectWriter writer);
bool IsObjectClassRegistered(const QString& className);
// The registered names, sorted.
QStringList RegisteredObjectClasses();
// Reads a length byte, the class name and the registered data; returns the
// new object (the caller owns it). An unknown name raises EClassNotFound
// "Class <name> not registered"; a short stream raises EReadError.
TRegisteredObject* ReadObject(TMemoryStream& stream);
// Writes the class name (length byte and characters) and the registered
// data. No object: EClassNotFound "Nil Source Class!"; an unregistered
// class: EClassNotFound "Source Class <name> not registered".
void WriteObject(const TRegisteredObject* object, TMemoryStream& stream);

// --- the list

class TObjectList {
public:
    using TListEvent = std::function<void(TObjectList* sender)>;
    static constexpr int kMaxCount = 32767;

    TObjectList();
    virtual ~TObjectList();
    TObjectList(const TObjectList&) = delete;
    TObjectList& operator=(const TObjectList&) = delete;

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool value) { ownsObjects_ = value; }
    int UpdateCount() const { return updateCount_; }

    TRegisteredObject* Items(int index) const { return Get(index); }
    TRegisteredObject* operator[](int index) const { return Get(index); }

    virtual TRegisteredObject* Get(int index) const;
    // Stores without notification.
    virtual void Put(int index, TRegisteredObject* item);
    virtual int Add(TRegisteredObject* item);
    virtual void AddList(const TObjectList& list);
    virtual void Insert(int index, TRegisteredObject* item);
    virtual int IndexOf(const TRegisteredObject* item) const;
    // Empties the list without freeing the items.
    virtual void Clear();
    // Frees every item (when the list owns them), then Clear.
    virtual void FreeAll();

    void BeginUpdate();
    void EndUpdate();
    void SetCapacity(int value);
    void SetCount(int value);

    // Generic assignment from another list: not supported by the base list.
    virtual void Assign(const TObjectList* source);

    // The "ObjectContainer" property: stored only when this says so (the
    // plain list: when not empty).
    virtual bool StoresObjectContainer() const { return count_ > 0; }
    virtual void ReadData(TMemoryStream& stream);
    virtual void WriteData(TMemoryStream& stream) const;
    // The stream as bytes, and loading from bytes.
    QByteArray SaveToBytes() const;
    void LoadFromBytes(const QByteArray& bytes);

    TListEvent OnChange;
    TListEvent OnChanging;

protected:
    virtual void Changed();
    virtual void Changing();
    [[noreturn]] virtual void IndexError(int index) const;
    virtual void Grow();
    virtual void FreeItem(TRegisteredObject* item);
    virtual void SetUpdateState(bool updating);

    // The common tail of the stream readers: the count (checked against
    // what the stream holds) and that many objects, each passed to
    // AcceptItem and added. `ownsFlag` is the stream's owns-objects byte; a
    // list that creates items from a stream owns them whatever it says.
    void ReadItems(TMemoryStream& stream, std::uint8_t ownsFlag);
    void WriteItems(TMemoryStream& stream) const;
    // Whether a read object may join this list (the base list takes any).
    virtual bool AcceptItem(const TRegisteredObject* item) const;
    // Reads 4 bytes and compares them with `magic`; a mismatch raises
    // EStreamError "Invalid Object stream".
    static void ReadMagic(TMemoryStream& stream, const char magic[4]);

private:
    bool ownsObjects_ = true;
    std::vector<TRegisteredObject*> items_;  // `capacity_` slots
    int count_ = 0;
    int capacity_ = 0;
    int updateCount_ = 0;
};

// --- an item class of the FIR filter: one point of a response curve

class TMMFIRFilterItem : public TRegisteredObject {
public:
    TMMFIRFilterItem() = default;
    TMMFIRFilterItem(float freq, float gain) : freq_(freq), gain_(gain) {}
    QString ClassName() const override { return QStringLiteral("TMMFIRFilterItem"); }
    float Freq() const { return freq_; }
    float Gain() const { return gain_; }
    void SetFreq(float v) { freq_ = v; }
    void SetGain(float v) { gain_ = v; }

private:
    float freq_ = 0;
    float gain_ = 0;
};

}  // namespace zol
