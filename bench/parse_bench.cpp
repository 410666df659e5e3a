// Times PARSE over a generated text of 1 MB (words, numbers, punctuation)
// with a rule set of a few alternatives, with and without a paren action
// per token. Built with the project, never run by ctest; run
// build/release/parse_bench.
#include <cstdio>
#include <string>

#include "bench.h"

namespace {

std::string generate(size_t size) {
    static const char* const pieces[] = {"alpha", "42", "beta", "gamma", "7", "delta", "1999", "x", ",", "."};
    std::string s;
    s.reserve(size + 16);
    uint32_t seed = 12345;
    while (s.size() < size) {
        seed = seed * 1103515245u + 12345u;
        s += pieces[(seed >> 16) % 10];
        s += ' ';
    }
    s.resize(size);
    return s;
}

}  // namespace

int main() {
    test_eval::start();
    return bench::guarded([] {
        test_eval::boot();
        std::string text = generate(1 << 20);
        Cell* str = string::rs_make_at(stack::push_slot(), static_cast<uint32_t>(text.size()));
        string::concatenate_literal(str, text.c_str());
        test_eval::set_global("text", *str);
        test_eval::run("letters: make bitset! \"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ\"");
        test_eval::run("digits: make bitset! \"0123456789\"");
        test_eval::run("blank: make bitset! \" \"");
        test_eval::run("plain: [some [some letters | some digits | some blank | skip]]");
        test_eval::run("counted: [some [some letters (w: w + 1) | some digits (n: n + 1) | some blank | skip]]");
        Cell r;
        double t = bench::timed("parse text plain", &r);
        std::printf("1 MB, four alternatives: %s in %.3f s (%.1f MB/s)\n", r.data1 ? "true" : "false", t, 1.0 / t);
        t = bench::timed("w: 0 n: 0 parse text counted", &r);
        Cell w = test_eval::get_global("w"), n = test_eval::get_global("n");
        std::printf("1 MB, with a paren per token (%d words, %d numbers): %.3f s (%.1f MB/s)\n", w.int_value(),
                    n.int_value(), t, 1.0 / t);
    });
}
