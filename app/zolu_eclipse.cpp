// The main window's eclipse trace: the Sun's obscuration at the midpoint
// of the radio path, fed to both charts at every step, restored ones too.
#include "app/zolu.h"

#include "app/eclipsepath.h"
#include "app/eclipsetrace.h"
#include "app/inifile.h"
#include "app/logfiles.h"
#include "displays/scope.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/window_thread.h"

#include <QDateTime>

namespace zol {

void TMainForm::SetUpEclipse()
{
    Eclipse.reset();
    if (!Settings)
        return;
    const TPathEnds ends = ReadPathEnds(*Settings);
    // The receiver's keys belong to the station's description, which says
    // what is wrong with them; the transmitter's are this trace's own.
    for (const QString& problem : ends.problems)
        platform::HandleException(std::make_exception_ptr(EInOutError(problem)));
    if (ends.receiver && ends.transmitter)
        Eclipse = std::make_unique<TEclipseTrace>(*ends.receiver, *ends.transmitter);
}

void TMainForm::FeedEclipse(TScope* scope, qint64 utcMs)
{
    if (!Eclipse || utcMs == kNoTime) {
        scope->SetPositionC(std::nullopt);
        return;
    }
    scope->SetPositionC(ObscurationPosition(Eclipse->ObscurationPercent(static_cast<double>(utcMs) / 1000.0)));
}

void TMainForm::FeedEclipseNext(TScope* scope)
{
    const qint64 now = platform::TheClock().WallTime().toMSecsSinceEpoch();
    FeedEclipse(scope, now + static_cast<qint64>(scope->Interval()) * 10);
}

}  // namespace zol
