// Times the interpreter: a recursive function (fib 25) and a loop that
// calls a function leaving through `return`. Built with the project, never
// run by ctest; run build/release/interp_bench.
#include <cstdio>

#include "bench.h"

int main() {
    test_eval::start();
    return bench::guarded([] {
        test_eval::boot();
        test_eval::run("fib: func [n][either n < 2 [n][(fib n - 1) + fib n - 2]]");
        test_eval::run("ret: func [x][loop 1 [return x] 0]");
        Cell r;
        double t = bench::timed("fib 25", &r);
        std::printf("fib 25 = %d: %.3f s\n", r.int_value(), t);
        t = bench::timed("n: 0 loop 1000000 [n: n + ret 1] n", &r);
        std::printf("1,000,000 calls returning with return (sum %d): %.3f s\n", r.int_value(), t);
    });
}
