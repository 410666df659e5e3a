// Float and text conversion: the layout of the texts, the special forms, and
// digits and parsing checked bit for bit against python3's repr(), format()
// and float() on a few thousand generated doubles and decimal texts.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/dtoa.h"
#include "runtime/sys.h"
#include "python_peer.h"

namespace {

uint64_t bits_of(double d) { return std::bit_cast<uint64_t>(d); }

double read(const std::string& text, int adjust = 0, int* left = nullptr) {
    int rest = -1;
    auto* p = reinterpret_cast<const uint8_t*>(text.data());
    double d = dtoa::strtod(p, p + text.size(), adjust, rest);
    if (left) *left = rest;
    return d;
}

struct Digits {
    std::string text;
    int point, sign, length;
};

Digits digits_of(double v, int n, bool zero_with_fraction = true) {
    Digits d{};
    d.text = dtoa::to_digits(v, n, d.point, d.sign, d.length, zero_with_fraction);
    return d;
}

TEST(FormFloat, Layout) {
    struct Case {
        double value;
        int digits;
        bool keep;
        const char* text;
    } cases[] = {
        {1.0, 0, true, "1.0"},
        {0.1, 0, true, "0.1"},
        {100.0, 0, true, "100.0"},
        {1e16, 0, true, "10000000000000000.0"},
        {1e17, 0, true, "1.0e17"},
        {1.5e-10, 0, true, "1.5e-10"},
        {1e-7, 0, true, "0.0000001"},
        {1e-8, 0, true, "1.0e-8"},
        {-2.5, 0, true, "-2.5"},
        {-0.0, 0, true, "-0.0"},
        {0.0, 0, true, "0.0"},
        {0.0, 0, false, "0"},
        {-0.0, 0, false, "-0"},
        {1.0 / 3, 0, true, "0.3333333333333333"},
        {0.1 + 0.2, 0, true, "0.30000000000000004"},
        {123456789012345680.0, 0, true, "1.2345678901234568e17"},
        {12345678901234567.0, 0, true, "12345678901234568.0"},
        {1.7976931348623157e308, 0, true, "1.7976931348623157e308"},
        {5e-324, 0, true, "5.0e-324"},
        {-1.25e-300, 0, true, "-1.25e-300"},
        {std::ldexp(1.0, 63), 0, true, "9.223372036854776e18"},
        {59.9999999, 6, false, "60"},
        {5.5, 6, false, "5.5"},
        {3.0, 6, false, "3"},
        {1e17, 6, false, "1e17"},
        {1e-8, 6, false, "1e-8"},
        {0.000123456789, 3, false, "0.000123"},
        {2.5, 1, false, "2"},  // exact tie: even digit
        {3.5, 1, false, "4"},
        {0.125, 2, false, "0.12"},
        {0.375, 2, false, "0.38"},
        {9.5, 1, false, "10"},
        {-9.96, 2, true, "-10.0"},
        {HUGE_VAL, 0, true, "1.#INF"},
        {-HUGE_VAL, 0, true, "-1.#INF"},
        {std::nan(""), 0, true, "1.#NaN"},
        {-std::nan(""), 6, false, "1.#NaN"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(dtoa::form_float(c.value, c.digits, c.keep), c.text)
            << c.value << " digits " << c.digits;
}

TEST(FormFloat, LargestPlainAndSmallestExponentForms) {
    // Decimal points 17 and -6 are the last plain ones.
    EXPECT_STREQ(dtoa::form_float(std::ldexp(1.0, 56), 0, true), "72057594037927940.0");
    EXPECT_STREQ(dtoa::form_float(1.5e17, 0, true), "1.5e17");
    EXPECT_STREQ(dtoa::form_float(1.5e-7, 0, true), "0.00000015");
    EXPECT_STREQ(dtoa::form_float(1.5e-8, 0, true), "1.5e-8");
}

TEST(ToDigits, SpecialResultsAndExamples) {
    struct Case {
        double value;
        int n;
        bool zwf;
        const char* text;
        int point, sign, length;
    } cases[] = {
        {0.1, 0, true, "1", 0, 0, 1},
        {1.0 / 3, 0, true, "3333333333333333", 0, 0, 16},
        {5e-324, 0, true, "5", -323, 0, 1},
        {-5e-324, 0, true, "-5", -323, 1, 1},
        {59.9999999, 6, true, "6", 2, 0, 1},
        {-1234.5, 0, true, "-12345", 4, 1, 5},
        {HUGE_VAL, 0, true, "1.#INF", 9999, 0, 6},
        {-HUGE_VAL, 0, true, "-1.#INF", 9999, 1, 6},
        {std::nan(""), 0, true, "1.#NaN", 9999, 0, 6},
        {-std::nan(""), 0, true, "1.#NaN", 9999, 0, 6},
        {0.0, 0, true, "0.0", 9998, 0, 3},
        {-0.0, 0, true, "-0.0", 9998, 1, 3},
        {0.0, 3, false, "0", 9998, 0, 1},
        {-0.0, 0, false, "-0", 9998, 1, 1},
        {1e23, 0, true, "1", 24, 0, 1},
        {9007199254740993.0, 0, true, "9007199254740992", 16, 0, 16},
        // The exact expansion of 2^-1074 has 751 significant digits.
        {5e-324, 2000, true, nullptr, -323, 0, 751},
    };
    for (const auto& c : cases) {
        Digits d = digits_of(c.value, c.n, c.zwf);
        if (c.text) {
            EXPECT_EQ(d.text, c.text) << c.value;
        }
        EXPECT_EQ(d.point, c.point) << c.value;
        EXPECT_EQ(d.sign, c.sign) << c.value;
        EXPECT_EQ(d.length, c.length) << c.value;
    }
    EXPECT_EQ(digits_of(5e-324, 2000).text.substr(0, 10), "4940656458");
}

TEST(Strtod, EdgeCases) {
    struct Case {
        const char* text;
        int adjust;
        uint64_t bits;
        int left;
    } cases[] = {
        {"0.1", 0, 0x3FB999999999999A, 0},
        {"9007199254740993", 0, 0x4340000000000000, 0},  // tie to even
        {"9007199254740995", 0, 0x4340000000000002, 0},
        {"1e400", 0, 0x7FF0000000000000, 0},
        {"-1e400", 0, 0xFFF0000000000000, 0},
        {"1e-400", 0, 0, 0},
        {"-1e-400", 0, 0x8000000000000000, 0},
        {"1.#INF", 0, 0x7FF0000000000000, 0},
        {"-1.#INF", 0, 0xFFF0000000000000, 0},
        {"1.#inf", 0, 0x7FF0000000000000, 0},
        {"1.#I", 0, 0x7FF0000000000000, 0},
        {"1.#NaN", 0, 0x7FF8000000000000, 0},
        {"-1.#nan", 0, 0x7FF8000000000000, 0},  // the sign of NaN is ignored
        {"1.#INFx", 0, 0x7FF0000000000000, 1},
        {"12.5", -2, 0x3FC0000000000000, 0},  // 12.5% is 0.125
        {"0.1", -2, 0x3F50624DD2F1A9FC, 0},   // 0.001 in one rounding
        {"-0", 0, 0x8000000000000000, 0},
        {"+1.5", 0, 0x3FF8000000000000, 0},
        {".5", 0, 0x3FE0000000000000, 0},
        {"5.", 0, 0x4014000000000000, 0},
        {"00012.3400e-02", 0, 0x3FBF972474538EF3, 0},
        {"1E5", 0, 0x40F86A0000000000, 0},
        {"1e", 0, 0x3FF0000000000000, 1},
        {"1e+", 0, 0x3FF0000000000000, 2},
        {"1e-x", 0, 0x3FF0000000000000, 3},
        {"2.5x", 0, 0x4004000000000000, 1},
        {"1.2.3", 0, 0x3FF3333333333333, 2},
        {"", 0, 0, 0},
        {"abc", 0, 0, 3},
        {"-", 0, 0, 1},
        {".", 0, 0, 1},
        {"-.e5", 0, 0, 4},
        {"0e99999999999", 0, 0, 0},
        {"1e99999999999", 0, 0x7FF0000000000000, 0},
        {"1e-99999999999", 0, 0, 0},
        {"0.000000000000000000000000000000000000001e39", 0, 0x3FF0000000000000, 0},
        {"2.2250738585072011e-308", 0, 0x000FFFFFFFFFFFFF, 0},  // largest subnormal
        {"2.2250738585072012e-308", 0, 0x0010000000000000, 0},  // smallest normal
    };
    for (const auto& c : cases) {
        int left = -1;
        double d = read(c.text, c.adjust, &left);
        EXPECT_EQ(bits_of(d), c.bits) << '"' << c.text << '"';
        EXPECT_EQ(left, c.left) << '"' << c.text << '"';
    }
}

TEST(Strtod, ReadsOnlyBetweenStartAndEnd) {
    const char text[] = "1.25e3";
    int left = -1;
    auto* p = reinterpret_cast<const uint8_t*>(text);
    EXPECT_EQ(dtoa::strtod(p, p + 4, 0, left), 1.25);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(dtoa::strtod(p, p + 5, 0, left), 1.25);  // "1.25e": the letter is left
    EXPECT_EQ(left, 1);
}

TEST(Strtod, BigIntegersComeBackFromTheFreeLists) {
    auto tracked = [] {
        size_t n = 0;
        for (auto* b = sys::record.heap_first; b; b = b->next) n++;
        return n;
    };
    auto convert = [] {
        read("2.4703282292062327208828439643411068618252990130716238221279284125033775e-324");
        read("1.7976931348623157e308");
        digits_of(1.7976931348623157e308, 0);
        digits_of(5e-324, 700);
    };
    sys::free_all();  // empty lists
    size_t before = tracked();
    convert();
    size_t after_first = tracked();
    EXPECT_GT(after_first, before);  // the lists keep their records
    convert();
    EXPECT_EQ(tracked(), after_first);
    // Releasing the whole tracked heap drops the lists instead of reusing freed blocks.
    sys::free_all();
    convert();
    EXPECT_EQ(read("0.30000000000000004"), 0.1 + 0.2);
}

// ---- Against python3 ----------------------------------------------------------

const char* peer_script = R"PY(
import math, random, struct
from decimal import Decimal, getcontext
getcontext().prec = 2000
random.seed(20240607)
def bits(x): return struct.unpack('<Q', struct.pack('<d', x))[0]
def dbl(b): return struct.unpack('<d', struct.pack('<Q', b))[0]
def up(x): return math.nextafter(x, math.inf)

vals = []
for _ in range(3000):
    x = dbl(random.getrandbits(64))
    if math.isfinite(x) and x != 0: vals.append(x)
vals += [2.0 ** e for e in range(-1074, 1024, 3)]
vals += [float('1e%d' % e) for e in range(-323, 309)]
vals += [dbl(b) for b in (1, 2, 3, 0xFFFFFFFFFFFFF, 0x10000000000000, 0x10000000000001,
                          0x7FEFFFFFFFFFFFFF, 0x7FEFFFFFFFFFFFFE, 0x20000000000000)]
vals += [dbl(random.getrandbits(52)) or 5e-324 for _ in range(200)]
vals += [float(random.randrange(1, 10 ** random.randrange(1, 19))) for _ in range(300)]
vals += [float('%d.%de%d' % (random.randrange(10), random.randrange(10 ** 6), random.randrange(-30, 30)))
         for _ in range(300)]
vals += [2.0 ** 53, 2.0 ** 53 - 1, 1e15, 1e15 - 1, 1e15 + 1, 999999999999999.0, 1e22, 1e23, 0.5, 2.5]
for x in vals:
    x = -x if random.random() < 0.3 else x
    t = Decimal(repr(abs(x))).normalize().as_tuple()
    line = ['D', '%016x' % bits(x), ''.join(map(str, t.digits)), str(len(t.digits) + t.exponent)]
    for n in (1, 2, 3, 6, 10, 15, 16, 17, 20, 30):
        t = Decimal(format(abs(x), '.%de' % (n - 1))).normalize().as_tuple()
        line += [''.join(map(str, t.digits)), str(len(t.digits) + t.exponent)]
    print(' '.join(line))

texts = []
def mids(x):
    a, b = Decimal(x), Decimal(up(x))
    m = (a + b) / 2
    return [m, m + (b - a) / 10 ** 30, m - (b - a) / 10 ** 30]
for _ in range(400):
    x = abs(dbl(random.getrandbits(64)))
    if not math.isfinite(x) or x == 0 or not math.isfinite(up(x)): continue
    for m in mids(x): texts.append('{:e}'.format(m))
for b in (0, 1, 2, 0xFFFFFFFFFFFFF, 0x10000000000000, 0x7FEFFFFFFFFFFFFE):
    for m in mids(dbl(b)): texts.append('{:e}'.format(m))
texts.append('{:e}'.format((Decimal(dbl(0x7FEFFFFFFFFFFFFF)) + Decimal(2) ** 1024) / 2))
texts.append('{:e}'.format((Decimal(dbl(0x7FEFFFFFFFFFFFFF)) + Decimal(2) ** 1024) / 2 - Decimal(1)))
for e in range(-330, -300):
    texts.append('1e%d' % e)
    texts.append('2.4703282292062327e%d' % e)
for _ in range(1000):
    d = ''.join(random.choice('0123456789') for _ in range(random.randrange(16, 45)))
    texts.append('%s.%se%d' % (d[0], d[1:], random.randrange(-345, 312)))
for _ in range(200):
    d = ''.join(random.choice('0123456789') for _ in range(random.randrange(1, 16)))
    texts.append('%se%d' % (d, random.randrange(-40, 40)))
for _ in range(30):
    d = ''.join(random.choice('0123456789') for _ in range(random.randrange(300, 1200)))
    texts.append('0.%se%d' % (d, random.randrange(-300, 300)))
texts += ['9007199254740993', '9007199254740993.0000000000000000000000000000001',
          '2.2250738585072011e-308', '2.2250738585072012e-308', '1.7976931348623157e308',
          '1.7976931348623158e308', '1.7976931348623159e308', '4.9406564584124654e-324',
          '2.4703282292062328e-324', '123456789012345678901234567890', '0.' + '0' * 400 + '1e400']
for t in texts:
    print('S', t, '%016x' % bits(float(t)), '%016x' % bits(float(Decimal(t).scaleb(-2))))
)PY";

const std::vector<std::string>& peer_lines() {
    static std::vector<std::string> lines = python_peer::run_lines(peer_script);
    return lines;
}

TEST(DtoaPeer, DigitsMatchPythonAndReadBack) {
    const auto& lines = peer_lines();
    ASSERT_FALSE(lines.empty()) << "the python3 peer printed nothing";
    int checked = 0;
    for (const auto& line : lines) {
        if (line[0] != 'D') continue;
        std::istringstream in(line.substr(2));
        std::string hex, digits;
        int point;
        in >> hex >> digits >> point;
        double x = std::bit_cast<double>(std::stoull(hex, nullptr, 16));
        Digits d = digits_of(x, 0);
        ASSERT_EQ(d.text.substr(d.sign), digits) << hex;
        ASSERT_EQ(d.point, point) << hex;
        // The laid-out text reads back as the same double.
        std::string text = dtoa::form_float(x, 0, true);
        int left = -1;
        ASSERT_EQ(bits_of(read(text, 0, &left)), bits_of(x)) << text;
        ASSERT_EQ(left, 0) << text;
        for (int n : {1, 2, 3, 6, 10, 15, 16, 17, 20, 30}) {
            in >> digits >> point;
            Digits r = digits_of(x, n);
            ASSERT_EQ(r.text.substr(r.sign), digits) << hex << " digits " << n;
            ASSERT_EQ(r.point, point) << hex << " digits " << n;
        }
        checked++;
    }
    EXPECT_GT(checked, 0);
}

TEST(DtoaPeer, TextsReadAsPythonFloat) {
    const auto& lines = peer_lines();
    ASSERT_FALSE(lines.empty()) << "the python3 peer printed nothing";
    int checked = 0;
    for (const auto& line : lines) {
        if (line[0] != 'S') continue;
        std::istringstream in(line.substr(2));
        std::string text, plain, percent;
        in >> text >> plain >> percent;
        int left = -1;
        ASSERT_EQ(bits_of(read(text, 0, &left)), std::stoull(plain, nullptr, 16)) << text;
        ASSERT_EQ(left, 0) << text;
        ASSERT_EQ(bits_of(read(text, -2)), std::stoull(percent, nullptr, 16)) << text << " %";
        checked++;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
