// Open-addressing hash tables over a backing block of cells (hash!, map!,
// context word lists, the symbol table, tables keyed by series nodes).
//
// A table is the node of a byte series holding its Record; every array of
// the table is a series too, so the collector owns them. Buckets hold
// positions (or byte offsets) into the backing block, never copies of keys.
// Probing is triangular from hash AND (n_buckets - 1); a table grows when
// its occupied buckets reach 77% of the buckets.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace hashtable {

enum Kind : int32_t {
    KIND_HASH = 0,       // hash!: any cell of the block; equal keys share a bucket through a chain
    KIND_MAP = 1,        // map!: key cell, then its value cell
    KIND_WORDS = 2,      // context word lists and the symbol table
    KIND_NODES = 3,      // keyed by series node; entries made by the table
    KIND_OWNERSHIP = 4,  // keyed by series or context node, 3 value cells
};

struct Record {
    int32_t count;       // live entries (distinct keys for kind 0)
    int32_t indexes;     // kind 0: node of int32 per block position (1-based bucket, -1 none);
                         // kinds 3-4: entry width in bytes; kinds 1-2: 0
    int32_t chains;      // kind 0: node of an array of chain nodes (0 = dropped)
    int32_t flags;       // node: 2 bits per bucket (1 deleted, 2 empty)
    int32_t keys;        // node: int32 per bucket (position, -chain id, or byte offset)
    int32_t block;       // node of the backing block
    int32_t n_occupied;  // live plus deleted buckets
    int32_t n_buckets;   // a power of two, at least 4
    int32_t upper_bound; // n_occupied at which the next insertion grows
    int32_t kind;
    int32_t gc_stamp;    // 0, or the collector's relocation count + 1 at the last rebuild
};
static_assert(sizeof(Record) == 44, "eleven 32-bit words");

// A key cell of this internal type is a string view (its fourth word, when
// not negative, limits the code points hashed) that matches any stored type.
constexpr uint32_t TYPE_STRING_VIEW = 56;
// Above this many moved positions refresh gives up and the caller rebuilds.
constexpr uint32_t REFRESH_LIMIT = 30000;

// ---- Hashing -------------------------------------------------------------------

// The process seed (fixed for the life of the process).
extern uint32_t seed;
void static_init();

uint32_t murmur3_x86_32(const void* data, uint32_t length, uint32_t seed);
// MurmurHash3_x86_32 with the process seed.
uint32_t murmur3(const void* data, uint32_t length);
// MurmurHash3's 32-bit finalisation mix, without seed.
uint32_t fmix(uint32_t h);
// Hash of a value by its datatype; strings are upper-cased first unless
// case_sensitive.
uint32_t hash_value(const Cell* key, bool case_sensitive);
// MurmurHash3 of the code points from the head to the tail as UTF-32LE.
uint32_t hash_string(const Cell* str, bool case_sensitive);
// Hash of a symbol's UTF-8 spelling with "A".."Z" folded to "a".."z".
uint32_t hash_symbol(const Cell* symbol);
uint32_t hash_symbol_text(const uint8_t* text, uint32_t length);
// The smallest power of two not below n (n >= 1).
uint32_t round_up_pow2(uint32_t n);

// The canonical symbol of a word's symbol (the id its case variants share),
// by which words hash and compare; installed with the symbol table. Until
// then a symbol is its own canonical one.
extern uint32_t (*resolve_symbol)(uint32_t id);

// Whether a stored key answers true to the comparison `op` (0 equal, 2
// strict-equal, ...) against the key. This is where the datatypes' compare
// actions plug in; until they exist it compares what the hash reads.
bool keys_equal(const Cell* stored, const Cell* key, int32_t op);

// ---- Whole tables ----------------------------------------------------------------

