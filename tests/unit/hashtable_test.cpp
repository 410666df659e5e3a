// Hash tables: MurmurHash3 vectors, sizes and the growth boundary, each
// table kind (hash!, map!, word list, node keys), block upkeep, relocation
// resync, the collector hooks, and the integer map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/int_map.h"
#include "runtime/unicode.h"
#include "series_fixture.h"

namespace {

using hashtable::Record;

class HashTable : public SeriesTest {
protected:
    Cell block{TYPE_BLOCK, 0, 0, 0};
    void SetUp() override {
        SeriesTest::SetUp();
        block.data2 = memory::alloc_cells(8);
    }
    Cell* append(const Cell& c) {
        Cell* slot = alloc_tail(&block);
        *slot = c;
        return slot;
    }
    Cell* at(uint32_t i) { return reinterpret_cast<Cell*>(series_of(&block)->data_at(0)) + i; }
    uint32_t length() { return series_of(&block)->count(); }
    static Cell integer(int32_t v) { return Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(v), 0}; }
    static Cell string(const char* s) {
        Node n = unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(s), static_cast<uint32_t>(std::strlen(s)));
        return Cell{TYPE_STRING, 0, n, 0};
    }
    // Position of the match, -1 for none.
    int32_t find(Node t, Cell key, int32_t head = 0, int32_t skip = 1, int32_t op = 0, bool last = false,
                 bool reverse = false) {
        Cell* c = hashtable::get(t, &key, head, skip, op, last, reverse);
        return c ? static_cast<int32_t>(c - at(0)) : -1;
    }
};

TEST_F(HashTable, MurmurHash3KnownVectors) {
    struct Case {
        const char* text;
        uint32_t seed, hash;
    } cases[] = {
        {"", 0, 0},
        {"", 1, 0x514E28B7},
        {"", 0xFFFFFFFF, 0x81F16F39},
        {"aaaa", 0x9747B28C, 0x5A97808A},
        {"aaa", 0x9747B28C, 0x283E0130},
        {"aa", 0x9747B28C, 0x5D211726},
        {"a", 0x9747B28C, 0x7FA09EA6},
        {"abcd", 0x9747B28C, 0xF0478627},
        {"abc", 0x9747B28C, 0xC84A62DD},
        {"Hello, world!", 0x9747B28C, 0x24884CBA},
        {"The quick brown fox jumps over the lazy dog", 0x9747B28C, 0x2FA826CD},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hashtable::murmur3_x86_32(c.text, static_cast<uint32_t>(std::strlen(c.text)), c.seed), c.hash) << c.text;
    const uint8_t zeros[4] = {0, 0, 0, 0};
    EXPECT_EQ(hashtable::murmur3_x86_32(zeros, 4, 0), 0x2362F9DEu);
    EXPECT_EQ(hashtable::fmix(0), 0u);
    EXPECT_EQ(hashtable::fmix(1), 0x514E28B7u);  // the empty text with seed 1 is fmix(1)
}

TEST_F(HashTable, StringsHashAsUpperCasedUtf32) {
    hashtable::static_init();
    Cell mixed = string("Straße é\xF0\x9F\x98\x80");
    const uint32_t upper[] = {'S', 'T', 'R', 'A', 0xDF, 'E', ' ', 0xC9, 0x1F600};
    EXPECT_EQ(hashtable::hash_string(&mixed, false), hashtable::murmur3(upper, sizeof upper));
    Cell lower = string("strasse");
    Cell shout = string("STRASSE");
    EXPECT_EQ(hashtable::hash_value(&lower, false), hashtable::hash_value(&shout, false));
    EXPECT_NE(hashtable::hash_value(&lower, true), hashtable::hash_value(&shout, true));
    // A string view hashes only as many code points as its fourth word says.
    Cell view = string("strasse and more");
    view.header = hashtable::TYPE_STRING_VIEW;
    view.data3 = 7;
    EXPECT_EQ(hashtable::hash_string(&view, false), hashtable::hash_string(&lower, false));
}

