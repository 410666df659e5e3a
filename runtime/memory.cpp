// The memory manager: the node range and its frames, series frames, big
// series, fixed buffers, and the operations that allocate, grow and copy
// series.
#include "runtime/memory.h"

#include <cstring>

#include "runtime/cell.h"
#include "platform/os.h"
#include "runtime/collector.h"
#include "runtime/fault.h"
#include "runtime/sys.h"

namespace memory {

uintptr_t* node_base = nullptr;
uint32_t moves = 0;
Root root{};
Cell root_block{};
uint32_t starting = 0;
Node value_stack_node = 0;
Node call_stack_node = 0;

namespace {

// Whether a footprint fits the frame with room to spare (heap + footprint
// stays below the end).
bool has_room(const SeriesFrame* f, uint32_t footprint) {
    return static_cast<uint64_t>(f->end - f->heap) > footprint;
}

constexpr size_t PAGE = 4096;
constexpr size_t CHUNK_BYTES = size_t{NODE_STRIDE} * sizeof(uintptr_t);
static_assert(CHUNK_BYTES % PAGE == 0, "node frames are whole pages");
// 32-bit handles reach 2^32 slots of 8 bytes: 32 GB of address space.
constexpr size_t NODE_RANGE_MAX = size_t{1} << 35;
constexpr size_t NODE_RANGE_MIN = size_t{64} << 20;
constexpr uint32_t FIXUP_ENTRIES = 1000;

// Handles start near 2^30 rather than at 1: a stack word that happens to
// equal a live handle pins a node, and small integers are everywhere.
constexpr uint32_t HANDLE_BIAS_CHUNKS = 104858;
constexpr uint32_t HANDLE_CHUNKS_MAX = static_cast<uint32_t>((uint64_t{1} << 32) / NODE_STRIDE) - HANDLE_BIAS_CHUNKS - 1;

uintptr_t* node_range = nullptr;  // the reservation; node_base is below it by the bias
size_t node_range_bytes = 0;
uint32_t chunk_limit = 0;       // chunks the reservation holds
// The frame at each chunk position up to the highest one used (null = free).
NodeFrame** chunk_frames = nullptr;
uint32_t chunk_count = 0;
uint32_t chunk_capacity = 0;

// Reserves the node range, as large as the system allows.
void reserve_node_range() {
    for (size_t bytes = NODE_RANGE_MAX; bytes >= NODE_RANGE_MIN; bytes >>= 1) {
        if (void* p = platform::reserve_pages(bytes)) {
            node_range = static_cast<uintptr_t*>(p);
            node_base = reinterpret_cast<uintptr_t*>(reinterpret_cast<uintptr_t>(p) -
                                                     uintptr_t{HANDLE_BIAS_CHUNKS} * CHUNK_BYTES);
            node_range_bytes = bytes;
            chunk_limit = static_cast<uint32_t>(bytes / CHUNK_BYTES);
            if (chunk_limit > HANDLE_CHUNKS_MAX) chunk_limit = HANDLE_CHUNKS_MAX;
            return;
        }
    }
    no_memory();
}

// The lowest chunk position without a frame, the table grown as needed.
uint32_t take_chunk() {
    for (uint32_t k = 0; k < chunk_count; k++)
        if (!chunk_frames[k]) return k;
    if (chunk_count == chunk_limit) no_memory();
    if (chunk_count == chunk_capacity) {
        uint32_t capacity = chunk_capacity ? chunk_capacity * 2 : 16;
        chunk_frames = static_cast<NodeFrame**>(sys::resize(chunk_frames, capacity * sizeof(NodeFrame*)));
        chunk_capacity = capacity;
    }
    chunk_frames[chunk_count] = nullptr;
    return chunk_count++;
}

uintptr_t* chunk_address(uint32_t k) { return node_range + size_t{k} * NODE_STRIDE; }

constexpr uint32_t round16(uint64_t n) { return static_cast<uint32_t>((n + 15) & ~uint64_t{15}); }

// Rounded data size of n units, or no-memory when out of reach.
uint32_t data_size(uint64_t bytes) {
    if (bytes > MAX_SERIES_SIZE) no_memory();
    return round16(bytes);
}

void init_header(SeriesBuffer* s, uint32_t size, uint32_t unit, uint32_t flags, int32_t head_offset) {
    s->flags = (unit & SERIES_UNIT_MASK) | flags;
    s->node = 0;
    s->size = size;
    uint32_t offset;
    if (head_offset == -1) {
        offset = size >> 1;
        s->flags |= SERIES_CENTRED;
    } else {
        offset = static_cast<uint32_t>(head_offset);
    }
    s->offset = s->tail = offset;
}

// A fixed buffer from the tracked heap, without a node.
SeriesBuffer* alloc_fixed_buffer(uint64_t bytes, uint32_t unit, int32_t head_offset) {
    uint32_t size = data_size(bytes);
    auto* p = static_cast<uint8_t*>(sys::try_allocate(size_t{BUFFER_OVERHEAD} + size));
    if (!p) no_memory();
    auto* s = reinterpret_cast<SeriesBuffer*>(p + 4);
    init_header(s, size, unit, SERIES_IN_USE | SERIES_MADE | SERIES_FIXED, head_offset);
    return s;
}

// The flags a buffer carries over to the buffer that replaces it: the
// placement bits are the new buffer's own.
uint32_t carried_flags(uint32_t old_flags, const SeriesBuffer* fresh) {
    return (old_flags & ~(SERIES_BIG | SERIES_FIXED)) | (fresh->flags & (SERIES_BIG | SERIES_FIXED));
}

}  // namespace

// ---- Errors and system memory ----------------------------------------------

// Both are internal errors raised like any other (an error! value when the
// catalogue is up; building it may fail again, and then the bare error
// travels).
void no_memory() { fault::fire(fault::NO_MEMORY); }
void wrong_mem() { fault::fire(fault::WRONG_MEM); }

void set_params() {
    root.first_frame_size = 1u << 20;
    root.next_frame_size = 1u << 20;
    root.max_frame_size = 2u << 20;
    if (!root.fixups) root.fixups = static_cast<FixUp*>(sys::allocate(FIXUP_ENTRIES * sizeof(FixUp)));
    root.fixups_end = root.fixups;
    root.fixups_capacity = FIXUP_ENTRIES;
}

void* alloc_virtual(uint32_t size) {
    size_t rounded = (size_t{size} + 8 + PAGE - 1) & ~(PAGE - 1);
    auto* p = static_cast<uint64_t*>(sys::os_alloc_pages(rounded, false));
    if (!p) no_memory();
    root.total += rounded;
    p[0] = rounded;
    return p + 1;
}

void free_virtual(void* address) {
    auto* p = static_cast<uint64_t*>(address) - 1;
    uint64_t rounded = p[0];
    root.total -= rounded;
    if (!sys::os_free_pages(p, rounded)) wrong_mem();
}

// ---- Node frames -----------------------------------------------------------------

NodeFrame* node_frame_of(Node n) {
    uint32_t k = n / NODE_STRIDE;
    if (k < HANDLE_BIAS_CHUNKS) return nullptr;
    k -= HANDLE_BIAS_CHUNKS;
    if (k >= chunk_count) return nullptr;
    NodeFrame* f = chunk_frames[k];
    return f && f->holds(n) ? f : nullptr;
}

NodeFrame* alloc_node_frame(uint32_t nodes) {
    if (nodes == 0 || nodes >= NODE_STRIDE) no_memory();
    if (!node_base) reserve_node_range();
    uint32_t k = take_chunk();
    // Refused, the chunk position stays free and nothing is committed.
    auto* f = static_cast<NodeFrame*>(sys::try_allocate(sizeof(NodeFrame)));
    if (!f) no_memory();
    uintptr_t* slots = chunk_address(k);
    if (!platform::commit_pages(slots, CHUNK_BYTES)) {
        sys::free(f);
        no_memory();
    }
    root.total += CHUNK_BYTES;

    std::memset(f, 0, sizeof(NodeFrame));
    f->count = nodes;
    f->first = (k + HANDLE_BIAS_CHUNKS) * NODE_STRIDE + 1;
    f->chunk = k;
    f->stamp = collector::cycles;
    // Every slot links to the next; the last ends the list.
    for (uint32_t i = 0; i < nodes; i++) {
        Node next = i + 1 < nodes ? f->first + i + 1 : 0;
        node_base[f->first + i] = (uintptr_t{next} << 1) | 1;
    }
    f->free = f->first;
    chunk_frames[k] = f;

    f->previous = root.node_last;
    (root.node_last ? root.node_last->next : root.node_first) = f;
    root.node_last = f;
    if (!root.node_current) root.node_current = f;
    return f;
}

void free_node_frame(NodeFrame* f) {
    (f->previous ? f->previous->next : root.node_first) = f->next;
    (f->next ? f->next->previous : root.node_last) = f->previous;
    if (root.node_current == f) root.node_current = root.node_last;
    uint32_t k = f->chunk;
    chunk_frames[k] = nullptr;
    sys::free(f);
    root.total -= CHUNK_BYTES;
    if (!platform::decommit_pages(chunk_address(k), CHUNK_BYTES)) wrong_mem();
}

Node alloc_node() {
    NodeFrame* f = root.node_current;
    if (!f || !f->free) {
        f = root.node_first;
        while (f && (!f->free || f->evacuated)) f = f->next;
        if (!f) f = alloc_node_frame(NODE_FRAME_NODES);
        root.node_current = f;
    }
    Node n = f->free;
    f->free = static_cast<Node>(node_base[n] >> 1);
    node_base[n] = 0;
    f->used++;
    return n;
}

void free_node(NodeFrame* frame, Node node) {
    node_base[node] = (uintptr_t{frame->free} << 1) | 1;
    frame->free = node;
    frame->used--;
}

void compact_node_frames() {
    bool current_set = false;
    for (NodeFrame* f = root.node_first; f;) {
        NodeFrame* next = f->next;
        if (f->used == 0 || f->evacuated) {
            free_node_frame(f);
        } else {
            if (!current_set && f->used < f->count) {
                root.node_current = f;
                current_set = true;
            }
            f->history = (f->history << 1) | (f->used == f->used_before ? 1u : 0u);
            f->used_before = f->used;
        }
        f = next;
    }
}

// ---- Series frames and big series ------------------------------------------

SeriesFrame* alloc_series_frame() {
    uint32_t s = root.next_frame_size;
    if (s < root.max_frame_size) root.next_frame_size = s * 2 < root.max_frame_size ? s * 2 : root.max_frame_size;
    auto* f = static_cast<SeriesFrame*>(alloc_virtual(s + static_cast<uint32_t>(sizeof(SeriesFrame))));
    f->next = f->previous = nullptr;
    f->total = s + sizeof(SeriesFrame);
    f->heap = f->start();
    f->end = f->start() + s;

    // Keep the list sorted by address.
    SeriesFrame* w = root.series_first;
    if (!w) {
        root.series_first = root.series_current = root.series_last = f;
    } else if (f < w) {
        f->next = w;
        w->previous = f;
        root.series_first = f;
    } else {
        while (w->next && w < f) w = w->next;
        if (!w->next && w < f) {
            w->next = f;
            f->previous = w;
            root.series_last = f;
        } else {
            f->next = w;
            f->previous = w->previous;
            (w->previous ? w->previous->next : root.series_first) = f;
            w->previous = f;
        }
    }
    return f;
}

void free_series_frame(SeriesFrame* f) {
    (f->previous ? f->previous->next : root.series_first) = f->next;
    (f->next ? f->next->previous : root.series_last) = f->previous;
    if (root.series_current == f) root.series_current = root.series_last;
    free_virtual(f);
}

SeriesFrame* find_series_frame(uint32_t footprint) {
    for (SeriesFrame* f = root.series_first; f; f = f->next)
        if (has_room(f, footprint)) return f;
    return nullptr;
}

SeriesBuffer* alloc_big(uint32_t footprint) {
    auto* r = static_cast<BigRecord*>(alloc_virtual(footprint + static_cast<uint32_t>(sizeof(BigRecord))));
    r->next = nullptr;
    r->link = nullptr;
    r->size = footprint;
    if (!root.big_first) {
        root.big_first = r;
    } else {
        BigRecord* w = root.big_first;
        while (w->next) w = w->next;
        w->next = r;
    }
    return r->buffer();
}

void free_big(SeriesBuffer* s) {
    auto* r = reinterpret_cast<BigRecord*>(reinterpret_cast<uint8_t*>(s) - 4 - sizeof(BigRecord));
    BigRecord** link = &root.big_first;
    while (*link && *link != r) link = &(*link)->next;
    if (!*link) return;
    *link = r->next;
    free_virtual(r);
}

void sweep_big() {
    for (BigRecord* r = root.big_first; r;) {
        BigRecord* next = r->next;
        SeriesBuffer* s = r->buffer();
        if (s->flags & SERIES_MARK) {
            s->flags &= ~(SERIES_MARK | SERIES_PINNED);
        } else {
            if (s->node && node_frame_of(s->node) && !slot_is_free(s->node) && buffer(s->node) == s)
                collector::defer_free_node(s->node);
            free_big(s);
        }
        r = next;
    }
}

void free_all() {
    ++moves;
    while (root.node_first) free_node_frame(root.node_first);
    while (root.series_first) free_series_frame(root.series_first);
    while (root.big_first) free_big(root.big_first->buffer());
    root.series_current = nullptr;
    if (node_base) {
        platform::free_pages(node_range, node_range_bytes);
        node_base = node_range = nullptr;
    }
    sys::free(chunk_frames);
    chunk_frames = nullptr;
    chunk_count = chunk_capacity = chunk_limit = 0;
    sys::free(root.fixups);
    root.fixups = root.fixups_end = nullptr;
    root.fixups_capacity = 0;
    root.next_frame_size = root.first_frame_size;
    root_block = Cell{};
    value_stack_node = call_stack_node = 0;
}

// ---- Series buffers ----------------------------------------------------------

SeriesBuffer* alloc_series_buffer(uint32_t n, uint32_t unit, int32_t head_offset) {
    uint32_t size = data_size(uint64_t{n} * unit);
    uint32_t footprint = size + BUFFER_OVERHEAD;
    uint32_t big = 0;
    uint8_t* place;

    // Every point where an allocation may collect, in this order: the
    // stress switch at each allocation, before a big series, and when no
    // frame has room.
    if (collector::stress && collector::stress_due()) collector::collect_if_active();
    if (footprint >= root.max_frame_size) {
        collector::collect_if_active();
        SeriesBuffer* s = alloc_big(footprint);
        place = reinterpret_cast<uint8_t*>(s) - 4;
        big = SERIES_BIG;
    } else {
        SeriesFrame* f = root.series_current;
        if (!f || !has_room(f, footprint)) {
            f = find_series_frame(footprint);
            if (!f) {
                collector::collect_if_active();
                f = find_series_frame(footprint);
                if (f && f->end - f->heap < FRAME_REUSE_MIN) f = nullptr;
                if (!f) {
                    if (footprint >= root.next_frame_size) root.next_frame_size = root.max_frame_size;
                    f = alloc_series_frame();
                }
            }
            root.series_current = f;
        }
        place = f->heap;
        f->heap += footprint;
    }
    auto* s = reinterpret_cast<SeriesBuffer*>(place + 4);
    init_header(s, size, unit, SERIES_IN_USE | SERIES_MADE | big, head_offset);
    return s;
}

Node alloc_series(uint32_t n, uint32_t unit, int32_t head_offset) {
    SeriesBuffer* s = alloc_series_buffer(n, unit, head_offset);
    Node node = alloc_node();
    slot(node) = s;
    s->node = node;
    return node;
}

Node alloc_fixed_series(uint32_t n, uint32_t unit, int32_t head_offset) {
    SeriesBuffer* s = alloc_fixed_buffer(uint64_t{n} * unit, unit, head_offset);
    Node node = alloc_node();
    slot(node) = s;
    s->node = node;
    return node;
}

Node alloc_cells(uint32_t n) { return alloc_series(n, 16, 0); }

Node alloc_unset_cells(uint32_t n) {
    Node node = alloc_cells(n);
    SeriesBuffer* s = buffer(node);
    auto* c = reinterpret_cast<Cell*>(s->data());
    for (uint32_t i = 0; i < s->size / 16; i++) c[i] = Cell{TYPE_UNSET, 0, 0, 0};
    return node;
}

Node alloc_bytes(uint32_t size) { return alloc_series(size ? size : 16, 1, 0); }

Node alloc_bytes_filled(uint32_t size, uint8_t byte) {
    Node node = alloc_bytes(size);
    SeriesBuffer* s = buffer(node);
    std::memset(s->data(), byte, s->size);
    return node;
}

Node alloc_codepoints(uint32_t n, uint32_t unit) {
    if (n == 0) n = 16 >> (unit >> 1);
    return alloc_series(n, unit, 0);
}

void set_series_flags(Node node, uint32_t flags) { buffer(node)->flags |= flags; }

// ---- Growing and copying -----------------------------------------------------

namespace {

// Moves the series to a new buffer; `old` receives the old buffer where it
// lies now (an allocation may have slid it), abandoned but with its bytes.
SeriesBuffer* expand(SeriesBuffer* s, uint32_t new_size, SeriesBuffer** old) {
    uint32_t unit = s->unit() ? s->unit() : 1;
    uint64_t bytes = new_size ? uint64_t{new_size} : uint64_t{s->size} * 2;
    if (bytes < 1) no_memory();
    Node node = s->node;
    uint64_t units = (bytes + unit - 1) / unit;  // never less room than asked
    SeriesBuffer* fresh;
    if (s->flags & SERIES_FIXED) {
        // A fixed series stays fixed. Its old buffer is kept: addresses into
        // a fixed buffer may be held anywhere.
        fresh = alloc_fixed_buffer(units * unit, unit, 0);
    } else {
        if (units * unit > MAX_SERIES_SIZE) no_memory();
        fresh = alloc_series_buffer(static_cast<uint32_t>(units), unit, 0);
        // The allocation may have collected and slid the old buffer.
        if (node) s = buffer(node);
    }
    if (node) slot(node) = fresh;
    ++moves;
    fresh->flags = carried_flags(s->flags, fresh);
    fresh->node = node;
    uint32_t used = s->tail - s->offset;
    fresh->tail = fresh->offset + (used < fresh->size ? used : fresh->size);
    s->node = 0;
    s->flags &= ~SERIES_IN_USE;
    *old = s;
    return fresh;
}

// Copies the old bytes from the head to the end of the data area to the new
// data start (as many as the new buffer holds); answers how many.
uint32_t copy_content(const SeriesBuffer* old, SeriesBuffer* fresh) {
    uint32_t n = old->size - old->offset;
    if (n > fresh->size) n = fresh->size;
    std::memcpy(fresh->data(), old->data_at(0), n);
    return n;
}

}  // namespace

SeriesBuffer* expand_series(SeriesBuffer* s, uint32_t new_size) {
    SeriesBuffer* old;
    return expand(s, new_size, &old);
}

SeriesBuffer* expand_series_copy(SeriesBuffer* s, uint32_t new_size) {
    SeriesBuffer* old;
    SeriesBuffer* fresh = expand(s, new_size, &old);
    copy_content(old, fresh);
    return fresh;
}

SeriesBuffer* expand_series_filled(SeriesBuffer* s, uint32_t new_size, uint8_t byte) {
    SeriesBuffer* old;
    SeriesBuffer* fresh = expand(s, new_size, &old);
    // Every byte past the copied content gets the byte, so that nothing of
    // the new area is left unset when the old head was not at the start.
    uint32_t n = copy_content(old, fresh);
    std::memset(fresh->data() + n, byte, fresh->size - n);
    return fresh;
}

Node copy_series(SeriesBuffer* s) {
    Node from = s->node;
    Node node = alloc_bytes(s->size);
    if (from) s = buffer(from);  // the allocation may have slid it
    SeriesBuffer* fresh = buffer(node);
    fresh->flags = carried_flags(s->flags, fresh) & ~(SERIES_OWNED | SERIES_COMPILED);  // a copy has no owner nor steps
    fresh->tail = fresh->offset + (s->tail - s->offset);
    if (s->size) std::memcpy(fresh->data(), s->data_at(0), s->size - s->offset);
    return node;
}

// ---- Statistics ------------------------------------------------------------------

uint64_t total() { return root.total; }

uint32_t node_frame_count() {
    uint32_t n = 0;
    for (NodeFrame* f = root.node_first; f; f = f->next) n++;
    return n;
}

uint32_t series_frame_count() {
    uint32_t n = 0;
    for (SeriesFrame* f = root.series_first; f; f = f->next) n++;
    return n;
}

uint32_t big_series_count() {
    uint32_t n = 0;
    for (BigRecord* r = root.big_first; r; r = r->next) n++;
    return n;
}

uint32_t nodes_used() {
    uint32_t n = 0;
    for (NodeFrame* f = root.node_first; f; f = f->next) n += f->used;
    return n;
}

uint64_t series_bytes_used() {
    uint64_t n = 0;
    for (SeriesFrame* f = root.series_first; f; f = f->next) n += static_cast<uint64_t>(f->heap - f->start());
    for (BigRecord* r = root.big_first; r; r = r->next) n += r->size;
    return n;
}

}  // namespace memory
