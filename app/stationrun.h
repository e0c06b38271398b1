// What a station adds to a run of the window beside its own behaviour: the
// band chosen on the command line, pictures of the window, the UTC data
// file and the recording of the captured audio.
#pragma once

#include "app/cmdline.h"

#include <memory>

namespace zol {

class TMainForm;
class TPictureTimer;

class TStationRun {
public:
    // After the window's start (FormCreate): applies the options to it.
    TStationRun(TMainForm& form, const TOptions& options);
    ~TStationRun();
    TStationRun(const TStationRun&) = delete;
    TStationRun& operator=(const TStationRun&) = delete;

    TPictureTimer* Pictures() const { return pictures_.get(); }

private:
    TMainForm& form_;
    std::unique_ptr<TPictureTimer> pictures_;
};

}  // namespace zol
