// External resources: the kind table, the slot table with its free and used
// lists, and the sweep the collector runs after marking.
#include "runtime/externals.h"

#include "runtime/sys.h"

namespace externals {

namespace {

Kind* kinds = nullptr;
uint32_t kind_count = 0;
uint32_t kind_capacity = 0;
Slot* slots = nullptr;
uint32_t slot_capacity = 0;
int32_t free_head = -1;
int32_t used_head = -1;
uint64_t epoch = 0;  // tracked heap epoch the tables belong to

// Slots first .. end-1 become free, linked in order; the last links to -1.
void link_free(uint32_t first, uint32_t end) {
    for (uint32_t i = first; i < end; i++) {
        slots[i].flags = SLOT_FREE;
        slots[i].object = 0;
        slots[i].next = i + 1 < end ? static_cast<int32_t>(i + 1) : -1;
    }
}

bool valid(int32_t slot) { return slot >= 0 && static_cast<uint32_t>(slot) < slot_capacity; }

// The tables live in the tracked heap, which sys::free_all may have emptied.
bool ready() { return slots && epoch == sys::record.heap_epoch; }

void make_free(int32_t s) {
    slots[s].flags = SLOT_FREE;
    slots[s].object = 0;
    slots[s].next = free_head;
    free_head = s;
}

}  // namespace

void init() {
    kinds = static_cast<Kind*>(sys::allocate_zeroed(KIND_CAPACITY * sizeof(Kind)));
    kind_count = 0;
    kind_capacity = KIND_CAPACITY;
    slots = static_cast<Slot*>(sys::allocate(SLOT_CAPACITY * sizeof(Slot)));
    slot_capacity = SLOT_CAPACITY;
    link_free(0, slot_capacity);
    free_head = 0;
    used_head = -1;
    epoch = sys::record.heap_epoch;
}

uint32_t register_kind(const char* name, Release release, Alive alive) {
    if (!ready()) init();
    // The table grows rather than writing past its room.
    if (kind_count == kind_capacity) {
        kind_capacity *= 2;
        kinds = static_cast<Kind*>(sys::resize(kinds, kind_capacity * sizeof(Kind)));
    }
    kinds[kind_count] = Kind{name, release, alive};
    return ++kind_count;
}

int32_t store(uintptr_t object, uint32_t kind) {
    if (!ready()) init();
    int32_t s = free_head;
    if (slots[s].next == -1) {
        uint32_t old = slot_capacity;
        slot_capacity *= 2;
        slots = static_cast<Slot*>(sys::resize(slots, slot_capacity * sizeof(Slot)));
        link_free(old, slot_capacity);
        slots[s].next = static_cast<int32_t>(old);
    }
    free_head = slots[s].next;
    slots[s].flags = kind & SLOT_KIND_MASK;
    slots[s].object = object;
    slots[s].next = used_head;
    used_head = s;
    return s;
}

void release(int32_t slot) {
    if (!ready() || !valid(slot) || (slots[slot].flags & SLOT_FREE)) return;
    uint32_t kind = slots[slot].flags & SLOT_KIND_MASK;
    if (kind >= 1 && kind <= kind_count && kinds[kind - 1].release) kinds[kind - 1].release(slots[slot].object);
}

void remove(int32_t slot, bool release_object) {
    if (!ready() || !valid(slot) || (slots[slot].flags & SLOT_FREE)) return;
    if (release_object) release(slot);
    if (used_head == slot) {
        used_head = slots[slot].next;
    } else {
        int32_t p = used_head;
        while (p != -1 && slots[p].next != slot) p = slots[p].next;
        if (p != -1) slots[p].next = slots[slot].next;
    }
    make_free(slot);
}

bool mark(int32_t slot, uintptr_t object) {
    if (!ready() || !valid(slot) || (slots[slot].flags & SLOT_FREE)) return false;
    if (object) slots[slot].object = object;
    if (slots[slot].flags & SLOT_MARK) return false;
    slots[slot].flags |= SLOT_MARK;
    return true;
}

void sweep() {
    if (!ready()) return;
    int32_t kept = -1;
    for (int32_t s = used_head; s != -1;) {
        int32_t next = slots[s].next;
        const Kind* k = kind_at(slots[s].flags & SLOT_KIND_MASK);
        if ((slots[s].flags & SLOT_MARK) || (k && k->alive && k->alive(slots[s].object))) {
            slots[s].flags &= ~SLOT_MARK;
            kept = s;
        } else {
            release(s);
            (kept == -1 ? used_head : slots[kept].next) = next;
            make_free(s);
        }
        s = next;
    }
}

void release_all() {
    if (!ready()) return;
    for (int32_t s = used_head; s != -1;) {
        int32_t next = slots[s].next;
        release(s);
        make_free(s);
        s = next;
    }
    used_head = -1;
}

uint32_t capacity() { return ready() ? slot_capacity : 0; }

uint32_t used_count() {
    uint32_t n = 0;
    if (ready())
        for (int32_t s = used_head; s != -1; s = slots[s].next) n++;
    return n;
}

const Slot* slot_at(int32_t slot) { return ready() && valid(slot) ? &slots[slot] : nullptr; }

const Kind* kind_at(uint32_t kind) { return ready() && kind >= 1 && kind <= kind_count ? &kinds[kind - 1] : nullptr; }

}  // namespace externals
