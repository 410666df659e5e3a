// Platform services: the packed date and zone, time, sleep conversion,
// environment, current directory and the angle reduction of trigonometry.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/os.h"
#include "runtime/sys.h"
#include "python_peer.h"

namespace {

TEST(PackedDate, KnownValues) {
    struct Case {
        int year, month, day, offset;
        uint32_t want;
    } cases[] = {
        {2024, 3, 5, 0, 265302656u},
        {2024, 3, 5, 330, 265302656u | 22},   // UTC+5:30
        {2024, 3, 5, -210, 265302656u | 78},  // UTC-3:30
        {2024, 3, 5, -60, 265302656u | 0x44},
        {1999, 12, 31, 45, (1999u << 17) | (12u << 12) | (31u << 7) | 3},
    };
    for (const auto& c : cases) EXPECT_EQ(sys::pack_date(c.year, c.month, c.day, c.offset), c.want);
}

TEST(PackedDate, LocalZoneAgainstPython) {
    // Both sides read the same TZ rule; the packing comes from independent code.
    for (const char* tz : {"IST-5:30", "NST+3:30", "UTC0", "XYZ+11"}) {
        setenv("TZ", tz, 1);
        tzset();
        uint32_t packed = sys::get_date(false);
        std::string want = python_peer::run_text(
            "import datetime,time; t=time.localtime(); o=t.tm_gmtoff//60; m=abs(o); "
            "print((t.tm_year<<17)|(t.tm_mon<<12)|(t.tm_mday<<7)|((m//60)<<2)|((m%60)//15)|(64 if o<0 else 0))");
        ASSERT_FALSE(want.empty()) << "the python3 peer printed nothing";
        EXPECT_EQ(std::to_string(packed) + "\n", want) << tz;
    }
    unsetenv("TZ");
    tzset();
}

TEST(PackedDate, UtcHasNoZone) {
    uint32_t packed = sys::get_date(true);
    EXPECT_EQ(packed & 0x7F, 0u);
    time_t now = time(nullptr);
    struct tm t;
    gmtime_r(&now, &t);
    EXPECT_EQ(packed >> 17, static_cast<uint32_t>(t.tm_year + 1900));
}

TEST(Time, SecondsSinceMidnightUtc) {
    double s = sys::get_time(false);
    EXPECT_GE(s, 0.0);
    EXPECT_LT(s, 86400.0);
    EXPECT_EQ(s, std::floor(s));
    double f = sys::get_time(true);
    EXPECT_GE(f, 0.0);
    EXPECT_LT(f, 86400.0);
}

TEST(Sleep, MillisecondConversion) {
    struct Case {
        double seconds;
        uint32_t ms;
    } cases[] = {{0.0005, 1}, {2.5, 2500}, {-3.0, 1}, {0.0, 1}, {NAN, 1}, {0.0019, 1}, {1.0, 1000}};
    for (const auto& c : cases) EXPECT_EQ(sys::sleep_milliseconds(c.seconds), c.ms) << c.seconds;
}

TEST(Environment, SetGetAndMissing) {
    char buf[64];
    ASSERT_EQ(sys::set_env("ZEM_TEST_VAR", "h\xC3\xA9llo"), 0);
    EXPECT_EQ(sys::get_env("ZEM_TEST_VAR", buf, sizeof buf), 6u);
    EXPECT_STREQ(buf, "h\xC3\xA9llo");
    EXPECT_EQ(sys::get_env("ZEM_TEST_VAR", buf, 3), 7u);  // too small: size needed
    sys::set_env("ZEM_TEST_VAR", nullptr);
    EXPECT_EQ(sys::get_env("ZEM_TEST_VAR", buf, sizeof buf), 0u);
}

TEST(CurrentDir, RoundTrip) {
    uint32_t len = 0;
    char* before = sys::get_current_dir(&len);
    EXPECT_EQ(len, std::strlen(before));
    ASSERT_EQ(sys::set_current_dir("/tmp"), 0);
    char* now = sys::get_current_dir(&len);
    EXPECT_STREQ(now, "/tmp");
    EXPECT_NE(sys::set_current_dir("/no/such/dir/here"), 0);
    sys::set_current_dir(before);
    sys::free_all();
}

TEST(Trigonometry, DegreesReduction) {
    auto rad = [](double d) { return d * 3.141592653589793 / 180.0; };
    struct Case {
        double angle;
        int function;
        double degrees;
    } cases[] = {
        {100, 2, 80}, {100, 0, -80}, {100, 1, 100}, {540, 0, 0}, {540, 1, 180}, {540, 2, 0},
        {-100, 2, -80}, {-100, 0, 80}, {270, 1, -90}, {45, 0, 45},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(sys::degrees_to_radians(c.angle, c.function), rad(c.degrees)) << c.angle << " " << c.function;
    EXPECT_TRUE(std::isnan(sys::degrees_to_radians(NAN, 2)));
}

TEST(Fill, EqualBoundsWriteNothing) {
    uint8_t b[4] = {1, 2, 3, 4};
    sys::fill(b + 1, b + 1, 9);
    sys::fill(b + 1, b + 3, 7);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 7);
    EXPECT_EQ(b[2], 7);
    EXPECT_EQ(b[3], 4);
}

}  // namespace
