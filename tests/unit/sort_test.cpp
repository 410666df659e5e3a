// Sorting: both sorts against std::sort around their thresholds, stability of
// the merge sort, ordered and reversed input, and the comparator counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "runtime/sort.h"

namespace {

struct Item {
    int32_t key;
    int32_t order;  // position of entry, to check stability
    int32_t pad[2];
};

uint64_t calls = 0;

int32_t by_key(const void* a, const void* b, int32_t op, int32_t) {
    calls++;
    int32_t x, y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    int32_t c = (x > y) - (x < y);
    return op ? -c : c;  // op 1: descending
}

int32_t bytes(const void* a, const void* b, int32_t, int32_t) {
    calls++;
    return *static_cast<const uint8_t*>(a) - *static_cast<const uint8_t*>(b);
}

std::vector<Item> make_items(uint32_t n, int32_t range, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Item> v(n);
    for (uint32_t i = 0; i < n; i++) v[i] = {static_cast<int32_t>(rng() % range), static_cast<int32_t>(i), {0, 0}};
    return v;
}

std::vector<int32_t> keys(const std::vector<Item>& v) {
    std::vector<int32_t> k;
    for (const auto& i : v) k.push_back(i.key);
    return k;
}

TEST(Sort, BothSortsAgreeWithStdSortAroundThresholds) {
    const uint32_t sizes[] = {0, 1, 2, 3, 7, 8, 23, 24, 25, 48, 97, 200, 511, 512, 513, 1000, 5000, 20000};
    for (uint32_t n : sizes)
        for (int32_t range : {2, 50, 1 << 30})
            for (uint32_t seed = 1; seed <= 3; seed++) {
                auto v = make_items(n, range, seed * 7919 + n);
                auto want = keys(v);
                std::sort(want.begin(), want.end());
                auto m = v, a = v;
                sort::merge_sort(m.data(), n, sizeof(Item), 0, 0, by_key);
                sort::adaptive_sort(a.data(), n, sizeof(Item), 0, 0, by_key);
                ASSERT_EQ(keys(m), want) << "merge n=" << n << " range=" << range;
                ASSERT_EQ(keys(a), want) << "adaptive n=" << n << " range=" << range;
                auto q = v;
                sort::quick_sort(q.data(), 0, n, sizeof(Item), 0, 0, by_key);
                ASSERT_EQ(keys(q), want) << "quick n=" << n;
            }
}

TEST(Sort, MergeSortKeepsEqualKeysInOrder) {
    for (uint32_t n : {30u, 100u, 1000u, 30000u}) {
        auto v = make_items(n, 10, n);
        auto want = v;
        std::stable_sort(want.begin(), want.end(), [](const Item& a, const Item& b) { return a.key < b.key; });
        sort::merge_sort(v.data(), n, sizeof(Item), 0, 0, by_key);
        for (uint32_t i = 0; i < n; i++) {
            ASSERT_EQ(v[i].key, want[i].key);
            ASSERT_EQ(v[i].order, want[i].order) << "n=" << n << " at " << i;
        }
        // Descending through the op code keeps equal keys in order too.
        sort::merge_sort(v.data(), n, sizeof(Item), 1, 0, by_key);
        for (uint32_t i = 1; i < n; i++)
            if (v[i - 1].key == v[i].key) {
                ASSERT_LT(v[i - 1].order, v[i].order);
            }
    }
}

TEST(Sort, NearlyOrderedAndDescendingData) {
    std::mt19937 rng(5);
    for (uint32_t n : {1000u, 10000u}) {
        std::vector<Item> v(n);
        for (uint32_t i = 0; i < n; i++) v[i] = {static_cast<int32_t>(i), 0, {0, 0}};
        for (int k = 0; k < 20; k++) std::swap(v[rng() % n], v[rng() % n]);
        auto want = keys(v);
        std::sort(want.begin(), want.end());
        auto a = v;
        sort::adaptive_sort(a.data(), n, sizeof(Item), 0, 0, by_key);
        EXPECT_EQ(keys(a), want);
        std::reverse(v.begin(), v.end());  // mostly descending
        sort::adaptive_sort(v.data(), n, sizeof(Item), 0, 0, by_key);
        EXPECT_EQ(keys(v), want);
    }
}

TEST(Sort, OrderedInputCostsOnePassAndReversedIsTurnedAround) {
    const uint32_t n = 10000;
    std::vector<Item> v(n);
    for (uint32_t i = 0; i < n; i++) v[i] = {static_cast<int32_t>(i), 0, {0, 0}};
    calls = 0;
    sort::adaptive_sort(v.data(), n, sizeof(Item), 0, 0, by_key);
    EXPECT_EQ(calls, n - 1);
    std::reverse(v.begin(), v.end());
    calls = 0;
    sort::adaptive_sort(v.data(), n, sizeof(Item), 0, 0, by_key);
    EXPECT_EQ(calls, n - 1);
    for (uint32_t i = 0; i < n; i++) ASSERT_EQ(v[i].key, static_cast<int32_t>(i));
    calls = 0;
    sort::merge_sort(v.data(), n, sizeof(Item), 0, 0, by_key);
    EXPECT_EQ(calls, n - 1);
}

TEST(Sort, NoComparisonForFewerThanTwoItems) {
    Item one{5, 0, {0, 0}};
    calls = 0;
    sort::merge_sort(&one, 1, sizeof(Item), 0, 0, by_key);
    sort::adaptive_sort(&one, 1, sizeof(Item), 0, 0, by_key);
    sort::merge_sort(nullptr, 0, sizeof(Item), 0, 0, by_key);
    EXPECT_EQ(calls, 0u);
}

TEST(Sort, OddItemSizesSwapBytewise) {
    std::string s = "the quick brown fox jumps over the lazy dog";
    auto want = s;
    std::sort(want.begin(), want.end());
    auto m = s, a = s;
    sort::merge_sort(m.data(), m.size(), 1, 0, 0, bytes);
    sort::adaptive_sort(a.data(), a.size(), 1, 0, 0, bytes);
    EXPECT_EQ(m, want);
    EXPECT_EQ(a, want);
    // Records of 3 bytes sorted by their first byte.
    std::vector<uint8_t> r = {9, 1, 1, 3, 2, 2, 5, 3, 3, 1, 4, 4};
    sort::merge_sort(r.data(), 4, 3, 0, 0, bytes);
    EXPECT_EQ(r, (std::vector<uint8_t>{1, 4, 4, 3, 2, 2, 5, 3, 3, 9, 1, 1}));
}

// A comparator that answers at random must leave a permutation of the items
// and never reach outside them (the sanitizers watch the bounds).
TEST(Sort, InconsistentComparatorStaysInBounds) {
    static std::mt19937 rng(11);
    auto chaos = [](const void*, const void*, int32_t, int32_t) -> int32_t { return static_cast<int32_t>(rng() % 3) - 1; };
    for (uint32_t n : {10u, 600u, 3000u}) {
        auto v = make_items(n, 1000, n);
        auto want = keys(v);
        std::sort(want.begin(), want.end());
        for (auto f : {sort::merge_sort, sort::adaptive_sort}) {
            auto w = v;
            f(w.data(), n, sizeof(Item), 0, 0, chaos);
            auto got = keys(w);
            std::sort(got.begin(), got.end());
            ASSERT_EQ(got, want);
        }
    }
}

}  // namespace
