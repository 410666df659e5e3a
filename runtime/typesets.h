// Classes of datatypes as 64-bit masks over the datatype ids, for the C++
// code's type tests: `in(ANY_BLOCK, type)`. The language's own typesets are
// declared once in ZEM_TYPESETS, with the members the boot library gives them
// (a unit test holds the two in step); other classes are built from them.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "runtime/cell.h"

namespace typesets {

// A set of datatype ids, one bit per id (every id is below 64).
struct Mask {
    uint64_t bits;
};

constexpr Mask of(std::initializer_list<uint32_t> types) {
    uint64_t bits = 0;
    for (uint32_t t : types) bits |= uint64_t{1} << t;
    return Mask{bits};
}
constexpr Mask operator|(Mask a, Mask b) { return Mask{a.bits | b.bits}; }

// Whether the id `type` is in `set`; ids past 63 never are. Found by
// argument-dependent lookup, so a namespace with an `in` of its own (the
// natives) calls it unqualified too.
constexpr bool in(Mask set, uint32_t type) { return type < 64 && ((set.bits >> type) & 1) != 0; }

}  // namespace typesets

static_assert(TYPE_SLOTS <= 64, "every datatype id has a bit in a typesets::Mask");

// ---- The language's typesets ------------------------------------------------------

// enum name, name, members
#define ZEM_TYPESETS(X)                                                                                    \
    X(ANY_TYPE, "any-type!", TYPE_DATATYPE, TYPE_UNSET, TYPE_NONE, TYPE_LOGIC, TYPE_BLOCK, TYPE_STRING,      \
      TYPE_BINARY, TYPE_INTEGER, TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT,    \
      TYPE_CHAR, TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH,  \
      TYPE_FUNCTION, TYPE_ROUTINE, TYPE_PAREN, TYPE_ISSUE, TYPE_URL, TYPE_FILE, TYPE_OBJECT, TYPE_BITSET,    \
      TYPE_TRIPLE, TYPE_FLOAT, TYPE_TYPESET, TYPE_ERROR, TYPE_VECTOR, TYPE_MAP, TYPE_HASH, TYPE_PAIR,        \
      TYPE_PERCENT, TYPE_TUPLE, TYPE_TIME, TYPE_TAG, TYPE_EMAIL, TYPE_HANDLE, TYPE_DATE, TYPE_PORT,          \
      TYPE_MONEY, TYPE_REF, TYPE_POINT2D, TYPE_POINT3D, TYPE_IMAGE, TYPE_EVENT)                              \
    X(NUMBER, "number!", TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT)                                             \
    X(ANY_WORD, "any-word!", TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD)                         \
    X(ALL_WORD, "all-word!", TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT,        \
      TYPE_ISSUE)                                                                                            \
    X(ANY_LIST, "any-list!", TYPE_BLOCK, TYPE_PAREN, TYPE_HASH)                                              \
    X(ANY_PATH, "any-path!", TYPE_PATH, TYPE_SET_PATH, TYPE_GET_PATH, TYPE_LIT_PATH)                         \
    X(ANY_BLOCK, "any-block!", TYPE_BLOCK, TYPE_PAREN, TYPE_HASH, TYPE_PATH, TYPE_SET_PATH, TYPE_GET_PATH,   \
      TYPE_LIT_PATH)                                                                                         \
    X(ANY_FUNCTION, "any-function!", TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE)         \
    X(ANY_OBJECT, "any-object!", TYPE_OBJECT, TYPE_ERROR, TYPE_PORT)                                         \
    X(ANY_STRING, "any-string!", TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF)           \
    X(SERIES, "series!", TYPE_BLOCK, TYPE_PAREN, TYPE_HASH, TYPE_PATH, TYPE_SET_PATH, TYPE_GET_PATH,         \
      TYPE_LIT_PATH, TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_BINARY,          \
      TYPE_VECTOR, TYPE_IMAGE)                                                                               \
    X(ANY_POINT, "any-point!", TYPE_POINT2D, TYPE_POINT3D)                                                   \
    X(PLANAR, "planar!", TYPE_PAIR, TYPE_POINT2D)                                                            \
    X(SCALAR, "scalar!", TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_PAIR, TYPE_PERCENT, TYPE_TUPLE,           \
      TYPE_TIME, TYPE_DATE, TYPE_MONEY, TYPE_POINT2D, TYPE_POINT3D)                                          \
    X(IMMEDIATE, "immediate!", TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_PAIR, TYPE_PERCENT, TYPE_TUPLE,     \
      TYPE_TIME, TYPE_DATE, TYPE_MONEY, TYPE_POINT2D, TYPE_POINT3D, TYPE_DATATYPE, TYPE_NONE, TYPE_LOGIC,    \
      TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE, TYPE_TYPESET,     \
      TYPE_HANDLE)

#define X(name, text, ...) constexpr typesets::Mask name = typesets::of({__VA_ARGS__});
ZEM_TYPESETS(X)
#undef X

// ---- Classes of the C++ code alone -----------------------------------------------

// The words of a function spec that name an argument or a refinement.
constexpr typesets::Mask ARG_WORD = typesets::of({TYPE_WORD, TYPE_GET_WORD, TYPE_LIT_WORD, TYPE_REFINEMENT});
// Values whose elements are cells: the blocks and map!.
constexpr typesets::Mask CELL_SERIES = ANY_BLOCK | typesets::of({TYPE_MAP});
