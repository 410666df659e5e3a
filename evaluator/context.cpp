// Contexts: making them, their words and values, and binding blocks to them.
#include "evaluator/context.h"

#include <cstring>
#include <vector>

#include "evaluator/callable_cells.h"
#include "evaluator/cycles.h"
#include "evaluator/datatype_registry.h"
#include "evaluator/errors.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/hashtable.h"
#include "runtime/typesets.h"

namespace context {

Node global = 0;
Node library = 0;
void (*fire_on_change_hook)(Cell* owner, Cell* word, Cell* old_value, Cell* new_value) = nullptr;

// ---- The context's parts --------------------------------------------------------

Node table_of(Node ctx) { return cell_of(ctx)->data1; }
Node words_of(Node ctx) { return static_cast<Node>(hashtable::record(table_of(ctx))->block); }
uint32_t word_count(Node ctx) { return memory::buffer(words_of(ctx))->count(); }

Cell* word_at(Node ctx, uint32_t i) {
    return reinterpret_cast<Cell*>(memory::buffer(words_of(ctx))->offset_addr()) + i;
}

Node values_of(Node ctx) { return on_stack_q(ctx) ? 0 : cell_of(ctx)->data2; }

namespace {

// Grows or cuts the values of a heap context to n cells (new ones unset!).
void set_values_length(Node ctx, uint32_t n) {
    Node values = cell_of(ctx)->data2;
    SeriesBuffer* s = memory::buffer(values);
    while (s->count() < n) {
        alloc_series_tail(s);
        s = memory::buffer(values);
    }
    s->tail = s->offset + n * static_cast<uint32_t>(sizeof(Cell));
    ++memory::moves;  // a cut leaves cells past the tail that a cached address may name
}

// Appends an unset! value to a heap context.
void append_value(Node ctx) {
    if (on_stack_q(ctx)) return;
    alloc_series_tail(memory::buffer(cell_of(ctx)->data2));
}

// A cell series of a block value, from its index: first cell and count.
uint32_t cells_of(const Cell* block, Cell** first) {
    SeriesBuffer* s = series_of(block);
    uint32_t n = s->count();
    *first = reinterpret_cast<Cell*>(s->offset_addr()) + block->head();
    return block->head() < n ? n - block->head() : 0;
}

}  // namespace

// ---- Making contexts ------------------------------------------------------------------

Node create(uint32_t slots, bool on_stack, bool self, Node source, uint32_t kind) {
    if (slots == 0) slots = 1;
    Node table;
    if (source) {
        Cell src = *cell_of(source);
        table = hashtable::init(slots, &src, hashtable::KIND_WORDS, 2);
    } else {
        table = hashtable::init(slots, nullptr, hashtable::KIND_WORDS, 1);
    }
    Node values = on_stack ? 0 : memory::alloc_unset_cells(slots);
    Node ctx = memory::alloc_cells(2);
    SeriesBuffer* s = memory::buffer(ctx);
    auto* cells = reinterpret_cast<Cell*>(s->offset_addr());
    cells[0] = Cell{TYPE_CONTEXT | (kind << KIND_SHIFT) | (on_stack ? FLAG_CTX_ON_STACK : 0) |
                        (self ? FLAG_CTX_SELF : 0),
                    table, values, 0};
    cells[1] = Cell{TYPE_UNSET, 0, 0, 0};
    s->tail = s->offset + 2 * static_cast<uint32_t>(sizeof(Cell));
    return ctx;
}

Node make(const Cell* spec, bool on_stack, bool self, uint32_t kind) {
    Cell* first;
    uint32_t n = cells_of(spec, &first);
    Node ctx = create(n, on_stack, self, 0, kind);
    for (uint32_t i = 0; i < n; ++i) {
        cells_of(spec, &first);  // this spec may have moved
        const Cell* c = first + i;
        if (!in(ARG_WORD, c->type())) continue;
        int32_t position;
        find_word(ctx, c->symbol(), true, &position);
    }
    // One value per word: case variants of a spelling make one word.
    if (!on_stack) set_values_length(ctx, word_count(ctx));
    return ctx;
}

// ---- Words ------------------------------------------------------------------------------

int32_t find_symbol(Node ctx, uint32_t symbol, bool case_insensitive) {
    int32_t position = -1;
    return hashtable::find_ctx_word(table_of(ctx), symbol, case_insensitive, 0, &position);
}

int32_t find_word(Node ctx, uint32_t symbol, bool case_insensitive, int32_t* position) {
    return hashtable::find_ctx_word(table_of(ctx), symbol, case_insensitive, ctx, position);
}

int32_t add_word(Node ctx, const Cell* word) {
    int32_t position;
    int32_t found = find_word(ctx, word->symbol(), true, &position);
    if (found >= 0) return found;
    append_value(ctx);
    return position;
}

Cell* add_value(Node ctx, const Cell* word, const Cell* value) {
    int32_t position;
    Cell v = *value;
    if (find_word(ctx, word->symbol(), true, &position) >= 0) return nullptr;
    if (on_stack_q(ctx)) return nullptr;
    return copy_cell(&v, alloc_series_tail(memory::buffer(cell_of(ctx)->data2)));
}

void put(Node ctx, const Cell* word, const Cell* value) {
    Cell v = *value;
    int32_t position;
    int32_t found = find_word(ctx, word->symbol(), true, &position);
    if (found >= 0) {
        if (Cell* slot = value_at(ctx, static_cast<uint32_t>(found))) *slot = v;
        return;
    }
    if (!on_stack_q(ctx)) copy_cell(&v, alloc_series_tail(memory::buffer(cell_of(ctx)->data2)));
}

bool collect_set_words(Node ctx, const Cell* block) {
    Cell* first;
    uint32_t n = cells_of(block, &first);
    uint32_t before = word_count(ctx);
    for (uint32_t i = 0; i < n; ++i) {
        cells_of(block, &first);
        Cell w = first[i];
        if (w.type() == TYPE_SET_WORD) add_word(ctx, &w);
    }
    return word_count(ctx) > before;
}

Cell* add_global(uint32_t symbol, bool case_insensitive, bool respell) {
    int32_t position;
    int32_t found = find_word(global, symbol, case_insensitive, &position);
    if (found >= 0) {
        Cell* w = word_at(global, static_cast<uint32_t>(found));
        if (case_insensitive && respell && w->symbol() != symbol) {
            Cell copy = *w;
            copy.data2 = symbol;
            return copy_cell(&copy, alloc_tail(&memory::root_block));
        }
        return w;
    }
    // Case variants of a global word share the slot of the first spelling.
    if (symbol::alias_of(symbol) > 0) {
        int32_t shared = find_symbol(global, symbol, true);
        if (shared >= 0) word_at(global, static_cast<uint32_t>(position))->data3 = static_cast<uint32_t>(shared);
    }
    append_value(global);
    return word_at(global, static_cast<uint32_t>(position));
}

Cell* word_of_symbol(Node ctx, uint32_t symbol) {
    int32_t i = find_symbol(ctx, symbol, false);
    if (i >= 0) return word_at(ctx, static_cast<uint32_t>(i));
    return add_global(symbol, false, false);
}

// ---- Reading and writing values -----------------------------------------------------------

Cell* get_in(const Cell* word, Node ctx) {
    if (ctx == 0) fire(err::NOT_DEFINED, word);
    int32_t index = word->index();
    if (index < 0) {
        if (symbol::resolve(word->symbol()) == symbol::resolve(words::sym::self) && word->ctx())
            return self_of(word->ctx());
        fire(err::NO_VALUE, word);
    }
    if (cell_of(ctx)->data2 == 0) fire(err::NOT_IN_CONTEXT, word);
    if (!on_stack_q(ctx) && static_cast<uint32_t>(index) >= memory::buffer(cell_of(ctx)->data2)->count())
        fire(err::NO_VALUE, word);
    return value_at(ctx, static_cast<uint32_t>(index));
}


Cell* set_in(Cell* word, const Cell* value, Node ctx, bool notify) {
    if (ctx == 0) fire(err::NOT_DEFINED, word);
    Cell v = *value;
    if (word->index() < 0) {
        int32_t index = find_symbol(ctx, word->symbol(), false);
        if (index < 0) {
            Cell w = *word;
            index = add_word(ctx, &w);
        }
        word->data3 = static_cast<uint32_t>(index);
    }
    uint32_t index = static_cast<uint32_t>(word->index());
    if (cell_of(ctx)->data2 == 0) fire(err::NOT_DEFINED, word);
    if (kind_of(ctx) == KIND_OBJECT && !on_stack_q(ctx)) {
        word_at(ctx, index)->header |= FLAG_FIELD_WRITTEN;
        Cell owner = *self_of(ctx);
        if (notify && owner.data3 != 0 && fire_on_change_hook) {
            Cell* saved = stack::top;
            Cell* old = stack::push(value_at(ctx, index));
            *value_at(ctx, index) = v;
            Cell w = *word;
            fire_on_change_hook(&owner, &w, old, &v);
            stack::top = saved;
            return value_at(ctx, index);
        }
    }
    Cell* slot = value_at(ctx, index);
    *slot = v;
    return slot;
}

Cell* set(Cell* word, const Cell* value) { return set_in(word, value, word->ctx(), true); }

// ---- Binding ---------------------------------------------------------------------------------

int32_t bind_word(Node ctx, Cell* word) {
    int32_t i = find_symbol(ctx, word->symbol(), true);
    if (i >= 0) {
        word->data1 = ctx;
        word->data3 = static_cast<uint32_t>(i);
    }
    return i;
}

namespace {

// Calls visit on each cell of the block from its index that is not a block,
// paren, path or hash!, and goes into those (a block met again on the way
// down is not entered again).
template <typename Visit>
void visit_deep(const Cell* block, const Visit& visit) {
    Node node = block->node();
    if (cycles::find_q(node)) return;
    cycles::push(node);
    memory::cells_changed(memory::buffer(node));
    Cell* first;
    uint32_t n = cells_of(block, &first);
    for (uint32_t i = 0; i < n; ++i) {
        Cell* c = first + i;
        switch (c->type()) {
            case TYPE_BLOCK:
            case TYPE_PAREN:
            case TYPE_PATH:
            case TYPE_LIT_PATH:
            case TYPE_SET_PATH:
            case TYPE_GET_PATH:
            case TYPE_HASH: visit_deep(c, visit); break;
            default: visit(c); break;
        }
    }
    cycles::pop();
}

}  // namespace

Cell* bind(Cell* block, Node ctx, bool self) {
    uint32_t self_symbol = symbol::resolve(words::sym::self);
    visit_deep(block, [&](Cell* c) {
        switch (c->type()) {
            case TYPE_WORD:
                if (self && symbol::resolve(c->symbol()) == self_symbol) {
                    c->data1 = ctx;
                    c->data3 = static_cast<uint32_t>(-1);
                    break;
                }
                [[fallthrough]];
            case TYPE_SET_WORD:
            case TYPE_GET_WORD:
            case TYPE_LIT_WORD:
            case TYPE_REFINEMENT: bind_word(ctx, c); break;
            default: break;
        }
    });
    return block;
}

Node of_arguments(const Cell* v) {
    uint32_t source = native::source_type(v);
    if (v->type() == TYPE_OP && (source == TYPE_FUNCTION || source == TYPE_ROUTINE)) return v->data1;
    if (source != TYPE_NATIVE && source != TYPE_ACTION) return 0;
    Node more = v->data3;
    Node ctx = memory::alloc_cells(2);
    SeriesBuffer* s = memory::buffer(ctx);
    auto* cells = reinterpret_cast<Cell*>(s->offset_addr());
    cells[0] = reinterpret_cast<Cell*>(memory::buffer(more)->offset_addr())[native::MORE_CONTEXT];
    cells[1] = *v;
    s->tail = s->offset + 2 * static_cast<uint32_t>(sizeof(Cell));
    return ctx;
}

namespace {

// The library's context: the global context's words and values as they are
// now.
void copy_global() {
    uint32_t n = memory::buffer(values_of(global))->count();
    // Its own word table, sized for these words (a copy of the global one
    // would copy all its room for growth too), words in the same order.
    Node lib = create(n, false, false, 0, KIND_GLOBAL);
    for (uint32_t i = 0; i < n; ++i) {
        Cell w = *word_at(global, i);
        int32_t position;
        if (find_word(lib, w.symbol(), false, &position) >= 0 || position != static_cast<int32_t>(i)) break;
        word_at(lib, i)->data3 = w.data3;  // case variants share a value
    }
    set_values_length(lib, n);
    std::memcpy(value_at(lib, 0), value_at(global, 0), n * sizeof(Cell));
    *self_of(lib) = *self_of(global);
    library = lib;
}

// The library's code looks up the global words it uses (append, mold, try,
// system, ...) as it runs; a user who sets one of them must not break the
// library or the console. So, as compiled code would, the library keeps
// using the values it was built with: the global context is copied into
// the library context, and every word! and get-word! of the library's code
// that is bound to the global context is bound to the copy instead. The
// code is what the global values reach: function bodies, the type blocks of
// function specs, and the blocks held by words, objects, hash! and map!
// values (an object is shared, only the word naming it is not). Left
// global: a word whose value is still unset (for user code to define), and
// a word that the library's code assigns with a set-word, which user code
// must see (its copy is unset). Words made later from data (load, to word!)
// are global as usual.
class LibraryBinder {
public:
    explicit LibraryBinder(uint32_t count) : assigned_(count, false) {
        words_.reserve(4 * count);
        first_visit(global);
    }

