// Hash tables: hashing of values, the bucket arrays and their probing, the
// five kinds of table over a backing block, growth and relocation resync,
// and the collector hooks.
//
// Buffers held by raw pointers in locals are pinned by the collector's stack
// scan, so only growth (a new buffer for the same series) makes them stale:
// every array is fetched again through its node after anything that may
// replace it.
#include "runtime/hashtable.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/array.h"
#include "runtime/case_folding.h"
#include "runtime/collector.h"
#include "runtime/sys.h"
#include "runtime/typesets.h"
#include "runtime/unicode.h"

namespace hashtable {

uint32_t seed = 0;
uint32_t (*resolve_symbol)(uint32_t id) = nullptr;

void static_init() { seed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&seed)); }

// ---- Hashing -------------------------------------------------------------------

namespace {

constexpr uint32_t C1 = 0xcc9e2d51;
constexpr uint32_t C2 = 0x1b873593;
constexpr double LOAD = 0.77;

uint32_t resolve(uint32_t id) { return resolve_symbol ? resolve_symbol(id) : id; }

inline uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

inline uint32_t mix_block(uint32_t h, uint32_t k) {
    k *= C1;
    k = rotl(k, 15);
    k *= C2;
    h ^= k;
    h = rotl(h, 13);
    return h * 5 + 0xe6546b64;
}

inline uint32_t mix_tail(uint32_t h, uint32_t k) {
    k *= C1;
    k = rotl(k, 15);
    k *= C2;
    return h ^ k;
}

// MurmurHash3_x86_32 over bytes read through `byte`.
template <typename Byte>
uint32_t murmur_bytes(uint32_t length, uint32_t h, Byte byte) {
    const uint32_t blocks = length / 4;
    for (uint32_t i = 0; i < blocks; i++) {
        uint32_t k = byte(4 * i) | (byte(4 * i + 1) << 8) | (byte(4 * i + 2) << 16) |
                     (static_cast<uint32_t>(byte(4 * i + 3)) << 24);
        h = mix_block(h, k);
    }
    uint32_t k = 0;
    const uint32_t tail = 4 * blocks;
    switch (length & 3) {
        case 3: k ^= byte(tail + 2) << 16; [[fallthrough]];
        case 2: k ^= byte(tail + 1) << 8; [[fallthrough]];
        case 1:
            k ^= byte(tail);
            h = mix_tail(h, k);
    }
    return fmix(h ^ length);
}

inline uint8_t ascii_lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? b | 0x60 : b; }

// Types whose hash reads a node handle: tables holding them depend on node
// relocation.
constexpr typesets::Mask ADDRESS_HASHED =
    typesets::of({TYPE_BLOCK, TYPE_PAREN, TYPE_OBJECT, TYPE_ERROR, TYPE_HASH, TYPE_MAP, TYPE_PORT, TYPE_IMAGE,
                  TYPE_EVENT, TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_PATH, TYPE_LIT_PATH,
                  TYPE_SET_PATH, TYPE_GET_PATH});

// Keys hashed and compared as text.
constexpr typesets::Mask STRING_KEY = ANY_STRING | typesets::of({TYPE_STRING_VIEW});

// The code points of a string value from its head to its tail (a string
// view's fourth word, when not negative, limits them).
struct Text {
    const uint8_t* data;
    uint32_t unit;
    uint32_t count;
};

Text text_of(const Cell* str) {
    const SeriesBuffer* s = series_of(str);
    const uint32_t unit = s->unit();
    if (unit != 1 && unit != 2 && unit != 4) sys::on_quit(101, ZEM_HERE());
    const uint32_t total = s->count();
    const uint32_t head = str->head() < total ? str->head() : total;
    uint32_t n = total - head;
    if (str->type() == TYPE_STRING_VIEW && str->index() >= 0 && static_cast<uint32_t>(str->index()) < n)
        n = static_cast<uint32_t>(str->index());
    return {s->data_at(head * unit), unit, n};
}

// The UTF-8 spelling of a symbol! cell (its byte series, word 3).
struct Spelling {
    const uint8_t* bytes;
    uint32_t length;
};

Spelling spelling_of(const Cell* symbol) {
    const SeriesBuffer* s = memory::buffer(symbol->data3);
    return {s->data_at(0), s->tail - s->offset};
}

}  // namespace

uint32_t murmur3_x86_32(const void* data, uint32_t length, uint32_t seed_value) {
    const auto* p = static_cast<const uint8_t*>(data);
    return murmur_bytes(length, seed_value, [p](uint32_t i) -> uint32_t { return p[i]; });
}

uint32_t murmur3(const void* data, uint32_t length) { return murmur3_x86_32(data, length, seed); }

uint32_t fmix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85ebca6b;
    h ^= h >> 13;
    h *= 0xc2b2ae35;
    h ^= h >> 16;
    return h;
}

uint32_t hash_string(const Cell* str, bool case_sensitive) {
    Text t = text_of(str);
    uint32_t h = seed;
    for (uint32_t i = 0; i < t.count; i++) {
        uint32_t cp = unicode::get_char(t.data, t.unit, i);
        if (!case_sensitive) cp = case_folding::change_char(cp, true);
        h = mix_block(h, cp);
    }
    return fmix(h ^ (4 * t.count));
}

uint32_t hash_symbol_text(const uint8_t* text, uint32_t length) {
    return murmur_bytes(length, seed, [text](uint32_t i) -> uint32_t { return ascii_lower(text[i]); });
}

uint32_t hash_symbol(const Cell* symbol) {
    Spelling s = spelling_of(symbol);
    return hash_symbol_text(s.bytes, s.length);
}

uint32_t hash_value(const Cell* key, bool case_sensitive) {
    const uint32_t type = key->type();
    switch (type) {
        case TYPE_UNSET: return static_cast<uint32_t>(-2);
        case TYPE_NONE: return static_cast<uint32_t>(-1);
        case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
            return fmix(key->data1);
        case TYPE_CHAR: case TYPE_INTEGER: case TYPE_MAP: case TYPE_HANDLE: case TYPE_EVENT:
            return fmix(key->data2);
        case TYPE_NATIVE: case TYPE_ACTION:
            return fmix(key->data3);
        case TYPE_SYMBOL:
            return hash_symbol(key);
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
        case TYPE_GET_PATH: case TYPE_HASH: case TYPE_POINT2D: case TYPE_IMAGE:
            return murmur3(&key->data1, 8);
        case TYPE_FLOAT: case TYPE_PAIR: case TYPE_PERCENT: case TYPE_TIME:
            return murmur3(&key->data2, 8);
        case TYPE_OP: case TYPE_FUNCTION: case TYPE_TRIPLE: case TYPE_TYPESET: case TYPE_DATE:
        case TYPE_POINT3D:
            return murmur3(&key->data1, 12);
        case TYPE_TUPLE:
            return murmur3(&key->data1, (key->header & TUPLE_SIZE_MASK) >> TUPLE_SIZE_SHIFT);
        case TYPE_BINARY: {
            const SeriesBuffer* s = series_of(key);
            const uint32_t bytes = s->tail - s->offset;
            const uint32_t head = key->head() < bytes ? key->head() : bytes;
            return murmur3(s->data_at(head), bytes - head);
        }
        case TYPE_MONEY: {
            Cell copy = *key;
            copy.header &= ~FLAG_NEW_LINE;  // the type and the sign flag stay
            return murmur3(&copy, 16);
        }
        default:
            if (in(ALL_WORD, type)) return fmix(resolve(key->symbol()));
            if (in(STRING_KEY, type)) return hash_string(key, case_sensitive);
            return 0;
    }
}

