// TObjectList (growth, updates, notifications, the "OBJ" stream) and the
// class registry.
#include "chain/equalizer.h"
#include "chain/objectlist.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace zol {
namespace {

// An item class that counts its live instances; registered by the tests.
class TTestItem : public TRegisteredObject {
public:
    TTestItem() { ++live; }
    explicit TTestItem(std::int32_t v) : value(v) { ++live; }
    ~TTestItem() override { --live; }
    QString ClassName() const override { return QStringLiteral("TTestItem"); }
    std::int32_t value = 0;
    static int live;
};
int TTestItem::live = 0;

class TUnregisteredItem : public TRegisteredObject {
public:
    QString ClassName() const override { return QStringLiteral("TUnregisteredItem"); }
};

void RegisterTestItem()
{
    RegisterObjectClass(
        QStringLiteral("TTestItem"), [] { return new TTestItem; },
        [](TRegisteredObject* o, TMemoryStream& s) { static_cast<TTestItem*>(o)->value = s.ReadI32(); },
        [](const TRegisteredObject* o, TMemoryStream& s) { s.WriteI32(static_cast<const TTestItem*>(o)->value); });
}

struct Counts {
    int changing = 0;
    int change = 0;
};

void Watch(TObjectList& list, Counts& c)
{
    list.OnChanging = [&c](TObjectList*) { ++c.changing; };
    list.OnChange = [&c](TObjectList*) { ++c.change; };
}

TEST(ObjectList, GrowthInsertAndIndexErrors)
{
    TObjectList list;
    EXPECT_TRUE(list.OwnsObjects());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
    // Capacity steps from 0: 4, 8, 16, 32, 48, 64.
    const int expected[] = {4, 4, 4, 4, 8, 8, 8, 8, 16};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(list.Add(new TTestItem(i)), i);
        EXPECT_EQ(list.Capacity(), expected[i]) << "after item " << i + 1;
    }
    while (list.Count() < 33)
        list.Add(new TTestItem(list.Count()));
    EXPECT_EQ(list.Capacity(), 48);
    while (list.Count() < 49)
        list.Add(new TTestItem(list.Count()));
    EXPECT_EQ(list.Capacity(), 64);

    // Insert moves the tail up; IndexOf searches from the front.
    auto* front = new TTestItem(-1);
    list.Insert(0, front);
    EXPECT_EQ(list.IndexOf(front), 0);
    EXPECT_EQ(static_cast<TTestItem*>(list[1])->value, 0);
    EXPECT_EQ(static_cast<TTestItem*>(list[49])->value, 48);
    TTestItem outsider;
    EXPECT_EQ(list.IndexOf(&outsider), -1);

    try {
        list.Get(50);
        FAIL() << "no index error";
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("List index out of bounds (50)"));
    }
    EXPECT_THROW(list.Get(-1), EListError);
    EXPECT_THROW(list.Put(50, nullptr), EListError);
    EXPECT_THROW(list.Insert(52, nullptr), EListError);
    EXPECT_THROW(list.Insert(-1, nullptr), EListError);
    EXPECT_THROW(list.SetCapacity(10), EListError);
    EXPECT_THROW(list.SetCount(-1), EListError);

    // Put stores without notification.
    Counts c;
    Watch(list, c);
    TRegisteredObject* old = list[3];
    list.Put(3, &outsider);
    EXPECT_EQ(list[3], &outsider);
    EXPECT_EQ(c.change + c.changing, 0);
    list.Put(3, old);

    // SetCount clears new slots.
    list.SetCount(70);
    EXPECT_EQ(list.Capacity(), 70);
    EXPECT_EQ(list[69], nullptr);
    list.SetCount(50);
}

