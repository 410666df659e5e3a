// The tracked heap: every block taken from the C heap is linked into one
// list, so that the fatal end and shutdown can release them all.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/externals.h"
#include "runtime/print.h"
#include "runtime/sys.h"

namespace sys {

namespace {

HeapBlock* header_of(void* address) {
    return reinterpret_cast<HeapBlock*>(static_cast<char*>(address) - sizeof(HeapBlock));
}

[[noreturn]] void out_of_memory(const void* caller) { on_quit(94, code_address(caller)); }

bool listed(HeapBlock* block) {
    for (HeapBlock* b = record.heap_first; b; b = b->next)
        if (b == block) return true;
    return false;
}

}  // namespace

void* try_allocate(size_t size) {
    if (size > SIZE_MAX - sizeof(HeapBlock)) return nullptr;
    auto* block = static_cast<HeapBlock*>(std::malloc(size + sizeof(HeapBlock)));
    if (!block) return nullptr;
    block->prev = record.heap_last;
    block->next = nullptr;
    block->size = static_cast<uint32_t>(size);
    if (record.heap_last)
        record.heap_last->next = block;
    else
        record.heap_first = block;
    record.heap_last = block;
    return block + 1;
}

__attribute__((noinline)) void* allocate(size_t size) {
    void* p = try_allocate(size);
    if (!p) out_of_memory(__builtin_return_address(0));
    return p;
}

void* allocate_zeroed(size_t size) {
    void* p = allocate(size);
    std::memset(p, 0, size);
    return p;
}

__attribute__((noinline)) void* resize(void* address, size_t size) {
    if (!address) return allocate(size);
    if (size == 0) {
        free(address);
        return nullptr;
    }
    HeapBlock* old = header_of(address);
    if (!listed(old)) return nullptr;
    HeapBlock* prev = old->prev;
    HeapBlock* next = old->next;
    auto* block = static_cast<HeapBlock*>(std::realloc(old, size + sizeof(HeapBlock)));
    if (!block) out_of_memory(__builtin_return_address(0));
    block->size = static_cast<uint32_t>(size);
    (next ? next->prev : record.heap_last) = block;
    (prev ? prev->next : record.heap_first) = block;
    return block + 1;
}

void free(void* address) {
    if (!address) return;
    HeapBlock* block = header_of(address);
    // Only blocks of the list go back to the heap: a stray or repeated free
    // is ignored.
    if (!listed(block)) return;
    (block->prev ? block->prev->next : record.heap_first) = block->next;
    (block->next ? block->next->prev : record.heap_last) = block->prev;
    std::free(block);
}

uint64_t heap_bytes() {
    uint64_t n = 0;
    for (HeapBlock* b = record.heap_first; b; b = b->next) n += b->size + sizeof(HeapBlock);
    return n;
}

void free_all() {
    // What the external slots own lives outside the tracked heap.
    externals::release_all();
    for (HeapBlock* b = record.heap_first; b;) {
        HeapBlock* next = b->next;
        std::free(b);
        b = next;
    }
    record.heap_first = record.heap_last = nullptr;
    record.heap_epoch++;
}

void dump_heap_allocations() {
    print_line({Item::cstr("-- Heap-allocations --")});
    print_line({Item::cstr("Asked   Real")});
    int32_t sum = 0;
    for (HeapBlock* b = record.heap_first; b; b = b->next) {
        auto real = static_cast<int32_t>(b->size + sizeof(HeapBlock));
        print_line({Item::i32(static_cast<int32_t>(b->size)), Item::chr('\t'), Item::i32(real)});
        sum += real;
    }
    print_line({Item::cstr("-- Sum: "), Item::i32(sum), Item::cstr(" --")});
}

}  // namespace sys