namespace {

// hash_value(key, false), the commonest key (an integer) hashed in place.
inline uint32_t key_hash(const Cell* key) {
    return key->type() == TYPE_INTEGER ? fmix(key->data2) : hash_value(key, false);
}

}  // namespace

uint32_t round_up_pow2(uint32_t n) {
    n--;
    n |= n >> 1;
    n |= n >> 2;
    n |= n >> 4;
    n |= n >> 8;
    n |= n >> 16;
    return n + 1;
}

// ---- Key comparison ----------------------------------------------------------------

namespace {

// Operations that compare text with case.
bool with_case(int32_t op) { return op == 2 || op == 8 || op == 10; }

bool text_equal(const Cell* a, const Cell* b, bool strict) {
    Text x = text_of(a), y = text_of(b);
    if (x.count != y.count) return false;
    for (uint32_t i = 0; i < x.count; i++) {
        uint32_t c = unicode::get_char(x.data, x.unit, i), d = unicode::get_char(y.data, y.unit, i);
        if (c == d) continue;
        if (strict || case_folding::change_char(c, true) != case_folding::change_char(d, true)) return false;
    }
    return true;
}

bool spelling_equal(const Cell* a, const Cell* b, bool strict) {
    Spelling x = spelling_of(a), y = spelling_of(b);
    const uint8_t *p = x.bytes, *pe = x.bytes + x.length, *q = y.bytes, *qe = y.bytes + y.length;
    while (p < pe && q < qe) {
        int32_t c, d;
        p = unicode::fast_decode_utf8_char(p, pe, &c);
        q = unicode::fast_decode_utf8_char(q, qe, &d);
        if (c == d) continue;
        if (strict || c < 0 || d < 0) return false;
        if (case_folding::change_char(c, true) != case_folding::change_char(d, true)) return false;
    }
    return p == pe && q == qe;
}

}  // namespace

bool keys_equal(const Cell* stored, const Cell* key, int32_t op) {
    const uint32_t type = key->type();
    if (type == TYPE_STRING_VIEW) return in(STRING_KEY, stored->type()) && text_equal(stored, key, with_case(op));
    if (stored->type() != type) return false;
    switch (type) {
        case TYPE_UNSET: case TYPE_NONE: return true;
        case TYPE_SYMBOL: return spelling_equal(stored, key, with_case(op));
        case TYPE_BINARY: {
            const SeriesBuffer *s = series_of(stored), *t = series_of(key);
            const uint32_t m = s->tail - s->offset, n = t->tail - t->offset;
            const uint32_t hs = stored->head() < m ? stored->head() : m, hk = key->head() < n ? key->head() : n;
            return m - hs == n - hk && std::memcmp(s->data_at(hs), t->data_at(hk), m - hs) == 0;
        }
        case TYPE_MONEY: {
            Cell a = *stored, b = *key;
            a.header &= ~FLAG_NEW_LINE;
            b.header &= ~FLAG_NEW_LINE;
            return std::memcmp(&a, &b, 16) == 0;
        }
        default:
            break;
    }
    if (in(ALL_WORD, type)) {
        if (with_case(op) || op == 9) return stored->symbol() == key->symbol();
        return resolve(stored->symbol()) == resolve(key->symbol());
    }
    if (in(STRING_KEY, type)) {
        if (op == 9) return stored->head() == key->head() && stored->node() == key->node();
        return text_equal(stored, key, with_case(op));
    }
    // Every other type: the payload words its hash reads.
    switch (type) {
        case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
            return stored->data1 == key->data1;
        case TYPE_CHAR: case TYPE_INTEGER: case TYPE_MAP: case TYPE_HANDLE: case TYPE_EVENT:
            return stored->data2 == key->data2;
        case TYPE_NATIVE: case TYPE_ACTION:
            return stored->data3 == key->data3;
        case TYPE_FLOAT: case TYPE_PAIR: case TYPE_PERCENT: case TYPE_TIME:
            return stored->data2 == key->data2 && stored->data3 == key->data3;
        case TYPE_TUPLE:
            return stored->header == key->header && std::memcmp(&stored->data1, &key->data1, 12) == 0;
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
        case TYPE_GET_PATH: case TYPE_HASH: case TYPE_POINT2D: case TYPE_IMAGE:
            return stored->data1 == key->data1 && stored->data2 == key->data2;
        default:
            return std::memcmp(&stored->data1, &key->data1, 12) == 0;
    }
}

// ---- Buckets -----------------------------------------------------------------------

