// bitset!: making from numbers, ranges, strings and binaries, membership
// through find/pick/poke/path, complemented sets as logical sets (set
// operations checked against python3 sets), remove, clear, compare and mold.
#include "booted.h"
#include "python_peer.h"

#include <sstream>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"

namespace {

using actions::slot::append;
using actions::slot::find;
using actions::slot::make;
using actions::slot::pick;
using actions::slot::poke;
using booted::call;
using booted::dtype;
using booted::integer;
using booted::text_of;
using test_eval::molded;

class Bitsets : public booted::Runtime {
protected:
    static Cell chr(uint32_t cp) { return Cell{TYPE_CHAR, 0, cp, 0}; }
    static Cell str(const char* text) {
        Cell s = *string::rs_make_at(stack::push_slot(), 16);
        string::concatenate_literal(&s, text);
        return s;
    }
    static Cell bin(const std::string& bytes) {
        return *binary::load(python_peer::bytes(bytes), python_peer::size(bytes));
    }
    static Cell* ptr(const Cell& c) { return stack::push(&c); }
    static Cell dash() { return booted::word("-"); }
    static Cell block_of(std::initializer_list<Cell> cells) {
        Cell blk = *block::make_at(stack::push_slot(), 4);
        for (const Cell& c : cells) block::rs_append(&blk, &c);
        return blk;
    }
    static Cell bits(const Cell& spec) { return call(make, {dtype(TYPE_BITSET), spec}); }
    static bool has(const Cell& b, int64_t n) { return bitset::member_q(&b, n); }
    static bool found(const Cell& b, const Cell& value) {
        Cell r = call(find, {b, value});
        return r.type() == TYPE_LOGIC && r.data1 == 1;
    }
};

// ---- Making ------------------------------------------------------------------------------

TEST_F(Bitsets, MakeFromStringsNumbersAndRanges) {
    Cell abc = bits(str("abc"));
    EXPECT_EQ(bitset::rs_length_q(&abc), 13u);  // bits 0-103
    EXPECT_TRUE(found(abc, str("ab")));
    EXPECT_FALSE(found(abc, str("abz")));
    Cell none = call(find, {abc, str("abz")});
    EXPECT_EQ(none.type(), static_cast<uint32_t>(TYPE_NONE));

    Cell r = bits(block_of({chr('a'), dash(), chr('c'), integer(100)}));
    for (int64_t n = 0; n < 200; ++n) EXPECT_EQ(has(r, n), n >= 97 && n <= 100) << n;
    Cell nested = bits(block_of({integer(1), block_of({integer(3), dash(), integer(5)}), str("\x01")}));
    for (int64_t n = 0; n < 10; ++n) EXPECT_EQ(has(nested, n), n == 1 || (n >= 3 && n <= 5)) << n;

    Cell empty = bits(block_of({}));
    EXPECT_EQ(bitset::rs_length_q(&empty), 1u);
    EXPECT_EQ(molded(empty), "make bitset! #{00}");
    EXPECT_FALSE(found(empty, block_of({})));  // an empty block is not a member

    Cell sized = bits(integer(9));
    Cell len = call(actions::slot::length_q, {sized});
    EXPECT_EQ(len.int_value(), 16);
    EXPECT_EQ(molded(sized), "make bitset! #{0000}");
    EXPECT_EQ(molded(bits(integer(16))), "make bitset! #{0000}");
    Cell f{TYPE_FLOAT, 0, 0, 0};
    f.set_float(65.9);  // a float is truncated
    Cell from_float = bits(block_of({f}));
    EXPECT_TRUE(has(from_float, 65));
    EXPECT_FALSE(has(from_float, 66));

    // From a binary: its bytes are the stored bytes.
    Cell b = bits(bin("\x80\x01"));
    EXPECT_TRUE(has(b, 0));
    EXPECT_TRUE(has(b, 15));
    EXPECT_FALSE(has(b, 16));
    Cell copy = bits(b);
    EXPECT_NE(copy.node(), b.node());
    EXPECT_EQ(molded(copy), "make bitset! #{8001}");
}

TEST_F(Bitsets, BadSpecsRaiseTheirErrors) {
    EXPECT_FIRES(bits(block_of({chr('c'), dash(), chr('a')})), err::PAST_END);
    EXPECT_FIRES(bits(block_of({chr('a'), dash()})), err::PAST_END);
    EXPECT_FIRES(bits(block_of({chr('a'), dash(), integer(100)})), err::INVALID_ARG);
    EXPECT_FIRES(bits(integer(-1)), err::OUT_OF_RANGE);
    EXPECT_FIRES(bits(block_of({integer(-1)})), err::OUT_OF_RANGE);
    EXPECT_FIRES(bits(block_of({integer(1), bin("\x01")})), err::NOT_DONE);
    EXPECT_FIRES(bits(booted::none()), err::BAD_MAKE_ARG);
    EXPECT_FIRES(call(actions::slot::to, {dtype(TYPE_BITSET), integer(8)}), err::BAD_TO_ARG);
    EXPECT_FIRES(call(actions::slot::to, {dtype(TYPE_BITSET), booted::none()}), err::BAD_TO_ARG);
    Cell b = bits(str("a"));
    EXPECT_FIRES(call(append, {b, booted::none()}), err::INVALID_ARG);
    EXPECT_FIRES(call(actions::slot::remove, {b}), err::MISSING_ARG);
    EXPECT_FIRES(call(actions::slot::reflect, {b, booted::word("spec")}), err::NOT_DONE);
    Cell owned = call(actions::slot::reflect, {b, booted::word("owned")});
    EXPECT_EQ(owned.type(), static_cast<uint32_t>(TYPE_NONE));
    // Testing a negative number answers "not a member" instead of failing.
    EXPECT_FALSE(found(b, integer(-1)));
    Cell to = call(actions::slot::to, {dtype(TYPE_BITSET), str("a")});
    EXPECT_TRUE(has(to, 'a'));
}

// ---- Membership ------------------------------------------------------------------------------

TEST_F(Bitsets, PickPokeAndPaths) {
    Cell b = bits(str("A"));
    Cell p = call(pick, {b, integer(65)});
    EXPECT_EQ(p.data1, 1u);
    p = call(pick, {b, chr('B')});
    EXPECT_EQ(p.type(), static_cast<uint32_t>(TYPE_LOGIC));
    EXPECT_EQ(p.data1, 0u);
    call(poke, {b, integer(65), integer(0)});
    EXPECT_FALSE(has(b, 65));
    call(poke, {b, integer(65), str("x")});
    EXPECT_TRUE(has(b, 65));
    Cell f{TYPE_FLOAT, 0, 0, 0};
    call(poke, {b, integer(65), f});
    EXPECT_FALSE(has(b, 65));
    call(poke, {b, integer(300), booted::logic(true)});  // beyond: grows
    EXPECT_TRUE(has(b, 300));
    EXPECT_EQ(bitset::rs_length_q(&b), 38u);
    call(poke, {b, integer(300), booted::logic(false)});
    EXPECT_FALSE(has(b, 300));
    // Paths: bits/n and bits/n: value.
    Cell* bp = stack::push(&b);
    Cell* r = bitset::eval_path(bp, ptr(integer(65)), nullptr, nullptr, nullptr, nullptr, 0, false, true, true);
    EXPECT_EQ(r->data1, 0u);
    bitset::eval_path(bp, ptr(chr(65)), ptr(booted::logic(true)), nullptr, nullptr, nullptr, 0, false, false, true);
    EXPECT_TRUE(has(b, 65));
    EXPECT_FIRES(bitset::eval_path(bp, ptr(str("a")), nullptr, nullptr, nullptr, nullptr, 0, false, true, true),
                 err::INVALID_TYPE);
}

TEST_F(Bitsets, ComplementedSetsHoldEverythingBeyondTheirBytes) {
    Cell nota = bits(block_of({booted::word("not"), str("a")}));
    EXPECT_FALSE(call(pick, {nota, integer(97)}).data1);
    EXPECT_TRUE(call(pick, {nota, integer(98)}).data1);
    EXPECT_TRUE(call(pick, {nota, integer(100000)}).data1);
    EXPECT_EQ(molded(nota), "make bitset! [not #{00000000000000000000000040}]");
    Cell f = call(actions::slot::form, {nota});
    EXPECT_EQ(text_of(&f), molded(nota));

    Cell not80 = bits(block_of({booted::word("not"), bin("\x80")}));
    EXPECT_EQ(bitset::rs_head(&not80)[0], 0x7F);
    EXPECT_FALSE(has(not80, 0));
    EXPECT_TRUE(has(not80, 1));
    EXPECT_TRUE(has(not80, 1000));

    // complement answers a new value and leaves its argument as it was.
    Cell plain = bits(str("a"));
    Cell comp = call(actions::slot::complement, {plain});
    EXPECT_NE(comp.node(), plain.node());
    EXPECT_TRUE(has(plain, 'a'));
    EXPECT_FALSE(has(plain, 'b'));
    EXPECT_FALSE(has(comp, 'a'));
    EXPECT_TRUE(has(comp, 'b'));
    EXPECT_TRUE(has(comp, 5000));
    Cell neg = call(actions::slot::negate, {comp});
    EXPECT_TRUE(has(neg, 'a'));
    EXPECT_FALSE(has(neg, 5000));
    // find complement charset "a" #"a" is false; #"z" true.
    EXPECT_FALSE(found(comp, chr('a')));
    EXPECT_TRUE(found(comp, chr('z')));
    // PARSE over text: the code point at the index.
    Cell input = str("ab");
    EXPECT_FALSE(bitset::match_char_q(&input, &comp));
    input.data1 = 1;
    EXPECT_TRUE(bitset::match_char_q(&input, &comp));
    input.data1 = 2;
    EXPECT_FALSE(bitset::match_char_q(&input, &comp));
}

TEST_F(Bitsets, ComplementedSetsStayLogicalUnderChanges) {
    Cell comp = bits(block_of({booted::word("not"), str("a")}));  // 13 stored bytes
    // Appending: a string reaching beyond the stored bits still sets the
    // stored ones it lists.
    call(append, {comp, str("a\xC8")});
    EXPECT_TRUE(has(comp, 'a'));
    // Removing clears membership, also beyond the stored bits.
    Cell part = str("bz");
    call(actions::slot::remove, {comp, part}, {1, -1});
    EXPECT_FALSE(has(comp, 'b'));
    EXPECT_FALSE(has(comp, 'z'));
    EXPECT_TRUE(has(comp, 'c'));
    Cell far = block_of({integer(1000)});
    call(actions::slot::remove, {comp, far}, {1, -1});
    EXPECT_FALSE(has(comp, 1000));
    EXPECT_TRUE(has(comp, 999));
    EXPECT_TRUE(has(comp, 1001));
    EXPECT_TRUE(has(comp, 100000));
    // A range that reaches beyond the stored bits is tested bit by bit.
    EXPECT_FALSE(found(comp, block_of({integer(990), dash(), integer(5000)})));
    EXPECT_TRUE(found(comp, block_of({integer(1001), dash(), integer(5000)})));
    // clear empties the set, beyond the stored bits too.
    call(actions::slot::clear, {comp});
    EXPECT_FALSE(has(comp, 'c'));
    EXPECT_FALSE(has(comp, 100000));
    EXPECT_FALSE(bitset::complemented_q(&comp));
    call(append, {comp, integer(100000)});
    EXPECT_TRUE(has(comp, 100000));
    EXPECT_FALSE(has(comp, 99999));
    // Plain sets: removing beyond the stored bits changes nothing.
    Cell plain = bits(str("a"));
    call(actions::slot::remove, {plain, far}, {1, -1});
    EXPECT_EQ(bitset::rs_length_q(&plain), 13u);
}

// ---- Set operations against python3 -------------------------------------------------------

TEST_F(Bitsets, SetOperationsAgreeWithPythonSets) {
    struct Operand {
        std::vector<int> members;  // with `comp`, the numbers left out
        bool comp;
    };
    const std::vector<std::pair<Operand, Operand>> pairs = {
        {{{97, 98, 99}, false}, {{98, 200}, false}},
        {{{97}, true}, {{97, 98}, false}},
        {{{97, 98}, false}, {{97}, true}},
        {{{97, 300}, true}, {{5}, true}},
        {{{}, false}, {{10, 400}, true}},
        {{{1, 2, 3, 250}, true}, {{}, false}},
        {{{7}, false}, {{7, 8, 9, 500}, true}},
    };
    const std::vector<std::pair<int32_t, const char*>> ops = {
        {9, "a | b"}, {10, "a & b"}, {12, "a ^ b"}, {11, "a - b"}, {5, "a | b"}, {6, "a & b"}, {7, "a ^ b"},
    };
    const int universe = 600;
    auto make_operand = [&](const Operand& o) {
        Cell spec = *block::make_at(stack::push_slot(), 4);
        if (o.comp) block::rs_append(&spec, ptr(booted::word("not")));
        for (int m : o.members) block::rs_append(&spec, ptr(integer(m)));
        return bits(spec);
    };
    std::ostringstream py;
    py << "U = set(range(" << universe << "))\n";
    py << "def s(m, c):\n    return U - set(m) if c else set(m)\n";
    std::vector<std::string> ours;
    for (const auto& [a, b] : pairs) {
        for (const auto& [op, expr] : ops) {
            auto list = [](const std::vector<int>& v) {
                std::string t = "[";
                for (int x : v) t += std::to_string(x) + ",";
                return t + "]";
            };
            py << "a = s(" << list(a.members) << ", " << (a.comp ? "True" : "False") << "); b = s("
               << list(b.members) << ", " << (b.comp ? "True" : "False") << ")\n";
            py << "r = " << expr << "\n";
            py << "print(''.join('1' if n in r else '0' for n in range(" << universe << ")))\n";
            Cell x = make_operand(a), y = make_operand(b);
            Cell r = op == 5 ? call(actions::slot::or_, {x, y})
                   : op == 6 ? call(actions::slot::and_, {x, y})
                   : op == 7 ? call(actions::slot::xor_, {x, y})
                             : *bitset::do_bitwise(ptr(x), ptr(y), op);
            std::string line;
            for (int n = 0; n < universe; ++n) line += has(r, n) ? '1' : '0';
            ours.push_back(line);
            // The operands are left as they were.
            for (int m : a.members) EXPECT_EQ(has(x, m), !a.comp);
        }
    }
    std::string out = python_peer::run_text(py.str());
    ASSERT_FALSE(out.empty());
    std::istringstream lines(out);
    for (size_t i = 0; i < ours.size(); ++i) {
        std::string expected;
        ASSERT_TRUE(std::getline(lines, expected));
        EXPECT_EQ(ours[i], expected) << "pair " << i / ops.size() << ", op " << ops[i % ops.size()].first;
    }
}

TEST_F(Bitsets, SetOperationLengthsAndErrors) {
    Cell a = bits(integer(8));       // 1 byte
    Cell b = bits(integer(24));      // 3 bytes
    Cell r = call(actions::slot::and_, {a, b});
    EXPECT_EQ(bitset::rs_length_q(&r), 1u);  // and~ of plain sets stops at the shorter
    r = call(actions::slot::or_, {a, b});
    EXPECT_EQ(bitset::rs_length_q(&r), 3u);
    Cell u = *bitset::do_bitwise(ptr(a), ptr(b), 8);  // unique: the first operand
    EXPECT_EQ(u.node(), a.node());
    EXPECT_FIRES(call(actions::slot::or_, {a, integer(1)}), err::INVALID_TYPE);
    // The stack form used by the natives.
    stack::mark_native(nullptr);
    stack::push(&a);
    stack::push(&b);
    Cell* result = bitset::do_bitwise(9);
    EXPECT_EQ(result, stack::arguments);
    EXPECT_EQ(bitset::rs_length_q(result), 3u);
    stack::unwind();
}

// ---- Compare and mold ------------------------------------------------------------------------

TEST_F(Bitsets, CompareAndMold) {
    using namespace actions;
    Cell a = bits(str("a"));
    Cell a2 = bits(str("a"));
    Cell b = bits(str("b"));
    Cell big = bits(str("z"));
    Cell comp = call(slot::complement, {a});
    EXPECT_EQ(bitset::compare(&a, &a2, COMP_EQUAL), 0);
    EXPECT_EQ(bitset::compare(&a, &a2, COMP_SAME), 1);
    EXPECT_EQ(bitset::compare(&a, &a, COMP_SAME), 0);
    EXPECT_EQ(bitset::compare(&a, &b, COMP_LESSER), 1);  // bytes from the last: 0x40 > 0x20
    EXPECT_EQ(bitset::compare(&a, &big, COMP_LESSER), -1);  // fewer bytes
    EXPECT_EQ(bitset::compare(&a, &comp, COMP_LESSER), -1);  // the plain one is the lesser
    EXPECT_EQ(bitset::compare(&a, ptr(integer(1)), COMP_EQUAL), NOT_COMPARABLE);
    EXPECT_TRUE(compare_star(&a, &a2, COMP_EQUAL));

    EXPECT_EQ(molded(bits(str("A"))), "make bitset! #{000000000000000040}");
    // /part: the text stops once the limit is used, before the brace.
    Cell p = call(slot::mold, {bits(integer(64)), integer(20)}, {-1, -1, -1, 1});
    EXPECT_EQ(text_of(&p), "make bitset! #{00000");
    Cell copy = call(slot::copy, {comp});
    EXPECT_NE(copy.node(), comp.node());
    EXPECT_EQ(molded(copy), molded(comp));
}

}  // namespace
