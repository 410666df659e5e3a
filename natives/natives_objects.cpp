// The natives of objects and of the memory manager: construct, stats and
// recycle, and the memory statistics they report.
#include <string>

#include "datatypes/block.h"
#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "natives/memory_stats.h"
#include "natives/native_support.h"
#include "evaluator/symbol.h"
#include "evaluator/context.h"
#include "datatypes/object.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/print.h"
#include "runtime/sys.h"

namespace memory_stats {

using memory::BigRecord;
using memory::NodeFrame;
using memory::SeriesFrame;
using memory::root;

namespace {

Cell number(double n) {
    if (n <= 2147483647.0) return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(static_cast<int32_t>(n)), 0};
    Cell f{TYPE_FLOAT, 0, 0, 0};
    f.set_float(n);
    return f;
}

void append_line(Cell* blk, const Cell& v) {
    Cell c = v;
    c.header |= FLAG_NEW_LINE;
    block::rs_append(blk, &c);
}

// A frame's figures go into the block one after another, the first of them
// on a new line.
void append_triple(Cell* blk, uint64_t free_, uint64_t used, uint64_t total) {
    append_line(blk, number(static_cast<double>(free_)));
    for (uint64_t n : {used, total}) {
        Cell v = number(static_cast<double>(n));
        block::rs_append(blk, &v);
    }
}

}  // namespace

double stats(int32_t mode, Cell* block_in) {
    uint32_t saved = collector::active;
    collector::active = 0;
    double total = 0;
    for (NodeFrame* f = root.node_first; f; f = f->next) total += 4.0 * f->used;
    for (SeriesFrame* f = root.series_first; f; f = f->next) total += static_cast<double>(f->heap - f->start());
    for (BigRecord* r = root.big_first; r; r = r->next) total += static_cast<double>(r->size);
    if (mode == 2) {
        Cell blk = *block_in;
        Cell nodes, frames, bigs;
        block::make_at(&nodes, 4);
        stack::push(&nodes);
        block::make_at(&frames, 4);
        stack::push(&frames);
        block::make_at(&bigs, 4);
        stack::push(&bigs);
        for (NodeFrame* f = root.node_first; f; f = f->next) append_triple(&nodes, f->count - f->used, f->used, f->count);
        for (SeriesFrame* f = root.series_first; f; f = f->next) {
            uint64_t size = static_cast<uint64_t>(f->end - f->start());
            uint64_t used = static_cast<uint64_t>(f->heap - f->start());
            append_triple(&frames, size - used, used, size);
        }
        for (BigRecord* r = root.big_first; r; r = r->next) append_line(&bigs, number(static_cast<double>(r->size)));
        block::rs_append(&blk, &nodes);
        block::rs_append(&blk, &frames);
        block::rs_append(&blk, &bigs);
        Cell system = number(static_cast<double>(root.total));
        Cell heap = number(static_cast<double>(sys::heap_bytes()));
        block::rs_append(&blk, &system);
        block::rs_append(&blk, &heap);
        stack::pop(3);
    }
    collector::active = saved;
    return total;
}

}  // namespace memory_stats

namespace natives {

namespace {

Cell bytes_in_use() {
    double total = memory_stats::stats(1, nullptr);
    if (total <= 2147483647.0) return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(static_cast<int32_t>(total)), 0};
    Cell f{TYPE_FLOAT, 0, 0, 0};
    f.set_float(total);
    return f;
}

// Hands the statistics to the library's `show-memory-stats`; without it
// they are printed molded.
Unwind show(const Cell& info) {
    Cell name{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol::make("show-memory-stats"), &name);
    context::bind_library_word(&name);  // the library's, whatever user code set
    Cell fn = *context::get(&name);
    if (fn.type() == TYPE_FUNCTION) {
        // Called as the code [show-memory-stats info], so that the function
        // gets its argument and its locals as every call does.
        Cell* saved_top = stack::top;
        Cell code;
        block::make_at(&code, 2);
        stack::push(&code);
        Cell data = info;
        block::rs_append(&code, &name);
        block::rs_append(&code, &data);
        Unwind u = interpreter::eval(&code, false);
        if (u != Unwind::none) return u;
        stack::top = saved_top;
    } else {
        Cell text;
        string::rs_make_at(&text, 256);
        stack::push(&text);
        Cell v = info;
        actions::mold(&v, &text, false, false, false, nullptr, 0, 0);
        std::string line;
        for (uint32_t i = 0; i < string::rs_length_q(&text); ++i)
            line += static_cast<char>(string::rs_abs_at(&text, i));
        sys::print_line({sys::Item::cstr(line.c_str())});
        stack::pop(1);
    }
    return unset_result();
}

}  // namespace

Unwind n_stats(bool, const int32_t* refs) {
    bool show_ = refs[0] >= 0, info = refs[1] >= 0;
    if (!show_ && !info) return result(bytes_in_use());
    Cell blk;
    block::make_at(&blk, 5);
    stack::push(&blk);
    memory_stats::stats(2, &blk);
    if (show_) return show(blk);
    return result(blk);
}

Unwind n_recycle(bool, const int32_t* refs) {
    if (refs[0] >= 0) {
        collector::active = 1;
        return unset_result();
    }
    if (refs[1] >= 0) {
        collector::active = 0;
        return unset_result();
    }
    collector::do_cycle();
    return result(bytes_in_use());
}

// An object from the block's set-words without evaluating it (/with: on a
// copy of the prototype; /only: words stay words).
Unwind n_construct(bool, const int32_t* refs) {
    Cell spec = *arg(0);
    Cell proto = refs[0] >= 0 ? *arg(static_cast<uint32_t>(refs[0])) : none_cell();
    Cell out;
    object::create(&spec, proto.type() == TYPE_OBJECT ? &proto : nullptr, refs[1] >= 0, &out);
    return result(out);
}

}  // namespace natives