// A new table for `size` entries. `block` is a series cell whose block is
// indexed from its head, or null for a new block of `size` cells (kinds 3
// and 4 always make their own). For kind 2 with value_cells 2, `block` may
// be a context! cell: the result is a copy of its word table.
Node init(uint32_t size, const Cell* block, int32_t kind, int32_t value_cells);
// The record of a table (valid until the table's record is reclaimed).
Record* record(Node table);
// Kind 0: rebuilds the table for `size` keys and indexes the whole block.
void resize(Node table, uint32_t size);
// An independent copy of the table indexing `block`.
Node copy(Node table, Node block);
// Empties the table and its backing block.
void clear(Node table);
// Tables are reclaimed by the collector: nothing to do.
inline void destroy(Node) {}
// Rehashes an address-dependent table after the collector moved nodes.
void check_gc(Node table);

// ---- Value keys (kinds 0-2) ------------------------------------------------------------

// Indexes the key cell (a cell of the backing block). `status` gets 2 when
// the whole table was rebuilt (kind 0), the key included. Kinds 1-2 answer
// the stored cell equal to the key when there is one.
Cell* put(Node table, Cell* key, int32_t* status = nullptr);
// Indexes the block from `start`, every `step` cells.
void put_all(Node table, uint32_t start, uint32_t step);
// The cell of the backing block matching `key` under `op`, or null. Kind 0
// candidates lie at a distance from `head` that is a multiple of `skip`;
// `last` takes the last at or after head, `reverse` the last before head.
// `hash`, when given, gets the key's hash (for put_new).
Cell* get(Node table, Cell* key, int32_t head, int32_t skip, int32_t op, bool last, bool reverse,
          uint32_t* hash = nullptr);
// Kind 1: indexes a key cell of the backing block for which get() answered
// null, by the hash get() gave (the key's own hash: not a node-hashed type),
// without comparing keys again.
void put_new(Node table, Cell* key, uint32_t hash);
// Enumerates the stored cells equal to the key along its probe sequence:
// bucket -1 starts; answers null at the end.
Cell* get_next(Node table, const Cell* key, int32_t* bucket, int32_t* end, int32_t* probes);
// Removes a cell of the backing block from the table (map!: marks its pair
// removed).
void delete_cell(Node table, Cell* cell);
// Kind 0 upkeep after the block's cells moved: remove n positions, shift the
// n positions from start by offset (1 when n is too large: rebuild), move n
// positions from source to destination.
void remove_range(Node table, uint32_t position, uint32_t n);
int32_t refresh(Node table, int32_t offset, uint32_t start, uint32_t n, bool change);
void move(Node table, uint32_t destination, uint32_t source, uint32_t n);

// The 1-based id of the spelling in the symbol table, added when new (see
// symbol.h for the two modes).
uint32_t put_symbol(Node table, const uint8_t* text, uint32_t length, bool case_insensitive);
// The position of the word of `symbol` in a context's word table, or -1.
// With a context node a missing word is appended (its position written to
// `position`, -1 answered).
int32_t find_ctx_word(Node table, uint32_t symbol, bool by_alias, Node context, int32_t* position);

// ---- Node keys (kinds 3-4) -------------------------------------------------------------

// The first value cell of the key's entry, made when new (all its cells
// unset!). Cell addresses are valid until the next allocation.
Cell* put_key(Node table, Node key);
Cell* get_key(Node table, Node key);
Cell* delete_key(Node table, Node key);

// ---- Collector hooks ------------------------------------------------------------------

// How the collector marks: `series` marks one series (and may rewrite the
// handle in the slot when it relocates nodes); `block` marks a cell series
// and every cell in it.
struct Marker {
    void (*series)(Node* slot, void* context);
    void (*block)(Node* slot, void* context);
    void* context;
};
// Marks the table held in `slot` and everything it refers to.
void mark(Node* slot, const Marker& marker);
// Kind 4 tables are marked weakly (their record and arrays only); after
// the sweep this marks the surviving entries: each key through
// `marker.series` (which rewrites a relocated handle) and the entry's value
// cells through `cells`.
void mark_entries(Node table, const Marker& marker, void (*cells)(Cell* first, Cell* end));
// Removes the entries (kinds 3-4) whose key, or (kind 4) whose owner's
// context, the collector left unmarked.
void sweep(Node table, bool (*marked)(Node node));

}  // namespace hashtable
