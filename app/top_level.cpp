// The library's top level. Before the first statement, each datatype's name
// word gets its datatype! value and `make` gets a bare action! (the library
// needs `make` to make everything else, `make` included). The boot image's
// values are decoded into the root block and evaluated there, in order. A
// `Zem [...]` header opens each library file in the image and is skipped.
// At the end the library's code is bound to its own copy of the global
// values (see context::make_library). The Debug build first checks the
// image's native, action and routine definitions against the tables.
#include "app/top_level.h"

#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "datatypes/event.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/word.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "library/boot.h"
#include "library/boot_check.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "services/lexer/lexer.h"
#include "services/zembin/zembin.h"


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


// Symbols belong to one runtime: the caller makes `zem` in the running one.
bool is_header(const Cell& code, uint32_t p, uint32_t tail, uint32_t zem) {
    if (p + 1 >= tail) return false;
    const Cell* v = block::rs_head(&code) - code.head() + p;
    return v->type() == TYPE_WORD && symbol::resolve(v->symbol()) == symbol::resolve(zem) &&
           v[1].type() == TYPE_BLOCK;
}

}  // namespace

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
    // The library's own `make` replaces this bare one; until the boot ends,
    // the arguments last made for an entry are the ones it keeps.
    static const char bare_make[] = "[[type spec] 1]";
    Cell spec = load(reinterpret_cast<const uint8_t*>(bare_make), sizeof bare_make - 1);
    spec = *block::rs_clamp_head(&spec);
    Cell* slot = datatype::make_at(stack::push_slot(), TYPE_ACTION);
    actions::make(slot, &spec);
    set_global("make", slot);
    stack::pop(1);
}

void run() {
    uint32_t was_active = collector::active;
    collector::active = 0;
    prelude();
    uint32_t first = zembin::boot_load(zem_boot_image, zem_boot_image_size, false);
    // The image's values end here, whatever is added to the root block later.
    const uint32_t tail = series_of(&memory::root_block)->count();
    Cell code{TYPE_BLOCK, first, memory::root_block.node(), 0};
#ifndef NDEBUG
    boot_check::check_library(&code);
#endif
    // event! registers with the GUI engine, after the runtime's own types.
    memory::starting = 1;
    event::init();
    Cell event_type;
    datatype::make_at(&event_type, TYPE_EVENT);
    set_global(datatype::name_of(TYPE_EVENT), &event_type);
    memory::starting = 0;
    collector::active = 1;

    stack::mark_native(nullptr);
    collector::booting = true;
    const uint32_t zem = symbol::make("Zem");
    uint32_t p = code.head();
    for (;;) {
        if (p >= tail) break;
        if (is_header(code, p, tail, zem)) {
            p += 2;
            continue;
        }
        if (interpreter::eval_next(&code, &p, false) != Unwind::none) fire(err::THROW_USAGE);
    }
    stack::unwind();
    collector::booting = false;
    collector::active = was_active | 1;
    // The library is complete: the entries it did not make fit no argument
    // block from now on.
    native::seal_entries();
    context::make_library();
}

}  // namespace top_level