TEST_F(HashTable, SizesFromTheLoadFactor) {
    struct Case {
        uint32_t size;
        int32_t kind, n_buckets, upper;
    } cases[] = {{0, 1, 8, 6}, {4, 0, 8, 6}, {10, 1, 16, 12}, {4000, 2, 16384, 12615}, {3999, 2, 8192, 6307}};
    for (const auto& c : cases) {
        Node t = hashtable::init(c.size, nullptr, c.kind, 1);
        EXPECT_EQ(hashtable::record(t)->n_buckets, c.n_buckets) << c.size;
        EXPECT_EQ(hashtable::record(t)->upper_bound, c.upper) << c.size;
    }
}

// A word table grows at the insertion that finds n_occupied at the bound.
TEST_F(HashTable, GrowsExactlyAtTheBound) {
    Node t = hashtable::init(0, &block, hashtable::KIND_WORDS, 1);
    for (uint32_t sym = 1; sym <= 6; sym++) hashtable::put(t, append(Cell{TYPE_WORD, 0, sym, 0}));
    EXPECT_EQ(hashtable::record(t)->n_occupied, 6);
    EXPECT_EQ(hashtable::record(t)->n_buckets, 8);
    hashtable::put(t, append(Cell{TYPE_WORD, 0, 7, 0}));
    EXPECT_EQ(hashtable::record(t)->n_buckets, 16);
    EXPECT_EQ(hashtable::record(t)->upper_bound, 12);
    EXPECT_EQ(hashtable::record(t)->count, 7);
    for (uint32_t sym = 1; sym <= 7; sym++) EXPECT_EQ(find(t, Cell{TYPE_WORD, 0, sym, 0}), int32_t(sym - 1));
    EXPECT_EQ(find(t, Cell{TYPE_WORD, 0, 99, 0}), -1);
    // The same word again stores nothing.
    Cell* again = hashtable::put(t, append(Cell{TYPE_WORD, 0, 3, 0}));
    EXPECT_EQ(again, at(2));
    EXPECT_EQ(hashtable::record(t)->count, 7);
}

TEST_F(HashTable, MapKeysValuesAndDuplicates) {
    append(integer(1));
    append(string("one"));
    append(string("Key"));
    append(integer(10));
    append(integer(1));  // the same key again: its value wins, the pair goes
    append(string("uno"));
    Node t = hashtable::init(0, &block, hashtable::KIND_MAP, 1);
    EXPECT_EQ(length(), 4u);
    EXPECT_EQ(hashtable::record(t)->count, 2);
    EXPECT_EQ(find(t, integer(1), 0, 1, 2), 0);
    Cell uno = string("uno");
    EXPECT_TRUE(hashtable::keys_equal(at(1), &uno, 2));
    // Keys differing only in case: the same bucket chain, equal under op 0 only.
    EXPECT_EQ(find(t, string("KEY"), 0, 1, 0), 2);
    EXPECT_EQ(find(t, string("KEY"), 0, 1, 2), -1);
    Cell shout = string("KEY");
    EXPECT_EQ(hashtable::hash_value(at(2), false), hashtable::hash_value(&shout, false));

    hashtable::delete_cell(t, at(2));
    EXPECT_EQ(at(3)->header, 0u);
    EXPECT_EQ(hashtable::record(t)->count, 1);

    for (int32_t k = 100; k < 400; k++) {
        hashtable::put(t, append(integer(k)));
        append(integer(-k));
    }
    EXPECT_EQ(hashtable::record(t)->count, 301);
    for (int32_t k = 100; k < 400; k++) {
        int32_t pos = find(t, integer(k), 0, 1, 2);
        ASSERT_GE(pos, 0);
        EXPECT_EQ(at(pos + 1)->int_value(), -k);
    }
}

