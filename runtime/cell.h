// The value cell: every value of the language is one of these 16 bytes.
//
//   word 0  header   bits 0-7   datatype id (1-54)
//                    bits 11-12 context! kind          (context! only)
//                    bit  13    field written          (object field words)
//                    bits 16-23 source type of an op!  (op! only)
//                    bits 19-22 tuple! byte count      (tuple! only)
//                    bit  22    values on the stack    (context! only)
//                    bit  24    has a self cell        (context! only)
//                    bit  30    new-line marker        (any value)
//   word 1  payload  per datatype family (head index, ctx node, ...)
//   word 2  payload  (node, symbol id, int32 value, low half of a double)
//   word 3  payload  (word index, high half of a double, ...)
//
// Where a 32-bit word names something that lives elsewhere it holds a
// handle: series and contexts are node handles (0 = none), callables are
// indexes into their function tables. A cell is always copied whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/memory.h"

// ---- Datatype ids --------------------------------------------------------------

// id, enum name, name, parent id (0 = none), layout: what payload words 1-3
// hold for the collector, a letter each:
//   .  nothing to mark             s  a series node
//   c  a node of cells, marked with its cells (a block, a context's values)
//   t  a hash table node, marked with everything it refers to
//   ?  decided by the collector's own code for the type (a flag, the symbol)
#define ZEM_DATATYPES(X)                        \
    X(1, DATATYPE, "datatype!", 0, "...")       \
    X(2, UNSET, "unset!", 0, "...")             \
    X(3, NONE, "none!", 0, "...")               \
    X(4, LOGIC, "logic!", 0, "...")             \
    X(5, BLOCK, "block!", 42, ".c.")            \
    X(6, PAREN, "paren!", 5, ".c.")             \
    X(7, STRING, "string!", 42, ".ss")          \
    X(8, FILE, "file!", 9, ".ss")               \
    X(9, URL, "url!", 7, ".ss")                 \
    X(10, CHAR, "char!", 11, "...")             \
    X(11, INTEGER, "integer!", 0, "...")        \
    X(12, FLOAT, "float!", 0, "...")            \
    X(13, SYMBOL, "symbol!", 0, ".ss")          \
    X(14, CONTEXT, "context!", 0, "t?.")        \
    X(15, WORD, "word!", 13, "?..")             \
    X(16, SET_WORD, "set-word!", 15, "?..")     \
    X(17, LIT_WORD, "lit-word!", 15, "?..")     \
    X(18, GET_WORD, "get-word!", 15, "?..")     \
    X(19, REFINEMENT, "refinement!", 15, "?..") \
    X(20, ISSUE, "issue!", 15, "...")           \
    X(21, NATIVE, "native!", 0, ".cc")          \
    X(22, ACTION, "action!", 21, ".cc")         \
    X(23, OP, "op!", 21, "?cc")                 \
    X(24, FUNCTION, "function!", 14, "ccc")     \
    X(25, PATH, "path!", 5, ".c.")              \
    X(26, LIT_PATH, "lit-path!", 25, ".c.")     \
    X(27, SET_PATH, "set-path!", 25, ".c.")     \
    X(28, GET_PATH, "get-path!", 25, ".c.")     \
    X(29, ROUTINE, "routine!", 24, "ccc")       \
    X(30, BITSET, "bitset!", 0, ".s.")          \
    X(31, TRIPLE, "triple!", 0, "...")          \
    X(32, OBJECT, "object!", 0, "c.c")          \
    X(33, TYPESET, "typeset!", 0, "...")        \
    X(34, ERROR, "error!", 32, "c.c")           \
    X(35, VECTOR, "vector!", 7, ".s.")          \
    X(36, HASH, "hash!", 5, ".ct")              \
    X(37, PAIR, "pair!", 0, "...")              \
    X(38, PERCENT, "percent!", 12, "...")       \
    X(39, TUPLE, "tuple!", 0, "...")            \
    X(40, MAP, "map!", 0, ".ct")                \
    X(41, BINARY, "binary!", 7, ".s.")          \
    X(42, SERIES, "series!", 0, "...")          \
    X(43, TIME, "time!", 12, "...")             \
    X(44, TAG, "tag!", 7, ".ss")                \
    X(45, EMAIL, "email!", 7, ".ss")            \
    X(46, HANDLE, "handle!", 11, "..?")         \
    X(47, DATE, "date!", 0, "...")              \
    X(48, PORT, "port!", 32, "c.c")             \
    X(49, MONEY, "money!", 0, "...")            \
    X(50, REF, "ref!", 7, ".ss")                \
    X(51, POINT2D, "point2D!", 0, "...")        \
    X(52, POINT3D, "point3D!", 0, "...")        \
    X(53, IMAGE, "image!", 42, ".?.")           \
    X(54, EVENT, "event!", 0, ".?.")

