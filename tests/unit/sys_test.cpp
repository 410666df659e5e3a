// The fatal-error path: reports, exit statuses and real machine faults.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>


#include "child.h"
#include "app/runtime.h"
#include "runtime/sys.h"

namespace {

struct ReportCase {
    uint32_t code;
    const char* message;  // null: no report at all
};

TEST(FatalReport, CodesMessagesAndStatuses) {
    const ReportCase cases[] = {
        {0, nullptr},
        {13, "integer divide by zero"},
        {19, "stack error or overflow"},
        {94, "out of memory"},
        {95, "no CATCH for THROW"},
        {96, "unknown error code!"},
        {97, "unknown error code!"},
        {102, "unknown error code!"},
        {101, "no value matched in SWITCH"},
    };
    for (const auto& c : cases) {
        auto out = testing_child::run([&] { sys::on_quit(c.code, 0x1234ABCD); });
        EXPECT_EQ(out.status, static_cast<int>(c.code)) << c.code;
        if (!c.message) {
            EXPECT_EQ(out.output, "");
        } else {
            std::string want = "\n*** Runtime Error " + std::to_string(c.code) + ": " + c.message +
                               "\n*** at: 1234ABCDh\n";
            EXPECT_EQ(out.output, want);
        }
    }
}

TEST(FatalReport, AddressIsEightUpperCaseHexDigits) {
    auto out = testing_child::run([] { sys::on_quit(1, 0xAB); });
    EXPECT_NE(out.output.find("*** at: 000000ABh\n"), std::string::npos) << out.output;
}

// The report of a real fault: the numbered message and an address.
void expect_fault_report(const testing_child::Outcome& out, int code, const char* message) {
    EXPECT_EQ(out.signal, 0);
    EXPECT_EQ(out.status, code);
    std::string head = "\n*** Runtime Error " + std::to_string(code) + ": " + message + "\n*** at: ";
    ASSERT_EQ(out.output.substr(0, head.size()), head) << out.output;
    std::string rest = out.output.substr(head.size());
    ASSERT_EQ(rest.size(), 10u) << out.output;
    EXPECT_EQ(rest.find_first_not_of("0123456789ABCDEF"), 8u) << out.output;
    EXPECT_EQ(rest.substr(8), "h\n");
}

__attribute__((noinline, no_sanitize("undefined"))) int divide(int a, int b) {
    volatile int x = a, y = b;
    volatile int q = x / y;  // a volatile result keeps the division in optimised builds
    return q;
}

TEST(FatalSignals, IntegerDivisionByZero) {
    auto out = testing_child::run([] {
        runtime::machine_start(0, nullptr);
        // The result is kept, or the optimiser drops the unused division.
        volatile int result = divide(7, 0);
        (void)result;
    });
    expect_fault_report(out, 13, "integer divide by zero");
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int recurse(int depth) {
    volatile char pad[512];
    pad[depth & 511] = static_cast<char>(depth);
    return recurse(depth + 1) + pad[(depth + 1) & 511];
}
#pragma GCC diagnostic pop

TEST(FatalSignals, StackOverflow) {
    auto out = testing_child::run([] {
        runtime::machine_start(0, nullptr);
        recurse(0);
    });
    expect_fault_report(out, 19, "stack error or overflow");
}

TEST(FatalSignals, AccessViolation) {
    auto out = testing_child::run([] {
        runtime::machine_start(0, nullptr);
        volatile uintptr_t address = 0x10;  // hidden from the optimiser's bounds checks
        *reinterpret_cast<volatile int*>(address) = 1;
    });
    expect_fault_report(out, 1, "access violation");
}

TEST(SystemThrow, UncaughtThrowEndsWith95) {
    auto out = testing_child::run([] {
        try {
            sys::throw_code(0x7FFFFFFA);
        } catch (const sys::Throw&) {
            sys::top_frame_handler();
        }
    });
    EXPECT_EQ(out.status, 95);
    EXPECT_NE(out.output.find("*** Runtime Error 95: no CATCH for THROW\n"), std::string::npos);
}

TEST(Arguments, CopiedAsUnchangedBytes) {
    char a0[] = "zem";
    char a1[] = "d\xC3\xA9j\xC3\xA0";  // UTF-8 bytes pass through untouched
    char a2[] = "\xFF\xFE";             // and so do bytes that are not UTF-8
    char* argv[] = {a0, a1, a2, nullptr};
    sys::get_args(3, argv);
    ASSERT_EQ(sys::record.argc, 3);
    EXPECT_STREQ(sys::record.argv[0], "zem");
    EXPECT_STREQ(sys::record.argv[1], a1);
    EXPECT_STREQ(sys::record.argv[2], a2);
    EXPECT_EQ(sys::record.argv[3], nullptr);
    EXPECT_NE(sys::record.argv[1], a1);
    sys::free_all();
}

TEST(Entry, StartsAndExitsZero) {
    char dir[] = "/tmp/zem-entry-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    auto out = testing_child::run([&] {
        // No input: the console prints its banner and ends as `quit` does.
        if (!std::freopen("/dev/null", "r", stdin)) std::_Exit(99);
        setenv("XDG_CACHE_HOME", dir, 1);
        char a0[] = "zem";
        char* argv[] = {a0, nullptr};
        runtime::entry(1, argv);
    });
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.output.rfind("--== Zem ", 0), 0u) << out.output;
    std::filesystem::remove_all(dir);
}

}  // namespace
