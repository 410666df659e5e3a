// libFuzzer target over the lexer: every input is scanned as UTF-8 bytes in
// load, one-value, scan-only and prescan modes and as a string source; a
// syntax error is an ordinary outcome, anything else (a crash, a sanitizer
// report, a leak) is a fault.
#include <cstddef>
#include <cstdint>

#include "fuzz_runtime.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer.h"

namespace {

// A trace callback whose answers come from a bit pattern of the input, so
// that every refusal (skip, cancel, quiet stop) is tried.
struct Answers {
    uint64_t bits;
    uint32_t calls;
};
bool answer(void* context, uint32_t, Cell*, const Cell*, int32_t, const Cell*) {
    auto* a = static_cast<Answers*>(context);
    return (a->bits >> (a->calls++ % 64)) & 1;
}

void scan_bytes(const uint8_t* data, size_t size, bool one, bool scan_only, bool prescan,
                const lexer::Tracer* tracer = nullptr) {
    fuzz::guarded([&] {
        Cell* slot = stack::push_slot();
        *slot = Cell{TYPE_UNSET, 0, 0, 0};
        uint32_t consumed = 0;
        lexer::scan(slot, data, static_cast<uint32_t>(size), one, scan_only, prescan, &consumed, tracer);
        if (consumed > size) __builtin_trap();
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::boot();
    scan_bytes(data, size, false, false, false);
    scan_bytes(data, size, true, false, false);
    scan_bytes(data, size, false, true, false);
    scan_bytes(data, size, false, false, true);
    Answers answers{0xFFFFFFFFFFFFFFFFull, 0};
    for (size_t i = 0; i < size; ++i) answers.bits = answers.bits * 31 + data[i];
    answers.bits |= 0x8421084210842108ull;  // mostly yes
    lexer::Tracer tracer{answer, &answers, lexer::EVENT_ALL};
    scan_bytes(data, size, false, false, false, &tracer);
    scan_bytes(data, size, false, false, true, &tracer);
    // As a string! source (only text that decodes as UTF-8).
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    while (p < end) {
        int32_t cp;
        p = unicode::fast_decode_utf8_char(p, end, &cp);
        if (cp <= 0) return 0;
    }
    fuzz::guarded([&] {
        Cell* str = stack::push_slot();
        *str = Cell{TYPE_STRING, 0, unicode::load_utf8_new(data, static_cast<uint32_t>(size)), 0};
        Cell* slot = stack::push_slot();
        *slot = Cell{TYPE_UNSET, 0, 0, 0};
        uint32_t consumed = 0;
        lexer::scan_string(slot, str, -1, true, false, false, &consumed);
    });
    return 0;
}
