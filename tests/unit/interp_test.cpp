// The interpreter, the natives of control flow, non-local exits, errors and
// callables, driven through code read by the lexer.
#include <gtest/gtest.h>

#include <string>

#include "booted.h"
#include "child.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/native.h"
#include "datatypes/routine.h"
#include "runtime/print.h"
#include "runtime/collector.h"
#include "app/runtime.h"

using test_eval::error_of;
using test_eval::molded;

namespace {
class Interp : public booted::Library {
protected:
    static std::string word_text(const Cell& w) { return symbol::text(w.symbol()); }

    static int32_t int_of(const Cell& c) {
        EXPECT_EQ(c.type(), TYPE_INTEGER);
        return c.int_value();
    }
};

// ---- Evaluation -----------------------------------------------------------------------

TEST_F(Interp, ExpressionsAndInfixOperatorsLeftToRight) {
    EXPECT_EQ(int_of(test_eval::run("1 + 2 * 3")), 9);
    EXPECT_EQ(int_of(test_eval::run("2 * (1 + 2)")), 6);
    EXPECT_EQ(int_of(test_eval::run("a: 4 a + 1")), 5);
    EXPECT_EQ(test_eval::run("").type(), TYPE_UNSET);
    EXPECT_EQ(int_of(test_eval::run("b: c: 7 b")), 7);
    EXPECT_EQ(word_text(test_eval::run("'foo")), "foo");
}

TEST_F(Interp, FunctionsArgumentsAndRefinements) {
    EXPECT_EQ(int_of(test_eval::run("f: func [a b][a + b] f 1 2")), 3);
    Cell r = test_eval::run("h: func [/r][r] h/r");
    EXPECT_EQ(r.type(), TYPE_LOGIC);
    EXPECT_EQ(r.data1, 1u);
    EXPECT_EQ(test_eval::run("h: func [/r][r] h").data1, 0u);
    // A refinement's argument, several refinements in path order.
    EXPECT_EQ(int_of(test_eval::run("k: func [a /x b /y c][either x [a + b][a]] k/x 1 10")), 11);
    EXPECT_EQ(int_of(test_eval::run("k: func [a /x b /y c][c] k/y/x 1 10 20")), 10);
    // Locals start as none; a recursive call leaves its caller's locals alone.
    EXPECT_EQ(test_eval::run("g: has [x][x] g").type(), TYPE_NONE);
    EXPECT_EQ(int_of(test_eval::run("s: func [n /local m][m: n if 0 < n [s n - 1] m] s 5")), 5);
    // get-word and lit-word arguments take the next value as it stands.
    EXPECT_EQ(word_text(test_eval::run("q: func ['w][w] q foo")), "foo");
    EXPECT_EQ(word_text(test_eval::run("q: func [:w][w] q bar")), "bar");
    EXPECT_EQ(int_of(test_eval::run("d: does [42] d")), 42);
    EXPECT_EQ(int_of(test_eval::run("fn: function [a][b: a * 2 b] fn 4")), 8);
}

TEST_F(Interp, ArgumentErrors) {
    EXPECT_EQ(error_of("f: func [a][a] f"), "no-arg");
    EXPECT_EQ(error_of("g: func [a [integer!]][a] g \"x\""), "expect-arg");
    EXPECT_EQ(error_of("h: func [/r][r] h/r/r"), "dup-refine");
    EXPECT_EQ(error_of("h: func [/r][r] h/z"), "no-refine");
    EXPECT_EQ(error_of("zzz"), "no-value");
    EXPECT_EQ(error_of("a:"), "need-value");
    EXPECT_EQ(error_of("+ 1"), "no-op-arg");
    // A lit-word argument that admits unset! gets it at the end of the code.
    EXPECT_EQ(test_eval::run("q: func ['w [any-type!]][:w] q").type(), TYPE_UNSET);
}

TEST_F(Interp, SpecChecking) {
    EXPECT_EQ(error_of("func [a A][]"), "dup-vars");
    EXPECT_EQ(error_of("func [return: integer!][]"), "bad-func-def");
    EXPECT_EQ(error_of("func [other: [integer!]][]"), "bad-func-def");
    EXPECT_EQ(error_of("func [return: [integer!] a][]"), "bad-func-def");
    EXPECT_EQ(error_of("func [a [\"x\"]][]"), "invalid-type-spec");
    EXPECT_EQ(error_of("func [a \"doc\" [integer!]][]"), "bad-func-def");
    EXPECT_EQ(error_of("func [a [integer!] return: [integer!] /local b][]"), "");
    EXPECT_EQ(error_of("func [\"doc\" a [integer!] return: [integer!] /local b][]"), "");
}

TEST_F(Interp, FunctionCollectsSetWordsAsLocals) {
    Cell fn = test_eval::run("function [a][x: 1 foreach y [] [] a: 2]");
    Cell spec = function::spec_of(&fn);
    std::string words;
    for (uint32_t i = 0; i < block::rs_length_q(&spec); ++i) {
        Cell c = block::rs_clamp_head(&spec)[i];
        words += (c.type() == TYPE_REFINEMENT ? "/" : "") + std::string(symbol::text(c.symbol())) + " ";
    }
    EXPECT_EQ(words, "a /local x y ");
    Cell plain = test_eval::run("function [a][a: 1]");
    Cell s2 = function::spec_of(&plain);
    EXPECT_EQ(block::rs_length_q(&s2), 1u);
}

// ---- Control flow and non-local exits ------------------------------------------------------

TEST_F(Interp, ConditionalsAndLoops) {
    EXPECT_EQ(int_of(test_eval::run("if true [1]")), 1);
    EXPECT_EQ(test_eval::run("if false [1]").type(), TYPE_NONE);
    EXPECT_EQ(int_of(test_eval::run("either 1 < 0 [1][2]")), 2);
    EXPECT_EQ(int_of(test_eval::run("unless false [3]")), 3);
    EXPECT_EQ(int_of(test_eval::run("all [1 2]")), 2);
    EXPECT_EQ(test_eval::run("all []").type(), TYPE_NONE);
    EXPECT_EQ(int_of(test_eval::run("any [false none 4]")), 4);
    EXPECT_EQ(int_of(test_eval::run("n: 0 loop 3 [n: n + 1] n")), 3);
    EXPECT_EQ(test_eval::run("loop 0 [1]").type(), TYPE_NONE);
    EXPECT_EQ(int_of(test_eval::run("n: 0 while [n < 5][n: n + 1] n")), 5);
    EXPECT_EQ(int_of(test_eval::run("n: 0 until [n: n + 1 4 < n] n")), 5);
    EXPECT_EQ(int_of(test_eval::run("s: 0 repeat i 4 [s: s + i] s")), 10);
    EXPECT_EQ(error_of("u: does [] either u [1][2]"), "no-return");
}

TEST_F(Interp, BreakContinueReturnThrow) {
    EXPECT_EQ(int_of(test_eval::run("catch [throw 1]")), 1);
    EXPECT_EQ(int_of(test_eval::run("loop 3 [break/return 5]")), 5);
    EXPECT_EQ(test_eval::run("loop 3 [break]").type(), TYPE_UNSET);
    EXPECT_EQ(int_of(test_eval::run("n: 0 loop 4 [n: n + 1 continue n: 100] n")), 4);
    EXPECT_EQ(int_of(test_eval::run("f: func [][loop 2 [loop 2 [return 7]] 8] f")), 7);
    EXPECT_EQ(test_eval::run("f: func [][loop 2 [exit] 8] f").type(), TYPE_UNSET);
    EXPECT_EQ(int_of(test_eval::run("n: 0 forever [n: n + 1 if 2 < n [break]] n")), 3);
    // A break inside a function ends the caller's loop.
    EXPECT_EQ(int_of(test_eval::run("b: does [break] n: 0 loop 5 [n: n + 1 b] n")), 1);
    // Named throws.
    EXPECT_EQ(int_of(test_eval::run("catch [catch/name [throw/name 1 'a] 'b]")), 1);
    EXPECT_EQ(int_of(test_eval::run("catch/name [throw/name 2 'b] [a b]")), 2);
    EXPECT_EQ(error_of("catch/name [throw/name 2 'b] [a 1]"), "invalid-refine-arg");
    // Misplaced exits.
    EXPECT_EQ(error_of("break"), "break");
    EXPECT_EQ(error_of("continue"), "continue");
    EXPECT_EQ(error_of("return 1"), "return");
    EXPECT_EQ(error_of("throw 1"), "throw");
    EXPECT_EQ(error_of("n: 0 while [break][n]"), "while-cond");
    // A try/all barrier stops break before the loop.
    Cell e = test_eval::run("loop 1 [try/all [break]]");
    EXPECT_EQ(e.type(), TYPE_ERROR);
    EXPECT_EQ(word_text(*error::field(&e, error::ID)), "break");
}

TEST_F(Interp, TryReturnsErrorsAndRestoresTheStacks) {
    Cell* top = stack::top;
    stack::Frame* ctop = stack::ctop;
    EXPECT_EQ(word_text(test_eval::run("e: try [a:] e/id")), "need-value");
    EXPECT_EQ(word_text(test_eval::run("g: func [a [integer!]][a] e: try [g \"x\"] e/id")), "expect-arg");
    EXPECT_EQ(word_text(test_eval::run("e: try [func [a A][]] e/id")), "dup-vars");
    EXPECT_EQ(word_text(test_eval::run("e: try [1 / 0] e/id")), "zero-divide");
    EXPECT_EQ(word_text(test_eval::run("e: try [1 / 0] e/type")), "math");
    EXPECT_EQ(int_of(test_eval::run("e: try [zzz] e/code")), 300);
    EXPECT_EQ(int_of(test_eval::run("try [1 + 1]")), 2);
    EXPECT_EQ(stack::top, top);
    EXPECT_EQ(stack::ctop, ctop);
    // The error's where and arguments.
    Cell e = test_eval::run("g: func [a [integer!]][a] try [g \"x\"]");
    EXPECT_EQ(word_text(*error::field(&e, error::WHERE)), "g");
    EXPECT_EQ(word_text(*error::field(&e, error::ARG1)), "g");
    EXPECT_EQ(word_text(*error::field(&e, error::ARG3)), "a");
}

TEST_F(Interp, DeepRecursionRaisesStackOverflow) {
    EXPECT_EQ(word_text(test_eval::run("r: func [][r] e: try [r] e/id")), "stack-overflow");
    // The stacks and the function's context are usable afterwards.
    EXPECT_EQ(int_of(test_eval::run("f: func [a b][a + b] f 1 2")), 3);
    EXPECT_EQ(word_text(test_eval::run("r2: func [n][r2 n + 1] e: try [r2 0] e/id")), "stack-overflow");
}

TEST_F(Interp, ValueStackOverflowTrimsFiveCells) {
    Cell* top = stack::top;
    Cell none{TYPE_NONE, 0, 0, 0};
    try {
        for (;;) stack::push(&none);
    } catch (const ErrorThrown& e) {
        EXPECT_EQ(std::string(errors::id_word(e.id)), "stack-overflow");
    }
    stack::top = top;
    stack::arguments = stack::bottom;
    stack::ctop = stack::cbottom;
}

// ---- Callables ------------------------------------------------------------------------------

TEST_F(Interp, OpsFromFunctionsAndNatives) {
    EXPECT_EQ(int_of(test_eval::run("o: make op! func [a b][a + b] 2 o 3")), 5);
    EXPECT_EQ(error_of("make op! func [a][a]"), "bad-op-spec");
    EXPECT_EQ(error_of("make op! func [a b c][a]"), "bad-op-spec");
    EXPECT_EQ(error_of("make op! func [:a b][a]"), "bad-op-spec");
    EXPECT_EQ(error_of("make op! func [a :b /local x][a]"), "");
    EXPECT_EQ(error_of("make op! 1"), "invalid-type");
    // Two ops made from one native compare equal; the native and its op do not.
    Cell add = test_eval::get_global("add");
    Cell o1 = test_eval::get_global("+");
    Cell o2 = o1;
    EXPECT_EQ(actions::compare(&o1, &o2, actions::COMP_EQUAL), 0);
    EXPECT_NE(actions::compare(&add, &o1, actions::COMP_EQUAL), 0);
}

TEST_F(Interp, FormOfCallables) {
    Cell s = test_eval::run("form :append");
    EXPECT_EQ(booted::text_of(&s), "?action?");
    s = test_eval::run("form :if");
    EXPECT_EQ(booted::text_of(&s), "?native?");
    s = test_eval::run("form :+");
    EXPECT_EQ(booted::text_of(&s), "?op?");
    s = test_eval::run("form func [][]");
    EXPECT_EQ(booted::text_of(&s), "?function?");
}

// A spec made for a built-in entry must fit the entry's own, the first one
// made for it: the library makes every entry at start-up, so no script can
// be the first (the interpreter's own path and comparison slots, which it
// leaves, fit no spec at all).
TEST_F(Interp, TheLibraryGivesEveryEntryItsOwnSpec) {
    for (uint32_t i = 1; i <= natives::TABLE_SLOTS; ++i) {
        if (natives::entry(i)) {
            EXPECT_TRUE(native::own_spec_q(TYPE_NATIVE, i)) << "native " << i;
        }
    }
    for (uint32_t i = 1; i <= actions::ACTION_COUNT; ++i) {
        if (actions::entry(i)) {
            EXPECT_EQ(native::own_spec_q(TYPE_ACTION, i), i != 7 && i != 9) << "action " << i;
        }
    }
    EXPECT_EQ(error_of("make action! [[a b] 7]"), "bad-make-arg");
    EXPECT_EQ(error_of("make action! [[a b c] 9]"), "bad-make-arg");
    for (int32_t i = 1; routine::body_of(i); ++i)
        EXPECT_TRUE(native::own_spec_q(TYPE_ROUTINE, static_cast<uint32_t>(i))) << "routine " << i;
}

TEST_F(Interp, MakeNativeAndActionRefuseIndexesWithoutEntry) {
    EXPECT_EQ(error_of("make native! [[] 0]"), "bad-make-arg");
    EXPECT_EQ(error_of("make native! [[] 121]"), "bad-make-arg");
    EXPECT_EQ(error_of("make native! [[] 120]"), "bad-make-arg");  // no entry point there
    EXPECT_EQ(error_of("make native! [[cond [any-type!] then-blk [block!]] 1]"), "");
    EXPECT_EQ(error_of("make native! [[] 1 2]"), "bad-make-arg");
    EXPECT_EQ(error_of("make action! [[] 63]"), "bad-make-arg");
    EXPECT_EQ(error_of("make action! [[] 8]"), "bad-make-arg");  // the path-setting slot has none
    // The entry ids of natives and actions never collide.
    Cell n = test_eval::run(":equal?");
    Cell a = test_eval::run(":append");
    EXPECT_NE(n.data1, a.data1);
    Cell body = test_eval::run(":append");
    Cell field = booted::word("body");
    actions::reflect(&body, &field);
    EXPECT_EQ(int_of(body), 25);
}

// ---- Errors ---------------------------------------------------------------------------------

TEST_F(Interp, ErrorFromCodeAndItsPrintedForm) {
    Cell e = test_eval::run("make error! 300");
    EXPECT_EQ(word_text(*error::field(&e, error::TYPE)), "script");
    EXPECT_EQ(word_text(*error::field(&e, error::ID)), "no-value");
    EXPECT_EQ(error_of("make error! -1"), "out-of-range");
    EXPECT_EQ(error_of("make error! 1000"), "out-of-range");
    EXPECT_EQ(error_of("make error! 1"), "");
    e = test_eval::run("make error! [math zero-divide]");
    EXPECT_EQ(int_of(*error::field(&e, error::CODE)), 400);
    e = test_eval::run("try [undefined-word]");
    Cell s = test_eval::run("form try [undefined-word]");
    std::string text = booted::text_of(&s);
    EXPECT_EQ(text.substr(0, text.find('\n')), "*** Script Error: undefined-word has no value");
    EXPECT_NE(text.find("\n*** Where: "), std::string::npos);
    EXPECT_NE(text.find("\n*** Near : "), std::string::npos);
    // No function name: ???.
    Cell bare = test_eval::run("make error! 300");
    Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
    error::form(&bare, buffer, nullptr, INT32_MAX);
    EXPECT_NE(booted::text_of(buffer).find("*** Where: ???"), std::string::npos);
    // Comparing with something that is not an error.
    Cell one{TYPE_INTEGER, 0, 1, 0};
    EXPECT_EQ(error::compare(&bare, &one, actions::COMP_EQUAL), actions::NOT_COMPARABLE);
}

TEST_F(Interp, CatalogueCodes) {
    EXPECT_STREQ(errors::title(ERR_SCRIPT), "Script Error");
    EXPECT_STREQ(errors::id_word(err::EXPECT_ARG), "expect-arg");
    EXPECT_EQ(err::EXPECT_ARG.category * 100 + err::EXPECT_ARG.position, 305u);
}

TEST_F(Interp, NamesPastSixtyFiveThousandSymbolsStayRight) {
    // Made with the collector off: under ZEM_GC_STRESS 66000 collections
    // would only slow the test.
    uint32_t active = collector::active;
    collector::active = 0;
    for (int i = 0; i < 66000; ++i) symbol::make(("sym" + std::to_string(i)).c_str());
    collector::active = active;
    Cell e = test_eval::run("late-name-of-a-function: func [a [integer!]][a] try [late-name-of-a-function \"x\"]");
    EXPECT_GT(error::field(&e, error::WHERE)->symbol(), 65535u);
    EXPECT_EQ(word_text(*error::field(&e, error::WHERE)), "late-name-of-a-function");
}

TEST_F(Interp, UnguardedErrorPrintsAndExits254) {
    auto out = testing_child::run([&] {
        try {
            test_eval::run("prin \"x\" zzz");
        } catch (const ErrorThrown& e) {
            runtime::unguarded_error(e);
        }
    });
    EXPECT_EQ(out.status, 254);
    EXPECT_NE(out.output.find("*** Script Error: zzz has no value"), std::string::npos);
}

TEST_F(Interp, PrintAndPrinSetTheLineFlag) {
    auto out = testing_child::run([&] {
        test_eval::run("prin \"a\" print \"b\"");
        std::printf("|%d", natives::last_lf_q ? 1 : 0);
        test_eval::run("prin \"c\"");
        std::printf("|%d", natives::last_lf_q ? 1 : 0);
    });
    EXPECT_EQ(out.output, "ab\n|1c|0");
}

}  // namespace

