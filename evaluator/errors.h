// The error catalogue's categories and ids as the runtime raises them, and
// `fire`, the one way a script-level error is raised.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/fault.h"

// Categories, in catalogue order: an error's code is 100 x category + id.
#define ZEM_ERROR_CATEGORIES(X) \
    X(0, THROW, "throw")        \
    X(1, NOTE, "note")          \
    X(2, SYNTAX, "syntax")      \
    X(3, SCRIPT, "script")      \
    X(4, MATH, "math")          \
    X(5, ACCESS, "access")      \
    X(6, RESERVED1, "reserved1") \
    X(7, RESERVED2, "reserved2") \
    X(8, USER, "user")          \
    X(9, INTERNAL, "internal")

enum ErrorCategory : uint32_t {
#define X(n, name, text) ERR_##name = n,
    ZEM_ERROR_CATEGORIES(X)
#undef X
};

// Ids by category, with their position among the category's ids (a
// category object's fields are `code`, `type`, then the ids, so an id's
// field index is its position + 2). The message texts live with the
// catalogue.
#define ZEM_ERROR_IDS(X)                                       \
    X(THROW, 0, BREAK, "break")                                \
    X(THROW, 1, RETURN, "return")                              \
    X(THROW, 2, THROW, "throw")                                \
    X(THROW, 3, CONTINUE, "continue")                          \
    X(THROW, 4, WHILE_COND, "while-cond")                      \
    X(NOTE, 0, NO_LOAD, "no-load")                             \
    X(SYNTAX, 0, INVALID, "invalid")                           \
    X(SYNTAX, 1, MISSING, "missing")                           \
    X(SYNTAX, 2, NO_HEADER, "no-header")                       \
    X(SYNTAX, 3, NO_RS_HEADER, "no-rs-header")                 \
    X(SYNTAX, 4, BAD_HEADER, "bad-header")                     \
    X(SYNTAX, 5, MALCONSTRUCT, "malconstruct")                 \
    X(SYNTAX, 6, BAD_CHAR, "bad-char")                         \
    X(SCRIPT, 0, NO_VALUE, "no-value")                         \
    X(SCRIPT, 1, NEED_VALUE, "need-value")                     \
    X(SCRIPT, 2, NOT_DEFINED, "not-defined")                   \
    X(SCRIPT, 3, NOT_IN_CONTEXT, "not-in-context")             \
    X(SCRIPT, 4, NO_ARG, "no-arg")                             \
    X(SCRIPT, 5, EXPECT_ARG, "expect-arg")                     \
    X(SCRIPT, 6, EXPECT_VAL, "expect-val")                     \
    X(SCRIPT, 7, EXPECT_TYPE, "expect-type")                   \
    X(SCRIPT, 8, CANNOT_USE, "cannot-use")                     \
    X(SCRIPT, 9, INVALID_ARG, "invalid-arg")                   \
    X(SCRIPT, 10, INVALID_TYPE, "invalid-type")                \
    X(SCRIPT, 11, INVALID_TYPE_SPEC, "invalid-type-spec")      \
    X(SCRIPT, 12, INVALID_KEY_TYPE, "invalid-key-type")        \
    X(SCRIPT, 13, INVALID_OP, "invalid-op")                    \
    X(SCRIPT, 14, NO_OP_ARG, "no-op-arg")                      \
    X(SCRIPT, 15, BAD_OP_SPEC, "bad-op-spec")                  \
    X(SCRIPT, 16, INVALID_DATA, "invalid-data")                \
    X(SCRIPT, 17, INVALID_PART, "invalid-part")                \
    X(SCRIPT, 18, NOT_SAME_TYPE, "not-same-type")              \
    X(SCRIPT, 19, NOT_SAME_CLASS, "not-same-class")            \
    X(SCRIPT, 20, NOT_RELATED, "not-related")                  \
    X(SCRIPT, 21, BAD_FUNC_DEF, "bad-func-def")                \
    X(SCRIPT, 22, BAD_FUNC_ARG, "bad-func-arg")                \
    X(SCRIPT, 23, BAD_FUNC_EXTERN, "bad-func-extern")          \
    X(SCRIPT, 24, NO_REFINE, "no-refine")                      \
    X(SCRIPT, 25, BAD_REFINES, "bad-refines")                  \
    X(SCRIPT, 26, BAD_REFINE, "bad-refine")                    \
    X(SCRIPT, 27, DUP_REFINE, "dup-refine")                    \
    X(SCRIPT, 28, WORD_FIRST, "word-first")                    \
    X(SCRIPT, 29, EMPTY_PATH, "empty-path")                    \
    X(SCRIPT, 30, UNSET_PATH, "unset-path")                    \
    X(SCRIPT, 31, INVALID_PATH, "invalid-path")                \
    X(SCRIPT, 32, INVALID_PATH_SET, "invalid-path-set")        \
    X(SCRIPT, 33, INVALID_PATH_GET, "invalid-path-get")        \
    X(SCRIPT, 34, BAD_PATH_TYPE, "bad-path-type")              \
    X(SCRIPT, 35, BAD_PATH_TYPE2, "bad-path-type2")            \
    X(SCRIPT, 36, BAD_PATH_SET, "bad-path-set")                \
    X(SCRIPT, 37, BAD_FIELD_SET, "bad-field-set")              \
    X(SCRIPT, 38, DUP_VARS, "dup-vars")                        \
    X(SCRIPT, 39, PAST_END, "past-end")                        \
    X(SCRIPT, 40, MISSING_ARG, "missing-arg")                  \
    X(SCRIPT, 41, OUT_OF_RANGE, "out-of-range")                \
    X(SCRIPT, 42, INVALID_CHARS, "invalid-chars")              \
    X(SCRIPT, 43, INVALID_COMPARE, "invalid-compare")          \
    X(SCRIPT, 44, WRONG_TYPE, "wrong-type")                    \
    X(SCRIPT, 45, INVALID_REFINE_ARG, "invalid-refine-arg")    \
    X(SCRIPT, 46, TYPE_LIMIT, "type-limit")                    \
    X(SCRIPT, 47, SIZE_LIMIT, "size-limit")                    \
    X(SCRIPT, 48, NO_RETURN, "no-return")                      \
    X(SCRIPT, 49, THROW_USAGE, "throw-usage")                  \
    X(SCRIPT, 50, LOCKED_WORD, "locked-word")                  \
    X(SCRIPT, 51, PROTECTED, "protected")                      \
    X(SCRIPT, 52, BAD_BAD, "bad-bad")                          \
    X(SCRIPT, 53, BAD_MAKE_ARG, "bad-make-arg")                \
    X(SCRIPT, 54, BAD_TO_ARG, "bad-to-arg")                    \
    X(SCRIPT, 55, INVALID_MONTHS, "invalid-months")            \
    X(SCRIPT, 56, INVALID_SPEC_FIELD, "invalid-spec-field")    \
    X(SCRIPT, 57, MISSING_SPEC_FIELD, "missing-spec-field")    \
    X(SCRIPT, 58, BAD_LOOP_SERIES, "bad-loop-series")          \
    X(SCRIPT, 59, MOVE_BAD, "move-bad")                        \
    X(SCRIPT, 60, TOO_LONG, "too-long")                        \
    X(SCRIPT, 61, WRONG_DENOM, "wrong-denom")                  \
    X(SCRIPT, 62, NOT_LINKED, "not-linked")                    \
    X(SCRIPT, 63, REACT_BAD_FUNC, "react-bad-func")            \
    X(SCRIPT, 64, REACT_NOT_ENOUGH, "react-not-enough")        \
    X(SCRIPT, 65, REACT_NO_MATCH, "react-no-match")            \
    X(SCRIPT, 66, REACT_BAD_OBJ, "react-bad-obj")              \
    X(SCRIPT, 67, FACE_TYPE, "face-type")                      \
    X(SCRIPT, 68, NOT_WINDOW, "not-window")                    \
    X(SCRIPT, 69, BAD_WINDOW, "bad-window")                    \
    X(SCRIPT, 70, NOT_EVENT_TYPE, "not-event-type")            \
    X(SCRIPT, 71, VID_INVALID_SYNTAX, "vid-invalid-syntax")    \
    X(SCRIPT, 72, RTD_INVALID_SYNTAX, "rtd-invalid-syntax")    \
    X(SCRIPT, 73, RTD_NO_MATCH, "rtd-no-match")                \
    X(SCRIPT, 74, NON_ALIGNED, "non-aligned")                  \
    X(SCRIPT, 75, DRAW_INVALID, "draw-invalid")                \
    X(SCRIPT, 76, DRAW_INFINITE, "draw-infinite")              \
    X(SCRIPT, 77, PARSE_RULE, "parse-rule")                    \
    X(SCRIPT, 78, PARSE_END, "parse-end")                      \
    X(SCRIPT, 79, PARSE_INVALID_REF, "parse-invalid-ref")      \
    X(SCRIPT, 80, PARSE_BLOCK, "parse-block")                  \
    X(SCRIPT, 81, PARSE_UNSUPPORTED, "parse-unsupported")      \
    X(SCRIPT, 82, PARSE_INFINITE, "parse-infinite")            \
    X(SCRIPT, 83, PARSE_STACK, "parse-stack")                  \
    X(SCRIPT, 84, PARSE_KEEP, "parse-keep")                    \
    X(SCRIPT, 85, PARSE_INTO_BAD, "parse-into-bad")            \
    X(SCRIPT, 86, PARSE_INTO_TYPE, "parse-into-type")          \
    X(SCRIPT, 87, RB_INVALID_RECORD, "rb-invalid-record")      \
    X(SCRIPT, 88, BAD_DENOM, "bad-denom")                      \
    X(SCRIPT, 89, INVALID_OBJ_EVT, "invalid-obj-evt")          \
    X(MATH, 0, ZERO_DIVIDE, "zero-divide")                     \
    X(MATH, 1, OVERFLOW, "overflow")                           \
    X(MATH, 2, POSITIVE, "positive")                           \
    X(ACCESS, 0, CANNOT_OPEN, "cannot-open")                   \
    X(ACCESS, 1, CANNOT_CLOSE, "cannot-close")                 \
    X(ACCESS, 2, INVALID_UTF8, "invalid-utf8")                 \
    X(ACCESS, 3, NOT_OPEN, "not-open")                         \
    X(ACCESS, 4, NO_CONNECT, "no-connect")                     \
    X(ACCESS, 5, NO_SCHEME, "no-scheme")                       \
    X(ACCESS, 6, UNKNOWN_SCHEME, "unknown-scheme")             \
    X(ACCESS, 7, INVALID_SPEC, "invalid-spec")                 \
    X(ACCESS, 8, INVALID_PORT, "invalid-port")                 \
    X(ACCESS, 9, INVALID_ACTOR, "invalid-actor")               \
    X(ACCESS, 10, NO_PORT_ACTION, "no-port-action")            \
    X(ACCESS, 11, NO_CREATE, "no-create")                      \
    X(ACCESS, 12, NO_CODEC, "no-codec")                        \
    X(ACCESS, 13, BAD_MEDIA, "bad-media")                      \
    X(ACCESS, 14, INVALID_CMD, "invalid-cmd")                  \
    X(USER, 0, MESSAGE, "message")                             \
    X(INTERNAL, 0, BAD_PATH, "bad-path")                       \
    X(INTERNAL, 1, NOT_HERE, "not-here")                       \
    X(INTERNAL, 2, NO_MEMORY, "no-memory")                     \
    X(INTERNAL, 3, WRONG_MEM, "wrong-mem")                     \
    X(INTERNAL, 4, STACK_OVERFLOW, "stack-overflow")           \
    X(INTERNAL, 5, LIMIT_HIT, "limit-hit")                     \
    X(INTERNAL, 6, TOO_DEEP, "too-deep")                       \
    X(INTERNAL, 7, NO_CYCLE, "no-cycle")                       \
    X(INTERNAL, 8, FEATURE_NA, "feature-na")                   \
    X(INTERNAL, 9, NOT_DONE, "not-done")                       \
    X(INTERNAL, 10, INVALID_ERROR, "invalid-error")            \
    X(INTERNAL, 11, ROUTINES, "routines")                      \
    X(INTERNAL, 12, ZEM_SYSTEM, "zem-system")                  \
    X(INTERNAL, 13, DEPRECATED, "deprecated")

