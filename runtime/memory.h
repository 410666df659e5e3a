// The memory manager: nodes, series buffers carved from series frames, big
// series with memory of their own, and fixed buffers that never move.
//
// A value never holds a buffer's address. It holds a node handle: the index
// of a slot, in one reserved address range, that holds the buffer's current
// address. A buffer can therefore grow or be slid by the collector while
// every value that refers to it stays valid.
//
// Layout of a buffer in a series frame (footprint = 24 + size bytes):
//
//   [spare word][flags][node][size][offset][tail][data: size bytes]
//                ^-- SeriesBuffer                 ^-- data(), 8-byte aligned
//
// `offset` and `tail` are byte offsets from the data start: the live
// content is data()+offset .. data()+tail. Footprints are multiples of 8 and
// every frame's heap starts 8-aligned, so every data area is 8-aligned.
//
// Node handles: node frames are chunks of the node range, NODE_STRIDE slots
// apart; a frame of chunk k owns the handles (bias + k)*NODE_STRIDE + 1 ..
// + count. The bias puts handles near 2^30, far from the small integers
// that fill the machine stack (which the collector scans for handles), and
// handle 0 is never handed out. A used slot holds a buffer address (8-aligned,
// or 0 just after alloc_node); a free slot holds (next free handle << 1) | 1,
// and exactly 1 in the last free slot of its frame.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

using Node = uint32_t;  // node handle; 0 = none
struct Cell;

// Bits of a series buffer's flags word.
constexpr uint32_t SERIES_UNIT_MASK = 0x0000001F;
constexpr uint32_t SERIES_OWNED = 0x00020000;       // an object owns it (see ownership.h)
constexpr uint32_t SERIES_COMPILED = 0x00040000;    // the evaluator keeps steps made from its cells
constexpr uint32_t SERIES_COMPLEMENT = 0x00080000;  // complemented bitset
constexpr uint32_t SERIES_FIXED = 0x00100000;       // never moved, never swept
constexpr uint32_t SERIES_TABLE = 0x00200000;       // the record of a hash table
constexpr uint32_t SERIES_BIG = 0x01000000;         // has its own memory chunk
constexpr uint32_t SERIES_MARK = 0x08000000;        // collector mark
constexpr uint32_t SERIES_CENTRED = 0x10000000;     // head centred at creation
constexpr uint32_t SERIES_MADE = 0x20000000;        // made by the allocator
constexpr uint32_t SERIES_PINNED = 0x40000000;      // collector: do not move this cycle
constexpr uint32_t SERIES_IN_USE = 0x80000000;

struct SeriesBuffer {
    uint32_t flags;
    Node node;        // 0 once the buffer is abandoned
    uint32_t size;    // capacity of the data area, a multiple of 16
    uint32_t offset;  // byte offset of the head of the live content
    uint32_t tail;    // byte offset just past the last element

    uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    uint32_t unit() const { return flags & SERIES_UNIT_MASK; }
    uint8_t* offset_addr() { return data() + offset; }
    uint8_t* tail_addr() { return data() + tail; }
    const uint8_t* tail_addr() const { return data() + tail; }
    uint8_t* end_addr() { return data() + size; }
    // Address of the byte `bytes` past the head of the live content.
    uint8_t* data_at(uint32_t bytes) { return data() + offset + bytes; }
    const uint8_t* data_at(uint32_t bytes) const { return data() + offset + bytes; }
    // Number of elements between offset and tail. Every tail check comes
    // here, and units are nearly always powers of two (1, 2, 4, 16): a shift
    // then does the work of the (much slower) division. (The power test is
    // spelled out: std::has_single_bit becomes a library call without
    // -mpopcnt.)
    uint32_t count() const {
        uint32_t u = unit();
        uint32_t bytes = tail - offset;
        return u != 0 && (u & (u - 1)) == 0 ? bytes >> std::countr_zero(u) : bytes / u;
    }
};
static_assert(sizeof(SeriesBuffer) == 20, "five 32-bit words");