namespace {
TEST_F(Interp, ActionsCalledWithTheirArguments) {
    EXPECT_EQ(molded(test_eval::run("append [1 2] 3")), "[1 2 3]");
    EXPECT_EQ(molded(test_eval::run("append/only [1] [2 3]")), "[1 [2 3]]");
    EXPECT_EQ(molded(test_eval::run("append/dup [] 0 3")), "[0 0 0]");
    EXPECT_EQ(molded(test_eval::run("func [a][a + 1]")), "func [a][a + 1]");
    EXPECT_EQ(molded(test_eval::run("make op! func [a b][a]")), "make op! func [a b][a]");
    EXPECT_EQ(molded(test_eval::run(":if")), "make native! [[cond [any-type!] then-blk [block!]]]");
    EXPECT_EQ(molded(test_eval::run("1 + 2 * 3")), "9");
}

TEST_F(Interp, ErrorFormShowsArgumentsAndWhereItHappened) {
    Cell s = test_eval::run("f: func [a [integer!]][a] form try [f \"x\" 1 2 3]");
    EXPECT_EQ(booted::text_of(&s),
              "*** Script Error: f does not allow string! for its a argument\n"
              "*** Where: f\n"
              "*** Near : f \"x\" 1 2 3\n"
              "*** Stack: f");
    s = test_eval::run("form try [1 / 0]");
    EXPECT_EQ(booted::text_of(&s).substr(0, 49), "*** Math Error: attempt to divide by zero\n*** Whe");
}

}  // namespace