TEST(ObjectList, NotificationsAndBatches)
{
    TObjectList list;
    Counts c;
    Watch(list, c);
    list.Add(new TTestItem(1));
    EXPECT_EQ(c.changing, 1);
    EXPECT_EQ(c.change, 1);

    // A batch gives one changing before and one change after.
    list.BeginUpdate();
    list.BeginUpdate();
    EXPECT_EQ(c.changing, 2);
    list.Add(new TTestItem(2));
    list.Add(new TTestItem(3));
    list.EndUpdate();
    EXPECT_EQ(c.change, 1);
    list.EndUpdate();
    EXPECT_EQ(c.change, 2);
    EXPECT_EQ(list.UpdateCount(), 0);
    list.EndUpdate();  // unbalanced: ignored
    EXPECT_EQ(list.UpdateCount(), 0);

    // AddList is one batch.
    TObjectList other;
    other.SetOwnsObjects(false);
    other.AddList(list);
    EXPECT_EQ(other.Count(), 3);
    list.AddList(list);  // itself: nothing
    EXPECT_EQ(list.Count(), 3);
}

TEST(ObjectList, ClearKeepsItemsFreeAllFreesThem)
{
    const int before = TTestItem::live;
    auto* a = new TTestItem(1);
    auto* b = new TTestItem(2);
    {
        TObjectList list;
        Counts c;
        Watch(list, c);
        list.Add(a);
        list.Add(b);
        c = {};
        list.Clear();
        EXPECT_EQ(c.changing, 1);
        EXPECT_EQ(c.change, 1);
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.Capacity(), 0);
        EXPECT_EQ(TTestItem::live, before + 2) << "Clear does not free";
        list.Clear();  // empty: no notification
        EXPECT_EQ(c.change, 1);

        list.Add(a);
        list.Add(b);
        list.FreeAll();
        EXPECT_EQ(TTestItem::live, before) << "FreeAll frees owned items";

        list.Add(new TTestItem(3));
    }
    EXPECT_EQ(TTestItem::live, before) << "an owning list frees its items when destroyed";

    TObjectList notOwning;
    notOwning.SetOwnsObjects(false);
    TTestItem kept(4);
    notOwning.Add(&kept);
    notOwning.FreeAll();
    EXPECT_EQ(notOwning.Count(), 0);
    EXPECT_EQ(kept.value, 4);
}

TEST(ObjectList, RegistryAndObjectStream)
{
    RegisterTestItem();
    RegisterTestItem();  // duplicate: ignored
    const QStringList names = RegisteredObjectClasses();
    EXPECT_TRUE(names.contains(QStringLiteral("TMMEQFilter")));
    EXPECT_TRUE(names.contains(QStringLiteral("TMMFIRFilterItem")));
    EXPECT_EQ(names.count(QStringLiteral("TTestItem")), 1);
    QStringList sorted = names;
    sorted.sort();
    EXPECT_EQ(names, sorted);

    TObjectList empty;
    EXPECT_FALSE(empty.StoresObjectContainer()) << "an empty list writes no ObjectContainer";

    TObjectList list;
    list.Add(new TMMFIRFilterItem(100.5f, -3.0f));
    list.Add(new TMMEQFilter(550, 750, -6));
    list.Add(new TTestItem(0x12345678));
    EXPECT_TRUE(list.StoresObjectContainer());
    const QByteArray bytes = list.SaveToBytes();
    QByteArray expected("OBJ\0\1\3\0", 7);
    expected += QByteArray("\x10TMMFIRFilterItem", 17);
    EXPECT_EQ(bytes.left(24), expected);
    EXPECT_EQ(bytes.size(), 7 + (1 + 16 + 8) + (1 + 11 + 13) + (1 + 9 + 4));

    TObjectList copy;
    copy.Add(new TTestItem(99));  // freed by the read
    const int live = TTestItem::live;
    copy.LoadFromBytes(bytes);
    EXPECT_EQ(TTestItem::live, live);
    ASSERT_EQ(copy.Count(), 3);
    auto* fir = dynamic_cast<TMMFIRFilterItem*>(copy[0]);
    ASSERT_NE(fir, nullptr);
    EXPECT_EQ(fir->Freq(), 100.5f);
    EXPECT_EQ(fir->Gain(), -3.0f);
    auto* eq = dynamic_cast<TMMEQFilter*>(copy[1]);
    ASSERT_NE(eq, nullptr);
    EXPECT_EQ(eq->Freq1(), 550.0f);
    EXPECT_EQ(eq->Freq2(), 750.0f);
    EXPECT_EQ(eq->Gain(), -6.0f);
    EXPECT_TRUE(eq->Enabled());
    EXPECT_EQ(static_cast<TTestItem*>(copy[2])->value, 0x12345678);
    EXPECT_EQ(copy.SaveToBytes(), bytes);
}

