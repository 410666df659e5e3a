// Exact conversions between doubles and decimal text, after David M. Gay's
// dtoa and strtod: big integers from per-size free lists, exact fast paths,
// and big-integer comparisons wherever double arithmetic could be off.
#include "runtime/dtoa.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "runtime/sys.h"

namespace dtoa {

namespace {

// ---- Big integers -----------------------------------------------------------

// A non-negative big integer of `wds` little-endian 32-bit words (0 words is
// zero); `sign` is set only by diff. Room for 2^k words follows the record.
struct Bigint {
    Bigint* next;
    int k;
    int maxwds;
    int sign;
    int wds;
    uint32_t* x() { return reinterpret_cast<uint32_t*>(this + 1); }
    const uint32_t* x() const { return reinterpret_cast<const uint32_t*>(this + 1); }
};

// Records of classes 0 to max_class go back to the free list of their class.
constexpr int max_class = 7;
Bigint* free_lists[max_class + 1];
uint32_t free_lists_epoch = 0;

Bigint* balloc(int k) {
    // After the tracked heap was released wholesale, the lists point at freed
    // blocks: forget them.
    if (free_lists_epoch != sys::record.heap_epoch) {
        std::fill(std::begin(free_lists), std::end(free_lists), nullptr);
        free_lists_epoch = sys::record.heap_epoch;
    }
    Bigint* b;
    if (k <= max_class && free_lists[k]) {
        b = free_lists[k];
        free_lists[k] = b->next;
    } else {
        size_t words = size_t(1) << k;
        b = static_cast<Bigint*>(sys::allocate(sizeof(Bigint) + words * sizeof(uint32_t)));
        b->k = k;
        b->maxwds = static_cast<int>(words);
    }
    b->next = nullptr;
    b->sign = 0;
    b->wds = 0;
    return b;
}

void bfree(Bigint* b) {
    if (!b) return;
    if (b->k > max_class) {
        sys::free(b);
        return;
    }
    b->next = free_lists[b->k];
    free_lists[b->k] = b;
}

int class_for(int words) {
    int k = 0;
    while ((1 << k) < words) k++;
    return k;
}

void trim(Bigint* b) {
    while (b->wds > 0 && b->x()[b->wds - 1] == 0) b->wds--;
}

bool is_zero(const Bigint* b) { return b->wds == 0; }

// b with room for at least `words` words (b itself, or a copy that replaces it).
Bigint* reserve(Bigint* b, int words) {
    if (b->maxwds >= words) return b;
    Bigint* c = balloc(class_for(words));
    std::memcpy(c->x(), b->x(), size_t(b->wds) * sizeof(uint32_t));
    c->wds = b->wds;
    c->sign = b->sign;
    bfree(b);
    return c;
}

Bigint* from_u64(uint64_t v) {
    Bigint* b = balloc(1);
    b->x()[0] = static_cast<uint32_t>(v);
    b->x()[1] = static_cast<uint32_t>(v >> 32);
    b->wds = 2;
    trim(b);
    return b;
}

Bigint* copy(const Bigint* a) {
    Bigint* b = balloc(a->k);
    std::memcpy(b->x(), a->x(), size_t(a->wds) * sizeof(uint32_t));
    b->wds = a->wds;
    b->sign = a->sign;
    return b;
}

// b * m + a, in place where it fits.
Bigint* multadd(Bigint* b, uint32_t m, uint32_t a) {
    uint64_t carry = a;
    uint32_t* x = b->x();
    for (int i = 0; i < b->wds; i++) {
        uint64_t y = uint64_t(x[i]) * m + carry;
        x[i] = static_cast<uint32_t>(y);
        carry = y >> 32;
    }
    if (carry) {
        b = reserve(b, b->wds + 1);
        b->x()[b->wds++] = static_cast<uint32_t>(carry);
    }
    return b;
}

// A new big integer a * b.
Bigint* mult(const Bigint* a, const Bigint* b) {
    int wc = a->wds + b->wds;
    Bigint* c = balloc(class_for(std::max(wc, 1)));
    uint32_t* xc = c->x();
    std::fill(xc, xc + wc, 0u);
    for (int i = 0; i < b->wds; i++) {
        uint64_t y = b->x()[i];
        if (!y) continue;
        uint64_t carry = 0;
        for (int j = 0; j < a->wds; j++) {
            uint64_t z = a->x()[j] * y + xc[i + j] + carry;
            xc[i + j] = static_cast<uint32_t>(z);
            carry = z >> 32;
        }
        xc[i + a->wds] = static_cast<uint32_t>(carry);
    }
    c->wds = wc;
    trim(c);
    return c;
}

// b * 5^n, by factors of 5^13 (the largest power of 5 in 32 bits).
Bigint* pow5mult(Bigint* b, int n) {
    static constexpr uint32_t p5[13] = {1,      5,       25,       125,       625,
                                        3125,   15625,   78125,    390625,    1953125,
                                        9765625, 48828125, 244140625};
    for (; n >= 13; n -= 13) b = multadd(b, 1220703125u, 0);
    if (n) b = multadd(b, p5[n], 0);
    return b;
}

// b * 2^n.
Bigint* lshift(Bigint* b, int n) {
    if (n <= 0 || is_zero(b)) return b;
    int words = n >> 5;
    int bits = n & 31;
    int old = b->wds;
    b = reserve(b, old + words + 1);
    uint32_t* x = b->x();
    if (bits) {
        x[old + words] = x[old - 1] >> (32 - bits);
        for (int i = old - 1; i > 0; i--) x[i + words] = x[i] << bits | x[i - 1] >> (32 - bits);
        x[words] = x[0] << bits;
    } else {
        x[old + words] = 0;
        for (int i = old - 1; i >= 0; i--) x[i + words] = x[i];
    }
    std::fill(x, x + words, 0u);
    b->wds = old + words + 1;
    trim(b);
    return b;
}

int cmp(const Bigint* a, const Bigint* b) {
    if (a->wds != b->wds) return a->wds < b->wds ? -1 : 1;
    for (int i = a->wds - 1; i >= 0; i--)
        if (a->x()[i] != b->x()[i]) return a->x()[i] < b->x()[i] ? -1 : 1;
    return 0;
}

// a -= b in place, for a >= b.
void subtract_in_place(Bigint* a, const Bigint* b) {
    uint64_t borrow = 0;
    uint32_t* x = a->x();
    for (int i = 0; i < a->wds; i++) {
        uint64_t y = uint64_t(x[i]) - (i < b->wds ? b->x()[i] : 0) - borrow;
        x[i] = static_cast<uint32_t>(y);
        borrow = (y >> 32) & 1;
    }
    trim(a);
}

// A new big integer |a - b|, with sign 1 when a < b.
Bigint* diff(const Bigint* a, const Bigint* b) {
    int order = cmp(a, b);
    Bigint* c = copy(order < 0 ? b : a);
    subtract_in_place(c, order < 0 ? a : b);
    c->sign = order < 0;
    return c;
}

// The quotient digit of b / S (0 to 9) with b left as the remainder. S has
// its top word normalised to 28 bits, so b < 10 S never needs more words.
int quorem(Bigint* b, const Bigint* S) {
    int n = S->wds;
    if (b->wds < n) return 0;
    uint32_t q = b->x()[n - 1] / (S->x()[n - 1] + 1);  // never above the quotient
    if (q) {
        uint64_t borrow = 0, carry = 0;
        uint32_t* bx = b->x();
        for (int i = 0; i < n; i++) {
            uint64_t ys = uint64_t(S->x()[i]) * q + carry;
            carry = ys >> 32;
            uint64_t y = uint64_t(bx[i]) - static_cast<uint32_t>(ys) - borrow;
            borrow = (y >> 32) & 1;
            bx[i] = static_cast<uint32_t>(y);
        }
        trim(b);
    }
    while (cmp(b, S) >= 0) {
        subtract_in_place(b, S);
        q++;
    }
    return static_cast<int>(q);
}

// ---- Doubles ------------------------------------------------------------------

constexpr double tens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int ten_pmax = 22;
constexpr double bigtens[] = {1e16, 1e32, 1e64, 1e128, 1e256};
// The last factor carries 2^106 (2^53 times 2^53 * 1e-256) so that values near
// the bottom of the range stay normal while they are scaled.
constexpr int scale_bits = 106;
constexpr double tinytens[] = {1e-16, 1e-32, 1e-64, 1e-128,
                               9007199254740992.0 * 9.007199254740992e-241};

constexpr uint64_t frac_mask = (uint64_t(1) << 52) - 1;
constexpr uint64_t hidden_bit = uint64_t(1) << 52;
constexpr int min_q = -1074;  // exponent of the smallest subnormal
constexpr int max_q = 971;    // exponent of the largest finite double's mantissa

double from_bits(uint64_t bits) { return std::bit_cast<double>(bits); }
uint64_t to_bits(double d) { return std::bit_cast<uint64_t>(d); }

// ---- Text to double -----------------------------------------------------------

// The significant digits of the text: up to two spans (before and after the
// decimal point), read as one sequence.
struct Digits {
    const uint8_t* a;
    int64_t na;
    const uint8_t* b;
    int64_t count;  // significant digits in all
    int at(int64_t i) const { return (i < na ? a[i] : b[i - na]) - '0'; }
};

// Digits 0 .. n-1 as a big integer, followed by one extra digit 1 when
// `sticky` (standing for the non-zero digits dropped after them).
Bigint* digits_to_big(const Digits& d, int64_t n, bool sticky) {
    Bigint* b = balloc(class_for(static_cast<int>(n / 9 + 2)));
    uint32_t chunk = 0, scale = 1;
    auto push = [&](int digit) {
        chunk = chunk * 10 + static_cast<uint32_t>(digit);
        scale *= 10;
        if (scale == 1000000000u) {
            b = multadd(b, scale, chunk);
            chunk = 0;
            scale = 1;
        }
    };
    for (int64_t i = 0; i < n; i++) push(d.at(i));
    if (sticky) push(1);
    if (scale > 1) b = multadd(b, scale, chunk);
    return b;
}

// The exact value D * 10^E compared with H * 2^p.
struct Exact {
    Bigint* lhs;     // D * 5^max(E, 0)
    int lhs2;        // max(E, 0)
    Bigint* rhs5;    // 5^max(-E, 0), or null
    int rhs2;        // max(-E, 0)

