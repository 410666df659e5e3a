// External resources: the slot table, its growth, marking and the sweep.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/externals.h"
#include "runtime/sys.h"

namespace {

std::vector<uintptr_t> released;
void note(uintptr_t object) { released.push_back(object); }

class Externals : public ::testing::Test {
protected:
    void SetUp() override {
        externals::init();
        released.clear();
        kind = externals::register_kind("test", note);
    }
    void TearDown() override { sys::free_all(); }
    uint32_t kind = 0;
};

TEST_F(Externals, TheLastFreeSlotDoublesTheTable) {
    for (int32_t i = 0; i < 999; i++) ASSERT_EQ(externals::store(100 + i, kind), i);
    EXPECT_EQ(externals::capacity(), 1000u);
    EXPECT_EQ(externals::store(7, kind), 999);  // the old free head
    EXPECT_EQ(externals::capacity(), 2000u);
    EXPECT_EQ(externals::store(8, kind), 1000);
    EXPECT_EQ(externals::used_count(), 1001u);
    EXPECT_EQ(externals::slot_at(999)->object, 7u);
}

TEST_F(Externals, MarkingTwiceAnswersTrueThenFalse) {
    int32_t s = externals::store(5, kind);
    EXPECT_TRUE(externals::mark(s, 0));
    EXPECT_FALSE(externals::mark(s, 9));
    EXPECT_EQ(externals::slot_at(s)->object, 9u);  // a non-zero object replaces the stored one
    // Indexes that are not slots in use are ignored.
    EXPECT_FALSE(externals::mark(-1, 0));
    EXPECT_FALSE(externals::mark(5000, 0));
    EXPECT_FALSE(externals::mark(s + 1, 0));
}

TEST_F(Externals, AnUnmarkedSlotIsReleasedOnceAndReused) {
    int32_t a = externals::store(1, kind);
    int32_t b = externals::store(2, kind);
    int32_t c = externals::store(3, kind);
    externals::mark(a, 0);
    externals::mark(c, 0);
    externals::sweep();
    EXPECT_EQ(released, std::vector<uintptr_t>{2});
    EXPECT_EQ(externals::slot_at(b)->flags, externals::SLOT_FREE);
    EXPECT_EQ(externals::slot_at(a)->flags, kind);  // kept, mark cleared
    EXPECT_EQ(externals::store(4, kind), b);
    externals::sweep();  // nothing marked: every slot goes, each released once
    EXPECT_EQ(released, (std::vector<uintptr_t>{2, 4, 3, 1}));
    EXPECT_EQ(externals::used_count(), 0u);
}

// A kind may keep an unmarked object its owner still holds (an image record
// that only the machine stack reached); what is left goes when the tracked
// heap is emptied.
TEST_F(Externals, AnAliveObjectOutlivesTheSweepAndFreeAllReleasesTheRest) {
    uint32_t held = externals::register_kind("held", note, [](uintptr_t object) { return object == 7; });
    int32_t a = externals::store(7, held);
    externals::store(8, held);
    externals::sweep();
    EXPECT_EQ(released, std::vector<uintptr_t>{8});
    EXPECT_EQ(externals::slot_at(a)->object, 7u);
    externals::store(9, kind);
    sys::free_all();
    EXPECT_EQ(released, (std::vector<uintptr_t>{8, 9, 7}));
    externals::init();
}

TEST_F(Externals, RemoveReleasesOnlyWhenAsked) {
    int32_t a = externals::store(1, kind);
    int32_t b = externals::store(2, kind);
    externals::remove(a, false);
    externals::remove(b, true);
    externals::remove(b, true);  // already free: nothing
    EXPECT_EQ(released, std::vector<uintptr_t>{2});
    EXPECT_EQ(externals::used_count(), 0u);
}

TEST_F(Externals, KindsAreNumberedFromOneAndMayExceedTheFirstTable) {
    EXPECT_EQ(kind, 1u);
    for (uint32_t i = 2; i <= 30; i++) EXPECT_EQ(externals::register_kind("more", nullptr), i);
    EXPECT_STREQ(externals::kind_at(1)->name, "test");
    EXPECT_EQ(externals::kind_at(31), nullptr);
    int32_t s = externals::store(6, 30);
    externals::release(s);  // a kind without a function: nothing to call
    EXPECT_TRUE(released.empty());
}

}  // namespace