    // How a value was met: in a block (code), or held by a word, a field, a
    // hash! or a map! (data: a word there is left as it is).
    enum Met { CODE, DATA };

    void value(Cell* c, Met met) {
        switch (c->type()) {
            case TYPE_WORD:
            case TYPE_GET_WORD:
                if (met == CODE && c->ctx() == global && c->index() >= 0) words_.push_back(c);
                break;
            case TYPE_SET_WORD:
                if (met == CODE && c->ctx() == global && c->index() >= 0 &&
                    static_cast<uint32_t>(c->index()) < assigned_.size())
                    assigned_[static_cast<uint32_t>(c->index())] = true;
                break;
            case TYPE_BLOCK:
            case TYPE_PAREN:
            case TYPE_PATH:
            case TYPE_LIT_PATH:
            case TYPE_SET_PATH:
            case TYPE_GET_PATH: cells(c->node(), CODE, false); break;
            case TYPE_HASH:
            case TYPE_MAP: cells(c->node(), DATA, false); break;
            case TYPE_OBJECT:
            case TYPE_ERROR:
            case TYPE_PORT: {
                Node ctx = c->ctx();
                if (ctx && !on_stack_q(ctx) && first_visit(ctx)) cells(values_of(ctx), DATA, false);
                break;
            }
            case TYPE_NATIVE:
            case TYPE_ACTION:
            case TYPE_FUNCTION:
            case TYPE_ROUTINE:
            case TYPE_OP: {
                cells(c->data2, CODE, true);
                uint32_t source = native::source_type(c);
                if (source == TYPE_FUNCTION || source == TYPE_ROUTINE)
                    value(function::more(c, function::MORE_BODY), DATA);
                break;
            }
            default: break;
        }
    }

