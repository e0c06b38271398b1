#include "core/mmobject.h"

namespace zol {

void TMMObject::BeginUpdate()
{
    if (updateCount_ == 0)
        Updating();
    ++updateCount_;
}

void TMMObject::EndUpdate()
{
    --updateCount_;
    if (updateCount_ == 0)
        Changed();
}

void TMMObject::Changed()
{
    if (updateCount_ == 0 && OnChange)
        OnChange(this);
}

}  // namespace zol
