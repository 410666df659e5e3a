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

#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "runtime/collector.h"
#include "app/runtime.h"
#include "runtime/unicode.h"
#include "app/top_level.h"
#include "services/lexer/lexer.h"
#include "../unit/evaluate.h"

namespace {

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

void utf8(std::string& out, uint32_t cp) {
    uint8_t bytes[4];
    uint32_t n = unicode::encode_utf8_char(cp, bytes);
    out.append(reinterpret_cast<const char*>(bytes), n);
}

std::string molded(const Cell& v) {
    Cell value = v;
    Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
    actions::mold(&value, buffer, false, false, false, nullptr, INT32_MAX, 0);
    std::string s;
    uint32_t n = string::rs_length_q(buffer);
    for (uint32_t i = 0; i < n; ++i) utf8(s, string::rs_abs_at(buffer, buffer->head() + i));
    stack::pop(1);
    return s;
}

struct Outcome {
    bool error = false;
    std::string text;  // the mold of the value, or the error id
};

// Loads and evaluates the code; the stacks are put back afterwards.
Outcome evaluate(const std::string& code) {
    test_eval::Result r = test_eval::evaluate(code);
    switch (r.kind) {
        case test_eval::Result::exit: return {true, "<non-local exit>"};
        case test_eval::Result::error: return {true, r.error_id};
        default: return {false, r.cell.type() == TYPE_UNSET ? "unset" : molded(r.cell)};
    }
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
    runtime::machine_start(0, nullptr);
    runtime::init();
    memory::starting = 0;
    try {
        top_level::run();
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
    if (evaluate(collector::stress ? "gc-stress?: true" : "gc-stress?: false").error) {
        std::fprintf(stderr, "cannot set gc-stress?\n");
        return 1;
    }

    int failures = 0, cases = 0, number = 0;
    std::string line, pending;
    int pending_line = 0;
    auto check = [&](const std::string& code, int at, const std::string& expected, bool error) {
        ++cases;
        Outcome o = evaluate(code);
        if (o.error == error && o.text == expected) return;
        ++failures;
        std::printf("%s:%d: %s\n    expected %s%s\n    got      %s%s\n", argv[1], at, code.c_str(),
                    error ? "error " : "", expected.c_str(), o.error ? "error " : "", o.text.c_str());
    };
    auto flush = [&]() {
        if (!pending.empty()) {
            Outcome o = evaluate(pending);
            if (o.error) {
                ++failures;
                std::printf("%s:%d: set-up %s raised %s\n", argv[1], pending_line, pending.c_str(), o.text.c_str());
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
