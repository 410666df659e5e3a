// Float texts against python3 on a few hundred thousand doubles: the
// shortest digits against repr(), text to double against float(), the mold
// layout against repr() where the two agree (1e-4 <= |x| < 1e16), and the
// form texts (our locale-free "%.Ng") against python's own "%" formatting
// run through the same trimming steps.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/dtoa.h"
#include "datatypes/float.h"
#include "python_peer.h"

namespace {

const char* peer_script = R"PY(
import math, random, struct, sys
random.seed(8080)
def bits(x): return struct.unpack('<Q', struct.pack('<d', x))[0]
def dbl(b): return struct.unpack('<d', struct.pack('<Q', b))[0]

def clean(t):
    if 'e' in t:
        m, e = t.split('e')
        t = m + 'e' + str(int(e))
    return t

def noisy(t):
    if 'e' not in t:
        first = t[1] if t[0] == '-' else t[0]
        if len(t) <= 16 or (first == '0' and len(t) <= 17): return False
        two = t[-2:]
    else:
        m = t[:t.index('e')]
        if len(m) <= 16: return False
        two = m[-2:]
    return two in ('01', '99')

def form(x, first, again, pretty, zero, suffix, point):
    if math.isnan(x): return '1.#NaN'
    if math.isinf(x): return '1.#INF' if x > 0 else '-1.#INF'
    if pretty and abs(x) < 2.220446049250313e-16: return zero
    t = '%.*g' % (first, x)
    if pretty and noisy(t): t = '%.*g' % (again, x)
    t = clean(t)
    if suffix: return t + suffix
    if point and '.' not in t:
        t = t.replace('e', '.0e') if 'e' in t else t + '.0'
    return t

vals = []
for _ in range(100000):
    x = dbl(random.getrandbits(64))
    if math.isfinite(x): vals.append(x)
for _ in range(60000):
    x = round(random.uniform(-1e6, 1e6), random.randrange(0, 12)) * random.choice((1, 3, 0.1, 7e-5, 1e12))
    vals.append(x + random.choice((0, 0.1, 0.2, 0.7, 1e-9)))
for _ in range(40000):
    vals.append(random.randrange(1, 100000) / random.randrange(1, 1000) * 10.0 ** random.randrange(-20, 25))
vals += [0.1 + 0.2, 0.1 + 0.7, 1e15, 1e16, 1e17, 1e-4, 1e-5, 5e-324, 1.7976931348623157e308, 0.0, -0.0,
         1 / 3, 2 / 3, 9007199254740993.0, 2.0 ** 53, 123456789012345678.0]
out = []
for x in vals:
    if random.random() < 0.3: x = -x
    out.append('D %016x %s %s %s %s %s %s' % (bits(x), repr(x),
        form(x, 16, 14, True, '0.0', '', True), form(x, 16, 14, False, '0.0', '', True),
        form(x * 100, 13, 14, True, '0%', '%', False), form(x, 7, 5, True, '0', '', False),
        form(x, 7, 14, True, '0%', '%', False)))
sys.stdout.write('\n'.join(out) + '\n')
)PY";

const char* texts_script = R"PY(
import random, struct, sys
random.seed(8081)
def bits(x): return struct.unpack('<Q', struct.pack('<d', x))[0]
out = []
for _ in range(60000):
    d = ''.join(random.choice('0123456789') for _ in range(random.randrange(1, 26)))
    k = random.randrange(0, len(d) + 1)
    t = '%s%s.%se%d' % (random.choice(('', '-')), d[:k] or '0', d[k:] or '0', random.randrange(-340, 315))
    out.append('S %s %016x' % (t, bits(float(t))))
sys.stdout.write('\n'.join(out) + '\n')
)PY";

double read(const std::string& text, int* left) {
    auto* p = reinterpret_cast<const uint8_t*>(text.data());
    return dtoa::strtod(p, p + text.size(), 0, *left);
}

// The shortest digits and decimal point of a python repr() text.
void repr_digits(const std::string& repr, std::string& digits, int& point) {
    std::string m = repr, e = "0";
    if (size_t at = repr.find('e'); at != std::string::npos) {
        m = repr.substr(0, at);
        e = repr.substr(at + 1);
    }
    if (m[0] == '-') m.erase(0, 1);
    size_t dot = m.find('.');
    int int_digits = static_cast<int>(dot == std::string::npos ? m.size() : dot);
    if (dot != std::string::npos) m.erase(dot, 1);
    size_t lead = m.find_first_not_of('0');
    digits = m.substr(lead);
    digits.erase(digits.find_last_not_of('0') + 1);
    point = int_digits - static_cast<int>(lead) + std::stoi(e);
}

class FloatPeer : public ::testing::Test {
protected:
    void TearDown() override { float_::pretty_q = true; }
};

TEST_F(FloatPeer, DigitsTextsAndFormsMatchPython) {
    const auto lines = python_peer::run_lines(peer_script);
    ASSERT_FALSE(lines.empty()) << "the python3 peer printed nothing";
    int checked = 0;
    for (const auto& line : lines) {
        if (line[0] != 'D') continue;
        std::istringstream in(line.substr(2));
        std::string hex, repr, form_pretty, form_plain, percent, point5, vpercent;
        in >> hex >> repr >> form_pretty >> form_plain >> percent >> point5 >> vpercent;
        uint64_t b = std::stoull(hex, nullptr, 16);
        double x = std::bit_cast<double>(b);
        // repr() reads back as the same double.
        int left = -1;
        ASSERT_EQ(std::bit_cast<uint64_t>(read(repr, &left)), b) << repr;
        ASSERT_EQ(left, 0) << repr;
        // The same shortest digits.
        if (x != 0.0) {
            std::string digits;
            int point, p, sign, length;
            repr_digits(repr, digits, point);
            const char* ours = dtoa::to_digits(x, 0, p, sign, length, true);
            ASSERT_EQ(std::string(ours + sign), digits) << repr;
            ASSERT_EQ(p, point) << repr;
        }
        // mold's layout is repr()'s between 1e-4 and 1e16.
        double a = std::fabs(x);
        if ((a >= 1e-4 && a < 1e16) || a == 0.0) {
            ASSERT_EQ(dtoa::form_float(x, 0, true), repr) << hex;
        }
        // The form texts.
        float_::pretty_q = true;
        ASSERT_EQ(float_::form_float(x, float_::KIND_FLOAT), form_pretty) << repr;
        ASSERT_EQ(float_::form_float(x * 100.0, float_::KIND_PERCENT), percent) << repr;
        ASSERT_EQ(float_::form_float(x, float_::KIND_POINT), point5) << repr;
        ASSERT_EQ(float_::form_float(x, float_::KIND_VECTOR_PERCENT), vpercent) << repr;
        float_::pretty_q = false;
        ASSERT_EQ(float_::form_float(x, float_::KIND_FLOAT), form_plain) << repr;
        checked++;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(FloatPeer, DecimalTextsReadAsPythonFloat) {
    const auto lines = python_peer::run_lines(texts_script);
    ASSERT_FALSE(lines.empty()) << "the python3 peer printed nothing";
    int checked = 0;
    for (const auto& line : lines) {
        if (line[0] != 'S') continue;
        std::istringstream in(line.substr(2));
        std::string text, hex;
        in >> text >> hex;
        int left = -1;
        ASSERT_EQ(std::bit_cast<uint64_t>(read(text, &left)), std::stoull(hex, nullptr, 16)) << text;
        ASSERT_EQ(left, 0) << text;
        checked++;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
