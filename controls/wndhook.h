// Window-procedure hooks for forms. Qt has no window procedures, so a form's
// events pass through a chain of our own: each hooked component's procedure
// is called first and hands the event on to the procedure it replaced, down
// to the form's own event handling. Hooks may be removed in any order; the
// chain is relinked so that no procedure is left pointing at a removed one.
#pragma once

#include "core/mmcomponent.h"

#include <QEvent>

class QWidget;

namespace zol {

// One procedure in a form's chain.
class TWindowProcedure {
public:
    virtual ~TWindowProcedure() = default;
    // Handles `event` for `window` and returns the result.
    virtual bool Call(QWidget* window, QEvent* event) = 0;
};

// The procedure a form's events go to first, and its replacement. The form's
// own procedure (its event handling) is FormProcedure().
TWindowProcedure* WindowProcedure(QWidget* window);
void SetWindowProcedure(QWidget* window, TWindowProcedure* procedure);
TWindowProcedure* FormProcedure();

// A form: a top-level widget.
bool IsForm(const QObject* object);

struct TMessage {
    QEvent* Event = nullptr;
    bool Result = false;
};

class TMMWndProcComponent : public TMMNonVisualComponent {
public:
    // Raises EMMDesignerError "Owner must be a Form" for any other owner.
    explicit TMMWndProcComponent(QObject* owner);
    ~TMMWndProcComponent() override;

    virtual void Hook();
    virtual void Unhook();
    bool Hooked() const { return hooked_; }
    QWidget* Form() const { return form_; }
    // The component's own procedure while hooked (none otherwise).
    TWindowProcedure* Instance() const { return instance_; }
    TWindowProcedure* PreviousProcedure() const { return previous_; }

    // Number of hooked components in the process.
    static int HookedCount();
    // Unhooks every component hooked to `window`, in the order of hooking.
    static void UnhookWindow(QWidget* window);

protected:
    // Looks at every message of the form; passes it on by default.
    virtual void WndProc(TMessage& message);
    // Calls the procedure this one replaced (false when not hooked).
    virtual bool DefaultProc(QEvent* event);

private:
    class Procedure;
    TWindowProcedure* previous_ = nullptr;
    TWindowProcedure* instance_ = nullptr;
    QWidget* window_ = nullptr;
    QWidget* form_ = nullptr;
    bool hooked_ = false;
};

}  // namespace zol
