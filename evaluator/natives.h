// The natives table: the language's built-in functions whose bodies are
// C++ code, each with a fixed 1-based index. Every native is declared once
// in ZEM_NATIVES below: its index, its C++ name, its word and its spec as
// Zem source (the library makes each native value with
// `make native! [spec index]`).
#pragma once
#include <cstdint>

#include "evaluator/cell.h"
#include "evaluator/stack.h"

// clang-format off
// X(index, C++ name, word, spec)
#define ZEM_NATIVES(X)                                                                                        \
    X(1, if_, "if", "cond [any-type!] then-blk [block!]")                                                    \
    X(2, unless, "unless", "cond [any-type!] then-blk [block!]")                                             \
    X(3, either, "either", "cond [any-type!] true-blk [block!] false-blk [block!]")                          \
    X(4, any, "any", "conds [block!]")                                                                       \
    X(5, all, "all", "conds [block!]")                                                                       \
    X(6, while_, "while", "cond [block!] body [block!]")                                                     \
    X(7, until, "until", "body [block!]")                                                                    \
    X(8, loop, "loop", "count [integer! float!] body [block!]")                                              \
    X(9, repeat, "repeat", "'word [word!] value [integer! float!] body [block!]")                            \
    X(10, forever, "forever", "body [block!]")                                                               \
    X(11, foreach, "foreach", "'word [word! block!] series [series! map!] body [block!]")                    \
    X(12, forall, "forall", "'word [word!] body [block!]")                                                   \
    X(13, remove_each, "remove-each", "'word [word! block!] data [series!] body [block!]")                   \
    X(14, func, "func", "spec [block!] body [block!]")                                                       \
    X(15, function, "function", "spec [block!] body [block!] /extern")                                       \
    X(16, does, "does", "body [block!]")                                                                     \
    X(17, has, "has", "vars [block!] body [block!]")                                                         \
    X(18, switch_, "switch", "value [any-type!] cases [block!] /default case [block!]")                      \
    X(19, case_, "case", "cases [block!] /all")                                                              \
    X(20, do_, "do", "value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]") \
    X(21, get, "get", "word [any-word! any-path! object!] /any /case")                                       \
    X(22, set, "set", "word [any-word! block! object! any-path!] value [any-type!] /any /case /only /some")  \
    X(23, print, "print", "value [any-type!]")                                                               \
    X(24, prin, "prin", "value [any-type!]")                                                                 \
    X(25, equal_q, "equal?", "value1 [any-type!] value2 [any-type!]")                                        \
    X(26, not_equal_q, "not-equal?", "value1 [any-type!] value2 [any-type!]")                                \
    X(27, strict_equal_q, "strict-equal?", "value1 [any-type!] value2 [any-type!]")                          \
    X(28, lesser_q, "lesser?", "value1 [any-type!] value2 [any-type!]")                                      \
    X(29, greater_q, "greater?", "value1 [any-type!] value2 [any-type!]")                                    \
    X(30, lesser_or_equal_q, "lesser-or-equal?", "value1 [any-type!] value2 [any-type!]")                    \
    X(31, greater_or_equal_q, "greater-or-equal?", "value1 [any-type!] value2 [any-type!]")                  \
    X(32, same_q, "same?", "value1 [any-type!] value2 [any-type!]")                                          \
    X(33, not_, "not", "value [any-type!]")                                                                  \
    X(34, type_q, "type?", "value [any-type!] /word")                                                        \
    X(35, reduce, "reduce", "value [any-type!] /into out [any-block!]")                                      \
    X(36, compose, "compose", "value [block!] /deep /only /into out [any-block!]")                           \
    X(37, stats, "stats", "/show /info")                                                                     \
    X(38, bind, "bind", "word [block! any-word!] context [any-word! any-object! function!] /copy")          \
    X(39, in, "in", "object [any-object!] word [any-word!]")                                                 \
    X(40, parse, "parse", "input [binary! any-block! any-string!] rules [block!] /case /part length [number! series!] /trace callback [function!]") \
    X(41, union_, "union", "set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!]") \
    X(42, intersect, "intersect", "set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!]") \
    X(43, unique, "unique", "set [block! hash! string!] /case /skip size [integer!]")                        \
    X(44, difference, "difference", "set1 [block! hash! string! bitset! typeset! date!] set2 [block! hash! string! bitset! typeset! date!] /case /skip size [integer!]") \
    X(45, exclude, "exclude", "set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!]") \
    X(46, complement_q, "complement?", "bits [bitset!]")                                                     \
    X(47, dehex, "dehex", "value [any-string!]")                                                             \
    X(48, enhex, "enhex", "value [any-string!]")                                                             \
    X(49, negative_q, "negative?", "number [number! money! time!]")                                          \
    X(50, positive_q, "positive?", "number [number! money! time!]")                                          \
    X(51, max, "max", "value1 [scalar! series!] value2 [scalar! series!]")                                   \
    X(52, min, "min", "value1 [scalar! series!] value2 [scalar! series!]")                                   \
    X(53, shift, "shift", "data [integer!] bits [integer!] /left /logical")                                  \
    X(54, to_hex, "to-hex", "value [integer!] /size length [integer!]")                                      \
    X(55, sine, "sine", "angle [number!] /radians")                                                          \
    X(56, cosine, "cosine", "angle [number!] /radians")                                                      \
    X(57, tangent, "tangent", "angle [number!] /radians")                                                    \
    X(58, arcsine, "arcsine", "sine [number!] /radians")                                                     \
    X(59, arccosine, "arccosine", "cosine [number!] /radians")                                               \
    X(60, arctangent, "arctangent", "tangent [number!] /radians")                                            \
    X(61, arctangent2, "arctangent2", "y [number!] x [number!] /radians")                                    \
    X(62, nan_q, "NaN?", "value [number!]")                                                                  \
    X(63, log_2, "log-2", "value [number!]")                                                                 \
    X(64, log_10, "log-10", "value [number!]")                                                               \
    X(65, log_e, "log-e", "value [number!]")                                                                 \
    X(66, exp, "exp", "value [number!]")                                                                     \
    X(67, square_root, "square-root", "value [number!]")                                                     \
    X(68, construct, "construct", "block [block!] /with object [object!] /only")                             \
    X(69, value_q, "value?", "value [any-type!]")                                                            \
    X(70, try_, "try", "block [block!] /all /keep")                                                          \
    X(71, uppercase, "uppercase", "string [any-string! char!] /part limit [number! any-string!]")            \
    X(72, lowercase, "lowercase", "string [any-string! char!] /part limit [number! any-string!]")            \
    X(73, as_pair, "as-pair", "x [integer! float!] y [integer! float!]")                                     \
    X(74, as_point2d, "as-point2D", "x [integer! float!] y [integer! float!]")                               \
    X(75, as_point3d, "as-point3D", "x [integer! float!] y [integer! float!] z [integer! float!]")           \
    X(76, as_money, "as-money", "currency [word!] amount [integer! float!]")                                 \
    X(77, break_, "break", "/return value [any-type!]")                                                      \
    X(78, continue_, "continue", "")                                                                         \
    X(79, exit_, "exit", "")                                                                                 \
    X(80, return_, "return", "value [any-type!]")                                                            \
    X(81, throw_, "throw", "value [any-type!] /name word [word!]")                                           \
    X(82, catch_, "catch", "block [block!] /name word [word! block!]")                                       \
    X(83, extend, "extend", "obj [object! map!] spec [block! hash! map!] /case")                             \
    X(84, debase, "debase", "value [string!] /base base-value [integer!]")                                   \
    X(85, to_local_file, "to-local-file", "path [file! string!] /full")                                      \
    X(86, wait, "wait", "value [number! time! block! none!] /all")                                           \
    X(87, checksum, "checksum", "data [binary! string! file!] method [word!] /with spec [any-string! binary! integer!]") \
    X(88, unset, "unset", "word [block! word!]")                                                             \
    X(89, new_line, "new-line", "position [any-list!] value [logic!] /all /skip size [integer!]")            \
    X(90, new_line_q, "new-line?", "position [any-list!]")                                                   \
    X(91, enbase, "enbase", "value [binary! string!] /base base-value [integer!]")                           \
    X(92, context_q, "context?", "word [any-word!]")                                                         \
    X(93, set_env, "set-env", "var [any-string! any-word!] value [string! none!]")                           \
    X(94, get_env, "get-env", "var [any-string! any-word!]")                                                 \
    X(95, list_env, "list-env", "")                                                                          \
    X(96, now, "now", "/year /month /day /time /zone /date /weekday /yearday /precise /utc")                 \
    X(97, sign_q, "sign?", "number [number! money! time!]")                                                  \
    X(98, as, "as", "type [datatype! block! paren! path! set-path! get-path! lit-path! string! file! url! tag! email! ref!] spec [block! paren! path! set-path! get-path! lit-path! string! file! url! tag! email! ref!]") \
    X(99, call, "call", "cmd [string! file!] /wait /show /console /shell /input in [string! file! binary!] /output out [string! file! binary!] /error err [string! file! binary!]") \
    X(100, zero_q, "zero?", "value [number! money! pair! time! char! tuple!]")                               \
    X(101, size_q, "size?", "file [file!]")                                                                  \
    X(102, browse, "browse", "url [url! file!]")                                                             \
    X(103, compress, "compress", "data [any-string! binary!] method [word!]")                                \
    X(104, decompress, "decompress", "data [binary!] method [word!] /size sz [integer!]")                   \
    X(105, recycle, "recycle", "/on /off")                                                                   \
    X(106, transcode, "transcode", "src [binary! string!] /next /one /prescan /scan /part length [integer! string! binary!] /into dst [block!] /trace callback [function!]") \
    X(107, apply, "apply", "func [word! path! any-function!] args [block!] /all /safer")
// clang-format on

namespace natives {

constexpr uint32_t TABLE_SLOTS = 120;
constexpr uint32_t COUNT = 107;

// The index the next registered entry receives (108 after start-up).
extern uint32_t next_index;
// Whether the last print or prin ended with a line break.
extern bool last_lf_q;

// Stores each entry, in order, at the next index.
void register_entries(uint32_t count, const NativeEntry* list);
// Allocates the table, makes the print scratch block and registers every
// native in index order.
void init();

// The entry point of an index (1-120), null when it holds none.
NativeEntry entry(uint32_t index);
// The word and this spec source of a native of the table (null beyond it).
const char* word_of(uint32_t index);
const char* spec_of(uint32_t index);

// The print core: forms the value (a block is reduced first) and hands the
// text to the print hooks; `newline` ends it with a line break.
[[nodiscard]] Unwind print_core(bool newline);

}  // namespace natives
