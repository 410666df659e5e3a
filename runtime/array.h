// Raw growable arrays: a series used as a plain array of bytes, 16-bit or
// 32-bit items, referred to by its node. It lives in collected memory: the
// module that keeps one must make it reachable for the collector.
//
// Items lie from the buffer's offset to its tail; the unit field of the
// buffer's flags is the item size. pick, poke and clear_at count items from
// 1, insert_ptr from 0; find and remove_at work in bytes from the head.
// "ptr" items are 32-bit handles or indexes. Addresses returned are valid
// only until the next allocation.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

namespace array {

// An empty array with room for `count` items of `unit` bytes.
Node make(uint32_t count, uint32_t unit);
uint32_t length_q(Node node);
void clear(Node node);
// Cuts the array before item `index`: 1 empties it; an index past the last
// item leaves it as it is.
void clear_at(Node node, int32_t index);
Node copy(Node node);
// Address of the first item.
uint8_t* get_ptr(Node node);

uint8_t* append_byte(Node node, uint8_t byte);
uint8_t pick_byte(Node node, uint32_t index);
// Appends `size` bytes from `source`; answers where they were written.
uint8_t* append_bytes(Node node, const uint8_t* source, uint32_t size);
uint8_t* append_int(Node node, int32_t value);
uint8_t* append_ptr(Node node, uint32_t value);
// Byte offset from the head of the first 32-bit item equal to the value,
// or -1.
int32_t find_int(Node node, int32_t value);
int32_t find_ptr(Node node, uint32_t value);
int32_t pick_int(Node node, uint32_t index);
uint32_t pick_ptr(Node node, uint32_t index);
void poke_ptr(Node node, uint32_t index, uint32_t value);
// Inserts a 32-bit item before the 0-based index (an index past the end
// appends); a full array first doubles.
void insert_ptr(Node node, uint32_t value, uint32_t index);
// Removes `size` bytes at the byte offset from the head (clipped to the
// items there are).
void remove_at(Node node, uint32_t offset, uint32_t size);
// Removes the first item equal to the value; nothing when there is none.
void remove_ptr(Node node, uint32_t value);

}  // namespace array
