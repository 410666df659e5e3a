// The natives table: the language's built-in functions whose bodies are
// C++ code, each with a fixed 1-based index. Every native is declared once
// in ZEM_NATIVES below: its index, its C++ name and its word. The library
// makes each native value with `make native! [spec index]`; the Debug build
// checks at start-up that the word it sets is the native's word.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "evaluator/stack.h"

// clang-format off
// X(index, C++ name, word)
#define ZEM_NATIVES(X)                                       \
    X(1, if_, "if")                                          \
    X(2, unless, "unless")                                   \
    X(3, either, "either")                                   \
    X(4, any, "any")                                         \
    X(5, all, "all")                                         \
    X(6, while_, "while")                                    \
    X(7, until, "until")                                     \
    X(8, loop, "loop")                                       \
    X(9, repeat, "repeat")                                   \
    X(10, forever, "forever")                                \
    X(11, foreach, "foreach")                                \
    X(12, forall, "forall")                                  \
    X(13, remove_each, "remove-each")                        \
    X(14, func, "func")                                      \
    X(15, function, "function")                              \
    X(16, does, "does")                                      \
    X(17, has, "has")                                        \
    X(18, switch_, "switch")                                 \
    X(19, case_, "case")                                     \
    X(20, do_, "do")                                         \
    X(21, get, "get")                                        \
    X(22, set, "set")                                        \
    X(23, print, "print")                                    \
    X(24, prin, "prin")                                      \
    X(25, equal_q, "equal?")                                 \
    X(26, not_equal_q, "not-equal?")                         \
    X(27, strict_equal_q, "strict-equal?")                   \
    X(28, lesser_q, "lesser?")                               \
    X(29, greater_q, "greater?")                             \
    X(30, lesser_or_equal_q, "lesser-or-equal?")             \
    X(31, greater_or_equal_q, "greater-or-equal?")           \
    X(32, same_q, "same?")                                   \
    X(33, not_, "not")                                       \
    X(34, type_q, "type?")                                   \
    X(35, reduce, "reduce")                                  \
    X(36, compose, "compose")                                \
    X(37, stats, "stats")                                    \
    X(38, bind, "bind")                                      \
    X(39, in, "in")                                          \
    X(40, parse, "parse")                                    \
    X(41, union_, "union")                                   \
    X(42, intersect, "intersect")                            \
    X(43, unique, "unique")                                  \
    X(44, difference, "difference")                          \
    X(45, exclude, "exclude")                                \
    X(46, complement_q, "complement?")                       \
    X(47, dehex, "dehex")                                    \
    X(48, enhex, "enhex")                                    \
    X(49, negative_q, "negative?")                           \
    X(50, positive_q, "positive?")                           \
    X(51, max, "max")                                        \
    X(52, min, "min")                                        \
    X(53, shift, "shift")                                    \
    X(54, to_hex, "to-hex")                                  \
    X(55, sine, "sine")                                      \
    X(56, cosine, "cosine")                                  \
    X(57, tangent, "tangent")                                \
    X(58, arcsine, "arcsine")                                \
    X(59, arccosine, "arccosine")                            \
    X(60, arctangent, "arctangent")                          \
    X(61, arctangent2, "arctangent2")                        \
    X(62, nan_q, "NaN?")                                     \
    X(63, log_2, "log-2")                                    \
    X(64, log_10, "log-10")                                  \
    X(65, log_e, "log-e")                                    \
    X(66, exp, "exp")                                        \
    X(67, square_root, "square-root")                        \
    X(68, construct, "construct")                            \
    X(69, value_q, "value?")                                 \
    X(70, try_, "try")                                       \
    X(71, uppercase, "uppercase")                            \
    X(72, lowercase, "lowercase")                            \
    X(73, as_pair, "as-pair")                                \
    X(74, as_point2d, "as-point2D")                          \
    X(75, as_point3d, "as-point3D")                          \
    X(76, as_money, "as-money")                              \
    X(77, break_, "break")                                   \
    X(78, continue_, "continue")                             \
    X(79, exit_, "exit")                                     \
    X(80, return_, "return")                                 \
    X(81, throw_, "throw")                                   \
    X(82, catch_, "catch")                                   \
    X(83, extend, "extend")                                  \
    X(84, debase, "debase")                                  \
    X(85, to_local_file, "to-local-file")                    \
    X(86, wait, "wait")                                      \
    X(87, checksum, "checksum")                              \
    X(88, unset, "unset")                                    \
    X(89, new_line, "new-line")                              \
    X(90, new_line_q, "new-line?")                           \
    X(91, enbase, "enbase")                                  \
    X(92, context_q, "context?")                             \
    X(93, set_env, "set-env")                                \
    X(94, get_env, "get-env")                                \
    X(95, list_env, "list-env")                              \
    X(96, now, "now")                                        \
    X(97, sign_q, "sign?")                                   \
    X(98, as, "as")                                          \
    X(99, call, "call")                                      \
    X(100, zero_q, "zero?")                                  \
    X(101, size_q, "size?")                                  \
    X(102, browse, "browse")                                 \
    X(103, compress, "compress")                             \
    X(104, decompress, "decompress")                         \
    X(105, recycle, "recycle")                               \
    X(106, transcode, "transcode")                           \
    X(107, apply, "apply")
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

// The table of entry points by index - 1 (init allocates it).
extern NativeEntry* table;
// The entry point of an index (1-120), null when it holds none.
inline NativeEntry entry(uint32_t index) {
    if (!table || index < 1 || index > TABLE_SLOTS) return nullptr;
    return table[index - 1];
}
// The word of a native of the table (null beyond it).
const char* word_of(uint32_t index);

// The print core: forms the value (a block is reduced first) and hands the
// text to the print hooks; `newline` ends it with a line break.
[[nodiscard]] Unwind print_core(bool newline);

}  // namespace natives
