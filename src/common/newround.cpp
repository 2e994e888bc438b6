#include "common/newround.h"

#include <cmath>

namespace durva {

double NEWROUND(double x, int d) {
    const double v = x + 0.00000001;
    if (v == 0) return 0;
    const double scale = std::pow(10.0, d);
    double s = v * scale * 10;
    s += v > 0 ? 5 : -5;
    s /= 10;
    s *= 1.0000000000000002;
    s = std::trunc(s);
    // -0.004 ends as -0; the office's amounts have no negative zero.
    return s / scale + 0.0;
}

}  // namespace durva
