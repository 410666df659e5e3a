// libFuzzer target over the lexer: every input is scanned as UTF-8 bytes in
// load, one-value, scan-only and prescan modes and as a string source; a
// syntax error is an ordinary outcome, anything else (a crash, a sanitizer
// report, a leak) is a fault.
#include <cstddef>
#include <cstdint>

#include "datatypes/block.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "app/runtime.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer.h"

namespace {

uint32_t runs = 0;

// The runtime is started afresh every few hundred inputs, so that values
// left by earlier inputs (nothing collects them here) never fill memory.
void boot() {
    if (runs++ % 500 != 0) return;
    if (runs > 1) runtime::cleanup();
    runtime::machine_start(0, nullptr);
    runtime::init();
    memory::starting = 0;
}

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
    Cell* top = stack::top;
    Cell* slot = stack::push_slot();
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    uint32_t consumed = 0;
    try {
        lexer::scan(slot, data, static_cast<uint32_t>(size), one, scan_only, prescan, &consumed, tracer);
        if (consumed > size) __builtin_trap();
    } catch (const ErrorThrown&) {
    }
    stack::top = top;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    boot();
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
    Cell* top = stack::top;
    Cell* str = stack::push_slot();
    *str = Cell{TYPE_STRING, 0, unicode::load_utf8_new(data, static_cast<uint32_t>(size)), 0};
    Cell* slot = stack::push_slot();
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    uint32_t consumed = 0;
    try {
        lexer::scan_string(slot, str, -1, true, false, false, &consumed);
    } catch (const ErrorThrown&) {
    }
    stack::top = top;
    return 0;
}
