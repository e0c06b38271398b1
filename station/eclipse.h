// How much of the Sun the Moon covers, seen from a point on the Earth: at
// one instant (for a chart, cheap enough to call for every step) and as
// the local circumstances of the eclipse of a date (contacts, maximum).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "station/geo.h"
#include "station/timescale.h"

namespace zol::station {

// The two discs seen from a point (height 0 on the WGS84 ellipsoid) at one
// instant. Angles in degrees.
struct SkyView {
    double separation;   // between the centres, topocentric
    double sunRadius;    // apparent semi-diameters
    double moonRadius;
    double sunAltitude;  // of the Sun's centre, without refraction
    double obscuration;  // fraction of the Sun's disc area covered, 0..1
    double magnitude;    // fraction of the Sun's diameter covered, 0 when apart
};

SkyView ViewFrom(GeoPoint point, UtcSeconds t);
// ViewFrom(point, t).obscuration: a few microseconds.
double ObscurationAt(GeoPoint point, UtcSeconds t);

// Fraction of the area of a disc of radius sunRadius covered by a disc of
// radius moonRadius whose centre is separation away (any one unit): 0 when
// apart, 1 when the Moon's disc holds the Sun's, (moon / sun)^2 when it
// lies inside the Sun's.
double DiscOverlap(double separation, double sunRadius, double moonRadius);

enum class EclipseKind { None, Partial, Annular, Total };

// Altitude of the Sun's centre when its upper limb touches the horizon
// under mean refraction (Meeus, chapter 15).
constexpr double kSunRiseAltitude = -0.8333;

struct Contact {
    UtcSeconds time = 0;
    double sunAltitude = 0;  // degrees, the Sun's centre without refraction
    // Some of the Sun is above the horizon.
    bool visible() const { return sunAltitude > kSunRiseAltitude; }
};

// The eclipse seen from a point. First and last contact are the outer
// touching of the discs; second and third the inner one (totality or the
// ring) of a total or annular eclipse. Contacts are geometric: those with
// the Sun below the horizon are kept and marked by their altitude.
struct LocalEclipse {
    EclipseKind kind = EclipseKind::None;
    Contact first, maximum, last;
    std::optional<Contact> second, third;
    double obscuration = 0;  // at maximum, 0..1
    double magnitude = 0;    // at maximum
};

// The eclipse with any part between 00:00 and 24:00 UTC of the date (its
// contacts may reach into the day before or after), or kind None when the
// discs do not touch at the point on that date. Times to well under a
// second of the model.
LocalEclipse FindLocalEclipse(GeoPoint point, Date date);
// Whether the discs touch at the point on the date, the Sun up or not (the
// contacts' altitudes tell). Far from new moon one position suffices.
bool HasEclipse(GeoPoint point, Date date);

// The local circumstances as printed for a named point, in UTC:
//   Midpoint (36.1627 N, 86.7816 W), 2017-08-21: total solar eclipse
//     First contact   2017-08-21 16:58:25 UTC  Sun altitude 63.1 deg
//     Second contact  2017-08-21 18:27:21 UTC  Sun altitude 64.3 deg
//     Maximum         2017-08-21 18:28:19 UTC  Sun altitude 64.2 deg  obscuration 100.0 %, magnitude 1.005
//     Third contact   2017-08-21 18:29:16 UTC  Sun altitude 64.1 deg
//     Last contact    2017-08-21 19:53:58 UTC  Sun altitude 53.0 deg
// A contact with the whole Sun below the horizon ends in ", below the
// horizon". Without an eclipse, one line:
//   Midpoint (...), 2017-08-22: no solar eclipse at this point on this date
std::string FormatEclipseReport(std::string_view name, GeoPoint point, Date date, const LocalEclipse& eclipse);

}  // namespace zol::station
