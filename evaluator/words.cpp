// The fixed runtime words, made once at start-up.
#include "evaluator/words.h"

#include "evaluator/symbol.h"
#include "evaluator/word_storage.h"
#include "runtime/collector.h"

namespace words {

namespace sym {
#define X(name, text) uint32_t name = 0;
ZEM_FIXED_SYMBOLS(X)
#undef X
}  // namespace sym

#define X(name) Cell name{};
ZEM_FIXED_SYMBOL_WORDS(X)
#undef X
#define S(name) Cell name{};
#define X(name, text) S(name)
ZEM_FIXED_WORDS(X, S)
#undef X
#undef S

namespace ref {
#define X(name, text) Cell name{};
ZEM_FIXED_REFINEMENTS(X)
#undef X
}  // namespace ref

Cell issue_ooo{};

namespace {

// The fixed words and the issue are C++ copies bound to the global
// context: the collector rewrites their context handle when the context
// moves.
void mark_words() {
#define X(name) \
    if (name.data1) collector::mark_context(&name.data1);
    ZEM_FIXED_SYMBOL_WORDS(X)
#undef X
#define S(name) \
    if (name.data1) collector::mark_context(&name.data1);
#define X(name, text) S(name)
    ZEM_FIXED_WORDS(X, S)
#undef X
#undef S
    if (issue_ooo.data1) collector::mark_context(&issue_ooo.data1);
}

}  // namespace

void build() {
    collector::register_mark_callback(mark_words);
#define X(name, text) sym::name = symbol::make(text);
    ZEM_FIXED_SYMBOLS(X)
#undef X
#define X(name) name = *word::make_global(sym::name);
    ZEM_FIXED_SYMBOL_WORDS(X)
#undef X
#define X(name, text) name = *word::load(text);
#define S(name) name = *word::load(symbol::text(sym::name));
    ZEM_FIXED_WORDS(X, S)
#undef X
#undef S
}

void build_refinements() {
#define X(name, text) ref::name = *refinement::make_root(text);
    ZEM_FIXED_REFINEMENTS(X)
#undef X
}

void build_issues() { issue_ooo = *issue::load("ooo"); }

}  // namespace words