namespace {

constexpr uint32_t EMPTY = 2;
constexpr uint32_t DELETED = 1;

inline uint32_t bucket_bits(const uint32_t* f, uint32_t i) { return (f[i >> 4] >> ((i & 15) << 1)) & 3; }
inline bool is_empty(const uint32_t* f, uint32_t i) { return bucket_bits(f, i) & EMPTY; }
inline bool is_deleted(const uint32_t* f, uint32_t i) { return bucket_bits(f, i) == DELETED; }
inline bool is_live(const uint32_t* f, uint32_t i) { return bucket_bits(f, i) == 0; }
inline void set_live(uint32_t* f, uint32_t i) { f[i >> 4] &= ~(3u << ((i & 15) << 1)); }
inline void set_deleted(uint32_t* f, uint32_t i) { f[i >> 4] |= DELETED << ((i & 15) << 1); }

// The triangular probe sequence: home, home + 1, home + 3, ... modulo a
// power of two visits every bucket once in n_buckets steps.
struct Probe {
    uint32_t mask;
    uint32_t i;
    uint32_t step = 0;
    Probe(uint32_t hash, int32_t n_buckets) : mask(static_cast<uint32_t>(n_buckets) - 1), i(hash & mask) {}
    bool next() {
        if (++step > mask) return false;
        i = (i + step) & mask;
        return true;
    }
};

inline Record* rec(Node table) { return reinterpret_cast<Record*>(memory::buffer(table)->offset_addr()); }
inline uint32_t* flags_of(const Record* r) {
    return reinterpret_cast<uint32_t*>(memory::buffer(static_cast<Node>(r->flags))->offset_addr());
}
inline int32_t* keys_of(const Record* r) {
    return reinterpret_cast<int32_t*>(memory::buffer(static_cast<Node>(r->keys))->offset_addr());
}
inline SeriesBuffer* block_of(const Record* r) { return memory::buffer(static_cast<Node>(r->block)); }
inline Cell* cells_of(const Record* r) { return reinterpret_cast<Cell*>(block_of(r)->offset_addr()); }
inline uint32_t block_length(const Record* r) {
    const SeriesBuffer* s = block_of(r);
    return (s->tail - s->offset) >> 4;
}
inline int32_t* indexes_of(const Record* r) {
    return reinterpret_cast<int32_t*>(memory::buffer(static_cast<Node>(r->indexes))->offset_addr());
}
inline uint32_t index_entries(const Record* r) {
    const SeriesBuffer* s = memory::buffer(static_cast<Node>(r->indexes));
    return (s->size - s->offset) / 4;
}

Node new_flags(uint32_t n_buckets) {
    const uint32_t bytes = n_buckets / 4 < 4 ? 4 : n_buckets / 4;
    Node n = memory::alloc_bytes_filled(bytes, 0xAA);
    SeriesBuffer* s = memory::buffer(n);
    s->tail = s->offset + bytes;
    return n;
}

Node new_keys(uint32_t n_buckets) {
    Node n = memory::alloc_bytes(n_buckets * 4);
    SeriesBuffer* s = memory::buffer(n);
    s->tail = s->offset + n_buckets * 4;
    return n;
}

void fill(Node node, uint8_t byte) {
    SeriesBuffer* s = memory::buffer(node);
    std::memset(s->offset_addr(), byte, s->size - s->offset);
}

uint32_t relocation_stamp() { return collector::relocations + 1; }

// Runs a growth with node relocation switched off; the flag comes back even
// when an error is thrown through the growth.
template <typename F>
void grow(F body) {
    struct Restore {
        uint32_t saved = collector::relocation_allowed;
        ~Restore() { collector::relocation_allowed = saved; }
    } restore;
    collector::relocation_allowed = 0;
    body();
}

// Walks the key's probe sequence. `match(bucket)` tests a live bucket.
// Answers the matching bucket (found = true), else the bucket an insertion
// takes: the first deleted one met when the walk ended at an empty bucket or
// wrapped, else the empty one; -1 when there is none.
template <typename Match>
int32_t find_site(Node table, uint32_t hash, bool& found, Match match) {
    const Record* r = rec(table);
    const uint32_t* f = flags_of(r);
    Probe p(hash, r->n_buckets);
    int32_t site = -1;
    found = false;
    do {
        if (is_empty(f, p.i)) return site >= 0 ? site : static_cast<int32_t>(p.i);
        if (is_deleted(f, p.i)) {
            if (site < 0) site = static_cast<int32_t>(p.i);
        } else if (match(p.i)) {
            found = true;
            return static_cast<int32_t>(p.i);
        }
    } while (p.next());
    return site;
}

// Stores `value` in bucket b, counting it.
void occupy(Node table, int32_t b, int32_t value) {
    Record* r = rec(table);
    uint32_t* f = flags_of(r);
    if (is_empty(f, b)) r->n_occupied++;
    r->count++;
    set_live(f, b);
    keys_of(r)[b] = value;
}

// ---- Kind 0 chains and indexes ----------------------------------------------------

Node chain_node(const Record* r, int32_t id) { return array::pick_ptr(static_cast<Node>(r->chains), id); }

int32_t first_position(const Record* r, int32_t k) {
    return k >= 0 ? k : array::pick_int(chain_node(r, -k), 1);
}

// Calls f(position) for each position of a bucket's entry.
template <typename F>
void each_position(const Record* r, int32_t k, F f) {
    if (k >= 0) {
        f(k);
        return;
    }
    Node chain = chain_node(r, -k);
    const uint32_t n = array::length_q(chain);
    for (uint32_t i = 1; i <= n; i++) f(array::pick_int(chain, i));
}

void set_index(Node table, uint32_t position, int32_t value) {
    Record* r = rec(table);
    if (position >= index_entries(r)) {
        SeriesBuffer* s = memory::buffer(static_cast<Node>(r->indexes));
        uint64_t wanted = uint64_t{position} * 8;
        if (wanted < uint64_t{position + 1} * 4) wanted = uint64_t{position + 1} * 4;
        s = memory::expand_series_filled(s, s->offset + static_cast<uint32_t>(wanted), 0xFF);
        s->tail = s->size;
        r = rec(table);
    }
    indexes_of(r)[position] = value;
}

// Takes a position out of its bucket (kind 0): out of its chain, and the
// bucket deleted once nothing is left in it.
void take_out(Node table, uint32_t position) {
    Record* r = rec(table);
    if (position >= index_entries(r)) return;
    const int32_t b = indexes_of(r)[position] - 1;
    if (b < 0) return;
    indexes_of(r)[position] = -1;
    const int32_t k = keys_of(r)[b];
    if (k < 0) {
        Node chain = chain_node(r, -k);
        int32_t at = array::find_int(chain, static_cast<int32_t>(position));
        if (at >= 0) array::remove_at(chain, static_cast<uint32_t>(at), 4);
        if (array::length_q(chain) > 0) return;
        array::poke_ptr(static_cast<Node>(r->chains), -k, 0);
    }
    set_deleted(flags_of(r), b);
    r->count--;
}

// ---- Growth ------------------------------------------------------------------------------

// Kinds 1 and 2: rebuild for `size` buckets, every live entry rehashed into
// fresh arrays.
void resize_in_place(Node table, uint32_t size) {
    Record* r = rec(table);
    uint32_t n_buckets = round_up_pow2(size < 4 ? 4 : size);
    const int32_t upper = static_cast<int32_t>(0.5 + LOAD * n_buckets);
    if (r->count >= upper) return;
    const Node old_flags = static_cast<Node>(r->flags), old_keys = static_cast<Node>(r->keys);
    const uint32_t old_buckets = static_cast<uint32_t>(r->n_buckets);
    Node flags = new_flags(n_buckets);
    Node keys = new_keys(n_buckets);
    r = rec(table);
    const uint32_t* of = reinterpret_cast<uint32_t*>(memory::buffer(old_flags)->offset_addr());
    const int32_t* ok = reinterpret_cast<int32_t*>(memory::buffer(old_keys)->offset_addr());
    uint32_t* nf = reinterpret_cast<uint32_t*>(memory::buffer(flags)->offset_addr());
    int32_t* nk = reinterpret_cast<int32_t*>(memory::buffer(keys)->offset_addr());
    const Cell* cells = cells_of(r);
    for (uint32_t j = 0; j < old_buckets; j++) {
        if (!is_live(of, j)) continue;
        Probe p(key_hash(cells + ok[j]), static_cast<int32_t>(n_buckets));
        while (!is_empty(nf, p.i) && p.next()) {}
        set_live(nf, p.i);
        nk[p.i] = ok[j];
    }
    r->flags = static_cast<int32_t>(flags);
    r->keys = static_cast<int32_t>(keys);
    r->n_buckets = static_cast<int32_t>(n_buckets);
    r->upper_bound = upper;
    if (r->kind != KIND_MAP) r->n_occupied = r->count;
}

// The size a full table asks for: the same (mostly deleted buckets) or more.
uint32_t requested_size(const Record* r) {
    return r->count * 2 < r->n_buckets ? r->n_buckets - 1 : r->n_buckets + 1;
}

int32_t entry_width(const Record* r) { return r->indexes; }

// Kinds 3 and 4: the entry whose key cell holds `key`, or where it goes.
int32_t find_entry(Node table, Node key, bool& found) {
    return find_site(table, fmix(key), found, [&](uint32_t b) {
        const Record* r = rec(table);
        const auto* data = block_of(r)->offset_addr();
        const auto* cell = reinterpret_cast<const Cell*>(data + keys_of(r)[b]);
        return cell->data1 == key;
    });
}

// Kinds 3 and 4: a new entry for the key (no growth check). Answers its key
// cell.
Cell* insert_entry(Node table, Node key, int32_t site) {
    Record* r = rec(table);
    const uint32_t width = static_cast<uint32_t>(entry_width(r));
    uint32_t offset;
    if (is_deleted(flags_of(r), site)) {
        offset = static_cast<uint32_t>(keys_of(r)[site]);
    } else {
        SeriesBuffer* s = block_of(r);
        alloc_tail_unit(s, width);
        r = rec(table);
        s = block_of(r);
        offset = s->tail - width - s->offset;
    }
    auto* cells = reinterpret_cast<Cell*>(block_of(r)->offset_addr() + offset);
    for (uint32_t i = 0; i < width / 16; i++) cells[i] = Cell{TYPE_UNSET, 0, 0, 0};
    cells[0].data1 = key;
    occupy(table, site, static_cast<int32_t>(offset));
    return cells;
}

// Kinds 3 and 4: a new backing block holding only the live entries.
void rebuild_entries(Node table, uint32_t size) {
    Record* r = rec(table);
    const uint32_t pow = round_up_pow2(size < 4 ? 4 : size);
    const uint32_t width = static_cast<uint32_t>(entry_width(r));
    const Node old_block = static_cast<Node>(r->block);
    const uint32_t live = static_cast<uint32_t>(r->count);
    Node block = memory::alloc_cells(live * (width / 16) + 1);
    Node flags = new_flags(pow);
    Node keys = new_keys(pow);
    r = rec(table);
    r->block = static_cast<int32_t>(block);
    r->flags = static_cast<int32_t>(flags);
    r->keys = static_cast<int32_t>(keys);
    r->n_buckets = static_cast<int32_t>(pow);
    r->upper_bound = static_cast<int32_t>(0.5 + LOAD * pow);
    r->count = r->n_occupied = 0;
    const uint32_t bytes = memory::buffer(old_block)->tail - memory::buffer(old_block)->offset;
    for (uint32_t at = 0; at + width <= bytes; at += width) {
        const auto* old = reinterpret_cast<const Cell*>(memory::buffer(old_block)->offset_addr() + at);
        if (old->header != TYPE_UNSET) continue;
        const Node key = old->data1;
        bool found;
        int32_t site = find_entry(table, key, found);
        if (found || site < 0) continue;
        Cell* entry = insert_entry(table, key, site);
        old = reinterpret_cast<const Cell*>(memory::buffer(old_block)->offset_addr() + at);
        std::memcpy(entry + 1, old + 1, width - 16);
    }
    rec(table)->gc_stamp = static_cast<int32_t>(relocation_stamp());
}

// Grows a full table before an insertion. Kind 0 rebuilds everything and
// answers true (the key is indexed too).
bool grow_if_full(Node table, uint32_t factor) {
    Record* r = rec(table);
    if (r->n_occupied < r->upper_bound) return false;
    const uint32_t size = r->kind == KIND_MAP ? r->n_buckets + 1 : requested_size(r);
    switch (r->kind) {
        case KIND_HASH:
            grow([&] { resize(table, size); });
            return true;
        case KIND_MAP:
        case KIND_WORDS:
            resize_in_place(table, size * factor);
            return false;
        default:
            grow([&] { rebuild_entries(table, size); });
            return false;
    }
}

// A site for a new entry after a failed search; grows once more when the
// table had no room left at all.
template <typename Search>
int32_t site_after_growth(Node table, Search search) {
    bool found;
    int32_t site = search(found);
    if (site < 0) {
        resize_in_place(table, static_cast<uint32_t>(rec(table)->n_buckets) * 2);
        site = search(found);
    }
    return site;
}

}  // namespace

