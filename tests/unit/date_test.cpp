// date!: calendar arithmetic against python3's datetime (day numbers,
// weekdays, ordinal days, weeks, sums across month and year ends, leap
// years and zones), normalisation of fields, make and to, molds, and the
// limits of the year range and of the integer form.
#include "datatypes/date.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "python_peer.h"
#include "scalar_helpers.h"
#include "services/lexer/lexer.h"

namespace {

using booted::integer;
using namespace scalar_helpers;

class Dates : public booted::Runtime {
protected:
    static Cell day(int32_t y, int32_t m, int32_t d) {
        Cell c;
        date::make_at(&c, y, m, d, 0, 0, 0, false);
        return c;
    }
    static Cell at(int32_t y, int32_t m, int32_t d, double local, int32_t zh = 0, int32_t zm = 0) {
        Cell c;
        date::make_at(&c, y, m, d, local, zh, zm, true);
        return c;
    }
    static Cell tm(double s) { return flt(s, TYPE_TIME); }
};

struct Ymd {
    int y, m, d;
};
const Ymd calendar[] = {
    {1970, 1, 1},  {2000, 2, 28}, {2000, 2, 29}, {2000, 3, 1},  {1900, 2, 28}, {1900, 3, 1},
    {2004, 12, 31}, {2005, 1, 1}, {2008, 12, 29}, {2009, 12, 31}, {2010, 1, 3}, {2010, 1, 4},
    {2012, 1, 1},  {2015, 12, 31}, {2016, 1, 1}, {2021, 1, 3},  {2020, 12, 31}, {2022, 1, 1},
    {2023, 1, 1},  {2024, 2, 29}, {2027, 1, 1},  {2026, 12, 9}, {1, 1, 1},     {1600, 2, 29},
    {9999, 12, 31}, {1582, 10, 15}, {1999, 12, 31}, {2038, 1, 19}, {2100, 3, 1}, {2400, 2, 29},
};

TEST_F(Dates, CalendarAgreesWithPython) {
    std::ostringstream script;
    script << "import datetime\nfor y, m, d in [";
    for (const Ymd& c : calendar) script << "(" << c.y << "," << c.m << "," << c.d << "),";
    script << "]:\n"
              "    t = datetime.date(y, m, d)\n"
              "    jan1 = datetime.date(y, 1, 1)\n"
              "    us = int(t.strftime('%U')) + (0 if jan1.isoweekday() == 7 else 1)\n"
              "    print(t.toordinal() + 305, t.isoweekday(), t.timetuple().tm_yday, us, t.isocalendar()[1])\n";
    std::string out = python_peer::run_text(script.str());
    ASSERT_FALSE(out.empty()) << "the python3 peer printed nothing";
    std::istringstream lines(out);
    for (const Ymd& c : calendar) {
        long dn;
        int wd, yd, us, iso;
        ASSERT_TRUE(lines >> dn >> wd >> yd >> us >> iso);
        Cell d = day(c.y, c.m, c.d);
        SCOPED_TRACE(mold(d));
        EXPECT_EQ(date::day_number(d.data1), dn);
        EXPECT_EQ(date::weekday(dn), wd);
        EXPECT_EQ(date::yearday(d.data1), yd);
        EXPECT_EQ(date::field(&d, 13).int_value(), us);
        EXPECT_EQ(date::field(&d, 14).int_value(), iso);
        // Back from the day number to the same fields.
        EXPECT_EQ(date::pack_days(dn, 0, 0), d.data1);
    }
    EXPECT_EQ(date::day_number(1970, 1, 1), 719468);
}

TEST_F(Dates, SumsAgreeWithPython) {
    struct Case {
        int y, m, d;
        int local;     // local seconds of the day
        int zone;      // minutes east
        int delta;     // seconds added
    } cases[] = {
        {2000, 1, 1, 82800, 0, 7200},        {1999, 12, 31, 86399, 0, 1},   {2000, 2, 28, 80000, 0, 86400},
        {2001, 2, 28, 80000, 0, 86400},      {2000, 1, 1, 36000, 60, 72000}, {2000, 1, 1, 3600, 90, -7200},
        {2016, 12, 31, 43200, -300, 50000},  {2020, 3, 1, 1800, 345, -3600}, {2024, 2, 29, 0, -720, -1},
        {1970, 1, 1, 0, 0, -86401},          {2000, 12, 31, 86000, 45, 40000000},
        {2000, 1, 1, 600, 600, -3000000},
    };
    std::ostringstream script;
    script << "import datetime\n"
              "M = ['Jan','Feb','Mar','Apr','May','Jun','Jul','Aug','Sep','Oct','Nov','Dec']\n"
              "for y, m, d, local, zone, delta in [";
    for (const Case& c : cases)
        script << "(" << c.y << "," << c.m << "," << c.d << "," << c.local << "," << c.zone << "," << c.delta << "),";
    script << "]:\n"
              "    tz = datetime.timezone(datetime.timedelta(minutes=zone))\n"
              "    t = datetime.datetime(y, m, d, tzinfo=tz) + datetime.timedelta(seconds=local + delta)\n"
              "    s = '%d-%s-%04d/%d:%02d:%02d' % (t.day, M[t.month-1], t.year, t.hour, t.minute, t.second)\n"
              "    if zone: s += '%s%02d:%02d' % ('-' if zone < 0 else '+', abs(zone)//60, abs(zone)%60)\n"
              "    print(s)\n";
    std::string out = python_peer::run_text(script.str());
    ASSERT_FALSE(out.empty()) << "the python3 peer printed nothing";
    std::istringstream lines(out);
    for (const Case& c : cases) {
        std::string expected;
        ASSERT_TRUE(lines >> expected);
        int zh = c.zone / 60, zm = c.zone % 60;
        Cell sum = op(actions::slot::add, at(c.y, c.m, c.d, c.local, zh, zm), tm(c.delta));
        EXPECT_EQ(mold(sum), expected) << c.y << "-" << c.m << "-" << c.d << " + " << c.delta;
    }
}

// Seconds since 1970 of zoned instants read from their literals, against
// python's datetime: the zone in every quarter hour of both signs (zero
// hours too), times on either side of the zone offset, quarter seconds.
TEST_F(Dates, EpochOfZonedLiteralsAgreesWithPython) {
    std::string out = python_peer::run_text(
        "import datetime, math, random\n"
        "random.seed(4122)\n"
        "M = ['Jan','Feb','Mar','Apr','May','Jun','Jul','Aug','Sep','Oct','Nov','Dec']\n"
        "epoch = datetime.datetime(1970, 1, 1)\n"
        "for _ in range(300):\n"
        "    t = datetime.datetime(1900, 1, 1) + datetime.timedelta(seconds=random.randrange(200 * 365 * 86400))\n"
        "    t += datetime.timedelta(microseconds=random.choice([0, 0, 250000, 500000, 750000]))\n"
        "    zone = random.choice([-1, 1]) * random.randrange(64) * 15\n"
        "    x = (t - datetime.timedelta(minutes=zone) - epoch).total_seconds()\n"
        "    s = '%d-%s-%04d/%d:%02d:%02d' % (t.day, M[t.month - 1], t.year, t.hour, t.minute, t.second)\n"
        "    if t.microsecond: s += ('%.2f' % (t.microsecond / 1e6))[1:]\n"
        "    s += '%s%d:%02d' % ('-' if zone < 0 else '+', abs(zone) // 60, abs(zone) % 60)\n"
        "    print(s, math.floor(x + 0.5))\n");
    ASSERT_FALSE(out.empty()) << "the python3 peer printed nothing";
    std::istringstream lines(out);
    std::string text;
    long long expected;
    int cases = 0;
    while (lines >> text >> expected) {
        Cell s = *string::rs_make_at(stack::push_slot(), 32);
        string::concatenate_literal(&s, text.c_str());
        Cell slot{TYPE_UNSET, 0, 0, 0};
        Cell d = *lexer::load_value(&s, &slot);
        ASSERT_EQ(d.type(), static_cast<uint32_t>(TYPE_DATE)) << text;
        EXPECT_EQ(date::to_epoch(&d), expected) << text;
        ++cases;
    }
    EXPECT_EQ(cases, 300);
}

TEST_F(Dates, DayArithmeticAgreesWithPython) {
    std::string out = python_peer::run_text(
        "import datetime\n"
        "a = datetime.date(2000, 3, 1); b = datetime.date(2000, 2, 29)\n"
        "print((a - b).days, (datetime.date(2024, 1, 1) - datetime.date(1970, 1, 1)).days)\n"
        "print((datetime.date(1999, 12, 31) - datetime.date(2000, 12, 31)).days)\n"
        "t = datetime.date(2000, 1, 31) + datetime.timedelta(days=400)\n"
        "print(t.year, t.month, t.day)\n");
    ASSERT_FALSE(out.empty()) << "the python3 peer printed nothing";
    std::istringstream in(out);
    int d1, d2, d3, y, m, d;
    in >> d1 >> d2 >> d3 >> y >> m >> d;
    EXPECT_EQ(op(actions::slot::subtract, day(2000, 3, 1), day(2000, 2, 29)).int_value(), d1);
    EXPECT_EQ(op(actions::slot::subtract, day(2024, 1, 1), day(1970, 1, 1)).int_value(), d2);
    EXPECT_EQ(op(actions::slot::subtract, day(1999, 12, 31), day(2000, 12, 31)).int_value(), d3);
    Cell later = op(actions::slot::add, day(2000, 1, 31), integer(400));
    EXPECT_EQ(later.data1, day(y, m, d).data1);
    EXPECT_EQ(mold(op(actions::slot::subtract, day(2000, 1, 1), integer(1))), "31-Dec-1999");
    EXPECT_EQ(mold(op(actions::slot::add, at(2000, 1, 1, 82800), tm(7200))), "2-Jan-2000/1:00:00");
    // A date without a time gains one when a time is added.
    EXPECT_EQ(mold(op(actions::slot::add, day(2000, 1, 1), tm(90))), "1-Jan-2000/0:01:30");
    EXPECT_FIRES(op(actions::slot::add, day(2000, 1, 1), day(2000, 1, 1)), err::NOT_RELATED);
    EXPECT_FIRES(op(actions::slot::add, day(2000, 1, 1), flt(1.5)), err::INVALID_TYPE);
    // Time left operands change places.
    EXPECT_EQ(mold(op(actions::slot::add, tm(3600), at(2000, 1, 1, 0))), "1-Jan-2000/1:00:00");
    EXPECT_FIRES(op(actions::slot::subtract, tm(3600), day(2000, 1, 1)), err::NOT_RELATED);
}

TEST_F(Dates, YearRangeAndIntegerLimits) {
    // Leaving the representable years raises type-limit instead of wrapping.
    EXPECT_EQ(mold(op(actions::slot::add, day(16383, 12, 30), integer(1))), "31-Dec-16383");
    EXPECT_FIRES(op(actions::slot::add, day(16383, 12, 31), integer(1)), err::TYPE_LIMIT);
    EXPECT_FIRES(op(actions::slot::subtract, day(-16384, 1, 1), integer(1)), err::TYPE_LIMIT);
    EXPECT_FIRES(op(actions::slot::add, day(2000, 1, 1), integer(2147483647)), err::TYPE_LIMIT);
    EXPECT_FIRES(op(actions::slot::add, at(2000, 1, 1, 0), tm(1e300)), err::TYPE_LIMIT);
    EXPECT_FIRES(op(actions::slot::add, at(2000, 1, 1, 0), tm(0.0 / 0.0)), err::TYPE_LIMIT);
    Cell endless = at(2000, 1, 1, 0);
    Cell inf = tm(1.0 / 0.0);
    EXPECT_FIRES(path(endless, booted::word("time"), &inf), err::TYPE_LIMIT);
    EXPECT_FIRES(booted::call(actions::slot::make, {booted::dtype(TYPE_DATE),
                                                   block_of({integer(1), integer(1), integer(2000), inf})}),
                 err::TYPE_LIMIT);
    Cell d = day(2000, 1, 1);
    Cell big = integer(20000);
    EXPECT_FIRES(path(d, booted::word("year"), &big), err::TYPE_LIMIT);
    EXPECT_EQ(mold(d), "1-Jan-2000");
    // Seconds since 1970 beyond 2038 do not wrap.
    Cell last = at(2038, 1, 19, 3 * 3600 + 14 * 60 + 7);
    EXPECT_EQ(date::to_integer(&last), 2147483647);
    Cell next = at(2038, 1, 19, 3 * 3600 + 14 * 60 + 8);
    EXPECT_EQ(date::to_epoch(&next), 2147483648LL);
    EXPECT_FIRES(date::to_integer(&next), err::TYPE_LIMIT);
    Cell zoned = at(1970, 1, 1, 3600, 1);
    EXPECT_EQ(date::to_integer(&zoned), 0);
}

TEST_F(Dates, ExtremeFieldValuesRaiseTypeLimit) {
    // The calendar arithmetic widens every field first: the extreme integers
    // raise type-limit (and leave the date as it was) instead of overflowing.
    const char* fields[] = {"year", "month", "day", "hour", "weekday", "yearday", "isoweek"};
    for (const char* f : fields)
        for (int32_t v : {INT32_MIN, INT32_MAX}) {
            SCOPED_TRACE(std::string(f) + " " + std::to_string(v));
            Cell d = at(2000, 1, 1, 36000);
            Cell value = integer(v);
            EXPECT_FIRES(path(d, booted::word(f), &value), err::TYPE_LIMIT);
            EXPECT_EQ(mold(d), "1-Jan-2000/10:00:00");
        }
    // The zone wraps (hours mod 16) and the clock fields carry into days.
    const struct {
        const char* field;
        int32_t value;
        const char* after;
    } carried[] = {{"zone", INT32_MAX, "1-Jan-2000/10:00:00+15:00"},
                   {"zone", INT32_MIN, "1-Jan-2000/10:00:00"},
                   {"minute", INT32_MIN, "9/Dec/-2084/7:52:00"}};
    for (const auto& c : carried) {
        SCOPED_TRACE(c.field);
        Cell d = at(2000, 1, 1, 36000);
        Cell value = integer(c.value);
        path(d, booted::word(c.field), &value);
        EXPECT_EQ(mold(d), c.after);
    }
    // Day month year, then a year day month and an hour form.
    const std::vector<int32_t> specs[] = {
        {1, INT32_MIN, 2000},        {1, INT32_MAX, 2000},       {INT32_MIN, 1, 2000},
        {INT32_MAX, 1, 2000},        {1, 1, INT32_MIN},          {1, 1, INT32_MAX},
        {INT32_MAX, 1, INT32_MIN},   {1, 1, 2000, INT32_MIN, 0}, {1, 1, 2000, INT32_MAX, 0},
    };
    for (const auto& spec : specs) {
        std::ostringstream name;
        for (int32_t n : spec) name << n << " ";
        SCOPED_TRACE(name.str());
        for (uint32_t slot : {actions::slot::make, actions::slot::to}) {
            Cell b = block_of({});
            for (int32_t n : spec) {
                Cell c = integer(n);
                block::rs_append(&b, &c);
            }
            EXPECT_FIRES(booted::call(slot, {booted::dtype(TYPE_DATE), b}), err::TYPE_LIMIT);
        }
    }
}

TEST_F(Dates, FieldsNormalise) {
    auto set = [](Cell d, const char* field, Cell v) {
        path(d, booted::word(field), &v);
        return mold(d);
    };
    EXPECT_EQ(set(day(2001, 1, 31), "month", integer(2)), "3-Mar-2001");
    EXPECT_EQ(set(day(2001, 1, 31), "month", integer(13)), "31-Jan-2002");
    EXPECT_EQ(set(day(2001, 5, 15), "month", integer(0)), "15-Dec-2000");
    EXPECT_EQ(set(day(2000, 2, 29), "year", integer(2001)), "1-Mar-2001");
    EXPECT_EQ(set(day(2000, 3, 10), "day", integer(0)), "29-Feb-2000");
    EXPECT_EQ(set(day(2000, 12, 10), "day", integer(32)), "1-Jan-2001");
    EXPECT_EQ(set(day(2026, 12, 9), "weekday", integer(7)), "13-Dec-2026");
    EXPECT_EQ(set(day(2026, 12, 9), "yearday", integer(60)), "1-Mar-2026");
    EXPECT_EQ(set(day(2026, 12, 9), "julian", integer(1)), "1-Jan-2026");
    EXPECT_EQ(set(day(2026, 12, 9), "isoweek", integer(1)), "29-Dec-2025");
    EXPECT_EQ(set(day(2026, 12, 9), "week", integer(1)), "1-Jan-2026");
    EXPECT_EQ(set(day(2026, 12, 9), "week", integer(2)), "4-Jan-2026");
    EXPECT_EQ(set(day(2000, 1, 1), "date", day(2010, 6, 7)), "7-Jun-2010");
    // Clock fields set the local time and keep the zone.
    EXPECT_EQ(set(at(2000, 1, 1, 36000, 1), "hour", integer(23)), "1-Jan-2000/23:00:00+01:00");
    EXPECT_EQ(set(at(2000, 1, 1, 36000, 5, 30), "minute", integer(45)), "1-Jan-2000/10:45:00+05:30");
    EXPECT_EQ(set(at(2000, 1, 1, 36000), "second", flt(1.5)), "1-Jan-2000/10:00:01.5");
    EXPECT_EQ(set(day(2000, 1, 1), "time", tm(3600)), "1-Jan-2000/1:00:00");
    EXPECT_EQ(set(at(2000, 1, 1, 3600), "time", booted::none()), "1-Jan-2000");
    EXPECT_EQ(set(at(2000, 1, 1, 3600), "time", tm(86400 + 60)), "2-Jan-2000/0:01:00");
    // zone keeps the clock; timezone keeps the instant.
    EXPECT_EQ(set(at(2000, 1, 1, 36000), "zone", integer(2)), "1-Jan-2000/10:00:00+02:00");
    EXPECT_EQ(set(at(2000, 1, 1, 36000), "timezone", integer(2)), "1-Jan-2000/12:00:00+02:00");
    EXPECT_EQ(set(at(2000, 1, 1, 3600), "timezone", tm(-5.5 * 3600)), "31-Dec-1999/19:30:00-05:30");
    EXPECT_EQ(set(at(2000, 1, 1, 36000), "zone", integer(-18)), "1-Jan-2000/10:00:00-02:00");
    Cell d = day(2000, 1, 1);
    EXPECT_FIRES(set(d, "month", flt(2.0)), err::INVALID_ARG);
    EXPECT_FIRES(set(d, "time", integer(3)), err::INVALID_ARG);
    EXPECT_FIRES(path(d, booted::word("centuries")), err::INVALID_PATH);
    EXPECT_FIRES(pick(d, integer(15)), err::OUT_OF_RANGE);
}

TEST_F(Dates, FieldsRead) {
    Cell d = at(2026, 12, 9, 10 * 3600 + 5 * 60 + 7.5, -3, -30);
    EXPECT_EQ(path(d, booted::word("year")).int_value(), 2026);
    EXPECT_EQ(path(d, booted::word("month")).int_value(), 12);
    EXPECT_EQ(path(d, booted::word("day")).int_value(), 9);
    EXPECT_EQ(mold(path(d, booted::word("zone"))), "-3:30:00");
    EXPECT_EQ(mold(path(d, booted::word("time"))), "10:05:07.5");
    EXPECT_EQ(path(d, booted::word("hour")).int_value(), 10);
    EXPECT_EQ(path(d, booted::word("minute")).int_value(), 5);
    EXPECT_EQ(path(d, booted::word("second")).float_value(), 7.5);
    EXPECT_EQ(path(d, booted::word("weekday")).int_value(), 3);
    EXPECT_EQ(pick(d, integer(11)).int_value(), 343);
    EXPECT_EQ(mold(pick(d, integer(1))), "9-Dec-2026");
    Cell plain = day(2000, 1, 1);
    for (const char* f : {"zone", "timezone", "time"}) EXPECT_EQ(path(plain, booted::word(f)).type(), TYPE_NONE) << f;
}

TEST_F(Dates, MakeAndTo) {
    Cell proto = booted::dtype(TYPE_DATE);
    auto make = [&](Cell spec) { return booted::call(actions::slot::make, {proto, spec}); };
    auto to = [&](Cell spec) { return booted::call(actions::slot::to, {proto, spec}); };
    EXPECT_FIRES(make(block_of({integer(2020), integer(2), integer(30)})), err::BAD_TO_ARG);
    EXPECT_EQ(mold(to(block_of({integer(2020), integer(2), integer(30)}))), "1-Mar-2020");
    EXPECT_EQ(mold(make(block_of({integer(15), integer(1), integer(2020)}))), "15-Jan-2020");
    EXPECT_EQ(mold(make(block_of({integer(2020), integer(1), integer(15)}))), "15-Jan-2020");
    EXPECT_FIRES(make(block_of({integer(1), integer(2)})), err::BAD_TO_ARG);
    EXPECT_FIRES(make(block_of({integer(1), integer(2), flt(2000)})), err::BAD_TO_ARG);
    // A valid local time with a zone is accepted (the check reads the local time).
    EXPECT_EQ(mold(make(block_of({integer(1), integer(1), integer(2000), tm(36000), tm(3600)}))),
              "1-Jan-2000/10:00:00+01:00");
    EXPECT_EQ(mold(make(block_of({integer(1), integer(1), integer(2000), tm(600), integer(5), integer(30)}))),
              "1-Jan-2000/0:10:00+05:30");
    EXPECT_EQ(mold(make(block_of({integer(1), integer(1), integer(2000), integer(10), integer(20), flt(5.5),
                                  integer(-2)}))),
              "1-Jan-2000/10:20:05.5-02:00");
    EXPECT_EQ(mold(make(block_of({integer(1), integer(1), integer(2000), integer(10)}))), "1-Jan-2000/10:00:00");
    EXPECT_FIRES(make(block_of({integer(1), integer(1), integer(2000), integer(24), integer(0)})), err::BAD_TO_ARG);
    EXPECT_EQ(mold(to(block_of({integer(1), integer(1), integer(2000), integer(24), integer(0)}))),
              "2-Jan-2000/0:00:00");
    EXPECT_FIRES(make(block_of({integer(1), integer(1), integer(2000), tm(3600), integer(20)})), err::BAD_TO_ARG);
    EXPECT_EQ(mold(to(integer(0))), "1-Jan-1970/0:00:00");
    EXPECT_EQ(mold(to(integer(-1))), "31-Dec-1969/23:59:59");
    EXPECT_EQ(mold(to(integer(951782400))), "29-Feb-2000/0:00:00");
    Cell text = *string::rs_make_at(stack::push_slot(), 4);
    EXPECT_FIRES(to(text), err::BAD_TO_ARG);
    EXPECT_FIRES(make(integer(5)), err::BAD_TO_ARG);
    EXPECT_EQ(mold(make(day(2000, 1, 1))), "1-Jan-2000");
}

TEST_F(Dates, Molds) {
    EXPECT_EQ(mold(at(2000, 1, 1, 36000, 1)), "1-Jan-2000/10:00:00+01:00");
    EXPECT_EQ(mold(day(45, 2, 5)), "5-Feb-0045");
    EXPECT_EQ(mold(day(99, 3, 1)), "1-Mar-0099");
    EXPECT_EQ(mold(day(100, 3, 1)), "1-Mar-100");
    EXPECT_EQ(mold(day(-45, 2, 5)), "5/Feb/-0045");
    EXPECT_EQ(mold(at(2000, 1, 1, 0, 0, 45)), "1-Jan-2000/0:00:00+00:45");
    EXPECT_EQ(mold(at(2000, 1, 1, 0, -10, -15)), "1-Jan-2000/0:00:00-10:15");
    EXPECT_EQ(form(at(1999, 12, 31, 86399.5)), "31-Dec-1999/23:59:59.5");
    // The date of a file time.
    Cell f;
    date::make_at_fields(&f, 2020, 6, 1, 13, 14, 15, 500000000);
    EXPECT_EQ(mold(f), "1-Jun-2020/13:14:15.5");
}

TEST_F(Dates, Comparison) {
    EXPECT_TRUE(cmp(at(2000, 1, 1, 36000, 1), at(2000, 1, 1, 32400), actions::COMP_EQUAL));
    EXPECT_TRUE(cmp(day(2000, 1, 1), day(2000, 1, 2), actions::COMP_LESSER));
    // The instant decides: 0:30+01:00 is 23:30 universal time of the day before.
    EXPECT_TRUE(cmp(at(2000, 1, 1, 1800, 1), at(1999, 12, 31, 23 * 3600 + 2700), actions::COMP_LESSER));
    EXPECT_FALSE(cmp(day(2000, 1, 1), at(2000, 1, 1, 1), actions::COMP_EQUAL));
    EXPECT_FALSE(cmp(day(2000, 1, 1), integer(3), actions::COMP_EQUAL));
    EXPECT_FIRES(cmp(day(2000, 1, 1), integer(3), actions::COMP_LESSER), err::INVALID_COMPARE);
    Cell a = at(2000, 1, 2, 0);
    Cell b = at(2000, 1, 1, 3600);
    date::difference(&a, &b);
    EXPECT_EQ(mold(a), "23:00:00");
}

}  // namespace

namespace {

class DateRandom : public booted::Runtime {};

TEST_F(DateRandom, DrawsStayBeforeTheDate) {
    Cell d;
    date::make_at(&d, 2000, 6, 15, 0, 0, 0, false);
    EXPECT_EQ(booted::call(actions::slot::random, {d}, {0, -1, -1}).type(), TYPE_UNSET);
    Cell t;
    date::make_at(&t, 2000, 6, 15, 3600, 2, 0, true);
    for (int i = 0; i < 50; ++i) {
        Cell r = booted::call(actions::slot::random, {d});
        ASSERT_EQ(r.type(), TYPE_DATE);
        EXPECT_LT(date::day_number(r.data1), date::day_number(d.data1));
        EXPECT_FALSE(date::time_q(r.data1));
        Cell rt = booted::call(actions::slot::random, {t});
        EXPECT_TRUE(date::time_q(rt.data1));
        double local = rt.float_value() + date::zone_seconds(date::zone_of(rt.data1));
        EXPECT_GE(local, 0.0);
        EXPECT_LT(local, 86400.0);
    }
}

}  // namespace
