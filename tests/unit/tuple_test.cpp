// tuple!: making from blocks, issues and binaries, arithmetic with
// clamping to 0..255, comparison, paths, reverse and molds.
#include "datatypes/tuple.h"

#include "datatypes/issue.h"
#include "scalar_helpers.h"

namespace {

using booted::integer;
using namespace scalar_helpers;

class Tuples : public booted::Runtime {
protected:
    static Cell tup(std::initializer_list<int> bytes) {
        uint8_t b[12];
        uint32_t n = 0;
        for (int v : bytes) b[n++] = static_cast<uint8_t>(v);
        Cell c;
        return *tuple::make_at(&c, b, n);
    }
    static Cell to_tuple(Cell spec) { return booted::call(actions::slot::to, {booted::dtype(TYPE_TUPLE), spec}); }
    static Cell issue(const char* text) {
        Cell c;
        return *issue::make_at(&c, text);
    }
};

TEST_F(Tuples, MakeAndMold) {
    EXPECT_EQ(mold(to_tuple(block_of({integer(1), integer(2)}))), "1.2.0");
    EXPECT_EQ(mold(to_tuple(block_of({}))), "0.0.0");
    Cell chr{TYPE_CHAR, 0, 65, 0};
    EXPECT_EQ(mold(to_tuple(block_of({chr, flt(2.9), integer(255), integer(0)}))), "65.2.255.0");
    EXPECT_FIRES(to_tuple(block_of({integer(1), integer(2), integer(3), integer(4), integer(5), integer(6), integer(7),
                                    integer(8), integer(9), integer(10), integer(11), integer(12), integer(13)})),
                 err::BAD_TO_ARG);
    EXPECT_FIRES(to_tuple(block_of({integer(256)})), err::BAD_TO_ARG);
    EXPECT_FIRES(to_tuple(block_of({integer(-1)})), err::BAD_TO_ARG);
    EXPECT_FIRES(to_tuple(integer(5)), err::BAD_TO_ARG);
    EXPECT_EQ(mold(to_tuple(issue("F0A"))), "255.0.170");
    EXPECT_EQ(mold(to_tuple(issue("FF8800"))), "255.136.0");
    EXPECT_EQ(mold(to_tuple(issue("11223344"))), "17.34.51.68");
    EXPECT_FIRES(to_tuple(issue("12345")), err::INVALID_DATA);
    EXPECT_FIRES(to_tuple(issue("GG0")), err::INVALID_DATA);
    Cell bin{TYPE_BINARY, 1, memory::alloc_bytes(16), 0};
    SeriesBuffer* s = series_of(&bin);
    for (uint8_t b : {9, 8, 7, 6, 5}) *alloc_tail_unit(s, 1) = b, s = series_of(&bin);
    EXPECT_EQ(mold(to_tuple(bin)), "8.7.6.5");
    EXPECT_EQ(form(tup({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})), "1.2.3.4.5.6.7.8.9.10.11.12");
    // Byte k lies in word (k-1)/4 from the low byte up; the length in bits 19-22.
    Cell t = tup({1, 2, 3, 4, 5});
    EXPECT_EQ(t.data1, 0x04030201u);
    EXPECT_EQ(t.data2, 5u);
    EXPECT_EQ(t.header, TYPE_TUPLE | (5u << 19));
    Cell rgba;
    EXPECT_EQ(mold(*tuple::from_rgba(&rgba, 1, 2, 3, 4)), "1.2.3.4");
}

TEST_F(Tuples, ArithmeticClamps) {
    EXPECT_EQ(mold(op(actions::slot::add, tup({1, 2, 3}), tup({1, 1, 1, 1}))), "2.3.4.1");
    EXPECT_EQ(mold(op(actions::slot::add, tup({1, 2, 3}), tup({1, 1, 1}))), "2.3.4");
    EXPECT_EQ(mold(op(actions::slot::add, tup({200, 100, 50}), integer(100))), "255.200.150");
    EXPECT_EQ(mold(op(actions::slot::subtract, tup({1, 2, 3}), integer(5))), "0.0.0");
    EXPECT_EQ(mold(op(actions::slot::multiply, tup({10, 20, 30}), flt(1.5))), "15.30.45");
    EXPECT_EQ(mold(op(actions::slot::divide, tup({10, 20, 30}), integer(3))), "3.6.10");
    EXPECT_EQ(mold(op(actions::slot::remainder, tup({10, 20, 30}), integer(7))), "3.6.2");
    EXPECT_EQ(mold(op(actions::slot::multiply, tup({2, 2, 2}), integer(2147483647))), "255.255.255");
    EXPECT_EQ(mold(op(actions::slot::subtract, tup({2, 2, 2}), integer(2147483647))), "0.0.0");
    EXPECT_EQ(mold(op(actions::slot::and_, tup({255, 15, 3}), integer(6))), "6.6.2");
    EXPECT_EQ(mold(op(actions::slot::xor_, tup({255, 15, 3}), tup({1, 1, 1}))), "254.14.2");
    EXPECT_FIRES(op(actions::slot::divide, tup({10, 20, 30}), integer(0)), err::ZERO_DIVIDE);
    EXPECT_FIRES(op(actions::slot::add, tup({1, 2, 3}), booted::none()), err::INVALID_TYPE);
    EXPECT_FIRES(op(actions::slot::or_, tup({1, 2, 3}), flt(1.0)), err::CANNOT_USE);
    // An integer left operand (as integer! arithmetic hands it over).
    Cell args[2] = {integer(5), tup({1, 2, 3})};
    EXPECT_EQ(mold(*tuple::do_math(&args[0], &args[1], 0)), "6.7.8");
    Cell args2[2] = {integer(5), tup({1, 2, 3})};
    EXPECT_FIRES(tuple::do_math(&args2[0], &args2[1], 1), err::NOT_RELATED);
    EXPECT_EQ(mold(booted::call(actions::slot::complement, {tup({0, 255, 15})})), "255.0.240");
}

TEST_F(Tuples, CompareAndZero) {
    EXPECT_TRUE(cmp(tup({1, 2, 3}), tup({1, 2, 3, 0}), actions::COMP_EQUAL));
    EXPECT_TRUE(cmp(tup({1, 2, 3}), tup({1, 2, 4}), actions::COMP_LESSER));
    EXPECT_TRUE(cmp(tup({1, 2, 3, 1}), tup({1, 2, 3}), actions::COMP_GREATER));
    EXPECT_FALSE(cmp(tup({1, 2, 3}), integer(1), actions::COMP_EQUAL));
    Cell z = tup({0, 0, 0, 0});
    EXPECT_TRUE(tuple::zero_q(&z));
    Cell nz = tup({0, 0, 0, 1});
    EXPECT_FALSE(tuple::zero_q(&nz));
}

TEST_F(Tuples, PathsPickAndLength) {
    Cell t = tup({1, 2, 3, 4, 5});
    Cell none = booted::none();
    path(t, integer(4), &none);
    EXPECT_EQ(mold(t), "1.2.3");
    Cell u = tup({1, 2, 3});
    path(u, integer(2), &none);
    EXPECT_EQ(mold(u), "1.0.0");
    Cell big = integer(300);
    path(u, integer(1), &big);
    EXPECT_EQ(mold(u), "255.0.0");
    EXPECT_EQ(path(u, integer(1)).int_value(), 255);
    EXPECT_FIRES(path(u, integer(4), &big), err::OUT_OF_RANGE);
    EXPECT_FIRES(path(u, booted::word("x")), err::INVALID_TYPE);
    Cell f = flt(1);
    EXPECT_FIRES(path(u, integer(1), &f), err::INVALID_TYPE);
    EXPECT_EQ(pick(tup({5, 6, 7}), integer(3)).int_value(), 7);
    EXPECT_FIRES(pick(tup({5, 6, 7}), integer(0)), err::OUT_OF_RANGE);
    Cell r = booted::call(actions::slot::length_q, {tup({1, 2, 3, 4})});
    EXPECT_EQ(r.int_value(), 4);
}

TEST_F(Tuples, Reverse) {
    auto rev = [](Cell t, Cell* part, Cell* skip) {
        Cell c = t;
        return mold(*actions::reverse(&c, part, skip));
    };
    EXPECT_EQ(rev(tup({1, 2, 3, 4}), nullptr, nullptr), "4.3.2.1");
    Cell two = integer(2);
    EXPECT_EQ(rev(tup({1, 2, 3, 4}), nullptr, &two), "3.4.1.2");
    EXPECT_EQ(rev(tup({1, 2, 3, 4, 5, 6}), nullptr, &two), "5.6.3.4.1.2");
    Cell three = integer(3);
    EXPECT_EQ(rev(tup({1, 2, 3, 4}), &three, nullptr), "3.2.1.4");
    EXPECT_EQ(rev(tup({1, 2, 3}), nullptr, &three), "1.2.3");
    EXPECT_FIRES(rev(tup({1, 2, 3}), nullptr, &two), err::INVALID_REFINE_ARG);
    Cell zero = integer(0);
    EXPECT_FIRES(rev(tup({1, 2, 3}), nullptr, &zero), err::OUT_OF_RANGE);
    Cell neg = integer(-1);
    EXPECT_FIRES(rev(tup({1, 2, 3}), &neg, nullptr), err::OUT_OF_RANGE);
}

}  // namespace
