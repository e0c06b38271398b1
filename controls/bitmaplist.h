// A list of bitmaps owned by a component, announced to observers when it
// changes, and stored as one binary block ("ListItems") of the form: plain
// BMP images ("MBML") or images compressed block by block ("MBMC").
#pragma once

#include "core/mmcomponent.h"
#include "core/mmobserver.h"
#include "platform/mmstream.h"

#include <QImage>

#include <vector>

namespace zol {

// The list is its own change object: observers receive the list.
class TMMBitmapList : public TMMNonVisualComponent, public TMMChange {
public:
    explicit TMMBitmapList(QObject* owner = nullptr);
    ~TMMBitmapList() override;

    int Count() const { return static_cast<int>(items_.size()); }
    // Appends a copy of `bitmap` and returns its index.
    int Add(const QImage& bitmap);
    // Index 0..Count(); anything else raises EMMBitmapListError.
    void Insert(int index, const QImage& bitmap);
    void Delete(int index);
    // Deletes from the last to the first as one change.
    void Clear();
    // The stored bitmap; an index out of range raises EMMBitmapListError.
    const QImage& Item(int index) const;
    // Replaces the stored bitmap by a copy of `bitmap`.
    void SetItem(int index, const QImage& bitmap);
    // Copies the other list's bitmaps and its Compressed as one change; a
    // null source clears the list.
    void Assign(const TMMBitmapList* source);

    bool Compressed() const { return compressed_; }
    void SetCompressed(bool value) { compressed_ = value; }

    void AddObserver(TMMObserver* observer) { observable_.AddObserver(observer); }
    void RemoveObserver(TMMObserver* observer) { observable_.RemoveObserver(observer); }
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // The "ListItems" block. Loading is all or nothing: a damaged stream
    // raises an EStreamError and leaves the list as it was.
    void LoadFromStream(TMemoryStream& stream);
    void SaveToStream(TMemoryStream& stream) const;
    // The block as the form stores it: empty (no block) for an empty list.
    QByteArray SaveListItems() const;
    void LoadListItems(const QByteArray& bytes);

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    virtual void Changing();
    virtual void Changed();

private:
    void CheckIndex(int index, int limit) const;
    void SaveItem(TMemoryStream& stream, const QImage& bitmap) const;

    std::vector<QImage> items_;
    int updateCount_ = 0;
    TMMObservable observable_;
    bool compressed_ = false;
};

}  // namespace zol