namespace err {
#define X(cat, pos, name, text) inline constexpr ErrorId name{ERR_##cat, pos};
ZEM_ERROR_IDS(X)
#undef X
}  // namespace err

// Builds the error! value of the id with up to three arguments and throws
// it to the nearest try frame. Never returns.
[[noreturn]] void fire(ErrorId id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr,
                       const Cell* arg3 = nullptr);
// The same with one integer! argument.
[[noreturn]] void fire_int(ErrorId id, int32_t value);

// ---- The catalogue ------------------------------------------------------------------

namespace errors {

constexpr uint32_t CATEGORY_COUNT = 10;

// The word of a category ("script"), its title ("Script Error") and the
// number of its ids.
const char* category_word(uint32_t category);
const char* title(uint32_t category);
uint32_t id_count(uint32_t category);
// The word of an id ("no-value") and its message (plain text, or block
// source starting with "["); null when the id is not in the catalogue.
const char* id_word(ErrorId id);
const char* message(ErrorId id);
// Looks a category, or an id of a category, up by symbol (case-insensitive).
bool find_category(uint32_t symbol, uint32_t* category);
bool find_id(uint32_t category, uint32_t symbol, uint32_t* position);

// How many call-frame names an error's printed form shows (the "*** Stack:"
// line is written only when it is above 0).
extern int32_t trace_depth;

// Makes the symbols the error values use; until then errors travel
// without an error! value.
void init();
bool ready();
// Back to the state before init (the runtime is shut down).
void reset();

// The printed form of an error! as the console shows it, for C++ callers
// (the top-level guard).
void print(const Cell* error);

}  // namespace errors