namespace {
// The same programs with a collection (moving every unpinned buffer and
// node) at every allocation.
TEST_F(Interp, ProgramsRunUnderCollectorStress) {
    collector::active = 1;
    collector::stress = true;
    EXPECT_EQ(int_of(test_eval::run("f: func [a b][a + b] f 1 2")), 3);
    EXPECT_EQ(int_of(test_eval::run("fib: func [n][either n < 2 [n][(fib n - 1) + fib n - 2]] fib 8")), 21);
    EXPECT_EQ(molded(test_eval::run("b: [] loop 5 [append b 1] b")), "[1 1 1 1 1]");
    EXPECT_EQ(word_text(test_eval::run("e: try [1 / 0] e/id")), "zero-divide");
    EXPECT_EQ(int_of(test_eval::run("catch [loop 3 [throw 4]]")), 4);
    EXPECT_EQ(int_of(test_eval::run("fn: function [a][b: a * 2 b] fn 4")), 8);
    collector::stress = false;
    collector::active = 0;
}

}  // namespace

namespace {
// do/trace reports the evaluation's events to a callback function; a
// callback whose body starts with a block of event words gets only those.
TEST_F(Interp, TracingCallbackReceivesEvents) {
    Cell log = test_eval::run(
        "log: [] "
        "tracer: func [event code offset value ref frame][[call return] append log event] "
        "f: func [a][a] "
        "do/trace [f 1] :tracer "
        "log");
    std::string m = molded(log);
    EXPECT_NE(m.find("call"), std::string::npos) << m;
    EXPECT_NE(m.find("return"), std::string::npos) << m;
    EXPECT_EQ(m.find("fetch"), std::string::npos) << m;
    EXPECT_FALSE(interpreter::tracing);
    EXPECT_EQ(int_of(test_eval::run("f: func [a][a] f 5")), 5);
}

// A runtime started again in the same process boots the library again: the
// entries the first boot sealed are open to the second one's making.
TEST(Restart, BootsTheLibraryAgainInTheSameProcess) {
    for (int round = 0; round < 2; ++round) {
        test_eval::start();
        ASSERT_NO_THROW(test_eval::boot()) << "round " << round;
        EXPECT_EQ(test_eval::outcome("1 + 2"), "3") << "round " << round;
        runtime::cleanup();
    }
}

}  // namespace