namespace memory {

// What every writer of an existing block's cells (their values, bindings or
// number) calls: steps the evaluator made from them no longer hold.
inline void cells_changed(SeriesBuffer* s) { s->flags &= ~SERIES_COMPILED; }

// ---- Nodes -----------------------------------------------------------------------

// Slot n is at node_base[n] (the reserved range starts at the first handle).
extern uintptr_t* node_base;
// Counts the events that may move or free a buffer: a series grown into a
// new buffer, a collection, the release of all memory. Never reset: a C++
// cache of cell addresses holds while it is unchanged.
extern uint32_t moves;

inline SeriesBuffer*& slot(Node n) { return *reinterpret_cast<SeriesBuffer**>(node_base + n); }
// The buffer a node refers to.
inline SeriesBuffer* buffer(Node n) { return slot(n); }
// Whether a slot of a frame is on its frame's free list.
inline bool slot_is_free(Node n) { return (node_base[n] & 1) != 0; }

// Slots between the starts of two node frames: 20 pages, room for 10,000
// nodes after the unused first slot of each chunk.
constexpr uint32_t NODE_STRIDE = 10240;
constexpr uint32_t NODE_FRAME_NODES = 10000;

// Bookkeeping of one node frame; kept in the tracked heap, outside the
// node range, so that the range holds nothing but slots.
struct NodeFrame {
    NodeFrame* next;       // list in creation order
    NodeFrame* previous;
    uint32_t count;        // number of slots
    Node free;             // first free slot, 0 when the frame is full
    uint32_t used;         // slots handed out
    uint32_t stamp;        // collector cycle count when the frame was made
    uint32_t used_before;  // `used` at the end of the previous collection
    uint32_t history;      // one bit per collection, newest in bit 0: 1 = used unchanged
    uint32_t evacuated;    // 1 once the collector has moved every node out
    Node first;            // handle of the frame's first slot
    uint32_t chunk;        // position of the frame in the node range

    bool holds(Node n) const { return n >= first && n - first < count; }
};

// A series frame: this header, then buffers back to back from start() up to
// heap. The list of series frames is sorted by address.
struct SeriesFrame {
    SeriesFrame* next;
    SeriesFrame* previous;
    uint64_t total;  // bytes of the frame, header included
    uint8_t* heap;   // first unused byte
    uint8_t* end;    // just past the frame