// ---- Whole tables ----------------------------------------------------------------------

Record* record(Node table) { return rec(table); }

Node init(uint32_t size, const Cell* block, int32_t kind, int32_t value_cells) {
    if (kind == KIND_WORDS && value_cells == 2 && block && block->type() == TYPE_CONTEXT) {
        const Node words = static_cast<Node>(block->data1);
        Node list = memory::copy_series(block_of(rec(words)));
        return copy(words, list);
    }
    if (kind == KIND_WORDS && size >= 4000) size *= 2;
    if (size < 4) size = 4;
    const uint32_t n_buckets = round_up_pow2(static_cast<uint32_t>(size / LOAD));

    Node table = memory::alloc_bytes(sizeof(Record));
    SeriesBuffer* s = memory::buffer(table);
    s->flags |= SERIES_TABLE;  // the collector marks a record found on the stack as a table
    std::memset(s->offset_addr(), 0, sizeof(Record));
    s->tail = s->offset + sizeof(Record);
    Node flags = new_flags(n_buckets);
    Node keys = new_keys(n_buckets);
    Record* r = rec(table);
    r->flags = static_cast<int32_t>(flags);
    r->keys = static_cast<int32_t>(keys);
    r->n_buckets = static_cast<int32_t>(n_buckets);
    r->upper_bound = static_cast<int32_t>(LOAD * n_buckets);
    r->kind = kind;

    if (kind == KIND_NODES || kind == KIND_OWNERSHIP) {
        const uint32_t width = (static_cast<uint32_t>(value_cells) + 1) * 16;
        Node b = memory::alloc_cells(size * (width / 16));
        r = rec(table);
        r->block = static_cast<int32_t>(b);
        r->indexes = static_cast<int32_t>(width);
        r->gc_stamp = static_cast<int32_t>(relocation_stamp());
        return table;
    }
    if (kind == KIND_HASH) {
        Node indexes = memory::alloc_bytes_filled(size * 4, 0xFF);
        memory::buffer(indexes)->tail = memory::buffer(indexes)->size;
        Node chains = array::make(4, 4);
        r = rec(table);
        r->indexes = static_cast<int32_t>(indexes);
        r->chains = static_cast<int32_t>(chains);
    }
    if (!block) {
        Node b = memory::alloc_cells(size);
        rec(table)->block = static_cast<int32_t>(b);
        return table;
    }
    r->block = static_cast<int32_t>(block->node());
    put_all(table, block->head(), kind == KIND_MAP ? 2 : 1);
    return table;
}

