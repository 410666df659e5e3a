// Symbols: every spelling of a word is interned once in the symbol table and
// known by its id from 1. Spellings keep their case; a spelling that differs
// from an older one only in ASCII letter case records the older one's id as
// its alias, and case-insensitive comparisons go through the alias.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace symbol {

// Room of the symbol table block and of its hash at start-up.
constexpr uint32_t TABLE_SLOTS = 4000;

// The symbol table: a block of symbol! entries, id n being cell n - 1.
// Each entry: word 1 alias (-1 none), word 2 node of the spelling as a
// string (0 until first needed), word 3 node of the UTF-8 bytes (one NUL
// kept past the tail).
extern Node table;
// Its hash (a kind 2 hash table).
extern Node index;

// Start-up: the table block of 4000 cells, appended to the root block; the
// collector's marking of the table and its hash, and the hash tables' alias
// lookup (resolve) are installed with it.
void make_table();
// Start-up: the hash of the table, for 4000 entries.
void make_index();

// Interns a NUL-terminated UTF-8 spelling exactly as given; answers its id.
uint32_t make(const char* text);
uint32_t make_utf8(const uint8_t* text, uint32_t length);
// Interns the text of a string value from its index.
uint32_t make_from_string(Cell* str);
// Case-insensitive interning: an existing spelling that differs only in
// ASCII letter case answers its id and nothing is added.
uint32_t make_variant(const char* text);

// The alias when there is one, else the id itself.
uint32_t resolve(uint32_t id);
// The raw alias field: -1 or the id of the twin.
int32_t alias_of(uint32_t id);
// The table entry of an id (valid until the table grows).
Cell* entry(uint32_t id);
// The UTF-8 spelling of an id and its byte length (NUL-terminated).
const char* text(uint32_t id, uint32_t* length = nullptr);

// Fills the entry's string form (word 2) when it is 0.
void get_c_string(Cell* entry);
// The entry of an id with its string form filled.
Cell* to_c_string(uint32_t id);

// The compare action of symbol!: text compared code point by code point,
// case-folded unless the operation is strict (2, 8 or 10). Answers -1, 0
// or 1.
int32_t compare(const Cell* a, const Cell* b, int32_t op);

}  // namespace symbol