    uint8_t* start() { return reinterpret_cast<uint8_t*>(this + 1); }
};
static_assert(sizeof(SeriesFrame) % 8 == 0, "buffers start 8-aligned");

// A big series: this record, then the buffer's footprint.
struct BigRecord {
    BigRecord* next;
    BigRecord* link;  // second link word, always null
    uint64_t size;    // footprint of the buffer
    SeriesBuffer* buffer() { return reinterpret_cast<SeriesBuffer*>(reinterpret_cast<uint8_t*>(this + 1) + 4); }
};
static_assert(sizeof(BigRecord) % 8 == 0, "the big buffer's data is 8-aligned");

// Bytes a buffer takes in a frame besides its data: spare word and header.
constexpr uint32_t BUFFER_OVERHEAD = 24;
// Largest data area of one series: below 2 GiB, so that no series (not
// even one of 1-byte units) holds more than 2^31 - 1 elements, the most a
// length or index (integer!) can count.
constexpr uint64_t MAX_SERIES_SIZE = 0x7FFFFFF0u;
// After a collection, a frame is reused only with this much room left.
constexpr uint32_t FRAME_REUSE_MIN = 52428;

// The buffers of a series frame, in address order: first_buffer(f) while
// below f->heap, then next_buffer.
inline SeriesBuffer* first_buffer(SeriesFrame* f) { return reinterpret_cast<SeriesBuffer*>(f->start() + 4); }
inline SeriesBuffer* next_buffer(SeriesBuffer* s) {
    return reinterpret_cast<SeriesBuffer*>(s->data() + s->size + 4);
}

// One entry of the pointer fix-up table: an address into a series buffer
// and the variable that holds it.
struct FixUp {
    uintptr_t address;
    uintptr_t* variable;
};

// The memory manager's root record, shared with the collector.
struct Root {
    uint64_t total;  // bytes taken from the system (committed node chunks, frames, big series)
    NodeFrame* node_first;
    NodeFrame* node_last;
    NodeFrame* node_current;  // where alloc_node looks first
    SeriesFrame* series_first;
    SeriesFrame* series_current;  // where buffers are carved
    SeriesFrame* series_last;
    uint32_t first_frame_size;  // 1 MB
    uint32_t next_frame_size;   // size of the next series frame to make
    uint32_t max_frame_size;    // largest frame, and the big-series threshold: 2 MB
    BigRecord* big_first;
    FixUp* fixups;              // pointer fix-up table (the collector fills it)
    FixUp* fixups_end;          // end of its used part
    uint32_t fixups_capacity;   // in entries
};
extern Root root;

// The node frame whose slot range holds n, or null.
NodeFrame* node_frame_of(Node n);

// ---- Parameters and frames ---------------------------------------------------

// Sets the start parameters: first series frame 1 MB, next-frame size 1 MB,
// largest frame and big-series threshold 2 MB, fix-up table of 1000 entries
// (tracked heap).
void set_params();

// The internal errors of the memory manager: the system refused memory (or
// a size is out of reach), or refused to take memory back.
[[noreturn]] void no_memory();
[[noreturn]] void wrong_mem();

// Takes `size` bytes of operating-system memory: size + 8 rounded up to a
// page, the rounded size kept in front of the address returned (8-aligned);
// `total` grows by it. Raises no-memory when refused.
void* alloc_virtual(uint32_t size);
// Gives such a chunk back; raises wrong-mem when the system refuses.
void free_virtual(void* address);
// Releases every node frame, series frame and big series (in that order),
// the node range and the fix-up table. Fixed buffers stay in the tracked
// heap until sys::free_all.
void free_all();

// A node frame of `nodes` slots (at most NODE_STRIDE - 1), appended to the
// list; it becomes current when there is none.
NodeFrame* alloc_node_frame(uint32_t nodes);
// Unlinks and releases a frame; the last frame becomes current if it was.
void free_node_frame(NodeFrame* frame);
// A series frame of the next size (which then doubles, up to the largest),
// inserted in the list by address.
SeriesFrame* alloc_series_frame();
void free_series_frame(SeriesFrame* frame);
// First frame in address order with heap + footprint < end, or null.
SeriesFrame* find_series_frame(uint32_t footprint);
// A big-series record of `footprint` bytes appended to the list; its buffer.
SeriesBuffer* alloc_big(uint32_t footprint);
void free_big(SeriesBuffer* s);
// Collector step: every big series left unmarked is freed (its node queued
// for release); the others lose their mark.
void sweep_big();
// Gives a node back to its frame's free list.
void free_node(NodeFrame* frame, Node node);
// End-of-collection pass: releases empty and evacuated node frames, makes
// the first frame with room current and shifts every frame's history.
void compact_node_frames();

// ---- Nodes and series ---------------------------------------------------------

// A free node, set to 0. Never runs the collector.
Node alloc_node();
// A buffer of n units of `unit` bytes (the data size rounded up to 16;
// beyond MAX_SERIES_SIZE, no-memory); head_offset in bytes, or -1 to centre
// the head. A footprint of max_frame_size (2 MB) or more makes a big series.
// The data area is not cleared; the buffer has no node yet. May run the
// collector when automatic collection is on.
SeriesBuffer* alloc_series_buffer(uint32_t n, uint32_t unit, int32_t head_offset);
// alloc_series_buffer with a node: buffer and node refer to each other.
Node alloc_series(uint32_t n, uint32_t unit, int32_t head_offset);
// A buffer from the tracked heap that compaction never moves and the
// collector never sweeps (flags unit | 0xA0100000), with a node.
Node alloc_fixed_series(uint32_t n, uint32_t unit, int32_t head_offset);
Node alloc_cells(uint32_t n);
Node alloc_unset_cells(uint32_t n);
Node alloc_bytes(uint32_t size);                      // 0 becomes 16
Node alloc_bytes_filled(uint32_t size, uint8_t byte);
Node alloc_codepoints(uint32_t n, uint32_t unit);     // 0 becomes 16 >> (unit >> 1)
void set_series_flags(Node node, uint32_t flags);

// Moves the series to a new buffer of at least `new_size` bytes (0 doubles
// it; doubling nothing raises no-memory), head at the data start. The node
// then refers to the new buffer, which takes the old flags word (its own big
// and fixed bits aside); the old buffer keeps its bytes but is abandoned
// (node 0, not in use). A fixed series gets a fixed buffer again and its old
// buffer stays allocated. May collect: the old buffer is read again through
// its node. The -copy form carries the bytes from the head to the end of the
// data area over (as many as the new buffer holds); the -filled form also
// fills every new byte after them.
SeriesBuffer* expand_series(SeriesBuffer* s, uint32_t new_size);
SeriesBuffer* expand_series_copy(SeriesBuffer* s, uint32_t new_size);
SeriesBuffer* expand_series_filled(SeriesBuffer* s, uint32_t new_size, uint8_t byte);
// A new series with a copy of the buffer from its head, the same capacity
// and the same flags (the copy is never fixed).
Node copy_series(SeriesBuffer* s);

// ---- Permanent series of the runtime -------------------------------------------

// The runtime's root slot: the root block (fixed buffer of 8942 cells), the
// collector's first root and the parent of the runtime's permanent series.
extern Cell root_block;
// 1 from the start of runtime initialisation until the library's top level
// begins: new global words and issues are then kept in the root block.
extern uint32_t starting;
// Nodes of the value-stack and call-stack series (fixed buffers, cells of
// the root block). The collector marks both.
extern Node value_stack_node;
extern Node call_stack_node;

// ---- Statistics ------------------------------------------------------------------

uint64_t total();  // bytes taken from the system
uint32_t node_frame_count();
uint32_t series_frame_count();
uint32_t big_series_count();
uint32_t nodes_used();  // over every node frame
// Bytes carved in every series frame plus the footprint of every big series.
uint64_t series_bytes_used();

}  // namespace memory
