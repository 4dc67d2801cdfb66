// Rounding of measurements: to the nearest integer, ties to the even
// neighbour, in extended precision. One helper, used everywhere a length or a
// position is turned into whole units.
#pragma once

#include <cfenv>
#include <cmath>
#include <cstdint>

// Rounds x to the nearest integer, ties to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// Values beyond the int64 range saturate; NaN gives 0.
inline int64_t RoundTiesEven(long double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9.2233720368547758e18L) return INT64_MAX;
    if (x <= -9.2233720368547758e18L) return INT64_MIN;
    // nearbyint honours the current rounding mode, which is round-to-nearest-even
    // unless someone changed it; do the tie-breaking by hand so that it holds
    // whatever mode is set.
    long double fl = std::floor(x);
    long double diff = x - fl;
    int64_t base = static_cast<int64_t>(fl);
    if (diff > 0.5L) return base + 1;
    if (diff < 0.5L) return base;
    return (base % 2 == 0) ? base : base + 1;
}
