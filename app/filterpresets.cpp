#include "app/filterpresets.h"

#include "chain/equalizer.h"

namespace zol {

QByteArray EqualizerStream550To750()
{
    return EqualizerBandStream({{0, 500, -99}, {550, 750, 0}, {800, 22050, -99}});
}

QByteArray EqualizerStream700To900()
{
    return EqualizerBandStream({{0, 650, -90}, {700, 900, 0}, {950, 22000, -90}});
}

}  // namespace zol
