// Raw growable arrays over series buffers.
#include "runtime/array.h"

#include <cstring>

#include "runtime/cell.h"

namespace array {

namespace {

SeriesBuffer* buf(Node node) { return memory::buffer(node); }

uint32_t log2_unit(uint32_t unit) { return 31u - static_cast<uint32_t>(__builtin_clz(unit | 1)); }

uint8_t* append32(Node node, uint32_t value) {
    uint8_t* p = alloc_tail_unit(buf(node), 4);
    std::memcpy(p, &value, 4);
    return p;
}

int32_t find32(Node node, uint32_t value) {
    SeriesBuffer* s = buf(node);
    for (uint32_t at = 0; at + 4 <= s->tail - s->offset; at += 4) {
        uint32_t item;
        std::memcpy(&item, s->data_at(at), 4);
        if (item == value) return static_cast<int32_t>(at);
    }
    return -1;
}

uint32_t pick32(Node node, uint32_t index) {
    uint32_t item;
    std::memcpy(&item, buf(node)->data_at(4 * (index - 1)), 4);
    return item;
}

}  // namespace

Node make(uint32_t count, uint32_t unit) {
    uint64_t bytes = uint64_t{count} * unit;
    if (bytes > memory::MAX_SERIES_SIZE) memory::no_memory();
    Node node = memory::alloc_bytes(static_cast<uint32_t>(bytes));
    SeriesBuffer* s = buf(node);
    s->flags = (s->flags & ~SERIES_UNIT_MASK) | (unit & SERIES_UNIT_MASK);
    return node;
}

uint32_t length_q(Node node) {
    SeriesBuffer* s = buf(node);
    return (s->tail - s->offset) >> log2_unit(s->unit());
}

void clear(Node node) {
    SeriesBuffer* s = buf(node);
    s->tail = s->offset;
}

void clear_at(Node node, int32_t index) {
    SeriesBuffer* s = buf(node);
    if (index < 1) index = 1;
    uint64_t cut = s->offset + uint64_t(index - 1) * s->unit();
    if (cut < s->tail) s->tail = static_cast<uint32_t>(cut);
}

Node copy(Node node) { return memory::copy_series(buf(node)); }

uint8_t* get_ptr(Node node) { return buf(node)->data_at(0); }

uint8_t* append_byte(Node node, uint8_t byte) {
    uint8_t* p = alloc_tail_unit(buf(node), 1);
    *p = byte;
    return p;
}

uint8_t pick_byte(Node node, uint32_t index) { return *buf(node)->data_at(index - 1); }

uint8_t* append_bytes(Node node, const uint8_t* source, uint32_t size) {
    uint8_t* p = alloc_tail_unit(buf(node), size);
    if (size) std::memmove(p, source, size);
    return p;
}

uint8_t* append_int(Node node, int32_t value) { return append32(node, static_cast<uint32_t>(value)); }
uint8_t* append_ptr(Node node, uint32_t value) { return append32(node, value); }

int32_t find_int(Node node, int32_t value) { return find32(node, static_cast<uint32_t>(value)); }
int32_t find_ptr(Node node, uint32_t value) { return find32(node, value); }

int32_t pick_int(Node node, uint32_t index) { return static_cast<int32_t>(pick32(node, index)); }
uint32_t pick_ptr(Node node, uint32_t index) { return pick32(node, index); }

void poke_ptr(Node node, uint32_t index, uint32_t value) {
    std::memcpy(buf(node)->data_at(4 * (index - 1)), &value, 4);
}

void insert_ptr(Node node, uint32_t value, uint32_t index) {
    SeriesBuffer* s = buf(node);
    if (s->tail + 4 > s->size) s = memory::expand_series_copy(s, s->size ? s->size * 2 : 16);
    uint32_t used = s->tail - s->offset;
    uint32_t at = uint64_t{index} * 4 < used ? index * 4 : used;
    uint8_t* p = s->data_at(at);
    std::memmove(p + 4, p, used - at);
    std::memcpy(p, &value, 4);
    s->tail += 4;
}

void remove_at(Node node, uint32_t offset, uint32_t size) {
    SeriesBuffer* s = buf(node);
    uint32_t used = s->tail - s->offset;
    if (offset >= used) return;
    if (size > used - offset) size = used - offset;
    uint8_t* p = s->data_at(offset);
    std::memmove(p, p + size, used - offset - size);
    s->tail -= size;
}

void remove_ptr(Node node, uint32_t value) {
    int32_t at = find_ptr(node, value);
    if (at >= 0) remove_at(node, static_cast<uint32_t>(at), 4);
}

}  // namespace array
