// Two filter sets used as test data: the band passes of the main window.
#pragma once

#include "chain/equalizer.h"

namespace zol {

inline QByteArray EqualizerStream550To750()
{
    return EqualizerBandStream({{0, 500, -99}, {550, 750, 0}, {800, 22050, -99}});
}

inline QByteArray EqualizerStream700To900()
{
    return EqualizerBandStream({{0, 650, -90}, {700, 900, 0}, {950, 22000, -90}});
}

}  // namespace zol
