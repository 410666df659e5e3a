// The sign-copying Mersenne Twister against an independent python3 model of
// it, and the integer ranges built on it.
#include "runtime/rng.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "python_peer.h"

namespace {

// The generator as the arithmetic on signed 32-bit words defines it:
// python's integers are unbounded, so every step wraps explicitly.
const char* model =
    "def s32(x):\n"
    "    x &= 0xFFFFFFFF\n"
    "    return x - (1 << 32) if x & 0x80000000 else x\n"
    "def sar(x, k): return (s32(x) >> k) & 0xFFFFFFFF\n"
    "def draws(seed, n):\n"
    "    mt = [seed & 0xFFFFFFFF]\n"
    "    for i in range(1, 624):\n"
    "        p = mt[-1]; mt.append((1812433253 * (p ^ sar(p, 30)) + i) & 0xFFFFFFFF)\n"
    "    out = []; idx = 0  # seeding leaves the index at 0: no twist before the first draw\n"
    "    for _ in range(n):\n"
    "        if idx == 624:\n"
    "            for i in range(624):\n"
    "                y = (mt[i] & 0x80000000) | (mt[(i + 1) % 624] & 0x7FFFFFFF)\n"
    "                mt[i] = mt[(i + 397) % 624] ^ sar(y, 1) ^ (0x9908B0DF if y & 1 else 0)\n"
    "            idx = 0\n"
    "        y = mt[idx]; idx += 1\n"
    "        y ^= sar(y, 11); y ^= (y << 7) & 0x9D2C5680; y ^= (y << 15) & 0xEFC60000; y ^= sar(y, 18)\n"
    "        out.append(s32(y))\n"
    "    return out\n"
    "for seed in (19650218, 0, 1, -1, -2147483648, 5489):\n"
    "    print(*draws(seed, 1300))\n";

TEST(Random, AgreesWithAnIndependentModel) {
    // 1300 draws cross two regenerations of the state.
    auto out = python_peer::run(model);
    ASSERT_TRUE(out) << "python3 did not run";
    std::istringstream lines(*out);
    for (int32_t seed : {19650218, 0, 1, -1, INT32_MIN, 5489}) {
        if (seed == 19650218)
            rng::init();
        else
            rng::seed(seed);
        for (int i = 0; i < 1300; i++) {
            int32_t want;
            ASSERT_TRUE(lines >> want);
            int32_t got = rng::next();
            ASSERT_EQ(got, want) << "seed " << seed << ", draw " << i;
            ASSERT_GE(got, 0);
        }
    }
}

TEST(Random, SameSeedSameSequence) {
    rng::seed(42);
    std::vector<int32_t> first;
    for (int i = 0; i < 700; i++) first.push_back(rng::next());
    rng::seed(42);
    for (int i = 0; i < 700; i++) EXPECT_EQ(rng::next(), first[i]);
}

TEST(Random, IntegerRanges) {
    rng::seed(7);
    for (bool secure : {false, true}) {
        EXPECT_EQ(rng::int_in_range(secure, 0), 0);
        EXPECT_EQ(rng::int_in_range(secure, 1), 1);
        EXPECT_EQ(rng::int_in_range(secure, -1), -1);
        std::set<int32_t> seen;
        for (int i = 0; i < 300; i++) {
            int32_t r = rng::int_in_range(secure, -3);
            ASSERT_TRUE(r >= -3 && r <= -1) << r;
            seen.insert(r);
            r = rng::int_in_range(secure, 6);
            ASSERT_TRUE(r >= 1 && r <= 6) << r;
            seen.insert(r);
            EXPECT_LT(rng::int_in_range(secure, INT32_MIN), 0);
            EXPECT_GE(rng::int_in_range(secure, INT32_MAX), 1);
            EXPECT_GE(rng::secure_next(), 0);
        }
        EXPECT_EQ(seen.size(), 9u) << "every value of -3..-1 and 1..6 turns up";
    }
}

}  // namespace
