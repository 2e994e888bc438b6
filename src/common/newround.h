#pragma once
// The money rounding of prices and document totals.

namespace durva {

// Rounds x to d decimals with a small upward bias: halves round away from
// zero for positive values, while an exact negative half rounds towards zero
// (2.345 -> 2.35, -2.345 -> -2.34). Never returns a negative zero.
double NEWROUND(double x, int d = 0);

}  // namespace durva
