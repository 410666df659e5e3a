// Shared by the benchmark programs: code run and timed (through the tests'
// evaluator, tests/unit/evaluate.h, which also starts the runtime), and the
// guard that reports an error the benchmark raised.
#pragma once
#include <chrono>
#include <cstdio>
#include <string>

#include "evaluate.h"
#include "evaluator/errors.h"

namespace bench {

// Seconds since t0.
inline double since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs the code; answers the seconds it took, its value in *result.
inline double timed(const std::string& code, Cell* result) {
    auto t0 = std::chrono::steady_clock::now();
    *result = test_eval::run(code);
    return since(t0);
}

// Runs the benchmark; an error it raises is printed and gives exit status 1.
template <typename Body>
int guarded(Body body) {
    try {
        body();
    } catch (const ErrorThrown& e) {
        std::printf("error: %s\n", errors::id_word(e.id));
        return 1;
    }
    return 0;
}

}  // namespace bench
