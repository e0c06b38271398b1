// The two filter sets of the main window as stored in its form ("EQU"
// streams: FFTLength 256, three enabled bands each).
#pragma once

#include <QByteArray>

namespace zol {

// The 550-750 Hz band pass: 0-500 Hz -99 dB, 550-750 Hz 0 dB,
// 800-22050 Hz -99 dB.
QByteArray EqualizerStream550To750();
// The 700-900 Hz band pass: 0-650 Hz -90 dB, 700-900 Hz 0 dB,
// 950-22000 Hz -90 dB.
QByteArray EqualizerStream700To900();

}  // namespace zol
