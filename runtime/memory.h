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
// content is data()+offset .. data()+tail.
#pragma once
#include <cstdint>

using Node = uint32_t;  // node handle; 0 = none

// Bits of a series buffer's flags word.
constexpr uint32_t SERIES_UNIT_MASK = 0x0000001F;
constexpr uint32_t SERIES_COMPLEMENT = 0x00080000;  // complemented bitset
constexpr uint32_t SERIES_FIXED = 0x00100000;       // never moved, never swept
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
    // Number of elements between offset and tail.
    uint32_t count() const { return (tail - offset) / unit(); }
};
static_assert(sizeof(SeriesBuffer) == 20, "five 32-bit words");

namespace memory {

// ---- Nodes -----------------------------------------------------------------------

// Base of the reserved node range; slot n is at node_base[n].
extern uintptr_t* node_base;

inline SeriesBuffer*& slot(Node n) { return *reinterpret_cast<SeriesBuffer**>(node_base + n); }
// The buffer a node refers to.
inline SeriesBuffer* buffer(Node n) { return slot(n); }

// ---- Parameters and frames ---------------------------------------------------

// Sets the start parameters: first series frame 1 MB, next-frame size 1 MB,
// largest frame and big-series threshold 2 MB, fix-up table of 1000 entries.
void set_params();

// Takes `size` bytes of operating-system memory (rounded as the manager
// does); raises the internal error no-memory when refused.
void* alloc_virtual(uint32_t size);
void free_virtual(void* address);
// Releases every node frame, series frame and big series.
void free_all();

struct NodeFrame;
struct SeriesFrame;
NodeFrame* alloc_node_frame(uint32_t nodes);
void free_node_frame(NodeFrame* frame);
SeriesFrame* alloc_series_frame();
void free_series_frame(SeriesFrame* frame);

// ---- Nodes and series ---------------------------------------------------------

// A free node, set to 0. Never runs the collector.
Node alloc_node();
// A buffer of n units of `unit` bytes; head_offset in bytes, or -1 to centre
// the head. May run the collector when automatic collection is on.
SeriesBuffer* alloc_series_buffer(uint32_t n, uint32_t unit, int32_t head_offset);
// alloc_series_buffer with a node: buffer and node refer to each other.
Node alloc_series(uint32_t n, uint32_t unit, int32_t head_offset);
// A buffer that compaction never moves and the collector never sweeps.
Node alloc_fixed_series(uint32_t n, uint32_t unit, int32_t head_offset);
Node alloc_cells(uint32_t n);
Node alloc_unset_cells(uint32_t n);
Node alloc_bytes(uint32_t size);                      // 0 becomes 16
Node alloc_bytes_filled(uint32_t size, uint8_t byte);
Node alloc_codepoints(uint32_t n, uint32_t unit);     // 0 becomes 16 >> (unit >> 1)
void set_series_flags(Node node, uint32_t flags);

// Moves the series to a new buffer of `new_size` bytes (0 doubles it). The
// old buffer is abandoned (node 0, not in use). The -copy form carries the
// content over; the -filled form also fills the new bytes.
SeriesBuffer* expand_series(SeriesBuffer* s, uint32_t new_size);
SeriesBuffer* expand_series_copy(SeriesBuffer* s, uint32_t new_size);
SeriesBuffer* expand_series_filled(SeriesBuffer* s, uint32_t new_size, uint8_t byte);
// A new series with a copy of the buffer and the same capacity and flags.
Node copy_series(SeriesBuffer* s);

// Counters for statistics and tests.
uint64_t total();  // bytes taken from the system

}  // namespace memory
