// The tracked heap: list links, resize, free cases and the listing.
#include <gtest/gtest.h>

#include <string>

#include "runtime/print.h"
#include "runtime/sys.h"

namespace {

std::string captured;
void capture(const char* text, uint32_t length, uint32_t) { captured.append(text, length); }

class Heap : public ::testing::Test {
protected:
    void SetUp() override { sys::free_all(); }
    void TearDown() override { sys::free_all(); }
    static size_t listed() {
        size_t n = 0;
        for (auto* b = sys::record.heap_first; b; b = b->next) n++;
        return n;
    }
};

TEST_F(Heap, FreeingTheMiddleBlockLinksItsNeighbours) {
    void* a = sys::allocate(8);
    void* b = sys::allocate(8);
    void* c = sys::allocate(8);
    sys::free(b);
    auto* first = sys::record.heap_first;
    auto* last = sys::record.heap_last;
    EXPECT_EQ(first->next, last);
    EXPECT_EQ(last->prev, first);
    EXPECT_EQ(reinterpret_cast<char*>(first) + sizeof(sys::HeapBlock), a);
    EXPECT_EQ(reinterpret_cast<char*>(last) + sizeof(sys::HeapBlock), c);
}

TEST_F(Heap, FreeingFirstLastAndOnly) {
    void* a = sys::allocate(1);
    void* b = sys::allocate(2);
    sys::free(a);
    EXPECT_EQ(sys::record.heap_first, sys::record.heap_last);
    EXPECT_EQ(sys::record.heap_first->prev, nullptr);
    sys::free(b);
    EXPECT_EQ(sys::record.heap_first, nullptr);
    EXPECT_EQ(sys::record.heap_last, nullptr);
}

TEST_F(Heap, StrayAndRepeatedFreesAreIgnored) {
    void* a = sys::allocate(16);
    alignas(16) char not_ours[64] = {};
    sys::free(not_ours + 32);
    sys::free(a);
    sys::free(a);
    EXPECT_EQ(listed(), 0u);
}

TEST_F(Heap, ResizeKeepsPlaceAndContent) {
    void* a = sys::allocate(4);
    auto* b = static_cast<char*>(sys::allocate(4));
    void* c = sys::allocate(4);
    std::memcpy(b, "abc", 4);
    b = static_cast<char*>(sys::resize(b, 100000));
    EXPECT_STREQ(b, "abc");
    auto* first = sys::record.heap_first;
    EXPECT_EQ(reinterpret_cast<char*>(first) + sizeof(sys::HeapBlock), a);
    EXPECT_EQ(reinterpret_cast<char*>(first->next) + sizeof(sys::HeapBlock), b);
    EXPECT_EQ(first->next->size, 100000u);
    EXPECT_EQ(reinterpret_cast<char*>(sys::record.heap_last) + sizeof(sys::HeapBlock), c);
    EXPECT_EQ(sys::record.heap_last->prev, first->next);
}

TEST_F(Heap, ResizeOfNullAllocatesAndToZeroFrees) {
    void* a = sys::resize(nullptr, 10);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(listed(), 1u);
    EXPECT_EQ(sys::resize(a, 0), nullptr);
    EXPECT_EQ(listed(), 0u);
}

TEST_F(Heap, FreeAllEmptiesAndANewListStarts) {
    sys::allocate(1);
    sys::allocate(2);
    sys::free_all();
    EXPECT_EQ(listed(), 0u);
    sys::allocate(3);
    EXPECT_EQ(listed(), 1u);
    EXPECT_EQ(sys::record.heap_first, sys::record.heap_last);
}

TEST_F(Heap, AllocateZeroedAndAlignment) {
    auto* p = static_cast<unsigned char*>(sys::allocate_zeroed(64));
    for (int i = 0; i < 64; i++) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
}

TEST_F(Heap, Listing) {
    print_hooks::init();
    print_hooks::add(nullptr, capture);
    sys::allocate(10);
    sys::allocate(20);
    captured.clear();
    sys::dump_heap_allocations();
    const int h = static_cast<int>(sizeof(sys::HeapBlock));
    std::string want = "-- Heap-allocations --\nAsked   Real\n";
    int sum = 0;
    const int list = 5 * static_cast<int>(sizeof(void*));
    for (int asked : {list, list, 10, 20}) {  // the two hook lists, then ours
        want += std::to_string(asked) + "\t" + std::to_string(asked + h) + "\n";
        sum += asked + h;
    }
    want += "-- Sum: " + std::to_string(sum) + " --\n";
    EXPECT_EQ(captured, want);
}

TEST_F(Heap, RoundUp) {
    EXPECT_EQ(sys::round_up(0, 16), 0u);
    EXPECT_EQ(sys::round_up(1, 16), 16u);
    EXPECT_EQ(sys::round_up(16, 16), 16u);
    EXPECT_EQ(sys::round_up(4097, 4096), 8192u);
}

}  // namespace
