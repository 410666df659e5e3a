// The garbage collector: one cycle of pinning stack scan, node relocation,
// marking from the roots, external-resource sweep, series-frame compaction,
// big-series sweep and the node passes.
#include "runtime/collector.h"

#include <pthread.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/cell.h"
#include "runtime/cell_table.h"
#include "runtime/externals.h"
#include "runtime/hashtable.h"
#include "runtime/int_map.h"
#include "runtime/sys.h"

namespace collector {

uint32_t active = 0;
bool stress = false;
uint32_t cycles = 0;
uint32_t relocations = 0;
uint32_t relocation_allowed = 1;
bool running = false;
uint64_t busy_ns = 0;
uint32_t history_depth = 5;

Node* global_context = nullptr;
Node* library_context = nullptr;
Node* ownership_table = nullptr;
uint32_t self_symbol = 0;
void (*mark_image)(Node record) = nullptr;

using memory::buffer;
using memory::node_base;
using memory::root;
using memory::SeriesFrame;

namespace {

// ---- Work arrays ------------------------------------------------------------------

// A growable array in the tracked heap, kept between cycles (and dropped
// when sys::free_all has emptied the heap under it).
template <class T>
struct Buf {
    T* items = nullptr;
    uint32_t count = 0;
    uint32_t cap = 0;
    uint32_t epoch = 0;

