// int_map: a small open-addressing map of 32-bit integers on the tracked
// heap, which the collector keeps its node relocations in.
#include "runtime/int_map.h"

#include <cstring>

#include "runtime/hashtable.h"
#include "runtime/sys.h"

namespace int_map {

namespace {

using hashtable::fmix;
using hashtable::round_up_pow2;

constexpr double LOAD = 0.77;

inline uint32_t bits(const uint32_t* f, uint32_t i) { return (f[i >> 4] >> ((i & 15) << 1)) & 3; }

uint32_t* make_flags(uint32_t n_buckets) {
    const uint32_t bytes = (n_buckets / 4 < 4 ? 4 : n_buckets / 4);
    auto* f = static_cast<uint32_t*>(sys::allocate(bytes));
    std::memset(f, 0xAA, bytes);
    return f;
}

// The bucket of key, or the bucket where it goes (found tells which).
int32_t locate(const Map* m, int32_t key, bool& found) {
    found = false;
    const uint32_t mask = static_cast<uint32_t>(m->n_buckets) - 1;
    uint32_t i = fmix(static_cast<uint32_t>(key)) & mask;
    int32_t site = -1;
    for (uint32_t step = 0; step <= mask; step++, i = (i + step) & mask) {
        const uint32_t b = bits(m->flags, i);
        if (b & 2) return site >= 0 ? site : static_cast<int32_t>(i);
        if (b == 1) {
            if (site < 0) site = static_cast<int32_t>(i);
        } else if (m->pairs[2 * i] == key) {
            found = true;
            return static_cast<int32_t>(i);
        }
    }
    return site;
}

}  // namespace

Map* init(uint32_t n) {
    auto* m = static_cast<Map*>(sys::allocate_zeroed(sizeof(Map)));
    const uint32_t n_buckets = round_up_pow2(static_cast<uint32_t>((n < 4 ? 4 : n) / LOAD));
    m->n_buckets = static_cast<int32_t>(n_buckets);
    m->upper_bound = static_cast<int32_t>(LOAD * n_buckets);
    m->flags = make_flags(n_buckets);
    m->pairs = static_cast<int32_t*>(sys::allocate(size_t{n_buckets} * 8));
    return m;
}

int32_t resize(Map* m, uint32_t n) {
    const uint32_t n_buckets = round_up_pow2(n < 4 ? 4 : n);
    const int32_t upper = static_cast<int32_t>(LOAD * n_buckets + 0.5);
    if (m->size >= upper) return 0;
    uint32_t* flags = make_flags(n_buckets);
    auto* pairs = static_cast<int32_t*>(sys::allocate(size_t{n_buckets} * 8));
    const uint32_t mask = n_buckets - 1;
    for (uint32_t j = 0; j < static_cast<uint32_t>(m->n_buckets); j++) {
        if (bits(m->flags, j) != 0) continue;
        uint32_t i = fmix(static_cast<uint32_t>(m->pairs[2 * j])) & mask;
        for (uint32_t step = 1; !(bits(flags, i) & 2); step++) i = (i + step) & mask;
        flags[i >> 4] &= ~(3u << ((i & 15) << 1));
        pairs[2 * i] = m->pairs[2 * j];
        pairs[2 * i + 1] = m->pairs[2 * j + 1];
    }
    sys::free(m->flags);
    sys::free(m->pairs);
    m->flags = flags;
    m->pairs = pairs;
    m->n_buckets = static_cast<int32_t>(n_buckets);
    m->upper_bound = upper;
    m->n_occupied = m->size;
    return 0;
}

void put(Map* m, int32_t key, int32_t value) {
    if (m->n_occupied >= m->upper_bound)
        resize(m, m->size * 2 < m->n_buckets ? m->n_buckets - 1 : m->n_buckets + 1);
    bool found;
    int32_t b = locate(m, key, found);
    if (b < 0) {
        resize(m, static_cast<uint32_t>(m->n_buckets) * 2);
        b = locate(m, key, found);
    }
    const uint32_t i = static_cast<uint32_t>(b);
    if (!found) {
        if (bits(m->flags, i) & 2) m->n_occupied++;
        m->size++;
        m->flags[i >> 4] &= ~(3u << ((i & 15) << 1));
        m->pairs[2 * i] = key;
    }
    m->pairs[2 * i + 1] = value;
}

int32_t find(Map* m, int32_t key) {
    bool found;
    int32_t b = locate(m, key, found);
    return found ? b : -1;
}

int32_t* get(Map* m, int32_t key) {
    int32_t b = find(m, key);
    return b < 0 ? nullptr : &m->pairs[2 * b + 1];
}

void delete_key(Map* m, int32_t key) {
    int32_t b = find(m, key);
    if (b < 0) return;
    m->flags[b >> 4] |= 1u << ((b & 15) << 1);
    m->size--;
}

void clear(Map* m) {
    std::memset(m->flags, 0xAA, (m->n_buckets / 4 < 4 ? 4 : m->n_buckets / 4));
    m->size = m->n_occupied = 0;
}

void destroy(Map* m) {
    if (!m) return;
    sys::free(m->flags);
    sys::free(m->pairs);
    sys::free(m);
}

}  // namespace int_map
