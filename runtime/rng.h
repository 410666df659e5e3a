// The process-wide pseudo-random generator (a Mersenne Twister variant whose
// right shifts copy the sign bit) and the secure random source.
//
// The module is `rng` in the code: the name `random` is taken by the C
// library's random().
#pragma once
#include <cstdint>

namespace rng {

// Seeds the generator with 19650218 (start-up).
void init();
// Resets the generator from a seed.
void seed(int32_t value);
// The next pseudo-random draw, 0 .. 2147483647.
int32_t next();
// Four bytes of operating-system secure randomness with bit 31 cleared.
int32_t secure_next();
// 1..n for n > 0, -1..n for n < 0, 0 for 0, every value equally likely;
// for n = -2147483648, -1 - draw. Draws come from the secure source when
// `secure` is set.
int32_t int_in_range(bool secure, int32_t n);

}  // namespace rng