    int compare(uint64_t h, int p) const {
        int l2 = lhs2, r2 = p + rhs2;
        int common = std::min(l2, r2);
        l2 -= common;
        r2 -= common;
        Bigint* left = lshift(copy(lhs), l2);
        Bigint* right = from_u64(h);
        if (rhs5) {
            Bigint* product = mult(right, rhs5);
            bfree(right);
            right = product;
        }
        right = lshift(right, r2);
        int order = cmp(left, right);
        bfree(left);
        bfree(right);
        return order;
    }
};

// Digits beyond this many cannot change the rounding: a half-way point
// between two doubles has at most 768 significant digits.
constexpr int64_t digit_limit = 800;

double correctly_rounded(const Digits& digits, int64_t e) {
    int64_t nd = digits.count;
    // Magnitude checks: the value lies in [10^(dexp-1), 10^dexp).
    int64_t dexp = e + nd;
    if (dexp > 310) return from_bits(0x7FF0000000000000);
    if (dexp < -323) return 0.0;

    int k = static_cast<int>(std::min<int64_t>(nd, 16));
    uint64_t lead = 0;
    for (int i = 0; i < k; i++) lead = lead * 10 + static_cast<uint64_t>(digits.at(i));
    double rv = static_cast<double>(lead);

    // Exact fast paths: the digits and the power of ten are both exact doubles.
    if (nd <= 15) {
        if (e == 0) return rv;
        if (e > 0) {
            if (e <= ten_pmax) return rv * tens[e];
            int spare = 15 - static_cast<int>(nd);
            if (e <= ten_pmax + spare) return rv * tens[spare] * tens[e - spare];
        } else if (e >= -ten_pmax) {
            return rv / tens[-e];
        }
    }

    // A first approximation, scaled through the big powers of ten.
    int e1 = static_cast<int>(e + nd - k);
    int scale = 0;
    if (e1 > 0) {
        if (e1 & 15) rv *= tens[e1 & 15];
        e1 >>= 4;
        for (int j = 0; e1; j++, e1 >>= 1)
            if (e1 & 1) rv *= bigtens[j];
    } else if (e1 < 0) {
        e1 = -e1;
        if (e1 & 15) rv /= tens[e1 & 15];
        e1 >>= 4;
        if (e1 & 16) scale = scale_bits;
        for (int j = 0; e1; j++, e1 >>= 1)
            if (e1 & 1) rv *= tinytens[j];
    }

    // The candidate m * 2^q on the grid of doubles.
    uint64_t m;
    int q;
    uint64_t bits = to_bits(rv);
    int ex = static_cast<int>(bits >> 52);
    if (ex == 0x7FF) {
        m = (hidden_bit << 1) - 1;
        q = max_q;
    } else {
        m = ex ? (bits & frac_mask) | hidden_bit : bits & frac_mask;
        q = (ex ? ex - 1075 : min_q) - scale;
        if (q < min_q) {
            int shift = min_q - q;
            m = shift > 60 ? 0 : (m >> shift) + ((m >> (shift - 1)) & 1);
            q = min_q;
        }
        if (m == 0) q = min_q;
    }

    // Correction: compare the exact value with the half-way points around the
    // candidate and step one unit until it is the nearest (ties to even).
    bool sticky = nd > digit_limit;
    int64_t used = sticky ? digit_limit : nd;
    int64_t de = e + nd - used - (sticky ? 1 : 0);  // within int: |dexp| is small
    Exact exact{digits_to_big(digits, used, sticky), 0, nullptr, 0};
    if (de >= 0) {
        exact.lhs = pow5mult(exact.lhs, static_cast<int>(de));
        exact.lhs2 = static_cast<int>(de);
    } else {
        exact.rhs5 = pow5mult(from_u64(1), static_cast<int>(-de));
        exact.rhs2 = static_cast<int>(-de);
    }
    bool overflow = false;
    for (;;) {
        int up = exact.compare(2 * m + 1, q - 1);
        if (up > 0 || (up == 0 && (m & 1))) {
            if (++m == hidden_bit << 1) {
                m = hidden_bit;
                if (++q > max_q) {
                    overflow = true;
                    break;
                }
            }
            if (up == 0) break;
            continue;
        }
        if (up == 0 || m == 0) break;
        bool boundary = m == hidden_bit && q > min_q;
        int down = boundary ? exact.compare(4 * m - 1, q - 2) : exact.compare(2 * m - 1, q - 1);
        if (down < 0 || (down == 0 && (m & 1))) {
            if (boundary) {
                m = (hidden_bit << 1) - 1;
                q--;
            } else {
                m--;
            }
            if (down == 0) break;
            continue;
        }
        break;
    }
    bfree(exact.lhs);
    bfree(exact.rhs5);
    if (overflow) return from_bits(0x7FF0000000000000);
    if (m < hidden_bit) return from_bits(m);  // subnormal (q is min_q)
    return from_bits(uint64_t(q + 1075) << 52 | (m & frac_mask));
}

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

// Reads the longest prefix of `word` (lower case) at s, in any case.
const uint8_t* skip_word(const uint8_t* s, const uint8_t* end, const char* word) {
    while (*word && s < end && (*s | 0x20) == *word) {
        s++;
        word++;
    }
    return s;
}

// ---- Double to digits -----------------------------------------------------------

constexpr int max_digits = 800;  // more than any double's exact expansion
char digit_buffer[max_digits + 3] = {'-'};

const char* finish(char* end, int sign, int& length) {
    *end = 0;
    length = static_cast<int>(end - (digit_buffer + 1));
    return sign ? digit_buffer : digit_buffer + 1;
}

const char* special_text(const char* text, int sign, int& length) {
    char* s = digit_buffer + 1;
    while (*text) *s++ = *text++;
    return finish(s, sign, length);
}

// Digits of an integer value below 10^15: exact, rounded at `limit` digits
// (ties to even) when limit > 0.
char* integer_digits(uint64_t n, int limit, int& point) {
    char tmp[24];
    int len = 0;
    for (; n; n /= 10) tmp[len++] = static_cast<char>('0' + n % 10);
    std::reverse(tmp, tmp + len);
    point = len;
    if (limit > 0 && limit < len) {
        bool rest = std::any_of(tmp + limit + 1, tmp + len, [](char c) { return c != '0'; });
        char next = tmp[limit];
        bool up = next > '5' || (next == '5' && (rest || ((tmp[limit - 1] - '0') & 1)));
        len = limit;
        if (up) {
            int i = len - 1;
            while (i >= 0 && tmp[i] == '9') tmp[i--] = '0';
            if (i < 0) {
                tmp[0] = '1';
                len = 1;
                point++;
            } else {
                tmp[i]++;
            }
        }
    }
    while (len > 1 && tmp[len - 1] == '0') len--;
    char* s = digit_buffer + 1;
    std::memcpy(s, tmp, size_t(len));
    return s + len;
}

// Removes the 9s at the end of [s0, s) and adds one to the digit before them;
// all 9s become "1" one decimal place higher.
char* round_off(char* s0, char* s, int& k) {
    while (s > s0 && s[-1] == '9') s--;
    if (s == s0) {
        k++;
        *s++ = '1';
    } else {
        s[-1]++;
    }
    return s;
}

}  // namespace

// ---- Interfaces ---------------------------------------------------------------

double strtod(const uint8_t* start, const uint8_t* end, int exponent_adjust, int& left) {
    const uint8_t* s = start;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';

    if (end - s >= 4 && is_digit(s[0]) && s[1] == '.' && s[2] == '#') {
        uint8_t c = s[3] | 0x20;
        if (c == 'i') {
            left = static_cast<int>(end - skip_word(s + 3, end, "inf"));
            return from_bits(negative ? 0xFFF0000000000000 : 0x7FF0000000000000);
        }
        if (c == 'n') {
            left = static_cast<int>(end - skip_word(s + 3, end, "nan"));
            return from_bits(0x7FF8000000000000);
        }
    }

    bool seen = false;  // any digit, zeros included
    while (s < end && *s == '0') {
        s++;
        seen = true;
    }
    Digits digits{s, 0, nullptr, 0};
    while (s < end && is_digit(*s)) s++;
    digits.na = s - digits.a;
    int64_t fraction = 0;  // digits after the point, zeros skipped included
    if (s < end && *s == '.') {
        s++;
        const uint8_t* f = s;
        if (digits.na == 0)
            while (s < end && *s == '0') s++;
        digits.b = s;
        while (s < end && is_digit(*s)) s++;
        fraction = s - f;
        seen = seen || s > f;
        digits.count = s - digits.b;
    }
    digits.count += digits.na;
    seen = seen || digits.count > 0;
    if (!seen) {
        left = static_cast<int>(end - start);
        return 0.0;
    }

    int64_t e = 0;
    if (s < end && (*s == 'e' || *s == 'E')) {
        const uint8_t* letter = s++;
        bool eneg = false;
        if (s < end && (*s == '+' || *s == '-')) eneg = *s++ == '-';
        if (s < end && is_digit(*s)) {
            while (s < end && *s == '0') s++;
            const uint8_t* first = s;
            int64_t n = 0;
            while (s < end && is_digit(*s)) {
                if (n <= 19999) n = n * 10 + (*s - '0');
                s++;
            }
            if (s - first > 8 || n > 19999) n = 19999;  // far beyond any double either way
            e = eneg ? -n : n;
        } else {
            s = letter;
        }
    }
    left = static_cast<int>(end - s);

    // Trailing zeros only scale.
    while (digits.count > 0 && digits.at(digits.count - 1) == 0) {
        digits.count--;
        e++;
    }
    if (digits.count == 0) return negative ? -0.0 : 0.0;
    // Every digit after the point (skipped zeros too) lowers the exponent.
    e += exponent_adjust - fraction;
    double rv = correctly_rounded(digits, e);
    return negative ? -rv : rv;
}

const char* to_digits(double value, int digits, int& point, int& sign, int& length,
                      bool zero_with_fraction) {
    uint64_t bits = to_bits(value);
    sign = static_cast<int>(bits >> 63);
    int ex = static_cast<int>(bits >> 52) & 0x7FF;
    uint64_t frac = bits & frac_mask;
    if (ex == 0x7FF) {
        point = special_point;
        if (frac) {
            sign = 0;
            return special_text("1.#NaN", 0, length);
        }
        return special_text("1.#INF", sign, length);
    }
    if (ex == 0 && frac == 0) {
        point = zero_point;
        return special_text(zero_with_fraction ? "0.0" : "0", sign, length);
    }
    uint64_t f = ex ? frac | hidden_bit : frac;
    int e = ex ? ex - 1075 : min_q;
    bool shortest = digits <= 0;
    int ilim = shortest ? -1 : std::min(digits, max_digits);

    // Integers below 10^15 take their digits straight from the integer.
    if (e < 0 && e >= -52 && (f & ((uint64_t(1) << -e) - 1)) == 0 && (f >> -e) < 1000000000000000u)
        return finish(integer_digits(f >> -e, ilim, point), sign, length);

    // Estimate k = floor(log10(|value|)) from the binary exponent i and the
    // mantissa d2 in [1, 2); the estimate is exact or one too large.
    int bl = 64 - std::countl_zero(f);
    int i = e + bl - 1;
    double d2 = from_bits(uint64_t(1023) << 52 | ((f << (53 - bl)) & frac_mask));
    double ds = (d2 - 1.5) * 0.289529654602168 + 0.1760912590558 + i * 0.301029995663981;
    int k = static_cast<int>(ds);
    if (ds < 0 && ds != k) k--;
    bool k_check = true;
    if (k >= 0 && k <= ten_pmax) {
        if (from_bits(bits & ~(uint64_t(1) << 63)) < tens[k]) k--;
        k_check = false;
    }

    // b / S is |value| / 10^k. For the shortest digits, mlo / S and mhi / S are
    // the half gaps to the neighbouring doubles (the lower one is half as wide
    // above a power of two).
    bool spec_case = shortest && frac == 0 && ex > 1;
    uint64_t fb = f;
    int u = e;
    if (shortest) {
        fb = spec_case ? f << 2 : f << 1;
        u = spec_case ? e - 2 : e - 1;
    }
    int b2 = u >= 0 ? u : 0, s2 = u >= 0 ? 0 : -u, m2 = b2;
    int b5 = 0, s5 = 0;
    if (k >= 0) {
        s5 = k;
        s2 += k;
    } else {
        b5 = -k;
        b2 += b5;
        m2 += b5;
    }
    int common = std::min(b2, s2);
    if (shortest) common = std::min(common, m2);
    b2 -= common;
    s2 -= common;
    m2 -= common;

    Bigint* b = lshift(pow5mult(from_u64(fb), b5), b2);
    Bigint* S = lshift(pow5mult(from_u64(1), s5), s2);
    Bigint* mlo = nullptr;
    Bigint* mhi = nullptr;
    // Shift everything so that S's top word holds 28 bits, for quorem.
    int shift = (28 - (32 - std::countl_zero(S->x()[S->wds - 1]))) & 31;
    b = lshift(b, shift);
    S = lshift(S, shift);
    if (shortest) {
        mlo = lshift(pow5mult(from_u64(1), b5), m2 + shift);
        mhi = spec_case ? lshift(copy(mlo), 1) : copy(mlo);
    }
    if (k_check && cmp(b, S) < 0) {
        k--;
        b = multadd(b, 10, 0);
        if (shortest) {
            mlo = multadd(mlo, 10, 0);
            mhi = multadd(mhi, 10, 0);
        }
    }

    char* s0 = digit_buffer + 1;
    char* s = s0;
    if (shortest) {
        bool even = !(f & 1);
        for (;;) {
            int dig = quorem(b, S);
            int j = cmp(b, mlo);  // below the lower half gap: truncating is close enough
            Bigint* delta = diff(S, mhi);
            int j1 = delta->sign ? 1 : cmp(b, delta);  // above: rounding up is close enough
            bfree(delta);
            if (j1 == 0 && even) {
                if (dig == 9) {
                    *s++ = '9';
                    s = round_off(s0, s, k);
                    break;
                }
                if (j > 0) dig++;
                *s++ = static_cast<char>('0' + dig);
                break;
            }
            if (j < 0 || (j == 0 && even)) {
                if (!is_zero(b) && j1 > 0) {
                    // Both ends qualify: the nearer one, ties to an even digit.
                    b = lshift(b, 1);
                    j1 = cmp(b, S);
                    if (j1 > 0 || (j1 == 0 && (dig & 1))) {
                        if (dig++ == 9) {
                            *s++ = '9';
                            s = round_off(s0, s, k);
                            break;
                        }
                    }
                }
                *s++ = static_cast<char>('0' + dig);
                break;
            }
            if (j1 > 0) {
                if (dig == 9) {
                    *s++ = '9';
                    s = round_off(s0, s, k);
                    break;
                }
                *s++ = static_cast<char>('0' + dig + 1);
                break;
            }
            *s++ = static_cast<char>('0' + dig);
            b = multadd(b, 10, 0);
            mlo = multadd(mlo, 10, 0);
            mhi = multadd(mhi, 10, 0);
        }
    } else {
        int dig = 0;
        bool exact = false;
        for (int n = 1;; n++) {
            dig = quorem(b, S);
            *s++ = static_cast<char>('0' + dig);
            if (is_zero(b)) {
                exact = true;
                break;
            }
            if (n >= ilim) break;
            b = multadd(b, 10, 0);
        }
        if (!exact) {
            b = lshift(b, 1);
            int j = cmp(b, S);
            if (j > 0 || (j == 0 && (dig & 1))) {
                s = round_off(s0, s, k);
            } else {
                while (s[-1] == '0') s--;
            }
        }
    }
    bfree(b);
    bfree(S);
    bfree(mlo);
    bfree(mhi);
    point = k + 1;
    return finish(s, sign, length);
}

const char* form_float(double value, int digits, bool keep_fraction) {
    static char out[max_digits + 40];
    int point, sign, n;
    const char* text = to_digits(value, digits, point, sign, n, keep_fraction);
    if (point >= zero_point) return text;
    const char* d = text + sign;
    char* o = out;
    if (sign) *o++ = '-';
    auto fraction_end = [&] {
        if (o[-1] == '.') {
            if (keep_fraction)
                *o++ = '0';
            else
                o--;
        }
    };
    if (point > 17 || point < -6) {
        *o++ = d[0];
        *o++ = '.';
        for (int i = 1; i < n; i++) *o++ = d[i];
        fraction_end();
        *o++ = 'e';
        int x = point - 1;
        if (x < 0) {
            *o++ = '-';
            x = -x;
        }
        char tmp[8];
        int len = 0;
        do tmp[len++] = static_cast<char>('0' + x % 10);
        while (x /= 10);
        while (len) *o++ = tmp[--len];
    } else if (point > 0) {
        for (int i = 0; i < n; i++) {
            *o++ = d[i];
            if (i + 1 == point) *o++ = '.';
        }
        for (int i = n; i < point; i++) *o++ = '0';
        if (point > n) *o++ = '.';
        fraction_end();
    } else {
        *o++ = '0';
        *o++ = '.';
        for (int i = 0; i < -point; i++) *o++ = '0';
        for (int i = 0; i < n; i++) *o++ = d[i];
    }
    *o = 0;
    return out;
}

}  // namespace dtoa