    // Forgets the items (and the array, when the heap was emptied under it).
    void reset() {
        revalidate();
        count = 0;
    }
    void revalidate() {
        if (items && epoch != sys::record.heap_epoch) {
            items = nullptr;
            cap = count = 0;
        }
    }
    // Room for n items: the capacity doubles (from 256) until it holds them.
    void reserve(uint32_t n) {
        if (n <= cap) return;
        uint32_t c = cap ? cap * 2 : 256;
        while (c < n) c *= 2;
        items = static_cast<T*>(items ? sys::resize(items, size_t{c} * sizeof(T)) : sys::allocate(size_t{c} * sizeof(T)));
        cap = c;
        epoch = sys::record.heap_epoch;
    }
    void push(T value) {
        if (count == cap) reserve(count + 1);
        items[count++] = value;
    }
    // Holds n items, every byte zero.
    void zeroed(uint32_t n) {
        revalidate();
        reserve(n);
        std::memset(static_cast<void*>(items), 0, size_t{n} * sizeof(T));
        count = n;
    }
    T* begin() { return items; }
    T* end() { return items + count; }
};

constexpr uint32_t DEFER_CAPACITY = 20000;
constexpr uint8_t VACATED = 0xDB;

// The registered marking functions, by their place among the roots.
std::vector<void (*)()> callbacks[3];
int_map::Map* relocation_map = nullptr;
Buf<Node> pending;         // marked cell series whose cells are still to walk
Buf<SeriesBuffer*> pinned; // buffers the stack scan pinned
Buf<SeriesBuffer*> fixed_marked;
Buf<Node> deferred;
Buf<uint64_t> deferred_bits; // flush_deferred: one bit per handle of the queued range
Buf<Node> movable;         // nodes a stress cycle relocates
Buf<uintptr_t> candidates; // stack words that point into series memory
Buf<SeriesFrame*> frames;  // the series frames compaction walks

// A sorted range of series memory: the carved part of a frame, or a big
// series' footprint.
struct Range {
    uintptr_t lo, hi;
    SeriesFrame* frame;  // null for a big series
    SeriesBuffer* big;
};
Buf<Range> ranges;

bool live_node(Node n) {
    return n && memory::node_frame_of(n) && !memory::slot_is_free(n) && memory::slot(n) != nullptr;
}

uint8_t* place_of(SeriesBuffer* s) { return reinterpret_cast<uint8_t*>(s) - 4; }
uint32_t footprint(const SeriesBuffer* s) { return s->size + memory::BUFFER_OVERHEAD; }

// Marks a buffer; fixed ones are remembered so that their marks can be
// cleared at the end.
bool set_mark(SeriesBuffer* s) {
    if (s->flags & SERIES_MARK) return false;
    s->flags |= SERIES_MARK;
    if (s->flags & SERIES_FIXED) fixed_marked.push(s);
    return true;
}

// ---- Frame ranges and the stack scan ------------------------------------------------

void build_ranges() {
    ranges.reset();
    for (SeriesFrame* f = root.series_first; f; f = f->next)
        if (f->heap > f->start())
            ranges.push(Range{reinterpret_cast<uintptr_t>(f->start()), reinterpret_cast<uintptr_t>(f->heap), f, nullptr});
    for (memory::BigRecord* r = root.big_first; r; r = r->next) {
        auto lo = reinterpret_cast<uintptr_t>(place_of(r->buffer()));
        ranges.push(Range{lo, lo + r->size, nullptr, r->buffer()});
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.lo < b.lo; });
}

const Range* range_of(uintptr_t a) {
    const Range* r = std::upper_bound(ranges.begin(), ranges.end(), a,
                                      [](uintptr_t v, const Range& x) { return v < x.lo; });
    if (r == ranges.begin()) return nullptr;
    --r;
    return a < r->hi ? r : nullptr;
}

// A buffer that runtime code holds: not moved this cycle (nor its node).
// It is marked after the roots, so that one reached from them is still
// walked as what it is (a block, a hash table).
void pin_buffer(SeriesBuffer* s) {
    if (s->flags & SERIES_PINNED) return;
    s->flags |= SERIES_PINNED;
    pinned.push(s);
}

void check_handle(uint32_t h) {
    if (live_node(h)) pin_buffer(buffer(h));
}

void check_pointer(uintptr_t w) {
    if (!ranges.count || w < ranges.items[0].lo || w > ranges.items[ranges.count - 1].hi) return;
    if (range_of(w)) candidates.push(w);
    // A pointer just past a buffer's end lands on the next footprint: the
    // buffer before it is held too.
    if (range_of(w - 1)) candidates.push(w - 1);
}

uintptr_t thread_stack_top() {
    static uintptr_t top = 0;
    if (!top) {
        pthread_attr_t a;
        if (pthread_getattr_np(pthread_self(), &a) == 0) {
            void* address = nullptr;
            size_t size = 0;
            pthread_attr_getstack(&a, &address, &size);
            top = reinterpret_cast<uintptr_t>(address) + size;
            pthread_attr_destroy(&a);
        }
    }
    return top;
}

// A handle the compiler keeps only in a derived form: scaled to its byte
// offset in the node range (the optimiser turns `node_base[n]` in a loop
// into a register holding n * 8, and n itself dies), or as its slot's
// address. Handles lie near 2^30, so n * 8 is a distinctive word.
void check_derived_handle(uint64_t w) {
    if (w & 7) return;
    if ((w >> 3) <= UINT32_MAX) check_handle(static_cast<uint32_t>(w >> 3));
    auto base = reinterpret_cast<uintptr_t>(memory::node_base);
    if (w >= base && ((w - base) >> 3) <= UINT32_MAX) check_handle(static_cast<uint32_t>((w - base) >> 3));
}

__attribute__((noinline, no_sanitize_address)) void scan_range(uintptr_t lo, uintptr_t hi) {
    for (uintptr_t a = lo & ~uintptr_t{7}; a + 8 <= hi; a += 8) {
        uint64_t w = *reinterpret_cast<const volatile uint64_t*>(a);
        check_handle(static_cast<uint32_t>(w));
        check_handle(static_cast<uint32_t>(w >> 32));
        check_derived_handle(w);
        check_pointer(static_cast<uintptr_t>(w));
    }
}

// Scans the machine stack from `lo` up to the entry frame (or the top of
// the thread's stack when there is none) and pins what it finds. Runs below
// the frame that spilled the registers, so that its own locals (frame
// addresses among them) are not scanned.
__attribute__((noinline)) void scan_above(uintptr_t lo) {
    build_ranges();
    uintptr_t top = thread_stack_top();
    uintptr_t hi = top;
    if (sys::record.entry_sp && sys::record.entry_sp > lo) {
        // A little past the entry frame: start-up code called from the same
        // frame may keep locals just above the recorded point.
        hi = top ? std::min(sys::record.entry_sp + 4096, top) : sys::record.entry_sp;
    }
    candidates.reset();
    scan_range(lo, hi);

    // Pin the buffers the pointers fall into: one walk per frame over its
    // buffers and the sorted pointers.
    std::sort(candidates.begin(), candidates.end());
    uint32_t i = 0;
    while (i < candidates.count) {
        const Range* r = range_of(candidates.items[i]);
        if (!r) {
            i++;
            continue;
        }
        if (r->big) {
            pin_buffer(r->big);
            while (i < candidates.count && candidates.items[i] < r->hi) i++;
            continue;
        }
        SeriesBuffer* s = memory::first_buffer(r->frame);
        while (i < candidates.count && candidates.items[i] < r->hi) {
            while (reinterpret_cast<uintptr_t>(place_of(s)) + footprint(s) <= candidates.items[i]) s = memory::next_buffer(s);
            pin_buffer(s);
            i++;
        }
    }
}

// Spills the callee-saved registers into this frame, then scans from here.
__attribute__((noinline)) void scan_stack() {
    uintptr_t registers[6] = {};
#if defined(__x86_64__)
    asm volatile(
        "mov %%rbx, 0(%0)\n\t"
        "mov %%rbp, 8(%0)\n\t"
        "mov %%r12, 16(%0)\n\t"
        "mov %%r13, 24(%0)\n\t"
        "mov %%r14, 32(%0)\n\t"
        "mov %%r15, 40(%0)\n\t"
        :
        : "r"(registers)
        : "memory");
#endif
    jmp_buf spilled;
    setjmp(spilled);
    scan_above(std::min(reinterpret_cast<uintptr_t>(registers), reinterpret_cast<uintptr_t>(&spilled)));
    // Keep both alive until the scan is over.
    asm volatile("" : : "r"(registers), "r"(&spilled) : "memory");
}

// ---- Node relocation -------------------------------------------------------------------

int_map::Map* map() {
    if (!relocation_map) relocation_map = int_map::init(20000);
    return relocation_map;
}

Node pop_free(memory::NodeFrame* f) {
    Node n = f->free;
    f->free = static_cast<Node>(node_base[n] >> 1);
    node_base[n] = 0;
    f->used++;
    return n;
}

// A free node outside `skip` and outside evacuated frames, from the
// current frame on; a new frame when there is none.
Node take_target(memory::NodeFrame* skip) {
    auto usable = [skip](memory::NodeFrame* f) { return f && f != skip && !f->evacuated && f->free; };
    memory::NodeFrame* f = root.node_current;
    if (!usable(f)) {
        f = f ? f->next : nullptr;
        while (f && !usable(f)) f = f->next;
        if (!f) {
            f = root.node_first;
            while (f && !usable(f)) f = f->next;
        }
        if (!f) f = memory::alloc_node_frame(memory::NODE_FRAME_NODES);
        root.node_current = f;
    }
    return pop_free(f);
}

// Whether a used slot's node may move: its buffer is neither pinned nor
// fixed and refers back to it.
bool movable_node(Node h) {
    uintptr_t v = node_base[h];
    if (v == 0 || (v & 1)) return false;
    SeriesBuffer* s = buffer(h);
    return !(s->flags & (SERIES_PINNED | SERIES_FIXED)) && s->node == h;
}

void relocate(Node old, memory::NodeFrame* skip) {
    SeriesBuffer* s = buffer(old);
    Node fresh = take_target(skip);
    memory::slot(fresh) = s;
    s->node = fresh;
    int_map::put(map(), static_cast<int32_t>(old), static_cast<int32_t>(fresh));
}

// Moves every node out of a frame; a frame that keeps pinned nodes is not
// evacuated and its moved nodes are released one by one instead.
void evacuate(memory::NodeFrame* f) {
    movable.reset();
    uint32_t kept = 0;
    for (Node h = f->first; h < f->first + f->count; h++) {
        if (memory::slot_is_free(h)) continue;
        if (movable_node(h))
            movable.push(h);
        else
            kept++;
    }
    for (Node h : movable) relocate(h, f);
    if (kept == 0) {
        f->used = 0;
        f->evacuated = 1;
    } else {
        for (Node h : movable) defer_free_node(h);
    }
}

// Plans node compaction: frames stable for depth + 1 cycles, less than half
// full, while more than a frame's worth of free nodes remains elsewhere.
void plan_node_compaction() {
    memory::NodeFrame* first = root.node_first;
    while (first && !first->free) first = first->next;
    if (!first) return;
    root.node_current = first;
    int64_t free = 0;
    for (memory::NodeFrame* f = root.node_first; f; f = f->next)
        if (f->free && !f->evacuated) free += f->count - f->used;
    const uint32_t mask = (1u << (history_depth + 1)) - 1;
    for (memory::NodeFrame* f = root.node_last; f; f = f->previous) {
        if ((f->history & mask) == mask && f->used < memory::NODE_FRAME_NODES / 2 && free > memory::NODE_FRAME_NODES &&
            f != root.node_current && !f->evacuated) {
            free -= memory::NODE_FRAME_NODES;
            evacuate(f);
        }
    }
}

// Stress: every movable node moves to a fresh slot; the old ones are
// released at the end of the cycle.
void relocate_all() {
    movable.reset();
    for (memory::NodeFrame* f = root.node_first; f; f = f->next)
        for (Node h = f->first; h < f->first + f->count; h++)
            if (!memory::slot_is_free(h) && movable_node(h)) movable.push(h);
    for (Node h : movable) relocate(h, nullptr);
    for (Node h : movable) defer_free_node(h);
}

// ---- Compaction -------------------------------------------------------------------------

// A garbage buffer's node goes back to its frame.
void drop(SeriesBuffer* s) {
    if (s->node && live_node(s->node) && buffer(s->node) == s) defer_free_node(s->node);
}

// Formats a hole left before a pinned buffer as an abandoned buffer, so
// that the frame stays a walkable sequence of buffers.
void fill_hole(uint8_t* place, uint8_t* end) {
    auto* s = reinterpret_cast<SeriesBuffer*>(place + 4);
    s->flags = 0;
    s->node = 0;
    s->size = static_cast<uint32_t>(end - place) - memory::BUFFER_OVERHEAD;
    s->offset = s->tail = 0;
    if (stress) std::memset(s->data(), VACATED, s->size);
}

// Moves a live buffer's footprint and points its node at the new place.
SeriesBuffer* move_buffer(SeriesBuffer* s, uint8_t* to) {
    uint32_t fp = footprint(s);
    SeriesBuffer* old = s;
    Node n = s->node;
    std::memmove(to, place_of(s), fp);
    s = reinterpret_cast<SeriesBuffer*>(to + 4);
    if (n && live_node(n) && buffer(n) == old) memory::slot(n) = s;
    return s;
}

bool room_for(const SeriesFrame* f, uint32_t fp) { return static_cast<uint64_t>(f->end - f->heap) > fp; }

// Compacts the series frames. Garbage buffers go and pinned ones stay where
// they are. Normally the other buffers slide down, into the room left at the
// end of the last frame kept when there is enough, and frames left empty are
// released (the first one always stays).
//
// Moving all (stress), every live unpinned buffer moves to fresh frames;
// frames left empty are released (one frame always stays). New buffers go
// after the moved ones, or to the first frame that keeps pinned buffers and
// has room past its old heap: a new buffer that the stack pins (a deep
// recursion pins one per level) then keeps no frame of moved buffers alive.
// The space vacated by this cycle takes no new buffer before the next one.
void compact_frames(bool move_all) {
    frames.reset();  // the frames as the cycle found them: moving all adds some
    for (SeriesFrame* f = root.series_first; f; f = f->next) frames.push(f);
    SeriesFrame* prev = nullptr;  // the last frame kept
    SeriesFrame* to = nullptr;    // moving all: the fresh frame being filled
    SeriesFrame* room = nullptr;  // moving all: the frame new buffers go to
    for (SeriesFrame* f : frames) {
        uint8_t* dest = f->start();
        uint8_t* p = f->start();
        uint8_t* heap = f->heap;
        bool offering = prev != nullptr;
        while (p < heap) {
            auto* s = reinterpret_cast<SeriesBuffer*>(p + 4);
            uint32_t fp = footprint(s);
            uint8_t* after = p + fp;
            if (!(s->flags & SERIES_MARK)) {
                drop(s);
            } else if (s->flags & SERIES_PINNED) {
                // It stays; the buffers after it may still go down.
                if (dest < p) fill_hole(dest, p);
                s->flags &= ~(SERIES_MARK | SERIES_PINNED);
                dest = after;
            } else {
                if (move_all) {
                    if (!to || !room_for(to, fp)) {
                        if (fp >= root.next_frame_size) root.next_frame_size = root.max_frame_size;
                        to = memory::alloc_series_frame();
                    }
                    s = move_buffer(s, to->heap);
                    to->heap += fp;
                } else if (offering && static_cast<uint64_t>(prev->end - prev->heap) > memory::FRAME_REUSE_MIN &&
                           room_for(prev, fp)) {
                    s = move_buffer(s, prev->heap);
                    prev->heap += fp;
                } else {
                    offering = false;
                    if (dest != p) s = move_buffer(s, dest);
                    dest += fp;
                }
                s->flags &= ~SERIES_MARK;
            }
            p = after;
        }
        if (move_all && !room && dest > f->start() && static_cast<uint64_t>(f->end - heap) > memory::FRAME_REUSE_MIN) {
            room = f;
            if (dest < heap) fill_hole(dest, heap);  // collected by the next cycle
            continue;
        }
        if (move_all && dest < heap) std::memset(dest, VACATED, static_cast<size_t>(heap - dest));
        f->heap = dest;
        if (move_all) continue;
        if (f != root.series_first && dest == f->start() && f->next) {
            memory::free_series_frame(f);
        } else {
            prev = f;
        }
    }
    if (!move_all) return;
    for (SeriesFrame* f : frames)
        if (f->heap == f->start() && (to || f != frames.items[0])) memory::free_series_frame(f);
    if (room || to) root.series_current = room ? room : to;
}

// ---- Deferred node release -------------------------------------------------------------

// Releases the queued nodes in ascending order (each frame's free list then
// hands out its lowest handles last, as before). The queued handles mostly
// lie in a few neighbouring frames: a bitmap over their range orders them
// in linear time; a wide range is sorted. A handle queued twice is released
// once (its slot is free the second time).
void flush_deferred() {
    if (deferred.count == 0) return;
    memory::NodeFrame* f = nullptr;
    auto release = [&f](Node n) {
        if (!f || !f->holds(n)) f = memory::node_frame_of(n);
        if (f && !memory::slot_is_free(n)) memory::free_node(f, n);
    };
    Node lo = deferred.items[0], hi = lo;
    for (Node n : deferred) {
        lo = std::min(lo, n);
        hi = std::max(hi, n);
    }
    const uint64_t span = uint64_t{hi} - lo + 1;
    if (span <= uint64_t{64} * deferred.count + 4096) {
        const auto words = static_cast<uint32_t>((span + 63) / 64);
        deferred_bits.zeroed(words);
        uint64_t* bits = deferred_bits.items;
        for (Node n : deferred) bits[(n - lo) >> 6] |= uint64_t{1} << ((n - lo) & 63);
        for (uint32_t w = 0; w < words; w++)
            for (uint64_t b = bits[w]; b; b &= b - 1)
                release(lo + w * 64 + static_cast<Node>(std::countr_zero(b)));
    } else {
        std::sort(deferred.begin(), deferred.end());
        for (Node n : deferred) release(n);
    }
    deferred.count = 0;
}

}  // namespace

