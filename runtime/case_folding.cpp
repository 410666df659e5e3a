// Case folding: the direct tables, the pair-list lookup above the BMP and
// in-place case changes of chars and strings.
#include "runtime/case_folding.h"

#include <cstring>

#include "runtime/cell.h"
#include "runtime/sys.h"
#include "runtime/unicode.h"

namespace case_folding {

namespace {

#include "runtime/case_folding_tables.inc"

constexpr uint32_t TABLE_ENTRIES = 0x10000;

// Code point -> mapped code point, 0 = unchanged. Kept in static storage
// rather than the tracked heap, so that releasing the heap never leaves them
// dangling.
uint32_t upper_table[TABLE_ENTRIES];
uint32_t lower_table[TABLE_ENTRIES];
bool built = false;

template <size_t N>
constexpr Pairs pairs_of(const uint32_t (&a)[N]) {
    return {a, static_cast<uint32_t>(N / 2)};
}

void build(uint32_t* table, Pairs pairs) {
    std::memset(table, 0, TABLE_ENTRIES * sizeof(uint32_t));
    for (uint32_t i = 0; i < pairs.count; i++) table[pairs.data[2 * i]] = pairs.data[2 * i + 1];
}

// Looks a code point up in a sorted pair list. The range test uses the last
// pair's from: its to can be smaller (0x1E943 maps up to 0x1E921), and
// code points between the two still have their mappings.
uint32_t search(Pairs pairs, uint32_t cp) {
    if (pairs.count == 0 || cp < pairs.data[0] || cp > pairs.data[2 * pairs.count - 2]) return cp;
    uint32_t lo = 0, hi = pairs.count;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (pairs.data[2 * mid] < cp)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < pairs.count && pairs.data[2 * lo] == cp ? pairs.data[2 * lo + 1] : cp;
}

}  // namespace

Pairs lower_to_upper_pairs(bool astral) {
    return astral ? pairs_of(lower_to_upper_astral) : pairs_of(lower_to_upper);
}
Pairs upper_to_lower_pairs(bool astral) {
    return astral ? pairs_of(upper_to_lower_astral) : pairs_of(upper_to_lower);
}

void init() {
    build(upper_table, lower_to_upper_pairs(false));
    build(lower_table, upper_to_lower_pairs(false));
    built = true;
}

uint32_t change_char(uint32_t cp, bool upper) {
    if (cp < TABLE_ENTRIES) {
        if (!built) init();  // used before start-up (tools, tests)
        uint32_t mapped = (upper ? upper_table : lower_table)[cp];
        return mapped ? mapped : cp;
    }
    return search(upper ? lower_to_upper_pairs(true) : upper_to_lower_pairs(true), cp);
}

uint32_t change_case(Cell* value, const Cell* part, bool upper) {
    if (value->type() == TYPE_CHAR) {
        value->data2 = change_char(value->data2, upper);
        return 1;
    }
    SeriesBuffer* s = series_of(value);
    const uint32_t total = s->count();
    const uint32_t head = value->head() < total ? value->head() : total;
    uint32_t end = total;
    if (part) {
        int64_t limit = part->type() == TYPE_INTEGER ? int64_t{head} + part->int_value() : int64_t{part->head()};
        if (limit < head) limit = head;
        if (limit < end) end = static_cast<uint32_t>(limit);
    }
    for (uint32_t i = head; i < end; i++) {
        const uint32_t cp = unicode::get_char(s->offset_addr(), s->unit(), i);
        const uint32_t mapped = change_char(cp, upper);
        if (mapped == cp) continue;
        s = unicode::widen_for(s, mapped);
        unicode::set_char(s->offset_addr(), s->unit(), i, mapped);
    }
    return end - head;
}

}  // namespace case_folding
