// Sorting: stable natural merge sort with the powersort merge policy, and an
// adaptive unstable sort over a three-way quicksort. Every loop is bounded by
// the item range itself, so an inconsistent comparator (a user function) can
// give a strange order but never reach outside the data.
#include "runtime/sort.h"

#include <cstring>

#include "runtime/fault.h"
#include "runtime/sys.h"

namespace sort {

namespace {

constexpr uint32_t MIN_RUN = 24;         // natural runs are extended to this length
constexpr uint32_t INSERTION_MAX = 7;    // quicksort ranges finished by insertion
constexpr uint32_t MEDIAN3_MAX = 511;    // larger ranges take a pivot from a sample
constexpr uint32_t SAMPLE = 63;
constexpr uint32_t SAMPLE_STEP = 97;     // adaptive sort: one pair sampled in 97
constexpr uint32_t ORDER_DIVISOR = 512;  // |score| above count / 512: nearly ordered

struct Sorter {
    uint32_t size;
    int32_t op;
    int32_t flags;
    Comparator cmp;
    bool bytewise;

    Sorter(uint32_t size, int32_t op, int32_t flags, Comparator cmp)
        : size(size), op(op), flags(flags), cmp(cmp), bytewise(size % 4 != 0) {}

    int32_t compare(const uint8_t* a, const uint8_t* b) const { return cmp(a, b, op, flags); }
    // Item a must come after item b.
    bool after(const uint8_t* a, const uint8_t* b) const { return compare(a, b) > 0; }
    uint8_t* at(uint8_t* base, uint64_t i) const { return base + i * size; }
    void swap(uint8_t* a, uint8_t* b) const { swap_items(a, b, size, bytewise); }

    void reverse(uint8_t* lo, uint8_t* hi) const {  // [lo, hi)
        while (hi - lo >= 2 * static_cast<ptrdiff_t>(size)) {
            hi -= size;
            swap(lo, hi);
            lo += size;
        }
    }

    // Insertion sort of [lo, hi) whose prefix [lo, sorted) is in order.
    void insertion(uint8_t* lo, uint8_t* sorted, uint8_t* hi) const {
        if (sorted == lo && lo != hi) sorted += size;
        for (uint8_t* i = sorted; i < hi; i += size)
            for (uint8_t* j = i; j > lo && after(j - size, j); j -= size) swap(j - size, j);
    }

