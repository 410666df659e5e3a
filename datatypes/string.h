// string!: comparing, loading and case changes of text, and the actions of
// string!, which the rest of the string family (file!, url!, tag!, email!,
// ref!) inherits. The storage layer of text is evaluator/text_storage.h.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "evaluator/text_storage.h"
#include "runtime/cell.h"

namespace string {

// ---- Comparison ------------------------------------------------------------------

// Three-way comparison of two texts from their indexes under an operation
// code (0-12); `match` compares only the length of s2 (PARSE and find).
int32_t compare_text(const Cell* s1, const Cell* s2, int32_t op, bool match);
// Whether the input at its index begins with the value (strings, char!,
// tag!) under the case mode (2 = strict).
bool match_q(const Cell* input, const Cell* value, int32_t mode);
// Whether the input has "<" at its index and ">" right after the tag's text.
bool match_tag_q(const Cell* input, const Cell* tag);

// ---- Loading and small conversions -------------------------------------------------

// Makes a string! from encoded text in the slot (a new stack slot when
// null): encoding 0 is UTF-8, -1 UTF-16LE (`size` then counts 16-bit
// units). Any other encoding raises script invalid-arg with it. Every
// character is kept, a leading U+FEFF too.
Cell* load_at(const uint8_t* src, uint32_t size, Cell* slot, int32_t encoding);
Cell* load(const uint8_t* src, uint32_t size, int32_t encoding);
Cell* load_in(const uint8_t* src, uint32_t size, Cell* parent, int32_t encoding);
// The decimal float written in the bytes; `error` set when it is not one.
double to_float(const uint8_t* src, uint32_t size, bool* error);
// Two upper-case hexadecimal digits (static buffer).
const char* byte_to_hex(uint32_t byte);
// Eight upper-case hexadecimal digits; `shorten` drops leading zeros,
// keeping at least two (static buffer).
const char* to_hex(uint32_t value, bool shorten);

// ---- Form and mold helpers -----------------------------------------------------------

// Appends the code point as mold writes it in the quote form (`quote`
// true) or the brace form; `all` escapes every code point above 127.
// Answers the number of code points appended.
uint32_t append_escaped_char(Cell* buffer, uint32_t cp, bool quote, bool all);
// Appends the text of the value as form writes it (nothing for unset!).
void form_value(Cell* value, Cell* buffer);

// Case changes of a char! or of a string from its index (the `uppercase`
// and `lowercase` natives); `part` is null, an integer! count or a position
// in the same string.
void uppercase(Cell* value, const Cell* part);
void lowercase(Cell* value, const Cell* part);

// ---- Actions ----------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(to);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(eval_path);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(insert);
ZEM_ACTION_DECL(change);
ZEM_ACTION_DECL(find);
ZEM_ACTION_DECL(select);
ZEM_ACTION_DECL(sort);
ZEM_ACTION_DECL(swap);
ZEM_ACTION_DECL(take);
ZEM_ACTION_DECL(trim);

// The code point at a 1-based position relative to the index as char!
// (none outside the buffer), and the store of a char! there (script
// out-of-range outside it, invalid-arg for a value that is not a char!).
ZEM_ACTION_DECL(pick);
Cell* poke(Cell* series, int32_t index, Cell* value);

// Set operations on two strings (op 8 unique, 9 union, 10 intersect,
// 11 exclude, 12 difference); the result replaces s1 (index 0).
Cell* do_set_op(Cell* s1, Cell* s2, bool case_, Cell* skip, int32_t op);


}  // namespace string