void defer_free_node(Node node) {
    if (!node) return;
    deferred.revalidate();
    if (deferred.count >= DEFER_CAPACITY) flush_deferred();
    deferred.push(node);
}

// ---- Marking -------------------------------------------------------------------------

namespace {

void series_marker(Node* place, void*) { mark_node(place); }
void block_marker(Node* place, void*) { mark_block_node(place); }
const hashtable::Marker marker{series_marker, block_marker, nullptr};

// Marks one payload word by its letter in the datatype table's layout
// column (see runtime/cell.h).
template <char Holds>
void mark_word(Node* place) {
    static_assert(Holds == '.' || Holds == 's' || Holds == 'c' || Holds == 't', "a layout letter is one of . s c t ?");
    if constexpr (Holds == '.') {
        return;
    } else {
        if (!*place) return;
        if constexpr (Holds == 's') mark_node(place);
        if constexpr (Holds == 'c') mark_block_node(place);
        if constexpr (Holds == 't') mark_table(place);
    }
}

// Contexts words have marked in this cycle, by their handle (0: none).
Node marked_contexts[64];

// The types whose layout has a '?': a flag, the symbol or the source type
// decides what a word holds.
template <uint32_t Type>
void mark_explicitly(Cell* c) {
    if constexpr (Type == TYPE_WORD || Type == TYPE_SET_WORD || Type == TYPE_LIT_WORD || Type == TYPE_GET_WORD ||
                  Type == TYPE_REFINEMENT) {
        // Words share few contexts: one marked in this cycle is not looked
        // at again (unless handles are being rewritten). A word spelled
        // `self` holds its context the same way.
        if (c->data1) {
            Node& seen = marked_contexts[c->data1 % std::size(marked_contexts)];
            if (c->data1 != seen || relocation_map) {
                mark_context(&c->data1);
                seen = c->data1;
            }
        }
    } else if constexpr (Type == TYPE_CONTEXT) {
        // Values that live on the value stack are marked with it.
        if (c->data1) mark_table(&c->data1);
        if (!(c->header & FLAG_CTX_ON_STACK) && c->data2) mark_block_node(&c->data2);
    } else if constexpr (Type == TYPE_OP) {
        // Made from a function or routine, it keeps the function's context.
        if (c->data2) mark_block_node(&c->data2);
        if (c->data3) mark_block_node(&c->data3);
        uint32_t source = (c->header >> OP_SOURCE_SHIFT) & 0xFF;
        if ((source == TYPE_FUNCTION || source == TYPE_ROUTINE) && c->data1) mark_context(&c->data1);
    } else if constexpr (Type == TYPE_IMAGE) {
        // The record's node, then what the record refers to (its bitmap).
        if (c->data2 && mark_node(&c->data2) && mark_image) mark_image(c->data2);
    } else if constexpr (Type == TYPE_HANDLE) {
        // An external resource's slot, when it has one.
        if (static_cast<int32_t>(c->data3) >= 0) externals::mark(static_cast<int32_t>(c->data3), 0);
    } else if constexpr (Type == TYPE_EVENT) {
        // Its field block, when the event has one.
        if ((c->data3 & 0x10000) && c->data2) mark_block_node(&c->data2);
    } else {
        static_assert(Type == 0, "a datatype with a '?' in its layout is marked here");
    }
}

template <uint32_t Type, char Word1, char Word2, char Word3>
void mark_typed(Cell* c) {
    if constexpr (Word1 == '?' || Word2 == '?' || Word3 == '?') {
        mark_explicitly<Type>(c);
    } else {
        mark_word<Word1>(&c->data1);
        mark_word<Word2>(&c->data2);
        mark_word<Word3>(&c->data3);
    }
}

// Marks what a cell refers to, by its datatype's layout.
void mark_cell(Cell* c) {
    switch (c->type()) {
#define X(id, name, text, parent, layout)                                                  \
    case TYPE_##name:                                                                      \
        static_assert(sizeof layout == 4, "a layout has a letter for each payload word"); \
        mark_typed<TYPE_##name, layout[0], layout[1], layout[2]>(c);                       \
        break;
        ZEM_DATATYPES(X)
#undef X
    default:
        break;
    }
}

void walk_cells(Node n) {
    SeriesBuffer* s = buffer(n);
    auto* first = reinterpret_cast<Cell*>(s->data() + s->offset);
    auto* end = reinterpret_cast<Cell*>(s->data() + (s->tail < s->size ? s->tail : s->size));
    for (Cell* c = first; c < end; c++) {
        // Words, the most common cells of code, are marked here directly.
        if (c->type() - TYPE_WORD <= TYPE_REFINEMENT - TYPE_WORD)
            mark_explicitly<TYPE_WORD>(c);
        else
            mark_cell(c);
    }
}

void drain() {
    while (pending.count) walk_cells(pending.items[--pending.count]);
}

void mark_roots() {
    auto run = [](MarkOrder order) {
        for (auto callback : callbacks[static_cast<int>(order)])
            if (callback) callback();
    };
    if (memory::root_block.data2) mark_block_value(&memory::root_block);
    run(MarkOrder::AFTER_ROOT_BLOCK);
    if (ownership_table && *ownership_table) mark_table(ownership_table);
    if (memory::value_stack_node) mark_node(&memory::value_stack_node);
    if (memory::call_stack_node) mark_node(&memory::call_stack_node);
    run(MarkOrder::AFTER_STACK_BUFFERS);
    if (global_context && *global_context) mark_context(global_context);
    if (library_context && *library_context) mark_context(library_context);
    if (cell_table::table.data2) mark_block_node(&cell_table::table.data2);
    run(MarkOrder::LAST);
    drain();
    // What only the stack holds.
    for (SeriesBuffer* s : pinned) {
        if (!set_mark(s)) continue;
        Node n = s->node;
        if (!(s->flags & SERIES_IN_USE) || !live_node(n) || buffer(n) != s) continue;
        if (s->flags & SERIES_TABLE)
            hashtable::mark(&n, marker);
        else if (s->unit() == 16)
            pending.push(n);
        drain();
    }
}

}  // namespace

