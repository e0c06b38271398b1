// The Sun's obscuration at the midpoint of the radio path, for the charts
// and the data file: where the reflection point lies, how much of the Sun
// is covered there at an instant, and whether an eclipse touches it on a
// date. Each date is searched once, so a chart step costs one position of
// the Sun and the Moon, and nothing on a day without an eclipse.
#pragma once

#include "station/eclipse.h"

#include <optional>
#include <vector>

namespace zol {

class TEclipseTrace {
public:
    TEclipseTrace(station::GeoPoint receiver, station::GeoPoint transmitter);

    station::GeoPoint Receiver() const { return receiver_; }
    station::GeoPoint Transmitter() const { return transmitter_; }
    // None for antipodal ends: the path has no one midpoint, and no trace.
    const std::optional<station::GeoPoint>& Midpoint() const { return midpoint_; }

    // The share of the Sun's disc covered at the midpoint at t, in percent
    // (0..100), or none when no eclipse touches the midpoint on t's UTC date.
    std::optional<double> ObscurationPercent(station::UtcSeconds t);
    // The eclipse of a UTC date at the midpoint (kind None without one).
    const station::LocalEclipse& EclipseOn(station::Date date);
    // How many dates were searched (each once while it is among the last few).
    int DaysSearched() const { return searched_; }

private:
    struct Day {
        long long number;  // days since 1970-01-01
        station::LocalEclipse eclipse;
    };
    const Day& DayOf(long long number);

    station::GeoPoint receiver_;
    station::GeoPoint transmitter_;
    std::optional<station::GeoPoint> midpoint_;
    std::vector<Day> days_;  // the dates asked for last, newest at the back
    int searched_ = 0;
};

// The chart position of an obscuration: its percent, to the nearest whole
// one; none stays none.
std::optional<int> ObscurationPosition(const std::optional<double>& percent);

}  // namespace zol
