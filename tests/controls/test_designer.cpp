// The window-procedure hooks (the chain of a form's event procedures and the
// order of unhooking) and the designer (one per form, its runtime height).
#include "controls/designer.h"
#include "platform/errors.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

using namespace zol;

namespace {

const QEvent::Type kProbe = static_cast<QEvent::Type>(QEvent::User + 71);

// A form that counts the probe events reaching its own handling.
class ProbeForm : public QWidget {
public:
    int seen = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == kProbe) {
            ++seen;
            return true;
        }
        return QWidget::event(e);
    }
};

// A hook that logs the probes it sees and may keep them from the form.
class LoggingHook : public TMMWndProcComponent {
public:
    LoggingHook(QObject* owner, char name, std::vector<char>& log) : TMMWndProcComponent(owner), name_(name), log_(log)
    {
    }
    bool swallow = false;

protected:
    void WndProc(TMessage& message) override
    {
        if (message.Event->type() == kProbe) {
            log_.push_back(name_);
            if (swallow)
                return;
        }
        TMMWndProcComponent::WndProc(message);
    }

private:
    char name_;
    std::vector<char>& log_;
};

void Probe(QWidget& form)
{
    QEvent e(kProbe);
    QApplication::sendEvent(&form, &e);
}

}  // namespace

TEST(WindowHook, OwnerMustBeAForm)
{
    QWidget form;
    QWidget child(&form);
    QObject plain;
    for (QObject* owner : {static_cast<QObject*>(&child), &plain, static_cast<QObject*>(nullptr)}) {
        try {
            TMMWndProcComponent hook(owner);
            ADD_FAILURE() << "accepted";
        } catch (const EMMDesignerError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Owner must be a Form"));
        }
    }
    EXPECT_TRUE(child.children().isEmpty());  // the refused component is gone
    TMMWndProcComponent ok(&form);
    EXPECT_EQ(ok.Form(), &form);
    EXPECT_FALSE(ok.Hooked());  // nothing is hooked before Hook
}

TEST(WindowHook, ChainOfHooksAndTheUnhookOrder)
{
    ProbeForm form;
    std::vector<char> log;
    LoggingHook a(&form, 'a', log), b(&form, 'b', log);
    const int before = TMMWndProcComponent::HookedCount();
    a.Hook();
    b.Hook();
    a.Hook();  // hooked already: nothing changes
    EXPECT_EQ(TMMWndProcComponent::HookedCount(), before + 2);
    EXPECT_EQ(WindowProcedure(&form), b.Instance());
    EXPECT_EQ(b.PreviousProcedure(), a.Instance());
    EXPECT_EQ(a.PreviousProcedure(), FormProcedure());
    Probe(form);
    EXPECT_EQ(log, (std::vector<char>{'b', 'a'}));
    EXPECT_EQ(form.seen, 1);

    // Unhooked in the order of hooking: b now calls the form itself.
    a.Unhook();
    EXPECT_EQ(WindowProcedure(&form), b.Instance());
    EXPECT_EQ(b.PreviousProcedure(), FormProcedure());
    log.clear();
    Probe(form);
    EXPECT_EQ(log, (std::vector<char>{'b'}));
    EXPECT_EQ(form.seen, 2);
    b.Unhook();
    EXPECT_EQ(WindowProcedure(&form), FormProcedure());
    log.clear();
    Probe(form);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(form.seen, 3);
    EXPECT_EQ(TMMWndProcComponent::HookedCount(), before);

    // The other order, a hook that keeps the probe, and destruction.
    a.Hook();
    {
        LoggingHook c(&form, 'c', log);
        c.Hook();
        c.swallow = true;
        Probe(form);
        EXPECT_EQ(log, (std::vector<char>{'c'}));
        EXPECT_EQ(form.seen, 3);
        c.swallow = false;
    }  // destroying c unhooks it
    EXPECT_EQ(WindowProcedure(&form), a.Instance());
    a.Unhook();
    EXPECT_EQ(WindowProcedure(&form), FormProcedure());
    EXPECT_FALSE(a.Hooked());
    EXPECT_FALSE(a.Instance());
    log.clear();
    Probe(form);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(form.seen, 4);

    // Hooks freed with their form.
    auto* owned = new ProbeForm;
    auto* h1 = new LoggingHook(owned, 'x', log);
    auto* h2 = new LoggingHook(owned, 'y', log);
    h1->Hook();
    h2->Hook();
    owned->resize(50, 40);  // ordinary events pass the chain
    EXPECT_EQ(owned->size(), QSize(50, 40));
    delete owned;
    EXPECT_EQ(TMMWndProcComponent::HookedCount(), before);
}

TEST(Designer, OnePerFormAndTheRuntimeHeight)
{
    QWidget form;
    form.resize(300, 200);
    TMMDesigner designer(&form);
    EXPECT_TRUE(designer.Active());
    EXPECT_EQ(designer.Color(), clRed);
    EXPECT_EQ(designer.LineWidth(), 1);
    EXPECT_EQ(designer.Margin(), 6);
    EXPECT_TRUE(designer.AutoUpdate());
    EXPECT_FALSE(designer.Update());
    EXPECT_TRUE(designer.Sound());
    EXPECT_FALSE(designer.ShowButton());
    EXPECT_EQ(designer.RuntimeHeight(), -1);

    // A second designer on the form, or on a form holding a form that has
    // one, is refused.
    QWidget outer;
    QWidget inner(&outer, Qt::Window);
    TMMDesigner innerDesigner(&inner);
    for (QWidget* owner : {&form, &outer}) {
        try {
            TMMDesigner second(owner);
            ADD_FAILURE() << "a second designer";
        } catch (const EMMDesignerError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Only one Designer is allowed per Form"));
        }
    }
    EXPECT_EQ(TMMDesigner::DesignerCount(), 2);
    QWidget child(&form);
    EXPECT_THROW(TMMDesigner onChild(&child), EMMDesignerError);

    // After loading: -1 and 0 leave the height, 570 sets it.
    for (int h : {-1, 0}) {
        designer.BeginLoading();
        designer.SetRuntimeHeight(h);
        designer.Loaded();
        EXPECT_EQ(form.height(), 200);
    }
    designer.BeginLoading();
    designer.SetUpdate(false);
    designer.SetRuntimeHeight(570);
    designer.Loaded();
    EXPECT_EQ(form.height(), 570);
    EXPECT_EQ(form.width(), 300);
    // A form of fixed size keeps it fixed, at the new height.
    QWidget fixed;
    fixed.setFixedSize(719, 575);
    {
        EXPECT_THROW(TMMDesigner again(&form), EMMDesignerError);
        TMMDesigner d(&fixed);
        d.BeginLoading();
        d.SetRuntimeHeight(570);
        d.Loaded();
        EXPECT_EQ(fixed.height(), 570);
        EXPECT_EQ(fixed.minimumHeight(), 570);
        EXPECT_EQ(fixed.width(), 719);
        d.SetActive(false);
        d.SetUpdate(true);  // off and on again, reads back false
        EXPECT_TRUE(d.Active());
        EXPECT_FALSE(d.Update());
    }
    EXPECT_EQ(TMMDesigner::DesignerCount(), 2);
    TMMDesigner replacement(&fixed);  // the freed one no longer counts
    EXPECT_EQ(TMMDesigner::DesignerCount(), 3);
}
