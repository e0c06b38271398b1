#include "app/stationrun.h"

#include "app/snapshot.h"
#include "app/zolu.h"
#include "displays/scope.h"

#include <QRadioButton>

namespace zol {

TStationRun::TStationRun(TMainForm& form, const TOptions& options) : form_(form)
{
    // The band is chosen as the user would choose it: by its radio button.
    if (options.band == bd700_900)
        form.filt2->click();
    InstallPictureActions(form, {form.Scope1, form.Scope2}, form.WorkDir);
    if (options.snapshotEvery > 0)
        pictures_ = std::make_unique<TPictureTimer>(form, form.WorkDir, options.snapshotEvery);
}

TStationRun::~TStationRun() = default;

}  // namespace zol