enum TypeId : uint32_t {
#define X(id, name, text, parent, layout) TYPE_##name = id,
    ZEM_DATATYPES(X)
#undef X
};

// The highest datatype id.
constexpr uint32_t TYPE_COUNT = [] {
    uint32_t highest = 0;
#define X(id, name, text, parent, layout) highest = id > highest ? id : highest;
    ZEM_DATATYPES(X)
#undef X
    return highest;
}();
constexpr uint32_t TYPE_SLOTS = 57;   // room in the registry's tables
static_assert(TYPE_COUNT < TYPE_SLOTS, "the registry's tables have room for every datatype");

// Header flags.
constexpr uint32_t FLAG_NEW_LINE = 0x40000000;
constexpr uint32_t FLAG_CTX_KIND_MASK = 0x00001800;
constexpr uint32_t FLAG_FIELD_WRITTEN = 0x00002000;
constexpr uint32_t FLAG_CTX_ON_STACK = 0x00400000;
constexpr uint32_t FLAG_CTX_SELF = 0x01000000;
constexpr uint32_t OP_SOURCE_SHIFT = 16;

// Word 1 of a native! holds its index in the natives table (1-120); word 1
// of an action! holds ACTION_ENTRY_BASE plus its action slot (1-62), so the
// two kinds of entry id never collide and an id alone tells which table to
// call through.
constexpr uint32_t ACTION_ENTRY_BASE = 0x10000;
constexpr uint32_t TUPLE_SIZE_SHIFT = 19;
constexpr uint32_t TUPLE_SIZE_MASK = 0x00780000;

// ---- The cell ------------------------------------------------------------------

struct Cell {
    uint32_t header;
    uint32_t data1;
    uint32_t data2;
    uint32_t data3;

    uint32_t type() const { return header & 0xFF; }
    bool new_line() const { return (header & FLAG_NEW_LINE) != 0; }

    // Series values: index of the first element and the buffer's node.
    uint32_t head() const { return data1; }
    Node node() const { return data2; }

    // Word values: context node, symbol id, index in the context (-1 unknown).
    Node ctx() const { return data1; }
    uint32_t symbol() const { return data2; }
    int32_t index() const { return static_cast<int32_t>(data3); }

    // int32 payload of integer! and char!.
    int32_t int_value() const { return static_cast<int32_t>(data2); }

    // The double held over words 2-3 (float!, percent!, time!, date!).
    double float_value() const {
        double d;
        std::memcpy(&d, &data2, 8);
        return d;
    }
    void set_float(double d) { std::memcpy(&data2, &d, 8); }
};
static_assert(sizeof(Cell) == 16, "a cell is four 32-bit words");
static_assert(offsetof(Cell, data2) == 8, "a double payload starts at the third word");

// ---- Primitive operations on cells -------------------------------------------

// Replaces the type and keeps every flag of the header.
inline void set_type(Cell* c, uint32_t type) { c->header = (c->header & 0xFFFFFF00u) | type; }
// Writes a whole header, as the makers of integer!, char!, logic! and the
// like do: every flag not in `header` is cleared, the new-line marker too.
inline void set_header(Cell* c, uint32_t header) { c->header = header; }
inline void clear_new_line(Cell* c) { c->header &= ~FLAG_NEW_LINE; }

// Copies all four words; a cell copied onto itself is left as it is.
inline Cell* copy_cell(const Cell* src, Cell* dst) {
    if (src != dst) *dst = *src;
    return dst;
}

// The series buffer a series value refers to.
inline SeriesBuffer* series_of(const Cell* c) { return memory::buffer(c->node()); }

// Appends one unset! cell to the block's series and returns it. Growing the
// series may move its buffer: fetch cell addresses into it again afterwards.
Cell* alloc_tail(Cell* block);
// The same on a buffer of cells: when no cell is left before the end of the
// data area, the series first doubles (an empty one gets room for one
// cell). Writes a header of exactly 2 (unset!, no flags) and a zero payload
// and answers the new cell, in the buffer the series now has.
Cell* alloc_series_tail(SeriesBuffer* s);
// Reserves n bytes at the tail of the series and answers their address (not
// initialised). When they do not fit the series grows first: by 2n bytes
// when n is larger than the buffer's size, else it doubles. Read the
// buffer again through its node afterwards.
uint8_t* alloc_tail_unit(SeriesBuffer* s, uint32_t n);

// Index in the root block of the first boot value (the boot loader sets it).
extern uint32_t root_base;
// Cell n of the boot values in the root block, and its first payload word
// (the node or context of a series, context or object value). n is not
// checked.
Cell* get_root(uint32_t n);
Node get_root_ctx(uint32_t n);
