// TMMObject: update counting and a change event, the base of the toolkit's
// persistent helper objects (bevels, scales, grooves).
#pragma once

#include <functional>

namespace zol {

class TMMObject {
public:
    using ChangeEvent = std::function<void(TMMObject* sender)>;
    virtual ~TMMObject() = default;

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    ChangeEvent OnChange;

protected:
    // Runs OnChange unless an update is in progress.
    virtual void Changed();
    // Told when the first BeginUpdate starts an update.
    virtual void Updating() {}

private:
    int updateCount_ = 0;
};

}  // namespace zol