void resize(Node table, uint32_t size) {
    const uint64_t wanted = static_cast<uint64_t>(1.5 * size);
    uint32_t n_buckets = round_up_pow2(wanted < 4 ? 4 : wanted > 0x80000000u ? 0x80000000u : static_cast<uint32_t>(wanted));
    Node flags = new_flags(n_buckets);
    Node keys = new_keys(n_buckets);
    Node chains = array::make(4, 4);
    Record* r = rec(table);
    r->flags = static_cast<int32_t>(flags);
    r->keys = static_cast<int32_t>(keys);
    r->chains = static_cast<int32_t>(chains);
    r->n_buckets = static_cast<int32_t>(n_buckets);
    r->upper_bound = static_cast<int32_t>(LOAD * n_buckets);
    r->count = r->n_occupied = 0;
    fill(static_cast<Node>(r->indexes), 0xFF);
    put_all(table, 0, 1);
}

Node copy(Node table, Node block) {
    Node fresh = memory::copy_series(memory::buffer(table));
    Node flags = memory::copy_series(memory::buffer(static_cast<Node>(rec(table)->flags)));
    Node keys = memory::copy_series(memory::buffer(static_cast<Node>(rec(table)->keys)));
    Record* r = rec(fresh);
    r->flags = static_cast<int32_t>(flags);
    r->keys = static_cast<int32_t>(keys);
    r->block = static_cast<int32_t>(block);
    if (r->kind == KIND_HASH) {
        Node indexes = memory::copy_series(memory::buffer(static_cast<Node>(rec(table)->indexes)));
        Node chains = array::copy(static_cast<Node>(rec(table)->chains));
        rec(fresh)->indexes = static_cast<int32_t>(indexes);
        rec(fresh)->chains = static_cast<int32_t>(chains);
        const uint32_t n = array::length_q(chains);
        for (uint32_t i = 1; i <= n; i++) {
            Node chain = array::pick_ptr(chains, i);
            if (chain) array::poke_ptr(chains, i, array::copy(chain));
        }
    }
    return fresh;
}

void clear(Node table) {
    Record* r = rec(table);
    r->count = r->n_occupied = 0;
    SeriesBuffer* b = block_of(r);
    b->tail = b->offset;
    fill(static_cast<Node>(r->flags), 0xAA);
    if (r->kind == KIND_HASH) {
        fill(static_cast<Node>(r->indexes), 0xFF);
        array::clear(static_cast<Node>(r->chains));
    }
}

void check_gc(Node table) {
    Record* r = rec(table);
    const int32_t stamp = static_cast<int32_t>(relocation_stamp());
    if (r->gc_stamp == 0 || r->gc_stamp == stamp || collector::running) return;
    if (r->kind == KIND_HASH) {
        const uint32_t length = block_length(r);
        grow([&] { resize(table, length); });
    } else {
        fill(static_cast<Node>(r->flags), 0xAA);
        r->count = r->n_occupied = 0;
        const uint32_t width = static_cast<uint32_t>(entry_width(r));
        const uint32_t bytes = block_of(r)->tail - block_of(r)->offset;
        for (uint32_t at = 0; at + width <= bytes; at += width) {
            const auto* cell = reinterpret_cast<const Cell*>(block_of(r)->offset_addr() + at);
            if (cell->header != TYPE_UNSET) continue;
            Probe p(fmix(cell->data1), r->n_buckets);
            uint32_t* f = flags_of(r);
            while (!is_empty(f, p.i) && p.next()) {}
            occupy(table, static_cast<int32_t>(p.i), static_cast<int32_t>(at));
        }
    }
    rec(table)->gc_stamp = stamp;
}

// ---- Value keys ----------------------------------------------------------------------

Cell* put(Node table, Cell* key, int32_t* status) {
    if (status) *status = 0;
    Record* r = rec(table);
    const int32_t kind = r->kind;
    const uint32_t position = static_cast<uint32_t>(key - cells_of(r));
    if (kind == KIND_HASH && r->gc_stamp == 0 && in(ADDRESS_HASHED, key->type()))
        r->gc_stamp = static_cast<int32_t>(relocation_stamp());
    if (grow_if_full(table, 1)) {
        if (status) *status = 2;
        return key;
    }
    key = cells_of(rec(table)) + position;
    const uint32_t hash = key_hash(key);

    if (kind == KIND_HASH) {
        bool found;
        const int32_t b = find_site(table, hash, found, [&](uint32_t i) {
            const Record* q = rec(table);
            const Cell* c = cells_of(q) + first_position(q, keys_of(q)[i]);
            return c->type() == key->type() && keys_equal(c, key, 0);
        });
        if (b < 0) return key;
        if (found) {
            int32_t k = keys_of(rec(table))[b];
            if (k >= 0) {
                Node chain = array::make(4, 4);
                array::append_int(chain, k);
                array::append_ptr(static_cast<Node>(rec(table)->chains), chain);
                k = -static_cast<int32_t>(array::length_q(static_cast<Node>(rec(table)->chains)));
                keys_of(rec(table))[b] = k;
            }
            array::append_int(chain_node(rec(table), -k), static_cast<int32_t>(position));
        } else {
            occupy(table, b, static_cast<int32_t>(position));
        }
        set_index(table, position, b + 1);
        return cells_of(rec(table)) + position;
    }

    auto search = [&](bool& found) {
        return find_site(table, hash, found, [&](uint32_t i) {
            const Record* q = rec(table);
            const Cell* c = cells_of(q) + keys_of(q)[i];
            return c->type() == key->type() && keys_equal(c, key, 2);
        });
    };
    bool found;
    int32_t b = search(found);
    if (found) return cells_of(rec(table)) + keys_of(rec(table))[b];
    if (b < 0) b = site_after_growth(table, search);
    occupy(table, b, static_cast<int32_t>(position));
    return cells_of(rec(table)) + position;
}

