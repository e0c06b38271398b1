// One machine-readable line per figure, for tools/bench.sh:
//   FIGURE <name> <measured> <target> <unit> <max|min>
// "max": the target is the most the figure may be; "min": the least.
#pragma once

#include <cstdio>

inline void PrintFigure(const char* name, double measured, double target, const char* unit, bool targetIsMax = true)
{
    std::printf("FIGURE %s %.6g %.6g %s %s\n", name, measured, target, unit, targetIsMax ? "max" : "min");
    std::fflush(stdout);
}
