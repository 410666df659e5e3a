// External resources: objects outside collected memory (bitmaps, ...) kept
// in slots of one process-wide table; a value holds the slot's index, and a
// collection releases every slot that no live value marked.
#pragma once
#include <cstdint>

namespace externals {

using Release = void (*)(uintptr_t object);
// Asked by the sweep about an unmarked object: true keeps it this cycle (an
// object whose owner the collector reached by a way that does not mark the
// slot, such as the machine stack).
using Alive = bool (*)(uintptr_t object);

constexpr uint32_t KIND_CAPACITY = 20;
constexpr uint32_t SLOT_CAPACITY = 1000;
constexpr uint32_t SLOT_FREE = 0x40000000;
constexpr uint32_t SLOT_MARK = 0x80000000;
constexpr uint32_t SLOT_KIND_MASK = 0xFF;

struct Kind {
    const char* name;
    Release release;  // null: nothing to call
    Alive alive;      // null: unmarked means unreachable
};

struct Slot {
    uint32_t flags;    // kind number, or SLOT_FREE; SLOT_MARK while marked
    int32_t next;      // next slot of the free or used list, -1 at the end
    uintptr_t object;
};

// The kind table (room for 20, grown when more register) and the slot table
// of 1000 free slots linked in order.
void init();
// Registers a kind; answers its number, from 1.
uint32_t register_kind(const char* name, Release release, Alive alive = nullptr);
// Stores an object of a kind in the first free slot (the table doubles when
// the last free slot is taken); answers the slot index, from 0.
int32_t store(uintptr_t object, uint32_t kind);
// Calls the release function of the slot's kind with its object.
void release(int32_t slot);
// Optionally releases the object, then frees the slot.
void remove(int32_t slot, bool release_object);
// Marks a slot for the current collection; a non-zero object replaces the
// stored one. True when it was not yet marked; false for an index that is
// not a slot in use.
bool mark(int32_t slot, uintptr_t object);
// After marking: releases and frees every unmarked slot in use (unless its
// kind says the object is alive) and clears the marks of the others.
void sweep();

// Releases every slot in use (the tables go with the tracked heap, which
// sys::free_all empties: it calls this first).
void release_all();

// Inspection.
uint32_t capacity();
uint32_t used_count();
const Slot* slot_at(int32_t slot);  // null outside the table
const Kind* kind_at(uint32_t kind);  // null for an unknown kind

}  // namespace externals
