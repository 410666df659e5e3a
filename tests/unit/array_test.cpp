// Raw growable arrays of bytes and 32-bit items.
#include <gtest/gtest.h>

#include "series_fixture.h"

#include <cstring>
#include <vector>

#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/sys.h"

namespace {

class Arrays : public SeriesTest {
protected:
    static std::vector<uint32_t> items(Node a) {
        std::vector<uint32_t> v;
        for (uint32_t i = 1; i <= array::length_q(a); i++) v.push_back(array::pick_ptr(a, i));
        return v;
    }
    static Node of(std::initializer_list<uint32_t> values, uint32_t room) {
        Node a = array::make(room, 4);
        for (uint32_t v : values) array::append_ptr(a, v);
        return a;
    }
};

TEST_F(Arrays, MakeGivesAnEmptyArrayWithRoom) {
    Node a = array::make(10, 4);
    EXPECT_EQ(array::length_q(a), 0u);
    EXPECT_GE(memory::buffer(a)->size, 40u);
    EXPECT_EQ(memory::buffer(a)->unit(), 4u);
    EXPECT_EQ(memory::buffer(array::make(0, 2))->size, 16u);
}

TEST_F(Arrays, LengthCountsItemsOfTheUnit) {
    const uint32_t cases[][3] = {{1, 12, 12}, {2, 12, 6}, {4, 12, 3}, {4, 0, 0}};
    for (auto [unit, bytes, length] : cases) {
        Node a = array::make(4, unit);
        std::vector<uint8_t> data(bytes, 1);
        array::append_bytes(a, data.data(), bytes);
        EXPECT_EQ(array::length_q(a), length) << unit;
    }
}

TEST_F(Arrays, AppendsGrowAndKeepEveryItem) {
    Node a = array::make(1, 4);
    for (int32_t i = 0; i < 100; i++) array::append_int(a, i * 7 - 50);
    ASSERT_EQ(array::length_q(a), 100u);
    for (uint32_t i = 1; i <= 100; i++) ASSERT_EQ(array::pick_int(a, i), static_cast<int32_t>(i - 1) * 7 - 50);
    EXPECT_EQ(array::get_ptr(a), memory::buffer(a)->data_at(0));

    Node b = array::make(0, 1);
    for (int i = 0; i < 40; i++) array::append_byte(b, static_cast<uint8_t>(i));
    EXPECT_EQ(array::length_q(b), 40u);
    EXPECT_EQ(array::pick_byte(b, 1), 0);
    EXPECT_EQ(array::pick_byte(b, 40), 39);
    const uint8_t text[] = "hello";
    uint8_t* at = array::append_bytes(b, text, 5);
    EXPECT_EQ(std::memcmp(at, "hello", 5), 0);
    EXPECT_EQ(at, array::get_ptr(b) + 40);
}

TEST_F(Arrays, InsertAtZeroIntoAFullArrayDoublesAndKeepsOrder) {
    Node a = of({1, 2, 3, 4}, 4);
    ASSERT_EQ(memory::buffer(a)->size, 16u);
    array::insert_ptr(a, 9, 0);
    EXPECT_EQ(memory::buffer(a)->size, 32u);
    EXPECT_EQ(items(a), (std::vector<uint32_t>{9, 1, 2, 3, 4}));
    array::insert_ptr(a, 8, 3);
    EXPECT_EQ(items(a), (std::vector<uint32_t>{9, 1, 2, 8, 3, 4}));
    array::insert_ptr(a, 7, 6);   // at the end
    array::insert_ptr(a, 6, 99);  // past the end: appended
    EXPECT_EQ(items(a), (std::vector<uint32_t>{9, 1, 2, 8, 3, 4, 7, 6}));
    array::poke_ptr(a, 2, 5);
    EXPECT_EQ(array::pick_ptr(a, 2), 5u);
}

TEST_F(Arrays, ClearAtCutsBeforeTheItem) {
    const struct {
        int32_t index;
        uint32_t left;
    } cases[] = {{1, 0}, {2, 1}, {4, 3}, {5, 4}, {6, 4}, {1000, 4}, {0, 0}, {-3, 0}};
    for (auto c : cases) {
        Node a = of({10, 20, 30, 40}, 4);
        array::clear_at(a, c.index);
        EXPECT_EQ(array::length_q(a), c.left) << c.index;
    }
    Node a = of({1, 2}, 2);
    array::clear(a);
    EXPECT_EQ(array::length_q(a), 0u);
}

TEST_F(Arrays, FindAndRemove) {
    Node a = of({5, 6, 7, 6}, 4);
    EXPECT_EQ(array::find_ptr(a, 6), 4);
    EXPECT_EQ(array::find_int(a, 7), 8);
    EXPECT_EQ(array::find_ptr(a, 99), -1);
    array::remove_ptr(a, 99);
    EXPECT_EQ(items(a), (std::vector<uint32_t>{5, 6, 7, 6}));
    array::remove_ptr(a, 6);  // the first one only
    EXPECT_EQ(items(a), (std::vector<uint32_t>{5, 7, 6}));
    array::remove_at(a, 4, 400);  // clipped to what is there
    EXPECT_EQ(items(a), (std::vector<uint32_t>{5}));
    array::remove_at(a, 40, 4);  // past the end: nothing
    EXPECT_EQ(items(a), (std::vector<uint32_t>{5}));
}

TEST_F(Arrays, CopyIsIndependent) {
    Node a = of({1, 2, 3}, 8);
    Node b = array::copy(a);
    array::poke_ptr(b, 1, 100);
    array::append_ptr(b, 4);
    EXPECT_EQ(items(a), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(items(b), (std::vector<uint32_t>{100, 2, 3, 4}));
    EXPECT_EQ(memory::buffer(b)->unit(), 4u);
}

}  // namespace
