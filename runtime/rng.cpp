// A Mersenne Twister of 624 words with signed (sign-copying) right shifts,
// so that every draw is a non-negative 31-bit integer, and the secure
// source over getrandom.
#include "runtime/rng.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>

#include "runtime/sys.h"

namespace rng {

namespace {

constexpr int N = 624;
constexpr int M = 397;

uint32_t mt[N];
int index = N;

// Arithmetic right shift of a 32-bit word taken as signed.
inline uint32_t sar(uint32_t x, int k) { return static_cast<uint32_t>(static_cast<int32_t>(x) >> k); }

void regenerate() {
    for (int i = 0; i < N; i++) {
        uint32_t y = (mt[i] & 0x80000000u) | (mt[(i + 1) % N] & 0x7FFFFFFFu);
        mt[i] = mt[(i + M) % N] ^ sar(y, 1) ^ ((y & 1) ? 0x9908B0DFu : 0);
    }
    index = 0;
}

}  // namespace

void init() { seed(19650218); }

void seed(int32_t value) {
    mt[0] = static_cast<uint32_t>(value);
    for (int i = 1; i < N; i++)
        mt[i] = 1812433253u * (mt[i - 1] ^ sar(mt[i - 1], 30)) + static_cast<uint32_t>(i);
    index = 0;
}

int32_t next() {
    if (index >= N) regenerate();
    uint32_t y = mt[index++];
    y ^= sar(y, 11);
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= sar(y, 18);  // clears bit 31
    return static_cast<int32_t>(y);
}

namespace {

// Fills the buffer from getrandom, else from /dev/urandom; false when
// neither source answers.
bool secure_bytes(uint8_t* p, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = getrandom(p + got, size - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    if (got == size) return true;
    FILE* f = std::fopen("/dev/urandom", "rb");
    if (!f) return false;
    bool ok = std::fread(p, 1, size, f) == size;
    std::fclose(f);
    return ok;
}

}  // namespace

int32_t secure_next() {
    uint32_t value = 0;
    // A secure draw that cannot be made must not quietly become a weak one.
    if (!secure_bytes(reinterpret_cast<uint8_t*>(&value), sizeof value)) sys::on_quit(22, ZEM_HERE());
    return static_cast<int32_t>(value & 0x7FFFFFFFu);
}

int32_t int_in_range(bool secure, int32_t n) {
    auto draw = [secure] { return secure ? secure_next() : next(); };
    if (n == 0) return 0;
    if (n == INT32_MIN) return -1 - draw();
    int32_t m = n < 0 ? -n : n;
    int32_t limit = (INT32_MAX / m) * m;
    int32_t d;
    do d = draw();
    while (d >= limit);
    int32_t r = d % m + 1;
    return n < 0 ? -r : r;
}

}  // namespace rng