    // Binds the words found to the library's context, but those assigned.
    void finish() {
        for (uint32_t i = 0; i < assigned_.size(); ++i)
            if (assigned_[i]) *value_at(library, i) = Cell{TYPE_UNSET, 0, 0, 0};
        for (Cell* w : words_) bind_library_word(w);
    }

private:
    // The cells of a series, each met as said; of a spec, only its nested
    // blocks (the argument words are names, not code). A series is walked
    // once.
    void cells(Node node, Met met, bool spec) {
        if (!node || !first_visit(node)) return;
        SeriesBuffer* s = memory::buffer(node);
        if (met == CODE) memory::cells_changed(s);  // its words may be bound to the library below
        auto* first = reinterpret_cast<Cell*>(s->offset_addr());
        for (uint32_t i = 0, n = s->count(); i < n; ++i)
            if (!spec || first[i].type() == TYPE_BLOCK) value(first + i, met);
    }

    // Whether the node (a series or a context) is met for the first time:
    // an open-addressed set of the nodes met (0 marks a free place).
    bool first_visit(Node node) {
        if (2 * (seen_count_ + 1) > seen_.size()) {
            std::vector<Node> old(seen_.size() ? 2 * seen_.size() : 4096, 0);
            old.swap(seen_);
            seen_count_ = 0;
            for (Node n : old)
                if (n) first_visit(n);
        }
        size_t mask = seen_.size() - 1;
        for (size_t i = (node * 2654435761u) & mask;; i = (i + 1) & mask) {
            if (seen_[i] == node) return false;
            if (seen_[i] == 0) {
                seen_[i] = node;
                ++seen_count_;
                return true;
            }
        }
    }

