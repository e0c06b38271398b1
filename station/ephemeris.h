// Apparent geocentric positions of the Sun and the Moon from the
// low-precision series of J. Meeus, Astronomical Algorithms (2nd ed.,
// 1998): the Earth's heliocentric position from the truncated VSOP87
// series of its Appendix III, the Moon from the ELP-2000/82 terms of its
// chapter 47, nutation and obliquity from chapter 22. Angles are radians,
// distances km, time T in Julian centuries of TT from J2000.0.
#pragma once

namespace zol::station {

constexpr double kAstronomicalUnitKm = 149597870.7;

struct Nutation {
    double longitude;  // delta psi
    double obliquity;  // delta epsilon
};

// Nutation to about 0.5" (the short series of Meeus chapter 22).
Nutation NutationAt(double T);
// Mean obliquity of the ecliptic (IAU, Meeus 22.2).
double MeanObliquity(double T);

// A position on the ecliptic and equinox of date.
struct EclipticPosition {
    double longitude;
    double latitude;
    double distanceKm;
};

// The Earth seen from the Sun (heliocentric L, B, R; VSOP87 dynamical
// frame of date, not yet reduced to FK5).
EclipticPosition EarthHeliocentric(double T);
// The Sun seen from the Earth's centre: FK5, nutation and aberration
// applied. Accurate to a few arc seconds.
EclipticPosition SunApparent(double T, const Nutation& nutation);
// The Moon seen from the Earth's centre, nutation applied. About 10" in
// longitude, 4" in latitude.
EclipticPosition MoonApparent(double T, const Nutation& nutation);

}  // namespace zol::station
