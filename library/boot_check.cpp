// The check that the library's `make native!`, `make action!` and
// `make routine!` definitions name the entries the runtime's tables give
// their indexes.
#include "library/boot_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "datatypes/block.h"
#include "evaluator/actions.h"
#include "evaluator/natives.h"
#include "evaluator/symbol.h"
#include "evaluator/routines.h"
#include "runtime/print.h"
#include "runtime/sys.h"

namespace boot_check {

namespace {

const char* spelling(const Cell& word) { return symbol::text(word.symbol()); }

bool is_word(const Cell& v, const char* text) {
    return v.type() == TYPE_WORD && std::strcmp(spelling(v), text) == 0;
}

// The refinements of a spec from the first one on, with their argument
// words, as the actions table writes them ("/part length /only").
std::string refinements(const Cell& spec) {
    std::string text;
    bool started = false;
    const Cell* v = block::rs_head(&spec);
    for (uint32_t i = 0, n = block::rs_length_q(&spec); i < n; ++i) {
        if (v[i].type() == TYPE_REFINEMENT) started = true;
        if (!started || (v[i].type() != TYPE_REFINEMENT && v[i].type() != TYPE_WORD)) continue;
        if (!text.empty()) text += ' ';
        if (v[i].type() == TYPE_REFINEMENT) text += '/';
        text += spelling(v[i]);
    }
    return text;
}

// What the definition at v (a set-word, `make`, the type word, [spec index])
// says against its table; empty when they agree or v is no definition.
std::string check_definition(const Cell* v) {
    const char* kind;
    const char* (*table_word)(uint32_t);
    if (is_word(v[2], "native!")) kind = "native", table_word = natives::word_of;
    else if (is_word(v[2], "action!")) kind = "action", table_word = actions::word_of;
    else if (is_word(v[2], "routine!")) kind = "routine", table_word = routines::word_of;
    else return "";
    if (v[3].type() != TYPE_BLOCK || block::rs_length_q(&v[3]) != 2) return "";
    const Cell* args = block::rs_head(&v[3]);
    if (args[0].type() != TYPE_BLOCK || args[1].type() != TYPE_INTEGER) return "";
    int32_t index = args[1].int_value();
    std::string defined = std::string(spelling(v[0])) + ": make " + kind + "! [... " + std::to_string(index) + "]";
    const char* word = index > 0 ? table_word(static_cast<uint32_t>(index)) : nullptr;
    if (!word || !*word) return defined + ", but the " + kind + "s table has no " + kind + " " + std::to_string(index);
    if (std::strcmp(word, spelling(v[0])) != 0)
        return defined + ", but the " + kind + "s table calls " + kind + " " + std::to_string(index) + " " + word;
    if (std::strcmp(kind, "action") == 0) {
        std::string own = refinements(args[0]);
        const char* table = actions::refinements_of(static_cast<uint32_t>(index));
        if (own != table)
            return defined + " has the refinements \"" + own + "\", but the actions table gives \"" + table + "\"";
    }
    return "";
}

}  // namespace

std::string mismatch(const Cell* code) {
    Cell block = *code;
    uint32_t n = block::rs_length_q(&block);
    for (uint32_t i = 0; i < n; ++i) {
        const Cell* v = block::rs_clamp_head(&block) + i;
        if (v->type() == TYPE_BLOCK || v->type() == TYPE_PAREN) {
            std::string inner = mismatch(v);
            if (!inner.empty()) return inner;
        } else if (v->type() == TYPE_SET_WORD && i + 3 < n && is_word(v[1], "make")) {
            std::string found = check_definition(v);
            if (!found.empty()) return found;
        }
    }
    return "";
}

void check_library(const Cell* code) {
    std::string found = mismatch(code);
    if (found.empty()) return;
    sys::print_line({sys::Item::cstr("*** Internal Error: the library does not match the runtime: "),
                     sys::Item::cstr(found.c_str())});
    std::fflush(nullptr);
    sys::free_all();
    std::exit(1);
}

}  // namespace boot_check
