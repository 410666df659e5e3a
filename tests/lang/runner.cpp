// The language-level test runner: boots the runtime, reads a tests/lang/*.zem
// file and runs its cases. A case is one line of code followed by
//   ;== <expected mold>            on the same line, or on the next line
//   ; expect: <expected mold>
//   ; expect error: <error id>
// A code line without an expectation runs as set-up (definitions); the
// cases of a file share the global context. Every case runs; the runner
// exits 0 only when the file has cases and every case and set-up line passes
// (an expectation with no code line before it is a failure too).
// The word gc-stress? is true when the collector runs at every allocation
// (ZEM_GC_STRESS): a case that loops 10^5 times loops fewer times there;
// the machine stack is shorter there too (see main).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "../unit/evaluate.h"
#include "app/runtime.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "runtime/collector.h"

namespace {

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zem_lang_tests file.zem\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    test_eval::start();
    try {
        test_eval::boot();
    } catch (const ErrorThrown& e) {
        std::fprintf(stderr, "start-up raised %s\n", errors::id_word(e.id));
        return 1;
    }

    if (collector::stress) {
        // Every allocation collects and scans the machine stack: a case that
        // recurses until the stack overflows gets 128 KB of it, so that it
        // ends in seconds, not hours.
        volatile char here = 0;
        uintptr_t limit = reinterpret_cast<uintptr_t>(&here) - 128 * 1024;
        if (limit > stack::machine_limit) stack::machine_limit = limit;
    }
    if (test_eval::evaluate(collector::stress ? "gc-stress?: true" : "gc-stress?: false").kind !=
        test_eval::Result::value) {
        std::fprintf(stderr, "cannot set gc-stress?\n");
        return 1;
    }

    int failures = 0, cases = 0, number = 0;
    std::string line, pending;
    int pending_line = 0;
    auto check = [&](const std::string& code, int at, const std::string& expected, bool error) {
        ++cases;
        std::string want = (error ? "error " : "") + expected, got = test_eval::outcome(code);
        if (got == want) return;
        ++failures;
        std::printf("%s:%d: %s\n    expected %s\n    got      %s\n", argv[1], at, code.c_str(), want.c_str(),
                    got.c_str());
    };
    auto flush = [&]() {
        if (!pending.empty()) {
            test_eval::Result r = test_eval::evaluate(pending);
            if (r.kind != test_eval::Result::value) {
                ++failures;
                std::printf("%s:%d: set-up %s raised %s\n", argv[1], pending_line, pending.c_str(),
                            test_eval::outcome(r).c_str());
            }
        }
        pending.clear();
    };
    while (std::getline(in, line)) {
        ++number;
        std::string t = trim(line);
        if (t.rfind("; expect error:", 0) == 0 && !pending.empty()) {
            check(pending, pending_line, trim(t.substr(15)), true);
            pending.clear();
            continue;
        }
        if (t.rfind("; expect:", 0) == 0 && !pending.empty()) {
            check(pending, pending_line, trim(t.substr(9)), false);
            pending.clear();
            continue;
        }
        if (t.rfind("; expect:", 0) == 0 || t.rfind("; expect error:", 0) == 0) {
            ++failures;
            std::printf("%s:%d: an expectation with no code line before it\n", argv[1], number);
            continue;
        }
        if (t.empty() || t[0] == ';') continue;
        flush();
        size_t mark = t.find(";==");
        if (mark != std::string::npos) {
            check(trim(t.substr(0, mark)), number, trim(t.substr(mark + 3)), false);
            continue;
        }
        pending = t;
        pending_line = number;
    }
    flush();
    std::printf("%s: %d cases, %d failed\n", argv[1], cases, failures);
    return failures == 0 && cases > 0 ? 0 : 1;
}
