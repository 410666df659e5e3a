// Program entry and the start-up sequence: machine start-up, module
// initialisation in a fixed order, then the library's top level and the
// console.
#include "app/runtime.h"

#include <cfenv>
#include <cstdio>
#include <cstdlib>

#include "console/input.h"
#include "console/launcher.h"
#include "gui/terminal/backend.h"
#include "evaluator/block_storage.h"
#include "evaluator/context.h"
#include "datatypes/datatype.h"
#include "evaluator/actions.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "evaluator/ownership.h"
#include "natives/parse_dialect.h"
#include "evaluator/stack.h"
#include "library/boot.h"
#include "library/routines.h"
#include "platform/terminal.h"
#include "app/top_level.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "runtime/case_folding.h"
#include "runtime/cell_table.h"
#include "runtime/collector.h"
#include "runtime/externals.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/print.h"
#include "runtime/sys.h"
#include "services/lexer/lexer.h"
#include "services/simple_io.h"
#include "runtime/rng.h"

namespace runtime {


namespace {

// All floating-point exceptions masked, double precision, round to nearest.
void reset_fpu() {
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetround(FE_TONEAREST);
#if defined(__x86_64__) || defined(__i386__)
    uint16_t x87 = 0x27F;
    asm volatile("fninit\n\tfldcw %0" : : "m"(x87));
    uint32_t mxcsr = 0x1F80;
    asm volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
}

// Module state that is computed rather than constant, in module order.
void static_init() {
    hashtable::static_init();
    collector::static_init();
}

}  // namespace

void machine_start(int argc, char** argv) {
    reset_fpu();
    sys::os_start(argc, argv);
    reset_fpu();
    sys::record.boot_image = zem_boot_image;
    sys::record.boot_image_size = zem_boot_image_size;
    static_init();
    volatile char here = 0;
    sys::record.entry_sp = reinterpret_cast<uintptr_t>(&here);
}

void init() {
    memory::starting = 1;
    print_hooks::init();
    sys::platform_init();
    rng::init();
    sys::memory_params_init();
    externals::init();
    datatype::init_all();  // the name and action tables, then every datatype's registration
    simple_io::init();     // file!'s file-system actions, url!'s HTTP requests
    actions::init();
    memory::alloc_node_frame(memory::NODE_FRAME_NODES);
    memory::alloc_series_frame();
    block::make_fixed_in(nullptr, 8942);  // the root block, in memory::root_block
    memory::value_stack_node = block::make_fixed_in(&memory::root_block, 20000)->node();
    // 12000 call frames of six words (the name's symbol has a word of its own).
    memory::call_stack_node =
        block::make_fixed_in(&memory::root_block, stack::CALL_STACK_FRAMES * sizeof(stack::Frame) / sizeof(Cell))->node();
    symbol::make_table();
    context::global = context::create(context::GLOBAL_SLOTS, false, false, 0, context::KIND_GLOBAL);
    context::library = 0;  // made at the end of the library's top level
    case_folding::init();
    symbol::make_index();
    datatype::build_names();
    words::build();
    words::build_refinements();
    words::build_issues();
    natives::init();
    routines::init();
    input::register_routines();
    gui::register_routines();
    errors::init();
    parse_dialect::init();
    ownership::init();
    // checksum, compress, call
    stack::init(memory::value_stack_node, memory::call_stack_node);
    lexer::init();
    // the boot image
    interpreter::init();
    cell_table::init();
    // The global and library contexts are roots; words spelled `self` mark
    // their context as a block.
    collector::global_context = &context::global;
    collector::library_context = &context::library;
    collector::self_symbol = words::sym::self;
    collector::init();
}

void cleanup() {
    // A runtime started again (the tests start one per test) is built with
    // automatic collection off, as the first one was.
    collector::active = 0;
    errors::reset();
    stack::bottom = stack::top = stack::arguments = nullptr;
    // The symbol table goes with the memory: no stale handle may outlive it.
    symbol::table = symbol::index = 0;
    memory::free_all();
    sys::free_all();
}

void unguarded_error(const ErrorThrown& e) {
    if (e.value.type() == TYPE_ERROR) errors::print(&e.value);
    else std::printf("*** %s: %s\n", errors::title(e.id.category), errors::id_word(e.id));
    std::fflush(nullptr);
    platform::restore_terminal();
    sys::free_all();
    std::exit(254);
}

int entry(int argc, char** argv) {
    try {
        machine_start(argc, argv);
        init();
        memory::starting = 0;
        top_level::run();
        console::launch();
    } catch (const sys::Throw&) {
        sys::top_frame_handler();
    } catch (const ErrorThrown& e) {
        unguarded_error(e);
    }
    sys::on_quit(0, 0);
}

}  // namespace runtime