    void swap_ranges(uint8_t* a, uint8_t* b, uint64_t n) const {
        for (uint64_t i = 0; i < n; i++) swap(at(a, i), at(b, i));
    }
};

// ---- Merge sort ----------------------------------------------------------------

struct Run {
    uint64_t start;
    uint32_t power;
};

// Merges [lo, mid) and [mid, hi), copying the shorter run into tmp. On equal
// items the left run's item goes first.
void merge_runs(const Sorter& s, uint8_t* base, uint64_t lo, uint64_t mid, uint64_t hi,
                uint8_t* tmp) {
    if (lo == mid || mid == hi || !s.after(s.at(base, mid - 1), s.at(base, mid))) return;
    const uint64_t left = mid - lo, right = hi - mid;
    const uint32_t size = s.size;
    if (left <= right) {
        std::memcpy(tmp, s.at(base, lo), left * size);
        uint64_t i = 0, j = mid, k = lo;
        while (i < left && j < hi) {
            if (s.after(s.at(tmp, i), s.at(base, j)))
                std::memcpy(s.at(base, k++), s.at(base, j++), size);
            else
                std::memcpy(s.at(base, k++), s.at(tmp, i++), size);
        }
        std::memcpy(s.at(base, k), s.at(tmp, i), (left - i) * size);
    } else {
        std::memcpy(tmp, s.at(base, mid), right * size);
        uint64_t i = mid, j = right, k = hi;  // one past the items still to place
        while (i > lo && j > 0) {
            if (s.after(s.at(base, i - 1), s.at(tmp, j - 1)))
                std::memcpy(s.at(base, --k), s.at(base, --i), size);
            else
                std::memcpy(s.at(base, --k), s.at(tmp, --j), size);
        }
        std::memcpy(s.at(base, lo), tmp, j * size);
    }
}

// The natural run from `start`, extended by insertion to MIN_RUN items.
uint64_t next_run(const Sorter& s, uint8_t* base, uint64_t start, uint64_t n) {
    uint8_t* end = s.at(base, n);
    uint64_t stop = (find_run(s.at(base, start), end, s.size, s.op, s.flags, s.cmp) - base) / s.size;
    if (stop - start < MIN_RUN && stop < n) {
        uint64_t wanted = start + MIN_RUN < n ? start + MIN_RUN : n;
        s.insertion(s.at(base, start), s.at(base, stop), s.at(base, wanted));
        stop = wanted;
    }
    return stop;
}

// The powersort node power of the boundary between [p, q) and [q, r).
uint32_t node_power(uint64_t p, uint64_t q, uint64_t r, uint64_t n) {
    uint64_t x = p + q, y = q + r;
    uint32_t power = 0;
    while ((x >= n) == (y >= n)) {
        power++;
        if (x >= n) {
            x -= n;
            y -= n;
        }
        x *= 2;
        y *= 2;
    }
    return power + 1;
}

// ---- Quicksort -------------------------------------------------------------------

// Puts the pivot at a[0]: the median of three for small ranges, the median of
// an ordered sample of 63 items for larger ones.
void choose_pivot(const Sorter& s, uint8_t* a, uint64_t n) {
    if (n <= MEDIAN3_MAX) {
        s.swap(s.at(a, n / 2), s.at(a, 1));
        uint8_t* x = a;
        uint8_t* y = s.at(a, 1);
        uint8_t* z = s.at(a, n - 1);
        if (s.after(x, y)) s.swap(x, y);
        if (s.after(y, z)) {
            s.swap(y, z);
            if (s.after(x, y)) s.swap(x, y);
        }
        s.swap(a, y);
        return;
    }
    const uint64_t step = n / SAMPLE;
    for (uint64_t i = 1; i < SAMPLE; i++) s.swap(s.at(a, i), s.at(a, i * step));
    quick_sort(a, 0, SAMPLE, s.size, s.op, s.flags, s.cmp);
    s.swap(a, s.at(a, SAMPLE / 2));
}

void quick(const Sorter& s, uint8_t* a, uint64_t n) {
    while (n > INSERTION_MAX) {
        choose_pivot(s, a, n);
        // Bentley-McIlroy partition of [1, n) around a[0]: items equal to the
        // pivot gather at both ends and move to the middle after the pass.
        int64_t pa = 1, pb = 1, pc = static_cast<int64_t>(n) - 1, pd = pc;
        for (;;) {
            int32_t r;
            while (pb <= pc && (r = s.compare(s.at(a, pb), a)) <= 0) {
                if (r == 0) s.swap(s.at(a, pa++), s.at(a, pb));
                pb++;
            }
            while (pb <= pc && (r = s.compare(s.at(a, pc), a)) >= 0) {
                if (r == 0) s.swap(s.at(a, pc), s.at(a, pd--));
                pc--;
            }
            if (pb > pc) break;
            s.swap(s.at(a, pb++), s.at(a, pc--));
        }
        const int64_t end = static_cast<int64_t>(n);
        int64_t m = pa < pb - pa ? pa : pb - pa;
        s.swap_ranges(a, s.at(a, pb - m), m);
        m = pd - pc < end - 1 - pd ? pd - pc : end - 1 - pd;
        s.swap_ranges(s.at(a, pb), s.at(a, end - m), m);
        const uint64_t less = pb - pa, greater = pd - pc;
        uint8_t* high = s.at(a, n - greater);
        if (less < greater) {
            quick(s, a, less);
            a = high;
            n = greater;
        } else {
            quick(s, high, greater);
            n = less;
        }
    }
    s.insertion(a, a, s.at(a, n));
}

}  // namespace

void swap_items(void* a, void* b, uint32_t size, bool bytewise) {
    auto* x = static_cast<uint8_t*>(a);
    auto* y = static_cast<uint8_t*>(b);
    if (!bytewise && size % 4 == 0) {
        for (uint32_t i = 0; i < size; i += 4) {
            uint32_t t, u;
            std::memcpy(&t, x + i, 4);
            std::memcpy(&u, y + i, 4);
            std::memcpy(x + i, &u, 4);
            std::memcpy(y + i, &t, 4);
        }
        return;
    }
    for (uint32_t i = 0; i < size; i++) {
        uint8_t t = x[i];
        x[i] = y[i];
        y[i] = t;
    }
}

uint8_t* find_run(uint8_t* start, uint8_t* end, uint32_t size, int32_t op, int32_t flags,
                  Comparator cmp) {
    Sorter s(size, op, flags, cmp);
    if (end - start <= static_cast<ptrdiff_t>(size)) return end;
    uint8_t* p = start + size;
    if (s.after(start, p)) {
        while (p + size < end && s.after(p, p + size)) p += size;
        p += size;
        s.reverse(start, p);
        return p;
    }
    while (p + size < end && !s.after(p, p + size)) p += size;
    return p + size;
}

void merge_sort(void* base, uint32_t count, uint32_t size, int32_t op, int32_t flags,
                Comparator cmp) {
    if (count < 2 || size == 0) return;
    const uint64_t tmp_size = static_cast<uint64_t>(count / 2) * size;
    if (tmp_size > 0x7FFFFFFF) fault::fire_int(fault::SIZE_LIMIT, static_cast<int32_t>(count));
    Sorter s(size, op, flags, cmp);
    auto* a = static_cast<uint8_t*>(base);
    // Taken before any item moves, so that a refusal leaves the data as it
    // was; freed however the sort ends (a comparison function may throw).
    struct Scratch {
        uint8_t* bytes;
        ~Scratch() { sys::free(bytes); }
    } scratch{static_cast<uint8_t*>(sys::try_allocate(tmp_size ? tmp_size : 1))};
    if (!scratch.bytes) fault::fire(fault::NO_MEMORY);
    uint8_t* tmp = scratch.bytes;
    const uint64_t n = count;
    Run stack[66];  // sentinel + at most log2(2^32) + 1 pending runs
    uint32_t top = 0;
    stack[0] = {0, 0};
    uint64_t start = 0, end = next_run(s, a, 0, n);
    while (end < n) {
        const uint64_t next_end = next_run(s, a, end, n);
        const uint32_t power = node_power(start, end, next_end, n);
        while (stack[top].power > power) {
            merge_runs(s, a, stack[top].start, start, end, tmp);
            start = stack[top--].start;
        }
        stack[++top] = {start, power};
        start = end;
        end = next_end;
    }
    for (; top > 0; top--) {
        merge_runs(s, a, stack[top].start, start, end, tmp);
        start = stack[top].start;
    }
}

void quick_sort(void* base, uint32_t in_place, uint32_t count, uint32_t size, int32_t op,
                int32_t flags, Comparator cmp) {
    if (count < 2 || in_place >= count || size == 0) return;
    quick(Sorter(size, op, flags, cmp), static_cast<uint8_t*>(base), count);
}

void adaptive_sort(void* base, uint32_t count, uint32_t size, int32_t op, int32_t flags,
                   Comparator cmp) {
    if (count < 2 || size == 0) return;
    Sorter s(size, op, flags, cmp);
    auto* a = static_cast<uint8_t*>(base);
    const uint64_t n = count;

    // The leading run: the first unequal pair fixes its direction.
    int direction = 0;
    uint64_t run = 1;
    for (; run < n; run++) {
        int32_t c = s.compare(s.at(a, run - 1), s.at(a, run));
        if (c == 0) continue;
        int d = c > 0 ? -1 : 1;
        if (direction == 0)
            direction = d;
        else if (d != direction)
            break;
    }
    if (run == n) {
        if (direction < 0) s.reverse(a, s.at(a, n));
        return;
    }

    // Order score: the run, then one sampled pair in 97.
    int64_t score = direction < 0 ? -static_cast<int64_t>(run) : static_cast<int64_t>(run);
    for (uint64_t i = run; i + 1 < n; i += SAMPLE_STEP) {
        int32_t c = s.compare(s.at(a, i), s.at(a, i + 1));
        score += c < 0 ? 1 : c > 0 ? -1 : 0;
    }
    if ((score < 0 ? -score : score) <= static_cast<int64_t>(n / ORDER_DIVISOR)) {
        quick(s, a, n);
        return;
    }

    // Nearly ordered: turn a mostly descending range around, then repair the
    // stragglers by insertion. A budget of moves keeps misjudged data from
    // going quadratic: past it, the rest goes to the quicksort.
    uint64_t from = 1;
    if (score < 0) {
        s.reverse(a, s.at(a, n));
    } else if (direction >= 0) {
        from = run;
    }
    int64_t budget = 4 * static_cast<int64_t>(n) + 64;
    for (uint64_t i = from; i < n; i++) {
        uint8_t* j = s.at(a, i);
        while (j > a && s.after(j - size, j)) {
            if (--budget < 0) {
                quick(s, a, n);
                return;
            }
            s.swap(j - size, j);
            j -= size;
        }
    }
}

}  // namespace sort
