// The error catalogue's categories and ids as the runtime raises them, and
// `fire`, the one way a script-level error is raised.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/fault.h"

// Categories, in catalogue order, with their word and title: an error's
// code is 100 x category + id.
#define ZEM_ERROR_CATEGORIES(X)                  \
    X(0, THROW, "throw", "Throw Error")          \
    X(1, NOTE, "note", "Note")                   \
    X(2, SYNTAX, "syntax", "Syntax Error")       \
    X(3, SCRIPT, "script", "Script Error")       \
    X(4, MATH, "math", "Math Error")             \
    X(5, ACCESS, "access", "Access Error")       \
    X(6, RESERVED1, "reserved1", "Reserved1")    \
    X(7, RESERVED2, "reserved2", "Reserved2")    \
    X(8, USER, "user", "User Error")             \
    X(9, INTERNAL, "internal", "Internal Error")

enum ErrorCategory : uint32_t {
#define X(n, name, word, title) ERR_##name = n,
    ZEM_ERROR_CATEGORIES(X)
#undef X
};

// The catalogue's ids, grouped by category in catalogue order:
// X(category, id name, word, message). An id's position is its place among
// its category's ids, counted from 0 (a category object's fields are
// `code`, `type`, then the ids, so an id's field index is its position + 2).
// A message is plain text, or Zem block source (it starts with "[") of
// strings and words naming error fields (`arg1` or `:arg1`): the field's
// value shows molded, or formed in a syntax error.
#define ZEM_ERRORS(X) \
    X(THROW, BREAK, "break", "no loop to break")                                                                          \
    X(THROW, RETURN, "return", "return or exit not in function")                                                          \
    X(THROW, THROW, "throw", R"~([ "no catch for throw:" :arg1 ])~")                                                      \
    X(THROW, CONTINUE, "continue", "no loop to continue")                                                                 \
    X(THROW, WHILE_COND, "while-cond", "BREAK/CONTINUE cannot be used in WHILE condition block")                          \
    X(NOTE, NO_LOAD, "no-load", R"~([ "cannot load:" arg1 ])~")                                                           \
    X(SYNTAX, INVALID, "invalid", R"~([ :arg1 "invalid" :arg2 "at" :arg3 ])~")                                            \
    X(SYNTAX, MISSING, "missing", R"~([ :arg1 "missing" :arg2 "at" :arg3 ])~")                                            \
    X(SYNTAX, NO_HEADER, "no-header", R"~([ "script is missing a Zem header:" arg1 ])~")                                  \
    X(SYNTAX, NO_RS_HEADER, "no-rs-header", R"~([ "system script is missing a header:" arg1 ])~")                         \
    X(SYNTAX, BAD_HEADER, "bad-header", R"~([ "script header is not valid:" arg1 ])~")                                    \
    X(SYNTAX, MALCONSTRUCT, "malconstruct", R"~([ :arg1 "invalid construction spec at" :arg2 ])~")                        \
    X(SYNTAX, BAD_CHAR, "bad-char", R"~([ :arg1 "invalid character at" :arg2 ])~")                                        \
    X(SCRIPT, NO_VALUE, "no-value", R"~([ arg1 "has no value" ])~")                                                       \
    X(SCRIPT, NEED_VALUE, "need-value", R"~([ arg1 "needs a value" ])~")                                                  \
    X(SCRIPT, NOT_DEFINED, "not-defined", R"~([ arg1 "word is not bound to a context" ])~")                               \
    X(SCRIPT, NOT_IN_CONTEXT, "not-in-context", R"~([ "context for" arg1 "is not available" ])~")                         \
    X(SCRIPT, NO_ARG, "no-arg", R"~([ arg1 "is missing its" arg2 "argument" ])~")                                         \
    X(SCRIPT, EXPECT_ARG, "expect-arg", R"~([ arg1 "does not allow" arg2 "for its" arg3 "argument" ])~")                  \
    X(SCRIPT, EXPECT_VAL, "expect-val", R"~([ "expected" arg1 "not" arg2 ])~")                                            \
    X(SCRIPT, EXPECT_TYPE, "expect-type", R"~([ arg1 "field must be of type" arg2 ])~")                                   \
    X(SCRIPT, CANNOT_USE, "cannot-use", R"~([ "cannot use" arg1 "on" arg2 "value" ])~")                                   \
    X(SCRIPT, INVALID_ARG, "invalid-arg", R"~([ "invalid argument:" :arg1 ])~")                                           \
    X(SCRIPT, INVALID_TYPE, "invalid-type", R"~([ arg1 "type is not allowed here" ])~")                                   \
    X(SCRIPT, INVALID_TYPE_SPEC, "invalid-type-spec", R"~([ "invalid type specifier:" :arg1 ])~")                         \
    X(SCRIPT, INVALID_KEY_TYPE, "invalid-key-type", R"~([ "invalid key type:" arg1 ])~")                                  \
    X(SCRIPT, INVALID_OP, "invalid-op", R"~([ "invalid operator:" arg1 ])~")                                              \
    X(SCRIPT, NO_OP_ARG, "no-op-arg", R"~([ arg1 "operator is missing an argument" ])~")                                  \
    X(SCRIPT, BAD_OP_SPEC, "bad-op-spec", "making an op! requires a function with only 2 arguments")                      \
    X(SCRIPT, INVALID_DATA, "invalid-data", R"~([ "data not in correct format:" :arg1 ])~")                               \
    X(SCRIPT, INVALID_PART, "invalid-part", R"~([ "invalid /part count:" :arg1 ])~")                                      \
    X(SCRIPT, NOT_SAME_TYPE, "not-same-type", "values must be of the same type")                                          \
    X(SCRIPT, NOT_SAME_CLASS, "not-same-class", R"~([ "cannot coerce" arg1 "to" arg2 ])~")                                \
    X(SCRIPT, NOT_RELATED, "not-related", R"~([ "incompatible argument for" arg1 "of" arg2 ])~")                          \
    X(SCRIPT, BAD_FUNC_DEF, "bad-func-def", R"~([ "invalid function definition:" :arg1 ])~")                              \
    X(SCRIPT, BAD_FUNC_ARG, "bad-func-arg", R"~([ "function argument" arg1 "is not valid" ])~")                           \
    X(SCRIPT, BAD_FUNC_EXTERN, "bad-func-extern", R"~([ "invalid /extern value" :arg1 ])~")                               \
    X(SCRIPT, NO_REFINE, "no-refine", R"~([ arg1 "has no refinement called" arg2 ])~")                                    \
    X(SCRIPT, BAD_REFINES, "bad-refines", "incompatible or invalid refinements")                                          \
    X(SCRIPT, BAD_REFINE, "bad-refine", R"~([ "incompatible refinement:" arg1 ])~")                                       \
    X(SCRIPT, DUP_REFINE, "dup-refine", R"~([ "duplicate refinement usage in:" arg1 ])~")                                 \
    X(SCRIPT, WORD_FIRST, "word-first", R"~([ "path must start with a word:" :arg1 ])~")                                  \
    X(SCRIPT, EMPTY_PATH, "empty-path", "cannot evaluate an empty path value")                                            \
    X(SCRIPT, UNSET_PATH, "unset-path", R"~([ arg2 "is unset in path" :arg1 ])~")                                         \
    X(SCRIPT, INVALID_PATH, "invalid-path", R"~([ "cannot access" arg2 "in path" :arg1 ])~")                              \
    X(SCRIPT, INVALID_PATH_SET, "invalid-path-set", R"~([ "unsupported type in" :arg1 "set-path" ])~")                    \
    X(SCRIPT, INVALID_PATH_GET, "invalid-path-get", R"~([ "unsupported type in" :arg1 "get-path" ])~")                    \
    X(SCRIPT, BAD_PATH_TYPE, "bad-path-type", R"~([ "path" :arg1 "is not valid for" arg2 "type" ])~")                     \
    X(SCRIPT, BAD_PATH_TYPE2, "bad-path-type2", R"~([ :arg1 "is not valid for" arg2 "type" ])~")                          \
    X(SCRIPT, BAD_PATH_SET, "bad-path-set", R"~([ "cannot set" :arg2 "in path" :arg1 ])~")                                \
    X(SCRIPT, BAD_FIELD_SET, "bad-field-set", R"~([ "cannot set" arg2 "field to" arg1 "datatype" ])~")                    \
    X(SCRIPT, DUP_VARS, "dup-vars", R"~([ "duplicate variable specified:" :arg1 ])~")                                     \
    X(SCRIPT, PAST_END, "past-end", "out of range or past end")                                                           \
    X(SCRIPT, MISSING_ARG, "missing-arg", "missing a required argument or refinement")                                    \
    X(SCRIPT, OUT_OF_RANGE, "out-of-range", R"~([ "value out of range:" :arg1 ])~")                                       \
    X(SCRIPT, INVALID_CHARS, "invalid-chars", "contains invalid characters")                                              \
    X(SCRIPT, INVALID_COMPARE, "invalid-compare", R"~([ "cannot compare" :arg1 "with" :arg2 ])~")                         \
    X(SCRIPT, WRONG_TYPE, "wrong-type", R"~([ "datatype assertion failed for:" arg1 ])~")                                 \
    X(SCRIPT, INVALID_REFINE_ARG, "invalid-refine-arg", R"~([ "invalid" arg1 "argument:" :arg2 ])~")                      \
    X(SCRIPT, TYPE_LIMIT, "type-limit", R"~([ arg1 "overflow/underflow" ])~")                                             \
    X(SCRIPT, SIZE_LIMIT, "size-limit", R"~([ "maximum limit reached:" :arg1 ])~")                                        \
    X(SCRIPT, NO_RETURN, "no-return", "block did not return a value")                                                     \
    X(SCRIPT, THROW_USAGE, "throw-usage", "invalid use of a thrown error value")                                          \
    X(SCRIPT, LOCKED_WORD, "locked-word", R"~([ "protected word - cannot modify:" :arg1 ])~")                             \
    X(SCRIPT, PROTECTED, "protected", "protected value or series - cannot modify")                                        \
    X(SCRIPT, BAD_BAD, "bad-bad", R"~([ arg1 "error:" arg2 ])~")                                                          \
    X(SCRIPT, BAD_MAKE_ARG, "bad-make-arg", R"~([ "cannot MAKE" arg1 "from:" :arg2 ])~")                                  \
    X(SCRIPT, BAD_TO_ARG, "bad-to-arg", R"~([ "cannot MAKE/TO" arg1 "from:" :arg2 ])~")                                   \
    X(SCRIPT, INVALID_MONTHS, "invalid-months", "invalid month name")                                                     \
    X(SCRIPT, INVALID_SPEC_FIELD, "invalid-spec-field", R"~([ "invalid" arg1 "field in spec block" ])~")                  \
    X(SCRIPT, MISSING_SPEC_FIELD, "missing-spec-field", R"~([ arg1 "not found in spec block" ])~")                        \
    X(SCRIPT, BAD_LOOP_SERIES, "bad-loop-series", R"~([ "Loop series changed to invalid value:" :arg1 ])~")               \
    X(SCRIPT, MOVE_BAD, "move-bad", R"~([ "cannot MOVE elements from" arg1 "to" arg2 ])~")                                \
    X(SCRIPT, TOO_LONG, "too-long", "Content too long")                                                                   \
    X(SCRIPT, WRONG_DENOM, "wrong-denom", R"~([ arg1 "not same denomination as" arg2 ])~")                                \
    X(SCRIPT, NOT_LINKED, "not-linked", "VIEW - face not linked to a window")                                               \
    X(SCRIPT, REACT_BAD_FUNC, "react-bad-func", "REACT - /LINK option requires a function! as argument")                 \
    X(SCRIPT, REACT_NOT_ENOUGH, "react-not-enough", "REACT - reactive functions must accept at least 2 arguments")        \
    X(SCRIPT, REACT_NO_MATCH, "react-no-match", "REACT - objects block length must match reaction function arg count")   \
    X(SCRIPT, REACT_BAD_OBJ, "react-bad-obj", "REACT - target can only contain object values")                          \
    X(SCRIPT, FACE_TYPE, "face-type", R"~([ "VIEW - invalid face type:" :arg1 ])~")                                       \
    X(SCRIPT, NOT_WINDOW, "not-window", "VIEW - expected a window root face")                                             \
    X(SCRIPT, BAD_WINDOW, "bad-window", "VIEW - a window face cannot be nested in another window")                             \
    X(SCRIPT, NOT_EVENT_TYPE, "not-event-type", R"~([ "VIEW - not a valid event type:" :arg1 ])~")                        \
    X(SCRIPT, VID_INVALID_SYNTAX, "vid-invalid-syntax", R"~([ "VID - invalid syntax at:" :arg1 ])~")                      \
    X(SCRIPT, RTD_INVALID_SYNTAX, "rtd-invalid-syntax", R"~([ "RTD - invalid syntax at:" :arg1 ])~")                      \
    X(SCRIPT, RTD_NO_MATCH, "rtd-no-match", R"~([ "RTD - opening/closing tag not matching for:" :arg1 ])~")              \
    X(SCRIPT, NON_ALIGNED, "non-aligned", "data is not aligned to its unit size")                                         \
    X(SCRIPT, DRAW_INVALID, "draw-invalid", R"~([ "DRAW - invalid input at:" :arg1 ])~")                                  \
    X(SCRIPT, DRAW_INFINITE, "draw-infinite", R"~([ "DRAW - infinite recursion at:" :arg1 ])~")                           \
    X(SCRIPT, PARSE_RULE, "parse-rule", R"~([ "PARSE - invalid rule or usage of rule:" :arg1 ])~")                        \
    X(SCRIPT, PARSE_END, "parse-end", R"~([ "PARSE - unexpected end of rule after:" :arg1 ])~")                           \
    X(SCRIPT, PARSE_INVALID_REF, "parse-invalid-ref", R"~([ "PARSE - get-word refers to a different series!" :arg1 ])~")  \
    X(SCRIPT, PARSE_BLOCK, "parse-block", R"~([ "PARSE - input must be of any-block! type:" :arg1 ])~")                   \
    X(SCRIPT, PARSE_UNSUPPORTED, "parse-unsupported", "PARSE - matching by datatype not supported for any-string! input") \
    X(SCRIPT, PARSE_INFINITE, "parse-infinite", R"~([ "PARSE - infinite recursion at rule: [" :arg1 "]" ])~")             \
    X(SCRIPT, PARSE_STACK, "parse-stack", "PARSE - stack limit reached")                                                  \
    X(SCRIPT, PARSE_KEEP, "parse-keep", "PARSE - KEEP is used without a wrapping COLLECT")                                \
    X(SCRIPT, PARSE_INTO_BAD, "parse-into-bad", "PARSE - COLLECT INTO/AFTER invalid series! argument")                    \
    X(SCRIPT, PARSE_INTO_TYPE, "parse-into-type", "PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype")  \
    X(SCRIPT, RB_INVALID_RECORD, "rb-invalid-record", R"~([ "invalid record:" :arg1 ])~")                                 \
    X(SCRIPT, BAD_DENOM, "bad-denom", R"~([ "invalid denomination:" :arg1 ])~")                                           \
    X(SCRIPT, INVALID_OBJ_EVT, "invalid-obj-evt", R"~([ "invalid object event handler:" :arg1 ])~")                       \
    X(MATH, ZERO_DIVIDE, "zero-divide", "attempt to divide by zero")                                                      \
    X(MATH, OVERFLOW, "overflow", "math or number overflow")                                                              \
    X(MATH, POSITIVE, "positive", "positive number required")                                                             \
    X(ACCESS, CANNOT_OPEN, "cannot-open", R"~([ "cannot open:" :arg1 ])~")                                                \
    X(ACCESS, CANNOT_CLOSE, "cannot-close", R"~([ "cannot close:" :arg1 ])~")                                             \
    X(ACCESS, INVALID_UTF8, "invalid-utf8", R"~([ "invalid UTF-8 encoding:" :arg1 ])~")                                   \
    X(ACCESS, NOT_OPEN, "not-open", R"~([ "port is not open:" :arg1 ])~")                                                 \
    X(ACCESS, NO_CONNECT, "no-connect", R"~([ "cannot connect:" :arg1 ])~")                                               \
    X(ACCESS, NO_SCHEME, "no-scheme", R"~([ "unknown scheme:" :arg1 ])~")                                                 \
    X(ACCESS, UNKNOWN_SCHEME, "unknown-scheme", R"~([ "scheme is unknown:" :arg1 ])~")                                    \
    X(ACCESS, INVALID_SPEC, "invalid-spec", R"~([ "invalid spec or options:" :arg1 ])~")                                  \
    X(ACCESS, INVALID_PORT, "invalid-port", R"~([ "invalid port object:" :arg1 ])~")                                      \
    X(ACCESS, INVALID_ACTOR, "invalid-actor", R"~([ "invalid port actor (must be handle or object):" :arg1 ])~")          \
    X(ACCESS, NO_PORT_ACTION, "no-port-action", R"~([ "this action is not supported by the port:" :arg1 ])~")             \
    X(ACCESS, NO_CREATE, "no-create", R"~([ "cannot create:" :arg1 ])~")                                                  \
    X(ACCESS, NO_CODEC, "no-codec", R"~([ "cannot decode or encode (no codec):" :arg1 ])~")                               \
    X(ACCESS, BAD_MEDIA, "bad-media", R"~([ "bad media data (corrupt image, sound, video)" ])~")                          \
    X(ACCESS, INVALID_CMD, "invalid-cmd", R"~([ "invalid port command:" :arg1 ])~")                                       \
    X(USER, MESSAGE, "message", "[ arg1 ]")                                                                               \
    X(INTERNAL, BAD_PATH, "bad-path", R"~([ "bad path:" arg1 ])~")                                                        \
    X(INTERNAL, NOT_HERE, "not-here", R"~([ arg1 "not supported on your system" ])~")                                     \
    X(INTERNAL, NO_MEMORY, "no-memory", "not enough memory")                                                              \
    X(INTERNAL, WRONG_MEM, "wrong-mem", "failed to release memory")                                                       \
    X(INTERNAL, STACK_OVERFLOW, "stack-overflow", "stack overflow")                                                       \
    X(INTERNAL, LIMIT_HIT, "limit-hit", R"~([ "internal limit reached:" :arg1 ])~")                                       \
    X(INTERNAL, TOO_DEEP, "too-deep", "block or paren series is too deep to display")                                     \
    X(INTERNAL, NO_CYCLE, "no-cycle", "circular reference not allowed")                                                   \
    X(INTERNAL, FEATURE_NA, "feature-na", "feature not available")                                                        \
    X(INTERNAL, NOT_DONE, "not-done", "reserved for future use (or not yet implemented)")                                 \
    X(INTERNAL, INVALID_ERROR, "invalid-error", R"~([ "invalid error object field value:" arg1 arg2 ])~")                 \
    X(INTERNAL, ROUTINES, "routines", "routines require compilation, from OS shell: `zem -r <script.zem>`")               \
    X(INTERNAL, ZEM_SYSTEM, "zem-system", "contains Zem/System code which requires compilation")                          \
    X(INTERNAL, DEPRECATED, "deprecated", R"~([ arg1 "is deprecated, use" arg2 "instead" ])~")

namespace errors {

// Every id's category, in table order, and the position an entry's place
// gives it.
inline constexpr uint32_t id_categories[] = {
#define X(cat, name, word, text) ERR_##cat,
    ZEM_ERRORS(X)
#undef X
};

constexpr uint32_t position_at(uint32_t index) {
    uint32_t position = 0;
    for (uint32_t i = 0; i < index; ++i) position += id_categories[i] == id_categories[index];
    return position;
}

// The ids' places in the table.
enum IdIndex : uint32_t {
#define X(cat, name, word, text) ID_##name,
    ZEM_ERRORS(X)
#undef X
    ID_COUNT
};

}  // namespace errors

namespace err {
#define X(cat, name, word, text) inline constexpr ErrorId name{ERR_##cat, errors::position_at(errors::ID_##name)};
ZEM_ERRORS(X)
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

constexpr uint32_t CATEGORY_COUNT = 0
#define X(n, name, word, title) +1
    ZEM_ERROR_CATEGORIES(X)
#undef X
    ;

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