bool mark_node(Node* place) {
    Node n = *place;
    if (!n) return false;
    if (relocation_map) {
        if (int32_t* moved = int_map::get(relocation_map, static_cast<int32_t>(n))) {
            n = static_cast<Node>(*moved);
            *place = n;
        }
    }
    if (!live_node(n)) return false;
    return set_mark(buffer(n));
}

void mark_block(Cell* first, Cell* end) {
    for (Cell* c = first; c < end; c++) mark_cell(c);
}

void mark_block_node(Node* place) {
    if (mark_node(place) && buffer(*place)->unit() == 16) pending.push(*place);
}

void mark_block_value(Cell* block) { mark_block_node(&block->data2); }

void mark_context(Node* place) { mark_block_node(place); }

void mark_table(Node* place) {
    Node n = *place;
    if (relocation_map)
        if (int32_t* moved = int_map::get(relocation_map, static_cast<int32_t>(n))) *place = n = static_cast<Node>(*moved);
    if (!live_node(n) || (buffer(n)->flags & SERIES_MARK)) return;
    hashtable::mark(place, marker);
}

bool marked_q(Node node) {
    // A node moved this cycle is asked about under its old handle too.
    if (relocation_map)
        if (int32_t* moved = int_map::get(relocation_map, static_cast<int32_t>(node))) node = static_cast<Node>(*moved);
    return live_node(node) && (buffer(node)->flags & SERIES_MARK);
}

