// Allocates and drops many short-lived strings and blocks with automatic
// collection on, and reports the time spent in collections and the peak
// memory. Built with the project, never run by ctest; run
// build/release/gc_bench.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "bench.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

int main() {
    test_eval::start();
    return bench::guarded([] {
        test_eval::boot();
        collector::active = 1;
        uint64_t peak = memory::total();
        auto t0 = std::chrono::steady_clock::now();
        // 200 rounds of 5,000 strings and 5,000 small blocks each, all
        // garbage by the next round.
        for (int round = 0; round < 200; ++round) {
            test_eval::run("b: copy [] loop 5000 [append b copy \"short-lived text\" append/only b copy [1 2 3]]");
            if (memory::total() > peak) peak = memory::total();
        }
        double total = bench::since(t0);
        struct rusage ru {};
        getrusage(RUSAGE_SELF, &ru);
        std::printf("2,000,000 short-lived values: %.3f s, %u collections taking %.3f s (%.1f%%)\n", total,
                    collector::cycles, static_cast<double>(collector::busy_ns) / 1e9,
                    100.0 * static_cast<double>(collector::busy_ns) / 1e9 / total);
        std::printf("peak memory from the system: %.1f MB (resident %.1f MB)\n", static_cast<double>(peak) / 1048576.0,
                    static_cast<double>(ru.ru_maxrss) / 1024.0);
    });
}