TEST_F(HashTable, HashBlockChainsAndSearches) {
    for (Cell c : {integer(1), integer(2), integer(1), integer(3), integer(1), string("a"), string("A")}) append(c);
    Node t = hashtable::init(0, &block, hashtable::KIND_HASH, 0);
    EXPECT_EQ(hashtable::record(t)->count, 4);  // 1 2 3 "a"
    EXPECT_EQ(find(t, integer(1)), 0);
    EXPECT_EQ(find(t, integer(1), 1), 2);
    EXPECT_EQ(find(t, integer(1), 0, 1, 0, true), 4);
    EXPECT_EQ(find(t, integer(1), 4, 1, 0, false, true), 2);
    EXPECT_EQ(find(t, integer(1), 0, 2), 0);
    EXPECT_EQ(find(t, integer(1), 1, 2), -1);  // only at odd distances from 1
    EXPECT_EQ(find(t, integer(3), 0, 2), -1);
    EXPECT_EQ(find(t, string("A"), 0, 1, 0), 5);
    EXPECT_EQ(find(t, string("A"), 0, 1, 2), 6);
    EXPECT_EQ(find(t, integer(7)), -1);

    // Deleting one of equal keys keeps the bucket; the last one empties it.
    hashtable::delete_cell(t, at(0));
    EXPECT_EQ(find(t, integer(1)), 2);
    EXPECT_EQ(hashtable::record(t)->count, 4);
    hashtable::delete_cell(t, at(2));
    hashtable::delete_cell(t, at(4));
    EXPECT_EQ(find(t, integer(1)), -1);
    EXPECT_EQ(hashtable::record(t)->count, 3);

    // A copy changes independently.
    Node c = hashtable::copy(t, block.node());
    hashtable::delete_cell(c, at(5));
    EXPECT_EQ(find(c, string("a")), 6);
    EXPECT_EQ(find(t, string("a")), 5);

    hashtable::remove_range(t, 0, 100);
    EXPECT_EQ(hashtable::record(t)->count, 0);
    EXPECT_EQ(find(t, integer(2)), -1);
}

TEST_F(HashTable, HashBlockGrowsAndRebuilds) {
    Node t = hashtable::init(0, &block, hashtable::KIND_HASH, 0);
    int rebuilds = 0;
    for (int32_t k = 0; k < 2000; k++) {
        int32_t status;
        hashtable::put(t, append(integer(k * 7919)), &status);
        rebuilds += status == 2;
    }
    EXPECT_GT(rebuilds, 3);
    const Record* r = hashtable::record(t);
    EXPECT_EQ(r->count, 2000);
    EXPECT_LT(r->n_occupied, r->upper_bound + 1);
    EXPECT_EQ(r->n_buckets & (r->n_buckets - 1), 0);
    for (int32_t k = 0; k < 2000; k++) ASSERT_EQ(find(t, integer(k * 7919)), k);
}

