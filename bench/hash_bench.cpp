// Times find on a hash! against find on a block as they grow: the hash!
// stays flat, the block grows linearly. Built with the project, never run
// by ctest; run build/release/hash_bench.
#include <chrono>
#include <cstdio>

#include "bench.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"

namespace {

Cell integer(int32_t n) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

// Microseconds per find of `lookups` values spread over the series.
double per_find(const Cell& series, int32_t size, int32_t lookups) {
    int32_t found = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (int32_t i = 0; i < lookups; ++i) {
        Cell s = series;
        Cell v = integer(static_cast<int32_t>((static_cast<int64_t>(i) * 7919) % size));
        actions::find(&s, &v, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
        found += s.type() != TYPE_NONE;
    }
    double seconds = bench::since(t0);
    if (found != lookups) std::printf("  (only %d of %d found)\n", found, lookups);
    return seconds * 1e6 / lookups;
}

}  // namespace

int main() {
    test_eval::start();
    return bench::guarded([] {
        std::printf("%10s %16s %16s\n", "cells", "block find (us)", "hash! find (us)");
        for (int32_t size : {1000, 10000, 100000, 1000000}) {
            Cell* saved = stack::top;
            Cell blk = *block::make_at(stack::push_slot(), static_cast<uint32_t>(size));
            for (int32_t i = 0; i < size; ++i) {
                Cell v = integer(i);
                block::rs_append(&blk, &v);
            }
            Cell* h = stack::push_slot();
            datatype::make_at(h, TYPE_HASH);
            Cell spec = blk;
            actions::make(h, &spec);
            int32_t block_lookups = size >= 100000 ? 200 : 2000;
            double b = per_find(blk, size, block_lookups);
            double t = per_find(*h, size, 200000);
            std::printf("%10d %16.3f %16.3f\n", size, b, t);
            stack::top = saved;
        }
    });
}