TEST(ObjectList, StreamErrors)
{
    RegisterTestItem();
    TObjectList list;
    list.Add(new TTestItem(7));
    Counts c;
    Watch(list, c);

    // Wrong magic: the list stays as it was.
    QByteArray bad("OBX\0\1\0\0", 7);
    try {
        list.LoadFromBytes(bad);
        FAIL() << "no stream error";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid Object stream"));
    }
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(static_cast<TTestItem*>(list[0])->value, 7);
    EXPECT_EQ(list.UpdateCount(), 0) << "the update is ended";

    // An unknown class: its name in the message; the items before it stay.
    TMemoryStream s;
    s.WriteBuffer("OBJ", 4);
    s.WriteU8(1);
    s.WriteI16(2);
    s.WriteU8(9);
    s.WriteChars(QStringLiteral("TTestItem"));
    s.WriteI32(5);
    s.WriteU8(4);
    s.WriteChars(QStringLiteral("TFoo"));
    s.WriteI32(0);
    try {
        list.LoadFromBytes(s.Data());
        FAIL() << "no class error";
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Class <TFoo> not registered"));
    }
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(static_cast<TTestItem*>(list[0])->value, 5);
    EXPECT_EQ(list.UpdateCount(), 0);

    // Writing: no object, or an unregistered class.
    TMemoryStream out;
    try {
        WriteObject(nullptr, out);
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Nil Source Class!"));
    }
    TUnregisteredItem u;
    try {
        WriteObject(&u, out);
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Source Class <TUnregisteredItem> not registered"));
    }

    // Counts the stream cannot hold, negative counts and short items.
    for (const QByteArray& damaged :
         {QByteArray("OBJ\0\1\xFF\x7F", 7), QByteArray("OBJ\0\1\xFF\xFF", 7), QByteArray("OBJ\0\1", 5),
          QByteArray("OBJ\0\1\1\0\x09TTestItem\1\2", 19), QByteArray("OBJ\0\1\1\0\xFFTT", 10),
          QByteArray("OB", 2)}) {
        EXPECT_THROW(list.LoadFromBytes(damaged), EStreamError) << damaged.toHex().constData();
        EXPECT_EQ(list.UpdateCount(), 0);
    }

    // A class name longer than the registry compares is looked up by its
    // first 63 characters.
    const QString longName = QStringLiteral("TTestItem") + QString(60, QLatin1Char('x'));
    TMemoryStream l;
    l.WriteU8(static_cast<std::uint8_t>(longName.size()));
    l.WriteChars(longName);
    l.SetPosition(0);
    try {
        ReadObject(l);
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Class <%1> not registered").arg(longName.left(63)));
    }
}

TEST(ObjectList, StreamWithClearedOwnsFlagStillFreesWhatItRead)
{
    RegisterTestItem();
    const int before = TTestItem::live;
    {
        TObjectList list;
        list.LoadFromBytes(QByteArray("OBJ\0\0\1\0\x09TTestItem\1\0\0\0", 21));
        ASSERT_EQ(list.Count(), 1);
        EXPECT_TRUE(list.OwnsObjects());
    }
    EXPECT_EQ(TTestItem::live, before);
    TObjectList none;
    none.LoadFromBytes(QByteArray("OBJ\0\0\0\0", 7));
    EXPECT_FALSE(none.OwnsObjects());
}

}  // namespace
}  // namespace zol
