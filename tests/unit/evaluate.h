// Runs Zem code for the tests and benchmarks: the text scanned by the
// lexer, evaluated with no guard of its own; the molded and formed text of
// a value; the library's start-up and the global words. Used by the unit
// tests, the language runner and bench/.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "app/runtime.h"
#include "app/top_level.h"
#include "evaluator/context.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "runtime/unicode.h"
#include "services/lexer/lexer.h"

namespace test_eval {

// Starts the runtime as the program does, the library not yet booted.
inline void start() {
    runtime::machine_start(0, nullptr);
    runtime::init();
    memory::starting = 0;
}

// The real start-up: the library image is loaded and evaluated.
inline void boot() { top_level::run(); }

// Scans the code into a block pushed on the value stack (kept there so the
// collector sees it); answers a copy of the block cell.
inline Cell read(const std::string& code) {
    Cell* slot = stack::push_slot();
    *slot = Cell{TYPE_NONE, 0, 0, 0};
    uint32_t consumed = 0;
    lexer::scan(slot, reinterpret_cast<const uint8_t*>(code.data()), static_cast<uint32_t>(code.size()), false,
                false, false, &consumed);
    return *slot;
}

namespace detail {

// Evaluates the code into *value; false when a non-local exit (break,
// return, throw...) left it. Errors come out as ErrorThrown.
inline bool eval(const std::string& code, Cell* value) {
    Cell blk = read(code);
    stack::mark_native(nullptr);
    if (interpreter::eval(&blk, true) != Unwind::none) return false;
    *value = *stack::arguments;
    stack::unwind();
    return true;
}

}  // namespace detail

// Evaluates the code; answers its value. An error comes out as the
// ErrorThrown (the stacks as the error left them), a non-local exit out of
// the code as std::runtime_error.
inline Cell run(const std::string& code) {
    Cell* top = stack::top;
    Cell value{TYPE_UNSET, 0, 0, 0};
    if (!detail::eval(code, &value)) throw std::runtime_error("non-local exit at top level");
    stack::top = top;
    return value;
}

// Evaluates the code as the program's top level does, with no guard at all:
// an error reaches the caller as ErrorThrown, a non-local exit is dropped.
// For child processes.
inline void eval_top_level(const std::string& code) {
    Cell blk = read(code);
    stack::mark_native(nullptr);
    (void)interpreter::eval(&blk, true);
}

struct Result {
    enum Kind { value, error, exit } kind = value;
    Cell cell{TYPE_UNSET, 0, 0, 0};  // the value, for kind value
    std::string error_id;            // for kind error ("?" when the id has no word)
};

// Evaluates the code; the stacks (the cycle stack too, as `try` does) are
// put back afterwards, whatever way the code ended.
inline Result evaluate(const std::string& code) {
    Cell* top = stack::top;
    Cell* args = stack::arguments;
    stack::Frame* ctop = stack::ctop;
    uint32_t cycles_at = cycles::size();
    Result out;
    try {
        if (!detail::eval(code, &out.cell)) out.kind = Result::exit;
    } catch (const ErrorThrown& e) {
        out.kind = Result::error;
        out.error_id = errors::id_word(e.id) ? errors::id_word(e.id) : "?";
    }
    if (cycles::size() > cycles_at) cycles::pop_n(cycles::size() - cycles_at);
    stack::top = top;
    stack::arguments = args;
    stack::ctop = ctop;
    return out;
}

// The id of the error the code raises, "" when none, "<non-local exit>"
// when the code leaves through one.
inline std::string error_of(const std::string& code) {
    Result r = evaluate(code);
    if (r.kind == Result::exit) return "<non-local exit>";
    return r.kind == Result::error ? r.error_id : "";
}

// The text of a string! as UTF-8.
inline std::string text_of(const Cell* str) {
    std::string s;
    uint32_t n = string::rs_length_q(str);
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t bytes[4];
        uint32_t k = unicode::encode_utf8_char(string::rs_abs_at(str, str->head() + i), bytes);
        s.append(reinterpret_cast<const char*>(bytes), k);
    }
    return s;
}

// The mold of the value (with all, mold/all).
inline std::string molded(const Cell& v, bool all = false) {
    Cell value = v;
    Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
    actions::mold(&value, buffer, false, all, false, nullptr, INT32_MAX, 0);
    std::string s = text_of(buffer);
    stack::pop(1);
    return s;
}

inline std::string formed(const Cell& v) {
    Cell value = v;
    Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
    actions::form(&value, buffer, nullptr, INT32_MAX);
    std::string s = text_of(buffer);
    stack::pop(1);
    return s;
}

// What the code gave, as the language tests write it: the mold of its value
// ("unset" for no value), "error " and the error's id, or "<non-local exit>".
inline std::string outcome(const Result& r) {
    if (r.kind == Result::exit) return "<non-local exit>";
    if (r.kind == Result::error) return "error " + r.error_id;
    return r.cell.type() == TYPE_UNSET ? "unset" : molded(r.cell);
}
inline std::string outcome(const std::string& code) { return outcome(evaluate(code)); }

// ---- Global words ---------------------------------------------------------------------

inline Cell global_word(const char* name) {
    Cell w{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol::make(name), &w);
    return w;
}

inline void set_global(const char* name, const Cell& value) {
    Cell w = global_word(name);
    Cell v = value;
    context::set(&w, &v);
}

inline Cell get_global(const char* name) {
    Cell w = global_word(name);
    return *context::get(&w);
}

}  // namespace test_eval