void put_new(Node table, Cell* key, uint32_t hash) {
    const uint32_t position = static_cast<uint32_t>(key - cells_of(rec(table)));
    grow_if_full(table, 1);
    // No stored key matches: the walk ends at the first free bucket, the
    // site put() would take.
    auto search = [&](bool& found) { return find_site(table, hash, found, [](uint32_t) { return false; }); };
    bool found;
    int32_t b = search(found);
    if (b < 0) b = site_after_growth(table, search);
    occupy(table, b, static_cast<int32_t>(position));
}

void put_all(Node table, uint32_t start, uint32_t step) {
    if (step == 0) step = 1;
    for (uint32_t pos = start; pos < block_length(rec(table)); pos += step) {
        Record* r = rec(table);
        Cell* key = cells_of(r) + pos;
        if (r->kind != KIND_MAP) {
            int32_t status;
            put(table, key, &status);
            if (status == 2) return;
            continue;
        }
        Cell* found = get(table, key, 0, 1, 2, false, false);
        if (!found) {
            put(table, key);
            continue;
        }
        if (found == key) continue;
        // A key met twice: its new value replaces the old one and the
        // duplicate pair leaves the block; the same position is looked at again.
        r = rec(table);
        SeriesBuffer* s = block_of(r);
        Cell* cells = cells_of(r);
        const uint32_t length = block_length(r);
        if (pos + 1 < length) found[1] = cells[pos + 1];
        const uint32_t cut = pos + 2 <= length ? 2 : 1;
        std::memmove(cells + pos, cells + pos + cut, (length - pos - cut) * sizeof(Cell));
        s->tail -= cut * sizeof(Cell);
        pos -= step;
    }
}

Cell* get(Node table, Cell* key, int32_t head, int32_t skip, int32_t op, bool last, bool reverse, uint32_t* hash_out) {
    if (reverse) last = true;
    if (skip < 1) skip = 1;
    const Record* r = rec(table);
    if (r->gc_stamp != 0) {
        check_gc(table);
        r = rec(table);
    }
    const uint32_t key_type = key->type();
    if (r->kind == KIND_MAP && key_type >= TYPE_WORD && key_type <= TYPE_GET_WORD) set_type(key, TYPE_SET_WORD);
    struct Retype {
        Cell* key;
        uint32_t type;
        ~Retype() { set_type(key, type); }
    } retype{key, key_type};
    const uint32_t hash = key_hash(key);
    if (hash_out) *hash_out = hash;
    Probe p(hash, r->n_buckets);

    if (r->kind != KIND_HASH) {
        // Comparing keys allocates nothing: the arrays stay where they are.
        const bool integer = key->type() == TYPE_INTEGER;
        const uint32_t* f = flags_of(r);
        const int32_t* keys = keys_of(r);
        Cell* cells = cells_of(r);
        do {
            if (is_empty(f, p.i)) return nullptr;
            if (!is_live(f, p.i)) continue;
            Cell* c = cells + keys[p.i];
            // Integers compare by their one payload word whatever the op.
            if (integer) {
                if (c->type() == TYPE_INTEGER && c->data2 == key->data2) return c;
            } else if ((key->type() == TYPE_STRING_VIEW || c->type() == key->type()) && keys_equal(c, key, op)) {
                return c;
            }
        } while (p.next());
        return nullptr;
    }

    do {
        r = rec(table);
        const uint32_t* f = flags_of(r);
        if (is_empty(f, p.i)) return nullptr;
        if (!is_live(f, p.i)) continue;
        const int32_t k = keys_of(r)[p.i];
        const Cell* first = cells_of(r) + first_position(r, k);
        if (first->type() != key->type() || !keys_equal(first, key, 0)) continue;
        int64_t best = -1;
        each_position(r, k, [&](int32_t pos) {
            const Cell* c = cells_of(rec(table)) + pos;
            if (c->type() != key->type() || !keys_equal(c, key, op)) return;
            const int64_t d = last ? int64_t{head} - 1 - pos : int64_t{pos} - head;
            if (((d % skip) + skip) % skip != 0) return;
            if (!last) {
                if (pos >= head && (best < 0 || pos < best)) best = pos;
            } else if (!reverse) {
                if (pos >= head && pos > best) best = pos;
            } else if (pos < head && pos > best) {
                best = pos;
            }
        });
        if (best >= 0) return cells_of(rec(table)) + best;
    } while (p.next());
    return nullptr;
}

Cell* get_next(Node table, const Cell* key, int32_t* bucket, int32_t* end, int32_t* probes) {
    const Record* r = rec(table);
    const uint32_t mask = static_cast<uint32_t>(r->n_buckets) - 1;
    uint32_t i, step;
    if (*bucket < 0) {
        i = key_hash(key) & mask;
        step = 0;
        *end = static_cast<int32_t>(i);
    } else {
        i = static_cast<uint32_t>(*bucket);
        step = static_cast<uint32_t>(*probes);
        if (++step > mask) return nullptr;
        i = (i + step) & mask;
    }
    for (;;) {
        r = rec(table);
        const uint32_t* f = flags_of(r);
        if (is_empty(f, i)) break;
        if (is_live(f, i)) {
            int32_t pos = r->kind == KIND_HASH ? first_position(r, keys_of(r)[i]) : keys_of(r)[i];
            Cell* c = cells_of(r) + pos;
            if (c->type() == key->type() && keys_equal(c, key, 0)) {
                *bucket = static_cast<int32_t>(i);
                *probes = static_cast<int32_t>(step);
                return c;
            }
        }
        if (++step > mask) break;
        i = (i + step) & mask;
    }
    *bucket = static_cast<int32_t>(i);
    *probes = static_cast<int32_t>(step);
    return nullptr;
}

void delete_cell(Node table, Cell* cell) {
    Record* r = rec(table);
    const int64_t position = cell - cells_of(r);
    if (position < 0 || position >= block_length(r)) return;
    switch (r->kind) {
        case KIND_MAP:
            if (position + 1 < block_length(r) && cell[1].header != 0) {
                cell[1].header = 0;
                r->count--;
            }
            return;
        case KIND_HASH:
            take_out(table, static_cast<uint32_t>(position));
            return;
        default: {
            Probe p(key_hash(cell), r->n_buckets);
            uint32_t* f = flags_of(r);
            do {
                if (is_empty(f, p.i)) return;
                if (is_live(f, p.i) && keys_of(r)[p.i] == position) {
                    set_deleted(f, p.i);
                    r->count--;
                    return;
                }
            } while (p.next());
        }
    }
}

