#include "controls/wndhook.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <QWidget>

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace zol {

namespace {

// The form's own procedure: its event handling.
class FormOwnProcedure : public TWindowProcedure {
public:
    bool Call(QWidget* window, QEvent* event) override { return static_cast<QObject*>(window)->event(event); }
};

// Routes a form's events into its chain while the chain holds a hook. It is
// freed when the chain is back to the form's own procedure, after the event
// in progress (if any) has been handled.
class Dispatcher : public QObject {
public:
    explicit Dispatcher(QWidget* window) : window_(window) {}
    TWindowProcedure* current = nullptr;
    QMetaObject::Connection watch;  // the window's destruction
    void Retire()
    {
        QObject::disconnect(watch);
        window_->removeEventFilter(this);
        if (depth_ > 0)
            retired_ = true;
        else
            delete this;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A deferred delete frees the form: it bypasses the chain, whose
        // hooks are freed with the form.
        if (watched != window_ || event->type() == QEvent::DeferredDelete || current == nullptr)
            return false;
        ++depth_;
        struct Leave {
            Dispatcher* d;
            ~Leave()
            {
                if (--d->depth_ == 0 && d->retired_)
                    delete d;
            }
        } leave{this};
        current->Call(window_, event);
        return true;
    }

private:
    QWidget* window_;
    int depth_ = 0;
    bool retired_ = false;
};

std::unordered_map<QWidget*, Dispatcher*>& Dispatchers()
{
    static std::unordered_map<QWidget*, Dispatcher*> map;
    return map;
}

std::vector<TMMWndProcComponent*>& HookedList()
{
    static std::vector<TMMWndProcComponent*> list;
    return list;
}

}  // namespace

// A hooked component's procedure: hands the event to its WndProc.
class TMMWndProcComponent::Procedure : public TWindowProcedure {
public:
    explicit Procedure(TMMWndProcComponent* owner) : owner_(owner) {}
    bool Call(QWidget*, QEvent* event) override
    {
        TMessage message{event, false};
        owner_->WndProc(message);
        return message.Result;
    }

private:
    TMMWndProcComponent* owner_;
};

TWindowProcedure* FormProcedure()
{
    static FormOwnProcedure own;
    return &own;
}

TWindowProcedure* WindowProcedure(QWidget* window)
{
    auto it = Dispatchers().find(window);
    return it == Dispatchers().end() ? FormProcedure() : it->second->current;
}

void SetWindowProcedure(QWidget* window, TWindowProcedure* procedure)
{
    if (window == nullptr)
        return;
    auto& map = Dispatchers();
    auto it = map.find(window);
    if (procedure == nullptr || procedure == FormProcedure()) {
        if (it != map.end()) {
            Dispatcher* d = it->second;
            map.erase(it);
            d->Retire();
        }
        return;
    }
    if (it == map.end()) {
        auto* d = new Dispatcher(window);
        window->installEventFilter(d);
        // A widget announces its destruction before its children (the hooks
        // it owns) go and while events still reach it: its hooks are unhooked
        // then, so no event of the dying form reaches a freed procedure.
        d->watch = QObject::connect(window, &QObject::destroyed,
                                    [window] { TMMWndProcComponent::UnhookWindow(window); });
        it = map.emplace(window, d).first;
    }
    it->second->current = procedure;
}

bool IsForm(const QObject* object)
{
    return object != nullptr && object->isWidgetType() && static_cast<const QWidget*>(object)->isWindow();
}

TMMWndProcComponent::TMMWndProcComponent(QObject* owner) : TMMNonVisualComponent(owner)
{
    if (!IsForm(owner))
        throw EMMDesignerError(LoadResString(SOwnerMustBeForm));
    form_ = static_cast<QWidget*>(owner);
}

TMMWndProcComponent::~TMMWndProcComponent()
{
    Unhook();
}

void TMMWndProcComponent::UnhookWindow(QWidget* window)
{
    const std::vector<TMMWndProcComponent*> hooked = HookedList();
    for (TMMWndProcComponent* c : hooked) {
        if (c->window_ == window)
            c->Unhook();
    }
    SetWindowProcedure(window, FormProcedure());
}

int TMMWndProcComponent::HookedCount()
{
    return static_cast<int>(HookedList().size());
}

void TMMWndProcComponent::Hook()
{
    if (hooked_)
        return;
    window_ = form_;
    if (window_ == nullptr)
        return;
    instance_ = new Procedure(this);
    previous_ = WindowProcedure(window_);
    SetWindowProcedure(window_, instance_);
    HookedList().push_back(this);
    hooked_ = true;
}

void TMMWndProcComponent::Unhook()
{
    if (!hooked_)
        return;
    hooked_ = false;
    if (window_ != nullptr) {
        auto& list = HookedList();
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        // A component that hooked the same window later calls this one next:
        // it calls this one's predecessor from now on, and the window keeps
        // its first procedure in the chain.
        auto later = std::find_if(list.begin(), list.end(),
                                  [this](TMMWndProcComponent* c) { return c->previous_ == instance_; });
        if (later != list.end())
            (*later)->previous_ = previous_;
        else
            SetWindowProcedure(window_, previous_);
    }
    delete instance_;
    instance_ = nullptr;
    previous_ = nullptr;
    window_ = nullptr;
}

void TMMWndProcComponent::WndProc(TMessage& message)
{
    message.Result = DefaultProc(message.Event);
}

bool TMMWndProcComponent::DefaultProc(QEvent* event)
{
    if (!hooked_ || previous_ == nullptr)
        return false;
    return previous_->Call(window_, event);
}

}  // namespace zol
