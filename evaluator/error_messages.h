// The messages of the error catalogue, one per error id, and the title of
// each category. A message is plain text, or Zem block source (it starts
// with "[") of strings and words naming error fields (`arg1` or `:arg1`):
// the field's value shows molded, or formed in a syntax error.
#pragma once

// X(category, id name, message)
#define ZEM_ERROR_MESSAGES(X)                                                                      \
    X(THROW, BREAK, "no loop to break")                                                            \
    X(THROW, RETURN, "return or exit not in function")                                             \
    X(THROW, THROW, R"~([ "no catch for throw:" :arg1 ])~")                                          \
    X(THROW, CONTINUE, "no loop to continue")                                                      \
    X(THROW, WHILE_COND, "BREAK/CONTINUE cannot be used in WHILE condition block")                 \
    X(NOTE, NO_LOAD, R"~([ "cannot load:" arg1 ])~")                                                 \
    X(SYNTAX, INVALID, R"~([ :arg1 "invalid" :arg2 "at" :arg3 ])~")                                          \
    X(SYNTAX, MISSING, R"~([ :arg1 "missing" :arg2 "at" :arg3 ])~")                                          \
    X(SYNTAX, NO_HEADER, R"~([ "script is missing a Zem header:" arg1 ])~")                           \
    X(SYNTAX, NO_RS_HEADER, R"~([ "system script is missing a header:" arg1 ])~")                    \
    X(SYNTAX, BAD_HEADER, R"~([ "script header is not valid:" arg1 ])~")                             \
    X(SYNTAX, MALCONSTRUCT, R"~([ :arg1 "invalid construction spec at" :arg2 ])~")                            \
    X(SYNTAX, BAD_CHAR, R"~([ :arg1 "invalid character at" :arg2 ])~")                                     \
    X(SCRIPT, NO_VALUE, R"~([ arg1 "has no value" ])~")                                              \
    X(SCRIPT, NEED_VALUE, R"~([ arg1 "needs a value" ])~")                                           \
    X(SCRIPT, NOT_DEFINED, R"~([ arg1 "word is not bound to a context" ])~")                         \
    X(SCRIPT, NOT_IN_CONTEXT, R"~([ "context for" arg1 "is not available" ])~")                      \
    X(SCRIPT, NO_ARG, R"~([ arg1 "is missing its" arg2 "argument" ])~")                              \
    X(SCRIPT, EXPECT_ARG, R"~([ arg1 "does not allow" arg2 "for its" arg3 "argument" ])~")           \
    X(SCRIPT, EXPECT_VAL, R"~([ "expected" arg1 "not" arg2 ])~")                                     \
    X(SCRIPT, EXPECT_TYPE, R"~([ arg1 "field must be of type" arg2 ])~")                             \
    X(SCRIPT, CANNOT_USE, R"~([ "cannot use" arg1 "on" arg2 "value" ])~")                            \
    X(SCRIPT, INVALID_ARG, R"~([ "invalid argument:" :arg1 ])~")                                     \
    X(SCRIPT, INVALID_TYPE, R"~([ arg1 "type is not allowed here" ])~")                              \
    X(SCRIPT, INVALID_TYPE_SPEC, R"~([ "invalid type specifier:" :arg1 ])~")                         \
    X(SCRIPT, INVALID_KEY_TYPE, R"~([ "invalid key type:" arg1 ])~")                                 \
    X(SCRIPT, INVALID_OP, R"~([ "invalid operator:" arg1 ])~")                                       \
    X(SCRIPT, NO_OP_ARG, R"~([ arg1 "operator is missing an argument" ])~")                          \
    X(SCRIPT, BAD_OP_SPEC, "making an op! requires a function with only 2 arguments")              \
    X(SCRIPT, INVALID_DATA, R"~([ "data not in correct format:" :arg1 ])~")                          \
    X(SCRIPT, INVALID_PART, R"~([ "invalid /part count:" :arg1 ])~")                                 \
    X(SCRIPT, NOT_SAME_TYPE, "values must be of the same type")                                    \
    X(SCRIPT, NOT_SAME_CLASS, R"~([ "cannot coerce" arg1 "to" arg2 ])~")                             \
    X(SCRIPT, NOT_RELATED, R"~([ "incompatible argument for" arg1 "of" arg2 ])~")                    \
    X(SCRIPT, BAD_FUNC_DEF, R"~([ "invalid function definition:" :arg1 ])~")                         \
    X(SCRIPT, BAD_FUNC_ARG, R"~([ "function argument" arg1 "is not valid" ])~")                      \
    X(SCRIPT, BAD_FUNC_EXTERN, R"~([ "invalid /extern value" :arg1 ])~")                             \
    X(SCRIPT, NO_REFINE, R"~([ arg1 "has no refinement called" arg2 ])~")                            \
    X(SCRIPT, BAD_REFINES, "incompatible or invalid refinements")                                  \
    X(SCRIPT, BAD_REFINE, R"~([ "incompatible refinement:" arg1 ])~")                                \
    X(SCRIPT, DUP_REFINE, R"~([ "duplicate refinement usage in:" arg1 ])~")                          \
    X(SCRIPT, WORD_FIRST, R"~([ "path must start with a word:" :arg1 ])~")                           \
    X(SCRIPT, EMPTY_PATH, "cannot evaluate an empty path value")                                   \
    X(SCRIPT, UNSET_PATH, R"~([ arg2 "is unset in path" :arg1 ])~")                                  \
    X(SCRIPT, INVALID_PATH, R"~([ "cannot access" arg2 "in path" :arg1 ])~")                         \
    X(SCRIPT, INVALID_PATH_SET, R"~([ "unsupported type in" :arg1 "set-path" ])~")                   \
    X(SCRIPT, INVALID_PATH_GET, R"~([ "unsupported type in" :arg1 "get-path" ])~")                   \
    X(SCRIPT, BAD_PATH_TYPE, R"~([ "path" :arg1 "is not valid for" arg2 "type" ])~")                 \
    X(SCRIPT, BAD_PATH_TYPE2, R"~([ :arg1 "is not valid for" arg2 "type" ])~")                       \
    X(SCRIPT, BAD_PATH_SET, R"~([ "cannot set" :arg2 "in path" :arg1 ])~")                           \
    X(SCRIPT, BAD_FIELD_SET, R"~([ "cannot set" arg2 "field to" arg1 "datatype" ])~")                \
    X(SCRIPT, DUP_VARS, R"~([ "duplicate variable specified:" :arg1 ])~")                            \
    X(SCRIPT, PAST_END, "out of range or past end")                                               \
    X(SCRIPT, MISSING_ARG, "missing a required argument or refinement")                            \
    X(SCRIPT, OUT_OF_RANGE, R"~([ "value out of range:" :arg1 ])~")                                  \
    X(SCRIPT, INVALID_CHARS, "contains invalid characters")                                        \
    X(SCRIPT, INVALID_COMPARE, R"~([ "cannot compare" :arg1 "with" :arg2 ])~")                       \
    X(SCRIPT, WRONG_TYPE, R"~([ "datatype assertion failed for:" arg1 ])~")                          \
    X(SCRIPT, INVALID_REFINE_ARG, R"~([ "invalid" arg1 "argument:" :arg2 ])~")                       \
    X(SCRIPT, TYPE_LIMIT, R"~([ arg1 "overflow/underflow" ])~")                                      \
    X(SCRIPT, SIZE_LIMIT, R"~([ "maximum limit reached:" :arg1 ])~")                                 \
    X(SCRIPT, NO_RETURN, "block did not return a value")                                           \
    X(SCRIPT, THROW_USAGE, "invalid use of a thrown error value")                                  \
    X(SCRIPT, LOCKED_WORD, R"~([ "protected word - cannot modify:" :arg1 ])~")                       \
    X(SCRIPT, PROTECTED, "protected value or series - cannot modify")                              \
    X(SCRIPT, BAD_BAD, R"~([ arg1 "error:" arg2 ])~")                                                \
    X(SCRIPT, BAD_MAKE_ARG, R"~([ "cannot MAKE" arg1 "from:" :arg2 ])~")                             \
    X(SCRIPT, BAD_TO_ARG, R"~([ "cannot MAKE/TO" arg1 "from:" :arg2 ])~")                            \
    X(SCRIPT, INVALID_MONTHS, "invalid month name")                                                \
    X(SCRIPT, INVALID_SPEC_FIELD, R"~([ "invalid" arg1 "field in spec block" ])~")                   \
    X(SCRIPT, MISSING_SPEC_FIELD, R"~([ arg1 "not found in spec block" ])~")                         \
    X(SCRIPT, BAD_LOOP_SERIES, R"~([ "Loop series changed to invalid value:" :arg1 ])~")             \
    X(SCRIPT, MOVE_BAD, R"~([ "cannot MOVE elements from" arg1 "to" arg2 ])~")                       \
    X(SCRIPT, TOO_LONG, "Content too long")                                                        \
    X(SCRIPT, WRONG_DENOM, R"~([ arg1 "not same denomination as" arg2 ])~")                          \
    X(SCRIPT, NOT_LINKED, "instance is not linked to a reactive source")                           \
    X(SCRIPT, REACT_BAD_FUNC, "reactive function must take exactly two arguments")                 \
    X(SCRIPT, REACT_NOT_ENOUGH, "reactive functions must accept at least 2 arguments")              \
    X(SCRIPT, REACT_NO_MATCH, "reactive source not found among the arguments")                     \
    X(SCRIPT, REACT_BAD_OBJ, "reactive source must be an object")                                  \
    X(SCRIPT, FACE_TYPE, R"~([ "VIEW - invalid face type:" :arg1 ])~")                               \
    X(SCRIPT, NOT_WINDOW, "VIEW - expected a window root face")                                    \
    X(SCRIPT, BAD_WINDOW, "VIEW - a window can only be inside a screen face")                      \
    X(SCRIPT, NOT_EVENT_TYPE, R"~([ "VIEW - not a valid event type:" :arg1 ])~")                     \
    X(SCRIPT, DRAW_INVALID, R"~([ "invalid Draw dialect input at:" :arg1 ])~")                       \
    X(SCRIPT, VID_INVALID_SYNTAX, R"~([ "invalid syntax at:" :arg1 ])~")                             \
    X(SCRIPT, RTD_INVALID_SYNTAX, R"~([ "invalid rich-text syntax:" :arg1 ])~")                      \
    X(SCRIPT, RTD_NO_MATCH, R"~([ "rich-text dialect does not match:" :arg1 ])~")                    \
    X(SCRIPT, NON_ALIGNED, "data is not aligned to its unit size")                                 \
    X(SCRIPT, DRAW_INFINITE, R"~([ "infinite loop in Draw dialect at:" :arg1 ])~")                   \
    X(SCRIPT, PARSE_RULE, R"~([ "PARSE - invalid rule or usage of rule:" :arg1 ])~")                \
    X(SCRIPT, PARSE_END, R"~([ "PARSE - unexpected end of rule after:" :arg1 ])~")                  \
    X(SCRIPT, PARSE_INVALID_REF, R"~([ "PARSE - get-word refers to a different series!" :arg1 ])~") \
    X(SCRIPT, PARSE_BLOCK, R"~([ "PARSE - input must be of any-block! type:" :arg1 ])~")            \
    X(SCRIPT, PARSE_UNSUPPORTED, "PARSE - matching by datatype not supported for any-string! input") \
    X(SCRIPT, PARSE_INFINITE, R"~([ "PARSE - infinite recursion at rule: [" :arg1 "]" ])~")         \
    X(SCRIPT, PARSE_STACK, "PARSE - stack limit reached")                                           \
    X(SCRIPT, PARSE_KEEP, "PARSE - KEEP is used without a wrapping COLLECT")                        \
    X(SCRIPT, PARSE_INTO_BAD, "PARSE - COLLECT INTO/AFTER invalid series! argument")                \
    X(SCRIPT, PARSE_INTO_TYPE, "PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype") \
    X(SCRIPT, RB_INVALID_RECORD, R"~([ "invalid record:" :arg1 ])~")                                 \
    X(SCRIPT, BAD_DENOM, R"~([ "invalid denomination:" :arg1 ])~")                                 \
    X(SCRIPT, INVALID_OBJ_EVT, R"~([ "invalid object event handler:" :arg1 ])~")                     \
    X(MATH, ZERO_DIVIDE, "attempt to divide by zero")                                              \
    X(MATH, OVERFLOW, "math or number overflow")                                                   \
    X(MATH, POSITIVE, "positive number required")                                                  \
    X(ACCESS, CANNOT_OPEN, R"~([ "cannot open:" :arg1 ])~")                                          \
    X(ACCESS, CANNOT_CLOSE, R"~([ "cannot close:" :arg1 ])~")                                        \
    X(ACCESS, INVALID_UTF8, R"~([ "invalid UTF-8 encoding:" :arg1 ])~")                              \
    X(ACCESS, NOT_OPEN, R"~([ "port is not open:" :arg1 ])~")                                        \
    X(ACCESS, NO_CONNECT, R"~([ "cannot connect:" :arg1 ])~")                                        \
    X(ACCESS, NO_SCHEME, R"~([ "unknown scheme:" :arg1 ])~")                                         \
    X(ACCESS, UNKNOWN_SCHEME, R"~([ "scheme is unknown:" :arg1 ])~")                                 \
    X(ACCESS, INVALID_SPEC, R"~([ "invalid spec or options:" :arg1 ])~")                             \
    X(ACCESS, INVALID_PORT, R"~([ "invalid port object:" :arg1 ])~")                                 \
    X(ACCESS, INVALID_ACTOR, R"~([ "invalid port actor (must be handle or object):" :arg1 ])~")      \
    X(ACCESS, NO_PORT_ACTION, R"~([ "this action is not supported by the port:" :arg1 ])~")         \
    X(ACCESS, NO_CREATE, R"~([ "cannot create:" :arg1 ])~")                                          \
    X(ACCESS, NO_CODEC, R"~([ "cannot decode or encode (no codec):" :arg1 ])~")                      \
    X(ACCESS, BAD_MEDIA, R"~([ "bad media data (corrupt image, sound, video)" ])~")                  \
    X(ACCESS, INVALID_CMD, R"~([ "invalid port command:" :arg1 ])~")                                 \
    X(USER, MESSAGE, "[ arg1 ]")                                                                   \
    X(INTERNAL, BAD_PATH, R"~([ "bad path:" arg1 ])~")                                               \
    X(INTERNAL, NOT_HERE, R"~([ arg1 "not supported on your system" ])~")                            \
    X(INTERNAL, NO_MEMORY, "not enough memory")                                                    \
    X(INTERNAL, WRONG_MEM, "failed to release memory")                                             \
    X(INTERNAL, STACK_OVERFLOW, "stack overflow")                                                  \
    X(INTERNAL, LIMIT_HIT, R"~([ "internal limit reached:" :arg1 ])~")                               \
    X(INTERNAL, TOO_DEEP, "block or paren series is too deep to display")                          \
    X(INTERNAL, NO_CYCLE, "circular reference not allowed")                                        \
    X(INTERNAL, FEATURE_NA, "feature not available")                                               \
    X(INTERNAL, NOT_DONE, "reserved for future use (or not yet implemented)")                      \
    X(INTERNAL, INVALID_ERROR, R"~([ "invalid error object field value:" arg1 arg2 ])~")             \
    X(INTERNAL, ROUTINES, "routines require compilation, from OS shell: `zem -r <script.zem>`")    \
    X(INTERNAL, ZEM_SYSTEM, "contains Zem/System code which requires compilation")                 \
    X(INTERNAL, DEPRECATED, R"~([ arg1 "is deprecated, use" arg2 "instead" ])~")

// X(category, title)
#define ZEM_ERROR_TITLES(X)      \
    X(THROW, "Throw Error")      \
    X(NOTE, "Note")              \
    X(SYNTAX, "Syntax Error")    \
    X(SCRIPT, "Script Error")    \
    X(MATH, "Math Error")        \
    X(ACCESS, "Access Error")    \
    X(RESERVED1, "Reserved1")    \
    X(RESERVED2, "Reserved2")    \
    X(USER, "User Error")        \
    X(INTERNAL, "Internal Error")