void remove_range(Node table, uint32_t position, uint32_t n) {
    Record* r = rec(table);
    const uint32_t length = block_length(r);
    if (position >= length) return;
    if (n > length - position) n = length - position;
    if (n == length && r->kind == KIND_HASH) {
        r->count = r->n_occupied = 0;
        fill(static_cast<Node>(r->flags), 0xAA);
        fill(static_cast<Node>(r->indexes), 0xFF);
        array::clear(static_cast<Node>(r->chains));
        return;
    }
    for (uint32_t i = 0; i < n; i++) {
        if (r->kind == KIND_HASH)
            take_out(table, position + i);
        else
            delete_cell(table, cells_of(rec(table)) + position + i);
    }
}

int32_t refresh(Node table, int32_t offset, uint32_t start, uint32_t n, bool change) {
    if (n > REFRESH_LIMIT) return 1;
    // Removed positions leave their buckets first, while every position
    // still means what it meant.
    if (change && offset < 0) {
        const int64_t from = int64_t{start} + offset;
        for (int64_t p = from < 0 ? 0 : from; p < start; p++) take_out(table, static_cast<uint32_t>(p));
    }
    Record* r = rec(table);
    const uint32_t entries = index_entries(r);
    std::vector<uint8_t> done(array::length_q(static_cast<Node>(r->chains)) + 1, 0);
    for (uint32_t i = 0; i < n && start + i < entries; i++) {
        const int32_t b = indexes_of(r)[start + i] - 1;
        if (b < 0) continue;
        int32_t* keys = keys_of(r);
        if (keys[b] >= 0) {
            keys[b] += offset;
            continue;
        }
        const int32_t id = -keys[b];
        if (done[id]) continue;
        done[id] = 1;
        Node chain = chain_node(r, id);
        auto* items = reinterpret_cast<int32_t*>(array::get_ptr(chain));
        for (uint32_t j = 0, m = array::length_q(chain); j < m; j++)
            if (items[j] >= static_cast<int32_t>(start)) items[j] += offset;
    }
    const int64_t to = int64_t{start} + offset;
    if (to < 0) return 0;
    if (change && offset > 0 && n + start + offset > 0) set_index(table, n + start + offset - 1, -1);
    r = rec(table);
    const uint32_t have = index_entries(r);
    uint32_t moved = n;
    if (start + moved > have) moved = start < have ? have - start : 0;
    if (to >= have) moved = 0;
    else if (to + moved > have) moved = static_cast<uint32_t>(have - to);
    int32_t* idx = indexes_of(r);
    std::memmove(idx + to, idx + start, moved * 4);
    // The entries the move uncovered index nothing now: at the end after a
    // removal, in the gap opened by an insertion.
    if (offset < 0) {
        for (uint64_t p = to + moved; p < uint64_t{start} + moved && p < have; p++) idx[p] = -1;
    } else {
        for (int64_t p = start; p < to && p < have; p++) idx[p] = -1;
    }
    return 0;
}

void move(Node table, uint32_t destination, uint32_t source, uint32_t n) {
    if (n == 0 || (destination >= source && destination < source + n)) return;
    int64_t d = int64_t{destination} - source;
    if (d > 0) d -= n - 1;
    // New place of each position of [lo, hi).
    const int64_t lo = d < 0 ? source + d : source;
    const int64_t hi = d < 0 ? int64_t{source} + n : int64_t{source} + n + d;
    Record* r = rec(table);
    if (lo < 0 || hi > index_entries(r)) return;
    auto target = [&](int64_t p) -> int32_t {
        if (p >= source && p < int64_t{source} + n) return static_cast<int32_t>(p + d);
        return static_cast<int32_t>(d < 0 ? p + n : p - n);
    };
    // Positions are rewritten with a tag bit first, so that a position
    // already moved is never taken for one still to move.
    constexpr int32_t TAG = 0x40000000;
    int32_t* idx = indexes_of(r);
    for (int64_t p = lo; p < hi; p++) {
        const int32_t b = idx[p] - 1;
        if (b < 0) continue;
        int32_t* keys = keys_of(r);
        if (keys[b] >= 0) {
            keys[b] = target(p) | TAG;
            continue;
        }
        Node chain = chain_node(r, -keys[b]);
        auto* items = reinterpret_cast<int32_t*>(array::get_ptr(chain));
        for (uint32_t j = 0, m = array::length_q(chain); j < m; j++)
            if (items[j] == p) {
                items[j] = target(p) | TAG;
                break;
            }
    }
    for (int64_t p = lo; p < hi; p++) {
        const int32_t b = idx[p] - 1;
        if (b < 0) continue;
        int32_t* keys = keys_of(r);
        if (keys[b] >= 0) {
            keys[b] &= ~TAG;
            continue;
        }
        Node chain = chain_node(r, -keys[b]);
        auto* items = reinterpret_cast<int32_t*>(array::get_ptr(chain));
        for (uint32_t j = 0, m = array::length_q(chain); j < m; j++) items[j] &= ~TAG;
    }
    std::vector<int32_t> saved(idx + lo, idx + hi);
    for (int64_t p = lo; p < hi; p++) idx[target(p)] = saved[p - lo];
}

uint32_t put_symbol(Node table, const uint8_t* text, uint32_t length, bool case_insensitive) {
    const uint32_t hash = hash_symbol_text(text, length);
    auto same_length = [&](const Cell* c) { return spelling_of(c).length == length; };
    auto search = [&](bool folded, bool& found) {
        return find_site(table, hash, found, [&](uint32_t i) {
            const Record* r = rec(table);
            const Cell* c = cells_of(r) + keys_of(r)[i];
            if (!same_length(c)) return false;
            const uint8_t* s = spelling_of(c).bytes;
            if (length == 0) return true;
            if (!folded) return std::memcmp(s, text, length) == 0;
            for (uint32_t k = 0; k < length; k++)
                if (ascii_lower(s[k]) != ascii_lower(text[k])) return false;
            return true;
        });
    };
    bool found = false;
    int32_t site = -1;
    if (!case_insensitive) {
        site = search(false, found);
        if (found) return static_cast<uint32_t>(keys_of(rec(table))[site]) + 1;
    }
    int32_t twin = search(true, found);
    int32_t alias = -1;
    if (found) {
        const uint32_t id = static_cast<uint32_t>(keys_of(rec(table))[twin]) + 1;
        if (case_insensitive) return id;
        alias = static_cast<int32_t>(resolve(id));
    } else if (case_insensitive) {
        site = twin;
    }

    // A new symbol: the table grows first when it is full, which moves the
    // free bucket.
    const int32_t flags_before = rec(table)->flags;
    grow_if_full(table, 16);
    if (rec(table)->flags != flags_before || site < 0) {
        auto free_site = [&](bool& f) {
            return find_site(table, hash, f, [](uint32_t) { return false; });
        };
        site = site_after_growth(table, free_site);
    }
    Record* r = rec(table);
    Cell* cell = alloc_series_tail(block_of(r));  // header 2 while it is built
    const uint32_t position = block_length(rec(table)) - 1;
    Node bytes = memory::alloc_bytes(length + 1);
    SeriesBuffer* s = memory::buffer(bytes);
    if (length) std::memcpy(s->offset_addr(), text, length);
    s->offset_addr()[length] = 0;
    s->tail = s->offset + length;
    cell = cells_of(rec(table)) + position;
    *cell = Cell{TYPE_SYMBOL, static_cast<uint32_t>(alias), 0, bytes};
    occupy(table, site, static_cast<int32_t>(position));
    return position + 1;
}

