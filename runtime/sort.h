// In-place sorting of fixed-size items driven by a caller's comparison: a
// stable natural merge sort (powersort merge policy) and an adaptive
// unstable sort that falls back to a three-way quicksort.
#pragma once
#include <cstdint>

namespace sort {

// Answers above 0 when item a must come after item b, 0 when they are equal,
// below 0 otherwise; a result of 0 or less means "already in order". `op`
// and `flags` are passed through from the caller.
using Comparator = int32_t (*)(const void* a, const void* b, int32_t op, int32_t flags);

// Stable sort of `count` items of `size` bytes at `base`. Takes a temporary
// buffer of (count / 2) * size bytes from the tracked heap.
void merge_sort(void* base, uint32_t count, uint32_t size, int32_t op, int32_t flags,
                Comparator cmp);

// Unstable sort; data that is already (nearly) ordered either way is repaired
// or reversed without partitioning.
void adaptive_sort(void* base, uint32_t count, uint32_t size, int32_t op, int32_t flags,
                   Comparator cmp);

// Three-way quicksort of `count` items; the first `in_place` items are known
// to be sorted already (0 when nothing is known).
void quick_sort(void* base, uint32_t in_place, uint32_t count, uint32_t size, int32_t op,
                int32_t flags, Comparator cmp);

// Exchanges two items of `size` bytes, 4 bytes at a time unless `bytewise`.
void swap_items(void* a, void* b, uint32_t size, bool bytewise);

// The end of the natural run that begins at `start` (an address at or before
// `end`); a strictly descending run is reversed in place first.
uint8_t* find_run(uint8_t* start, uint8_t* end, uint32_t size, int32_t op, int32_t flags,
                  Comparator cmp);

}  // namespace sort
