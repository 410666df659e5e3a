// Typed console print, the byte writes that reach the C-string print hooks,
// and the print hooks.
#include "runtime/print.h"

#include <cstdio>

#include "platform/output.h"
#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/sys.h"

namespace out = platform::output;

namespace sys {

void write_cstring(const char* text) { write_bytes(text, static_cast<uint32_t>(std::strlen(text))); }

void write_bytes(const char* text, uint32_t length) {
    out::write_bytes(text, length);
    print_hooks::print_cstring(text, length, 0);
}

Item Item::cstr(const char* s) {
    auto p = reinterpret_cast<uintptr_t>(s);
    return {CString, static_cast<uint32_t>(p), static_cast<uint32_t>(p >> 32)};
}

void print_typed(uint32_t count, const Item* items) {
    char number[64];
    if (print_hooks::before_output) print_hooks::before_output();
    for (uint32_t i = 0; i < count; i++) {
        const Item& it = items[i];
        int n = 0;
        switch (it.type) {
        case Item::Logic: write_cstring(it.lo ? "true" : "false"); continue;
        case Item::Int: n = std::snprintf(number, sizeof number, "%i", static_cast<int32_t>(it.lo)); break;
        case Item::Char: number[0] = static_cast<char>(it.lo); n = 1; break;
        case Item::F32: {
            float f;
            std::memcpy(&f, &it.lo, 4);
            n = std::snprintf(number, sizeof number, "%.7g", static_cast<double>(f));
            break;
        }
        case Item::F64: {
            uint64_t bits = (static_cast<uint64_t>(it.hi) << 32) | it.lo;
            double d;
            std::memcpy(&d, &bits, 8);
            n = std::snprintf(number, sizeof number, "%.16g", d);
            break;
        }
        case Item::CString: {
            auto p = (static_cast<uintptr_t>(it.hi) << 32) | it.lo;
            write_cstring(reinterpret_cast<const char*>(p));
            continue;
        }
        default: n = std::snprintf(number, sizeof number, "%08X", it.lo); break;
        }
        write_bytes(number, static_cast<uint32_t>(n));
    }
    out::flush();
    if (print_hooks::after_output) print_hooks::after_output();
}

void prin(std::initializer_list<Item> items) {
    print_typed(static_cast<uint32_t>(items.size()), items.begin());
}

void print_line(std::initializer_list<Item> items) {
    print_typed(static_cast<uint32_t>(items.size()), items.begin());
    Item nl = Item::chr('\n');
    print_typed(1, &nl);
}

}  // namespace sys

namespace print_hooks {

namespace {

// A list of routines that grows five entries at a time.
template <typename F>
struct HookList {
    F* items = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;

    void init() {
        items = static_cast<F*>(sys::allocate(5 * sizeof(F)));
        capacity = 5;
        count = 0;
    }
    void add(F f) {
        if (!f) return;
        if (count == capacity) {
            auto* grown = static_cast<F*>(sys::allocate((capacity + 5) * sizeof(F)));
            std::memcpy(grown, items, count * sizeof(F));
            sys::free(items);
            items = grown;
            capacity += 5;
        }
        items[count++] = f;
    }
    void remove(F f) {
        if (!f) return;
        for (uint32_t i = 0; i < count; i++) {
            if (items[i] == f) {
                std::memmove(items + i, items + i + 1, (count - i - 1) * sizeof(F));
                count--;
                return;
            }
        }
    }
};

HookList<ValuePrinter> value_printers;
HookList<CStringPrinter> cstring_printers;
bool ready = false;
uint32_t epoch = 0;  // the tracked heap's epoch the lists were made in

// The lists live in the tracked heap: once it has been emptied they are gone.
bool lists_alive() { return ready && epoch == sys::record.heap_epoch; }

}  // namespace

void init() {
    value_printers.init();
    cstring_printers.init();
    value_printers.add(print_string);
    ready = true;
    epoch = sys::record.heap_epoch;
}

void add(ValuePrinter value, CStringPrinter text) {
    value_printers.add(value);
    cstring_printers.add(text);
}

void remove(ValuePrinter value, CStringPrinter text) {
    value_printers.remove(value);
    cstring_printers.remove(text);
}

void (*before_output)() = nullptr;
void (*after_output)() = nullptr;

void print_value(Cell* value, bool newline) {
    if (!lists_alive()) return;
    if (before_output) before_output();
    for (uint32_t i = 0; i < value_printers.count; i++) value_printers.items[i](value, newline);
    if (after_output) after_output();
}

void print_cstring(const char* text, uint32_t length, uint32_t extra) {
    if (!lists_alive()) return;
    for (uint32_t i = 0; i < cstring_printers.count; i++) cstring_printers.items[i](text, length, extra);
}

void print_string(Cell* value, bool newline) {
    const SeriesBuffer* s = series_of(value);
    uint32_t unit = s->unit();
    const uint8_t* start = s->data_at(value->head() * unit);
    auto bytes = static_cast<uint32_t>(s->tail_addr() - start);
    if (s->tail_addr() < start) bytes = 0;
    switch (unit) {
    case 1: newline ? out::print_latin1_line(start, bytes) : out::print_latin1(start, bytes); break;
    case 2: newline ? out::print_ucs2_line(start, bytes) : out::print_ucs2(start, bytes); break;
    case 4: newline ? out::print_ucs4_line(start, bytes) : out::write_ucs4(start, bytes); break;
    default:
        sys::print_line({sys::Item::cstr("Error: unknown string encoding: "), sys::Item::i32(static_cast<int32_t>(unit))});
        return;
    }
    out::flush();
}

uint32_t value_count() { return value_printers.count; }
uint32_t value_capacity() { return value_printers.capacity; }
uint32_t cstring_count() { return cstring_printers.count; }

}  // namespace print_hooks
