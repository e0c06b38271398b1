#include "controls/designer.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <QWidget>

#include <algorithm>
#include <vector>

namespace zol {

namespace {

std::vector<TMMDesigner*>& Designers()
{
    static std::vector<TMMDesigner*> list;
    return list;
}

// `window` is `form` or lies inside it.
bool Serves(const QWidget* window, const QWidget* form)
{
    for (const QWidget* w = window; w != nullptr; w = w->parentWidget()) {
        if (w == form)
            return true;
    }
    return false;
}

}  // namespace

TMMDesigner::TMMDesigner(QObject* owner) : TMMWndProcComponent(owner)
{
    for (TMMDesigner* other : Designers()) {
        if (Serves(other->Form(), Form()))
            throw EMMDesignerError(LoadResString(SOnlyOneDesigner));
    }
    Designers().push_back(this);
}

TMMDesigner::~TMMDesigner()
{
    Destroying();
    auto& list = Designers();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

int TMMDesigner::DesignerCount()
{
    return static_cast<int>(Designers().size());
}

void TMMDesigner::SetUpdate(bool value)
{
    if (!value)
        return;
    SetActive(false);
    SetActive(true);
}

void TMMDesigner::Loaded()
{
    TMMWndProcComponent::Loaded();
    QWidget* form = Form();
    if (IsDesigning() || runtimeHeight_ <= 0 || form == nullptr)
        return;
    // A form of fixed height keeps a fixed height, the new one.
    if (form->minimumHeight() == form->maximumHeight())
        form->setFixedHeight(runtimeHeight_);
    else
        form->resize(form->width(), runtimeHeight_);
}

}  // namespace zol
