// The library's top level. Before the first statement, each datatype's name
// word gets its datatype! value and `make` gets a bare action! (the library
// needs `make` to make everything else, `make` included). The boot image's
// values are decoded into the root block and evaluated there, in order. A
// `Zem [...]` header opens each library file in the image and is skipped.
// At the end the library's code is bound to its own copy of the global
// values (see bind_library below).
#include "runtime/top_level.h"

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "library/boot.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "services/lexer/lexer.h"
#include "services/zembin/zembin.h"

#include <vector>

namespace top_level {

namespace {

void set_global(const char* name, const Cell* value) { context::set(word::load(name), value); }

// Scans the bytes into a new block appended to the root block.
Cell load(const uint8_t* bytes, uint32_t size) {
    Cell* slot = stack::push_slot();
    uint32_t consumed = 0;
    lexer::scan(slot, bytes, size, false, false, false, &consumed);
    block::rs_append(&memory::root_block, slot);
    Cell code = *slot;
    stack::pop(1);
    return code;
}

void prelude() {
    for (uint32_t id = 1; id <= datatype::top_id; ++id) {
        if (!datatype::registered(id)) continue;
        Cell dt;
        datatype::make_at(&dt, id);
        set_global(datatype::name_of(id), &dt);
    }
    // The global context answers as an object: `context?` of a global word,
    // `system/words`.
    *context::self_of(context::global) =
        Cell{TYPE_OBJECT, context::global, static_cast<uint32_t>(object::new_class_id()), 0};
    static const char bare_make[] = "[[type spec] 1]";
    Cell spec = load(reinterpret_cast<const uint8_t*>(bare_make), sizeof bare_make - 1);
    spec = *block::rs_head(&spec);
    Cell* slot = datatype::make_at(stack::push_slot(), TYPE_ACTION);
    actions::make(slot, &spec);
    set_global("make", slot);
    stack::pop(1);
    // The library's own `make` replaces this bare one: its spec is the one
    // the entry keeps.
    native::forget_own_spec(TYPE_ACTION, 1);
}

bool is_header(const Cell& code, uint32_t p, uint32_t tail) {
    static const uint32_t zem = symbol::make("Zem");
    if (p + 1 >= tail) return false;
    const Cell* v = block::rs_head(&code) - code.head() + p;
    return v->type() == TYPE_WORD && symbol::resolve(v->symbol()) == symbol::resolve(zem) &&
           v[1].type() == TYPE_BLOCK;
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
        first_visit(context::global);
    }

    // How a value was met: in a block (code), or held by a word, a field, a
    // hash! or a map! (data: a word there is left as it is).
    enum Met { CODE, DATA };

    void value(Cell* c, Met met) {
        switch (c->type()) {
            case TYPE_WORD:
            case TYPE_GET_WORD:
                if (met == CODE && c->ctx() == context::global && c->index() >= 0) words_.push_back(c);
                break;
            case TYPE_SET_WORD:
                if (met == CODE && c->ctx() == context::global && c->index() >= 0 &&
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
                if (ctx && !context::on_stack_q(ctx) && first_visit(ctx)) cells(context::values_of(ctx), DATA, false);
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
            if (assigned_[i]) *context::value_at(context::library, i) = Cell{TYPE_UNSET, 0, 0, 0};
        for (Cell* w : words_) context::bind_library_word(w);
    }

private:
    // The cells of a series, each met as said; of a spec, only its nested
    // blocks (the argument words are names, not code). A series is walked
    // once.
    void cells(Node node, Met met, bool spec) {
        if (!node || !first_visit(node)) return;
        SeriesBuffer* s = memory::buffer(node);
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

void bind_library() {
    context::make_library();
    // Nothing below allocates: the cells met stay where they are.
    Node values = context::values_of(context::library);
    uint32_t n = memory::buffer(values)->count();
    LibraryBinder binder(n);
    for (uint32_t i = 0; i < n; ++i) binder.value(context::value_at(context::library, i), LibraryBinder::DATA);
    binder.finish();
}

}  // namespace

void run() {
    uint32_t was_active = collector::active;
    collector::active = 0;
    prelude();
    uint32_t first = zembin::boot_load(zem_boot_image, zem_boot_image_size, false);
    // The image's values end here, whatever is added to the root block later.
    const uint32_t tail = series_of(&memory::root_block)->count();
    Cell code{TYPE_BLOCK, first, memory::root_block.node(), 0};
    collector::active = 1;

    stack::mark_native(nullptr);
    uint32_t p = code.head();
    for (;;) {
        if (p >= tail) break;
        if (is_header(code, p, tail)) {
            p += 2;
            continue;
        }
        if (interpreter::eval_next(&code, &p, false) != Unwind::none) fire(err::THROW_USAGE);
    }
    stack::unwind();
    native::seal_entries();
    collector::active = was_active | 1;
    bind_library();
}

}  // namespace top_level
