// A small reader of Zem code for tests and benchmarks written before the
// lexer: integers, strings, words, set-words, get-words, lit-words,
// refinements, paths, blocks and parens. Also the start-up helper (the real
// library boot) and a maker of test-only natives and actions.
#pragma once
#include <cctype>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/native.h"
#include "datatypes/string.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "app/top_level.h"

namespace mini {

inline Cell word_cell(const std::string& text, uint32_t type) {
    Cell w{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol::make(text.c_str()), &w);
    set_type(&w, type);
    return w;
}

class Reader {
public:
    explicit Reader(const std::string& text) : s_(text) {}

    // Reads everything into a new block pushed on the value stack (kept
    // there so the collector sees it); answers a copy of the block cell.
    Cell read_all() {
        Cell* blk = block::make_at(stack::push_slot(), 8);
        Cell b = *blk;
        read_into(&b, '\0');
        return b;
    }

private:
    const std::string& s_;
    size_t i_ = 0;

    static bool delimiter(char c) {
        return c == 0 || std::isspace(static_cast<unsigned char>(c)) || c == '[' || c == ']' || c == '(' ||
               c == ')' || c == '"' || c == ';';
    }

    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }

    void read_into(Cell* blk, char close) {
        for (;;) {
            while (std::isspace(static_cast<unsigned char>(peek()))) ++i_;
            char c = peek();
            if (c == ';') {
                while (peek() && peek() != '\n') ++i_;
                continue;
            }
            if (c == '\0') {
                if (close) throw std::runtime_error("missing close");
                return;
            }
            if (c == close) {
                ++i_;
                return;
            }
            if (c == ']' || c == ')') throw std::runtime_error("unexpected close");
            Cell v = read_value();
            block::rs_append(blk, &v);
        }
    }

    Cell read_value() {
        char c = peek();
        if (c == '[' || c == '(') {
            ++i_;
            Cell* inner = block::make_at(stack::push_slot(), 4);
            Cell b = *inner;
            read_into(&b, c == '[' ? ']' : ')');
            if (c == '(') set_type(&b, TYPE_PAREN);
            return b;
        }
        if (c == '"') {
            ++i_;
            size_t start = i_;
            while (peek() && peek() != '"') ++i_;
            std::string text = s_.substr(start, i_ - start);
            ++i_;
            Cell* str = string::rs_make_at(stack::push_slot(), static_cast<uint32_t>(text.size()));
            string::concatenate_literal(str, text.c_str());
            return *str;
        }
        size_t start = i_;
        while (!delimiter(peek())) ++i_;
        std::string tok = s_.substr(start, i_ - start);
        return token(tok);
    }

    Cell token(const std::string& tok) {
        bool digits = !tok.empty();
        for (size_t k = (tok[0] == '-' && tok.size() > 1) ? 1 : 0; k < tok.size(); ++k)
            digits = digits && std::isdigit(static_cast<unsigned char>(tok[k]));
        if (digits) return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(std::stol(tok)), 0};
        if (tok == "/" || tok == "//") return word_cell(tok, TYPE_WORD);
        if (tok[0] == '/') return word_cell(tok.substr(1), TYPE_REFINEMENT);
        if (tok[0] == '\'' ) return path_or_word(tok.substr(1), TYPE_LIT_WORD, TYPE_LIT_PATH);
        if (tok[0] == ':') return path_or_word(tok.substr(1), TYPE_GET_WORD, TYPE_GET_PATH);
        if (tok.back() == ':') return path_or_word(tok.substr(0, tok.size() - 1), TYPE_SET_WORD, TYPE_SET_PATH);
        return path_or_word(tok, TYPE_WORD, TYPE_PATH);
    }

    Cell path_or_word(const std::string& tok, uint32_t word_type, uint32_t path_type) {
        size_t slash = tok.find('/');
        if (slash == std::string::npos || slash == 0) return word_cell(tok, word_type);
        Cell* p = block::make_at(stack::push_slot(), 4);
        Cell path = *p;
        size_t start = 0;
        for (;;) {
            size_t end = tok.find('/', start);
            std::string part = tok.substr(start, end == std::string::npos ? std::string::npos : end - start);
            Cell el = token(part);
            block::rs_append(&path, &el);
            if (end == std::string::npos) break;
            start = end + 1;
        }
        set_type(&path, path_type);
        return path;
    }
};

// Reads the text into a block (pushed on the value stack).
inline Cell read(const std::string& text) { return Reader(text).read_all(); }

inline void set_global(const char* name, const Cell& value) {
    Cell w = word_cell(name, TYPE_WORD);
    Cell v = value;
    context::set(&w, &v);
}

inline Cell get_global(const char* name) {
    Cell w = word_cell(name, TYPE_WORD);
    return *context::get(&w);
}

// ---- Test callables ------------------------------------------------------------------

// Makes `make native! [spec index]` and binds it to the word.
inline Cell make_native(uint32_t type, const char* word, const std::string& spec, int32_t index) {
    Cell* arg = block::make_at(stack::push_slot(), 2);
    Cell a = *arg;
    Cell s = read(spec);
    block::rs_append(&a, &s);
    Cell i{TYPE_INTEGER, 0, static_cast<uint32_t>(index), 0};
    block::rs_append(&a, &i);
    Cell proto;
    datatype::make_at(&proto, type);
    Cell* slot = stack::push(&proto);
    actions::make(slot, &a);
    Cell v = *slot;
    if (word) set_global(word, v);
    return v;
}

inline void make_op(const char* name, const Cell& source) {
    Cell proto;
    datatype::make_at(&proto, TYPE_OP);
    Cell* slot = stack::push(&proto);
    Cell src = source;
    actions::make(slot, &src);
    set_global(name, *slot);
}

// The real start-up: the library image is loaded and evaluated.
inline void boot() { top_level::run(); }

// Evaluates the code under a try frame of the test's own; answers the
// value, or throws the ErrorThrown out of it.
inline Cell run(const std::string& code) {
    Cell* saved_top = stack::top;
    Cell blk = read(code);
    stack::mark_native(nullptr);
    Unwind u = interpreter::eval(&blk, true);
    if (u != Unwind::none) throw std::runtime_error("non-local exit at top level");
    Cell r = *stack::arguments;
    stack::unwind();
    stack::top = saved_top;
    return r;
}

// Runs the code as `run` does; answers the seconds it took (benchmarks).
inline double timed(const std::string& code, Cell* result) {
    auto t0 = std::chrono::steady_clock::now();
    *result = run(code);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace mini