    std::vector<Node> seen_;         // series and contexts walked
    size_t seen_count_ = 0;
    std::vector<Cell*> words_;       // global words met (nothing moves meanwhile)
    std::vector<bool> assigned_;     // by global index: set by a set-word
};

}  // namespace

void make_library() {
    copy_global();
    // Nothing below allocates: the cells met stay where they are.
    Node values = values_of(library);
    uint32_t n = memory::buffer(values)->count();
    LibraryBinder binder(n);
    for (uint32_t i = 0; i < n; ++i) binder.value(value_at(library, i), LibraryBinder::DATA);
    binder.finish();
}


bool bind_library_word(Cell* word) {
    if (!library || word->ctx() != global || (word->type() != TYPE_WORD && word->type() != TYPE_GET_WORD))
        return false;
    int32_t index = word->index();
    Node values = cell_of(library)->data2;
    if (index < 0 || static_cast<uint32_t>(index) >= memory::buffer(values)->count()) return false;
    if (value_at(library, static_cast<uint32_t>(index))->type() == TYPE_UNSET) return false;
    word->data1 = library;
    return true;
}

Cell* bind_library(Cell* block) {
    if (library) visit_deep(block, [](Cell* c) { bind_library_word(c); });
    return block;
}

}  // namespace context

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_CONTEXT>() {
    register_type<TYPE_CONTEXT,
                  "--------- --------------- --------------------------- -----------">();
}