// ---- The cycle ---------------------------------------------------------------------

bool booting = false;

namespace {
bool stress_boot = false;
uint32_t boot_allocations = 0;
uint32_t stress_every = 1;  // ZEM_GC_STRESS=n: every n-th allocation after the boot
uint32_t allocations = 0;
}  // namespace

bool stress_due() {
    if (booting) return stress_boot || (++boot_allocations & 63) == 0;
    return stress_every == 1 || ++allocations % stress_every == 0;
}

void static_init() {
    char value[16];
    uint32_t n = sys::get_env("ZEM_GC_STRESS", value, sizeof value);
    // A value too long for the buffer reports its size: it is set and not "0".
    stress = n > 0 && !(n < sizeof value && std::strcmp(value, "0") == 0);
    stress_boot = stress && n < sizeof value && std::strcmp(value, "boot") == 0;
    stress_every = 1;
    if (stress && n < sizeof value) {
        char* end = nullptr;
        unsigned long every = std::strtoul(value, &end, 10);
        if (end != value && *end == 0 && every > 1 && every <= 1000000) stress_every = static_cast<uint32_t>(every);
    }
}

void init() {
    booting = false;
    cycles = 0;
    busy_ns = 0;
    relocations = 0;
    history_depth = 5;
}

void do_cycle() {
    if (running || !memory::node_base) return;
    const auto started = std::chrono::steady_clock::now();
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    running = true;
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    pending.reset();
    pinned.reset();
    fixed_marked.reset();
    std::fill(std::begin(marked_contexts), std::end(marked_contexts), 0);
    deferred.revalidate();  // nodes queued since the last cycle are released at its end

    ++memory::moves;
    scan_stack();
    if (relocation_allowed == 1) {
        if (stress)
            relocate_all();
        else
            plan_node_compaction();
    }
    mark_roots();
    // The ownership table holds its series and owners weakly: entries whose
    // key or owner did not survive go, the others are marked (handles of
    // moved nodes rewritten) before anything is swept.
    if (ownership_table && *ownership_table && live_node(*ownership_table)) {
        hashtable::sweep(*ownership_table, marked_q);
        hashtable::mark_entries(*ownership_table, marker, mark_block);
        drain();
    }

    externals::sweep();
    compact_frames(stress);
    memory::sweep_big();
    flush_deferred();
    memory::compact_node_frames();
    if (relocation_map) {
        int_map::destroy(relocation_map);
        relocation_map = nullptr;
        relocations++;
    }
    for (SeriesBuffer* s : fixed_marked) s->flags &= ~(SERIES_MARK | SERIES_PINNED);
    fixed_marked.count = 0;

    cycles++;
    busy_ns += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - started).count());
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    running = false;
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

void collect_if_active() {
    if (active == 1) do_cycle();
}

void register_mark_callback(void (*callback)(), MarkOrder order) {
    std::vector<void (*)()>& list = callbacks[static_cast<int>(order)];
    if (std::find(list.begin(), list.end(), callback) == list.end()) list.push_back(callback);
}

}  // namespace collector