TEST_F(HashTable, RefreshAndMoveFollowTheBlock) {
    for (int32_t k = 0; k < 8; k++) append(integer(k % 5));  // 0 1 2 3 4 0 1 2
    Node t = hashtable::init(0, &block, hashtable::KIND_HASH, 0);
    EXPECT_EQ(hashtable::refresh(t, 1, 0, 30001, true), 1);
    EXPECT_EQ(find(t, integer(4)), 4);

    // Two cells inserted at 2: positions from 2 move up, then the new cells go in.
    append(integer(0));
    append(integer(0));
    Cell* cells = at(0);
    std::memmove(cells + 4, cells + 2, 6 * sizeof(Cell));
    ASSERT_EQ(hashtable::refresh(t, 2, 2, 6, true), 0);
    cells[2] = integer(9);
    cells[3] = integer(1);
    hashtable::put(t, at(2));
    hashtable::put(t, at(3));
    auto expect_layout = [&] {
        for (uint32_t i = 0; i < length(); i++) {
            std::vector<int32_t> hits;
            for (int32_t h = 0; h <= static_cast<int32_t>(i); h++) hits.push_back(find(t, *at(i), h));
            EXPECT_EQ(hits.back(), static_cast<int32_t>(i)) << "cell " << i;
        }
    };
    expect_layout();  // 0 1 9 1 2 3 4 0 1 2

    // Two cells removed at 1: they leave the table, the rest moves down.
    ASSERT_EQ(hashtable::refresh(t, -2, 3, 7, true), 0);
    cells = at(0);
    std::memmove(cells + 1, cells + 3, 7 * sizeof(Cell));
    series_of(&block)->tail -= 2 * sizeof(Cell);
    EXPECT_EQ(find(t, integer(9)), -1);
    expect_layout();  // 0 1 2 3 4 0 1 2

    // One cell moved forward from 0 past three others.
    hashtable::move(t, 3, 0, 1);
    cells = at(0);
    std::rotate(cells, cells + 1, cells + 4);
    expect_layout();  // 1 2 3 0 4 0 1 2
    // Two cells moved back from 5 to 1.
    hashtable::move(t, 1, 5, 2);
    cells = at(0);
    std::rotate(cells + 1, cells + 5, cells + 7);
    expect_layout();
}

TEST_F(HashTable, NodeKeysAndRelocationResync) {
    Node t = hashtable::init(4, nullptr, hashtable::KIND_NODES, 1);
    std::vector<Node> keys;
    for (int i = 0; i < 500; i++) keys.push_back(memory::alloc_bytes(16));
    for (size_t i = 0; i < keys.size(); i++) {
        Cell* v = hashtable::put_key(t, keys[i]);
        EXPECT_EQ(v->header, static_cast<uint32_t>(TYPE_UNSET));
        *v = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(i), 0};
    }
    EXPECT_EQ(hashtable::record(t)->count, 500);
    for (size_t i = 0; i < keys.size(); i += 2) ASSERT_NE(hashtable::delete_key(t, keys[i]), nullptr);
    EXPECT_EQ(hashtable::delete_key(t, keys[0]), nullptr);
    EXPECT_EQ(hashtable::record(t)->count, 250);

    collector::relocations++;  // the collector moved nodes: the next access rehashes
    for (size_t i = 0; i < keys.size(); i++) {
        Cell* v = hashtable::get_key(t, keys[i]);
        if (i % 2 == 0) {
            EXPECT_EQ(v, nullptr);
        } else {
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(v->int_value(), static_cast<int32_t>(i));
        }
    }
    EXPECT_EQ(hashtable::record(t)->gc_stamp, static_cast<int32_t>(collector::relocations + 1));
    EXPECT_EQ(hashtable::record(t)->count, 250);
    // Reusing a deleted key gives a fresh entry.
    EXPECT_EQ(hashtable::put_key(t, keys[0])->header, static_cast<uint32_t>(TYPE_UNSET));
    EXPECT_EQ(collector::relocation_allowed, 1u);
}

