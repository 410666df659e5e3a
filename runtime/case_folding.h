// Case folding: simple one-to-one upper- and lower-case mappings of code
// points, through two direct tables for the Basic Multilingual Plane and
// sorted pair lists above it.
#pragma once
#include <cstdint>

struct Cell;

namespace case_folding {

// Builds both direct tables from the pair lists (start-up). Calling it again
// rebuilds them.
void init();

// The upper-case (upper = true) or lower-case form of a code point, or the
// code point itself when it has none.
uint32_t change_char(uint32_t cp, bool upper);

// Changes a char! cell, or a string from its index, in place. `part` is
// null, an integer! count, or a position in the same string that ends the
// range. A mapped code point wider than the string's unit widens the string.
// Returns the number of code points in the range (1 for a char!).
uint32_t change_case(Cell* value, const Cell* part, bool upper);

// The pair lists as (from, to) words, from ascending; counts are in pairs.
struct Pairs {
    const uint32_t* data;
    uint32_t count;
};
Pairs lower_to_upper_pairs(bool astral);
Pairs upper_to_lower_pairs(bool astral);

}  // namespace case_folding
