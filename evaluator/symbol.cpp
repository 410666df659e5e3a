// Symbols: the symbol table, interning through its hash, aliases by case,
// the string form made on first use, and text comparison.
#include "evaluator/symbol.h"

#include <cstring>

#include "evaluator/block_storage.h"
#include "runtime/case_folding.h"
#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"

namespace symbol {

Node table = 0;
Node index = 0;

namespace {

// The table's hash, then the table, right after the root block.
void mark_roots() {
    if (index) collector::mark_table(&index);
    if (table) collector::mark_block_node(&table);
}

}  // namespace

void make_table() {
    table = block::make_in(&memory::root_block, TABLE_SLOTS)->node();
    collector::register_mark_callback(mark_roots, collector::MarkOrder::AFTER_ROOT_BLOCK);
    hashtable::resolve_symbol = resolve;
}

void make_index() {
    Cell block{TYPE_BLOCK, 0, table, 0};
    index = hashtable::init(TABLE_SLOTS, &block, hashtable::KIND_WORDS, 1);
}

uint32_t make_utf8(const uint8_t* text, uint32_t length) {
    return hashtable::put_symbol(index, text, length, false);
}

uint32_t make(const char* text) {
    return make_utf8(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)));
}

uint32_t make_from_string(Cell* str) {
    int32_t length = -1;
    const uint8_t* text = unicode::to_utf8(str, &length);
    return make_utf8(text, static_cast<uint32_t>(length));
}

uint32_t make_variant(const char* text) {
    return hashtable::put_symbol(index, reinterpret_cast<const uint8_t*>(text),
                                 static_cast<uint32_t>(std::strlen(text)), true);
}

Cell* entry(uint32_t id) { return reinterpret_cast<Cell*>(memory::buffer(table)->offset_addr()) + (id - 1); }

int32_t alias_of(uint32_t id) { return static_cast<int32_t>(entry(id)->data1); }

uint32_t resolve(uint32_t id) {
    if (!table || id == 0) return id;
    const int32_t alias = alias_of(id);
    return alias > 0 ? static_cast<uint32_t>(alias) : id;
}

const char* text(uint32_t id, uint32_t* length) {
    const SeriesBuffer* s = memory::buffer(entry(id)->data3);
    if (length) *length = s->tail - s->offset;
    return reinterpret_cast<const char*>(s->data_at(0));
}

void get_c_string(Cell* e) {
    if (e->data2) return;
    const uint32_t id = static_cast<uint32_t>(e - entry(1)) + 1;
    uint32_t length;
    const char* bytes = text(id, &length);
    // A spelling that begins with U+FEFF keeps it.
    Node str = unicode::load_utf8(reinterpret_cast<const uint8_t*>(bytes), length, 0, nullptr, false, false);
    entry(id)->data2 = str;
}

Cell* to_c_string(uint32_t id) {
    get_c_string(entry(id));
    return entry(id);
}

int32_t compare(const Cell* a, const Cell* b, int32_t op) {
    const bool strict = op == 2 || op == 8 || op == 10;
    const SeriesBuffer* x = memory::buffer(a->data3);
    const SeriesBuffer* y = memory::buffer(b->data3);
    const uint8_t *p = x->data_at(0), *pe = p + (x->tail - x->offset);
    const uint8_t *q = y->data_at(0), *qe = q + (y->tail - y->offset);
    while (p < pe && q < qe) {
        int32_t c, d;
        p = unicode::fast_decode_utf8_char(p, pe, &c);
        q = unicode::fast_decode_utf8_char(q, qe, &d);
        if (!strict && c >= 0 && d >= 0) {
            c = static_cast<int32_t>(case_folding::change_char(static_cast<uint32_t>(c), true));
            d = static_cast<int32_t>(case_folding::change_char(static_cast<uint32_t>(d), true));
        }
        if (c != d) return c < d ? -1 : 1;
    }
    if (p < pe) return 1;
    if (q < qe) return -1;
    return 0;
}

}  // namespace symbol