TEST_F(HashTable, MarkAndSweepHooks) {
    // Kind 3 marks its keys with the table.
    Node t3 = hashtable::init(8, nullptr, hashtable::KIND_NODES, 1);
    Node k3 = memory::alloc_bytes(16), c3 = memory::alloc_cells(2);
    hashtable::put_key(t3, k3);
    hashtable::put_key(t3, c3);
    static std::vector<Node> series, blocks;
    series.clear();
    blocks.clear();
    hashtable::Marker m{[](Node* s, void*) { series.push_back(*s); }, [](Node* s, void*) { blocks.push_back(*s); },
                        nullptr};
    Node slot3 = t3;
    hashtable::mark(&slot3, m);
    const Record* r3 = hashtable::record(t3);
    for (Node n : {t3, k3, static_cast<Node>(r3->flags), static_cast<Node>(r3->keys)})
        EXPECT_NE(std::find(series.begin(), series.end(), n), series.end());
    EXPECT_NE(std::find(blocks.begin(), blocks.end(), c3), blocks.end());
    EXPECT_EQ(blocks.back(), static_cast<Node>(r3->block));

    // Kind 4 (ownership) holds its keys weakly: marking reaches the table's
    // own series only; the sweep drops the dead keys, then the live entries
    // are marked.
    Node t = hashtable::init(8, nullptr, hashtable::KIND_OWNERSHIP, 3);
    Node kept = memory::alloc_bytes(16), dropped = memory::alloc_bytes(16);
    hashtable::put_key(t, kept);
    hashtable::put_key(t, dropped);
    series.clear();
    blocks.clear();
    Node slot = t;
    hashtable::mark(&slot, m);
    const Record* r = hashtable::record(t);
    for (Node n : {t, static_cast<Node>(r->flags), static_cast<Node>(r->keys), static_cast<Node>(r->block)})
        EXPECT_NE(std::find(series.begin(), series.end(), n), series.end());
    EXPECT_EQ(std::find(series.begin(), series.end(), kept), series.end());
    EXPECT_TRUE(blocks.empty());

    static Node gone;
    gone = dropped;
    hashtable::sweep(t, [](Node n) { return n != gone; });
    EXPECT_EQ(hashtable::get_key(t, dropped), nullptr);
    EXPECT_NE(hashtable::get_key(t, kept), nullptr);
    EXPECT_EQ(hashtable::record(t)->count, 1);
    series.clear();
    static uint32_t value_cells;
    value_cells = 0;
    hashtable::mark_entries(t, m, [](Cell* first, Cell* end) { value_cells += static_cast<uint32_t>(end - first); });
    EXPECT_EQ(series, std::vector<Node>{kept});
    EXPECT_EQ(value_cells, 3u);
}

TEST_F(HashTable, ValueHashesByPayload) {
    hashtable::static_init();
    Cell a{TYPE_POINT3D, 0x3F800000, 0x40000000, 0x40400000};
    Cell b = a;
    b.header |= FLAG_NEW_LINE;
    EXPECT_EQ(hashtable::hash_value(&a, false), hashtable::hash_value(&b, false));
    EXPECT_EQ(hashtable::hash_value(&a, false), hashtable::murmur3(&a.data1, 12));
    Cell none{TYPE_NONE, 0, 0, 0}, unset{TYPE_UNSET, 0, 0, 0};
    EXPECT_EQ(hashtable::hash_value(&none, false), 0xFFFFFFFFu);
    EXPECT_EQ(hashtable::hash_value(&unset, false), 0xFFFFFFFEu);
    Cell i = integer(42);
    EXPECT_EQ(hashtable::hash_value(&i, false), hashtable::fmix(42));
}

TEST(IntMap, PutGetDeleteGrow) {
    int_map::Map* m = int_map::init(0);
    EXPECT_EQ(m->n_buckets, 8);
    EXPECT_EQ(m->upper_bound, 6);
    for (int32_t k = 1; k <= 10000; k++) int_map::put(m, k * 16, -k);
    EXPECT_EQ(m->size, 10000);
    for (int32_t k = 1; k <= 10000; k++) ASSERT_EQ(*int_map::get(m, k * 16), -k);
    EXPECT_EQ(int_map::get(m, 8), nullptr);
    EXPECT_EQ(int_map::find(m, 8), -1);
    int_map::put(m, 16, 5);
    EXPECT_EQ(*int_map::get(m, 16), 5);
    EXPECT_EQ(m->size, 10000);
    for (int32_t k = 1; k <= 10000; k += 2) int_map::delete_key(m, k * 16);
    EXPECT_EQ(m->size, 5000);
    EXPECT_EQ(int_map::get(m, 16), nullptr);
    EXPECT_EQ(*int_map::get(m, 32), -2);
    int_map::clear(m);
    EXPECT_EQ(int_map::get(m, 32), nullptr);
    int_map::destroy(m);
    int_map::destroy(nullptr);
    sys::free_all();
}

}  // namespace