int32_t find_ctx_word(Node table, uint32_t sym, bool by_alias, Node context, int32_t* position) {
    const uint32_t canonical = resolve(sym);
    if (context) grow_if_full(table, 16);
    auto search = [&](bool& found) {
        return find_site(table, fmix(canonical), found, [&](uint32_t i) {
            const Record* r = rec(table);
            const Cell* c = cells_of(r) + keys_of(r)[i];
            return by_alias ? resolve(c->symbol()) == canonical : c->symbol() == sym;
        });
    };
    bool found;
    int32_t b = search(found);
    if (found) {
        const int32_t p = keys_of(rec(table))[b];
        if (position) *position = p;
        return p;
    }
    if (!context) return -1;
    if (b < 0) b = site_after_growth(table, search);
    Cell* cell = alloc_series_tail(block_of(rec(table)));
    const int32_t p = static_cast<int32_t>(block_length(rec(table))) - 1;
    cell = cells_of(rec(table)) + p;
    *cell = Cell{TYPE_WORD, context, sym, static_cast<uint32_t>(p)};
    occupy(table, b, p);
    if (position) *position = p;
    return -1;
}

// ---- Node keys ------------------------------------------------------------------------

Cell* put_key(Node table, Node key) {
    check_gc(table);
    grow_if_full(table, 1);
    bool found;
    int32_t site = find_entry(table, key, found);
    if (found) {
        const Record* r = rec(table);
        return reinterpret_cast<Cell*>(block_of(r)->offset_addr() + keys_of(r)[site]) + 1;
    }
    if (site < 0) {
        grow([&] { rebuild_entries(table, static_cast<uint32_t>(rec(table)->n_buckets) * 2); });
        site = find_entry(table, key, found);
    }
    return insert_entry(table, key, site) + 1;
}

Cell* get_key(Node table, Node key) {
    check_gc(table);
    bool found;
    int32_t site = find_entry(table, key, found);
    if (!found) return nullptr;
    const Record* r = rec(table);
    return reinterpret_cast<Cell*>(block_of(r)->offset_addr() + keys_of(r)[site]) + 1;
}

Cell* delete_key(Node table, Node key) {
    check_gc(table);
    bool found;
    int32_t site = find_entry(table, key, found);
    if (!found) return nullptr;
    Record* r = rec(table);
    set_deleted(flags_of(r), site);
    r->count--;
    auto* cell = reinterpret_cast<Cell*>(block_of(r)->offset_addr() + keys_of(r)[site]);
    cell->header = 0;
    return cell + 1;
}

// ---- Collector hooks ----------------------------------------------------------------

void mark(Node* slot, const Marker& marker) {
    marker.series(slot, marker.context);
    Record* r = rec(*slot);
    auto node_slot = [](int32_t& field) { return reinterpret_cast<Node*>(&field); };
    if (r->kind == KIND_HASH) {
        marker.series(node_slot(r->indexes), marker.context);
        marker.series(node_slot(r->chains), marker.context);
        // A record still being made has no chains yet.
        const Node chains = static_cast<Node>(r->chains);
        auto* items = chains ? reinterpret_cast<Node*>(array::get_ptr(chains)) : nullptr;
        for (uint32_t i = 0, n = chains ? array::length_q(chains) : 0; i < n; i++)
            if (items[i]) marker.series(&items[i], marker.context);
    }
    marker.series(node_slot(r->flags), marker.context);
    marker.series(node_slot(r->keys), marker.context);
    if (r->kind == KIND_OWNERSHIP) {
        // Held weakly: the entries are marked by mark_entries after the sweep.
        marker.series(node_slot(r->block), marker.context);
        return;
    }
    if (r->kind == KIND_NODES) {
        const uint32_t* f = flags_of(r);
        for (uint32_t i = 0; i < static_cast<uint32_t>(r->n_buckets); i++) {
            if (!is_live(f, i)) continue;
            auto* cell = reinterpret_cast<Cell*>(block_of(r)->offset_addr() + keys_of(r)[i]);
            if (memory::buffer(cell->data1)->unit() == 16)
                marker.block(&cell->data1, marker.context);
            else
                marker.series(&cell->data1, marker.context);
        }
    }
    marker.block(node_slot(r->block), marker.context);
}

void mark_entries(Node table, const Marker& marker, void (*cells)(Cell* first, Cell* end)) {
    Record* r = rec(table);
    const uint32_t width = static_cast<uint32_t>(entry_width(r));
    const uint32_t* f = flags_of(r);
    for (uint32_t i = 0; i < static_cast<uint32_t>(r->n_buckets); i++) {
        if (!is_live(f, i)) continue;
        auto* cell = reinterpret_cast<Cell*>(block_of(r)->offset_addr() + keys_of(r)[i]);
        marker.series(&cell->data1, marker.context);
        cells(cell + 1, cell + width / 16);
    }
}

void sweep(Node table, bool (*marked)(Node node)) {
    Record* r = rec(table);
    if (r->kind != KIND_NODES && r->kind != KIND_OWNERSHIP) return;
    for (uint32_t i = 0; i < static_cast<uint32_t>(r->n_buckets); i++) {
        if (!is_live(flags_of(r), i)) continue;
        auto* cell = reinterpret_cast<Cell*>(block_of(r)->offset_addr() + keys_of(r)[i]);
        bool keep = marked(cell->data1);
        if (keep && r->kind == KIND_OWNERSHIP) {
            const Cell& owner = cell[2];  // value cells: the value, its owner, the field word
            if (owner.type() == TYPE_OBJECT && owner.ctx()) keep = marked(owner.ctx());
        }
        if (keep) continue;
        set_deleted(flags_of(r), i);
        r->count--;
        cell->header = 0;
        cell->data1 = 0;
    }
}

}  // namespace hashtable
