// Typed console print for the runtime's own messages, and the print hooks
// through which the language's print and prin reach their output surfaces.
#pragma once
#include <cstdint>
#include <cstring>
#include <initializer_list>

struct Cell;

namespace sys {

// One item of a typed print: a type code and a 64-bit value.
struct Item {
    enum Type : uint32_t { Logic = 1, Int = 2, Char = 3, F32 = 4, F64 = 5, CString = 6, Hex = 7 };
    uint32_t type;
    uint32_t lo;
    uint32_t hi;

    static Item logic(uint32_t v) { return {Logic, v, 0}; }
    static Item i32(int32_t v) { return {Int, static_cast<uint32_t>(v), 0}; }
    static Item chr(uint8_t c) { return {Char, c, 0}; }
    static Item f32(float f) { uint32_t b; std::memcpy(&b, &f, 4); return {F32, b, 0}; }
    static Item f64(double d) {
        uint64_t b; std::memcpy(&b, &d, 8);
        return {F64, static_cast<uint32_t>(b), static_cast<uint32_t>(b >> 32)};
    }
    static Item hex(uint32_t v) { return {Hex, v, 0}; }
    static Item cstr(const char* s);  // the text must outlive the print
};

// Writes the C-string to standard output and passes it to the C-string
// print hooks.
void write_cstring(const char* text);
// Writes `length` bytes and passes them to the C-string print hooks.
void write_bytes(const char* text, uint32_t length);

// Prints the items in order with nothing between them.
void prin(std::initializer_list<Item> items);
// The same, then a newline.
void print_line(std::initializer_list<Item> items);
// The shared body; `count` items from `items`.
void print_typed(uint32_t count, const Item* items);

}  // namespace sys

namespace print_hooks {

using ValuePrinter = void (*)(Cell* value, bool newline);
using CStringPrinter = void (*)(const char* text, uint32_t length, uint32_t extra);

// Called before and after every typed print and value print, when set: the
// GUI back end puts the terminal back to normal around output it did not draw.
extern void (*before_output)();
extern void (*after_output)();

// Creates both lists and installs print_string as the only value printer.
void init();
// Appends each non-null printer to its list.
void add(ValuePrinter value, CStringPrinter text);
// Removes the first entry equal to each non-null printer.
void remove(ValuePrinter value, CStringPrinter text);
// Calls every value printer in list order.
void print_value(Cell* value, bool newline);
// Calls every C-string printer in list order.
void print_cstring(const char* text, uint32_t length, uint32_t extra);
// The default value printer: writes a string! from its index to its tail.
void print_string(Cell* value, bool newline);

// Number of installed printers and the lists' capacity (for tests).
uint32_t value_count();
uint32_t value_capacity();
uint32_t cstring_count();

}  // namespace print_hooks
