// Times the interpreter: a recursive function (fib 25) and a loop that
// calls a function leaving through `return`. Built with the project, never
// run by ctest; run build/release/interp_bench.
#include <cstdio>

#include "mini_reader.h"
#include "app/runtime.h"

int main() {
    runtime::machine_start(0, nullptr);
    runtime::init();
    memory::starting = 0;
    try {
        mini::boot();
        mini::run("fib: func [n][either n < 2 [n][(fib n - 1) + fib n - 2]]");
        mini::run("ret: func [x][loop 1 [return x] 0]");
        Cell r;
        double t = mini::timed("fib 25", &r);
        std::printf("fib 25 = %d: %.3f s\n", r.int_value(), t);
        t = mini::timed("n: 0 loop 1000000 [n: n + ret 1] n", &r);
        std::printf("1,000,000 calls returning with return (sum %d): %.3f s\n", r.int_value(), t);
    } catch (const ErrorThrown& e) {
        std::printf("error: %s\n", errors::id_word(e.id));
        return 1;
    }
    return 0;
}
