#include "download/FormatSize.h"

#include <cmath>
#include <cstdio>

namespace box {

namespace {

// A unit is reached a hair below the exact power, so that a count computed
// in floating point as 1023.99999999 still shows as 1 KB.
bool ReachesNextUnit(double value) {
    return value - 1024 >= -0.0000001;
}

double RoundToCents(double value) {
    const double scaled = std::fabs(value) * 100;
    double whole = std::floor(scaled);
    if (scaled - whole + 0.000000000001 >= 0.5) whole += 1;
    return std::copysign(whole / 100, value);
}

Text Number(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.13g", value);
    return buffer;
}

}  // namespace

Text FormatSize(double bytes) {
    if (!std::isfinite(bytes)) return "0 B";
    if (!ReachesNextUnit(bytes)) return Number(bytes) + " B";
    static const char* const kUnits[] = {" KB", " MB", " GB", " TB", " PB"};
    double value = bytes / 1024;
    int unit = 0;
    while (unit < 4 && ReachesNextUnit(value)) {
        value /= 1024;
        ++unit;
    }
    return Number(RoundToCents(value)) + kUnits[unit];
}

}  // namespace box
