// date!: calendar dates with optional time and zone, normalised through
// day numbers.
#include "datatypes/date.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/scalar.h"
#include "datatypes/string.h"
#include "datatypes/time.h"
#include "evaluator/actions.h"
#include "evaluator/stack.h"
#include "evaluator/words.h"
#include "runtime/rng.h"
#include "runtime/typesets.h"

namespace date {

Cell* (*months_hook)() = nullptr;

// ---- Calendar ------------------------------------------------------------------

namespace {

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

int64_t year_days(int64_t y) { return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400); }

const char* const month_names[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

[[noreturn]] void out_of_range() { scalar::fire_type(err::TYPE_LIMIT, TYPE_DATE); }

}  // namespace

int32_t zone_seconds(uint32_t zone) {
    int32_t s = static_cast<int32_t>(((zone >> 2) & 15) * 3600 + (zone & 3) * 900);
    return (zone & 0x40) ? -s : s;
}

uint32_t make_zone(int32_t hours, int32_t minutes) {
    bool negative = hours < 0 || (hours == 0 && minutes < 0);
    uint32_t h = static_cast<uint32_t>(hours < 0 ? -hours : hours) & 15;
    uint32_t q = static_cast<uint32_t>((minutes < 0 ? -minutes : minutes) / 15) & 3;
    uint32_t z = (h << 2) | q;
    return z && negative ? z | 0x40 : z;
}

bool leap_year_q(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int64_t day_number(int64_t year, int64_t month, int64_t day) {
    // Months outside 1..12 carry into years first.
    int64_t y0 = year + floor_div(month - 1, 12);
    int64_t mo = floor_mod(month - 1, 12) + 1;
    int64_t m = (mo + 9) % 12;
    int64_t y = y0 - m / 10;
    return year_days(y) + (306 * m + 5) / 10 + (day - 1);
}

int64_t day_number(uint32_t packed) { return day_number(year_of(packed), month_of(packed), day_of(packed)); }

uint32_t pack_days(int64_t g, uint32_t zone, uint32_t flag) {
    // Bounds checked before the arithmetic can overflow.
    if (g < day_number(MIN_YEAR, 1, 1) || g > day_number(MAX_YEAR, 12, 31)) out_of_range();
    int64_t y = floor_div(10000 * g + 14780, 3652425);
    int64_t ddd = g - year_days(y);
    if (ddd < 0) {
        --y;
        ddd = g - year_days(y);
    }
    int64_t mi = (100 * ddd + 52) / 3060;
    int64_t month = (mi + 2) % 12 + 1;
    int64_t year = y + (mi + 2) / 12;
    int64_t day = ddd - (306 * mi + 5) / 10 + 1;
    return (static_cast<uint32_t>(year) << 17) | (static_cast<uint32_t>(month) << 12) |
           (static_cast<uint32_t>(day) << 7) | flag | (zone & 0x7F);
}

int32_t weekday(int64_t days) { return static_cast<int32_t>(floor_mod(days + 2, 7)) + 1; }

int32_t yearday(uint32_t packed) {
    return static_cast<int32_t>(day_number(packed) - day_number(year_of(packed), 1, 1) + 1);
}

void apply_zone(int64_t& days, double& time, uint32_t zone) {
    double h = zone_seconds(zone) / 3600.0;
    double k = std::trunc((time / 3600.0 + h) / 24.0);
    // Far more days than the years hold (or no number at all): out of range.
    if (!(std::fabs(k) < 1e9)) out_of_range();
    time -= 86400.0 * k;
    days += static_cast<int64_t>(k);
    if (h * 3600.0 + time < 0) {
        time += 86400.0;
        days -= 1;
    }
}

namespace {

// Monday of ISO week 1 of a year, as a day number.
int64_t iso_week1(int32_t year) {
    int64_t jan1 = day_number(year, 1, 1);
    int32_t wd = weekday(jan1);
    return wd <= 4 ? jan1 - (wd - 1) : jan1 + (8 - wd);
}

int32_t iso_week(uint32_t packed) {
    int32_t year = year_of(packed);
    int64_t days = day_number(packed);
    int64_t monday = iso_week1(year);
    if (days < monday) {
        int32_t wd = weekday(day_number(year, 1, 1));
        if (wd == 5) return 53;
        if (wd == 6) return leap_year_q(year - 1) ? 53 : 52;
        return 52;
    }
    if (days >= iso_week1(year + 1)) return 1;
    return static_cast<int32_t>((days - monday) / 7 + 1);
}

int32_t us_week(uint32_t packed) {
    int64_t e = floor_mod(day_number(year_of(packed), 1, 1) + 3, 7);
    int64_t d = yearday(packed);
    return d <= 7 - e ? 1 : static_cast<int32_t>((d + e - 1) / 7 + 1);
}

double local_time(const Cell* d) { return d->float_value() + zone_seconds(zone_of(d->data1)); }

// Rebuilds the date from a day number and stored time, carried into days.
void set_days(Cell* d, int64_t days, double time, uint32_t zone, uint32_t flag) {
    apply_zone(days, time, zone);
    d->data1 = pack_days(days, zone, flag);
    d->set_float(flag ? time : 0.0);
}

void write_cell(Cell* d, uint32_t packed, double time) {
    d->header = TYPE_DATE;
    d->data1 = packed;
    d->set_float(time);
}

}  // namespace

// ---- Makers --------------------------------------------------------------------

Cell* push(uint32_t packed, double time) {
    Cell* c = stack::push_slot();
    write_cell(c, packed, time);
    return c;
}

Cell* make_in(Cell* block, uint32_t packed, uint32_t time_high, uint32_t time_low) {
    Cell* c = alloc_tail(block);
    *c = Cell{TYPE_DATE, packed, time_low, time_high};
    return c;
}

Cell* make_at(Cell* slot, int32_t year, int32_t month, int32_t day, double time, int32_t zone_hours,
              int32_t zone_minutes, bool time_flag) {
    uint32_t zone = make_zone(zone_hours, zone_minutes);
    uint32_t packed = (static_cast<uint32_t>(year) << 17) | (static_cast<uint32_t>(month & 15) << 12) |
                      (static_cast<uint32_t>(day & 31) << 7) | zone;
    if (time_flag) packed |= TIME_FLAG;
    write_cell(slot, packed, time_flag ? time - zone_seconds(zone) : 0.0);
    return slot;
}

Cell* make_at_fields(Cell* slot, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                     int32_t second, int32_t nanoseconds) {
    double t = 3600.0 * hour + 60.0 * minute + second + nanoseconds * 1e-9;
    return make_at(slot, year, month, day, t, 0, 0, true);
}

// ---- Fields --------------------------------------------------------------------

Cell field(const Cell* d, int32_t n) {
    uint32_t p = d->data1;
    Cell zone_time = time_q(p) ? scalar::make_float(TYPE_TIME, zone_seconds(zone_of(p))) : scalar::none();
    double local = local_time(d);
    switch (n) {
        case 1: {
            Cell r{TYPE_DATE, p & ~(TIME_FLAG | 0x7Fu), 0, 0};
            return r;
        }
        case 2: return scalar::integer(year_of(p));
        case 3: return scalar::integer(month_of(p));
        case 4: return scalar::integer(day_of(p));
        case 5: case 12: return zone_time;
        case 6: return time_q(p) ? scalar::make_float(TYPE_TIME, local) : scalar::none();
        case 7: return scalar::integer(static_cast<int32_t>(std::floor(local / 3600.0)));
        case 8: return scalar::integer(time_::get_minutes(local));
        case 9: return scalar::make_float(TYPE_FLOAT, std::fmod(local, 60.0));
        case 10: return scalar::integer(weekday(day_number(p)));
        case 11: return scalar::integer(yearday(p));
        case 13: return scalar::integer(us_week(p));
        default: return scalar::integer(iso_week(p));
    }
}

Cell* get_field(const Cell* date, int32_t n) {
    Cell f = field(date, n);
    return stack::push(&f);
}

Cell* difference(Cell* date1, const Cell* date2) {
    double s = static_cast<double>(day_number(date1->data1) - day_number(date2->data1)) * 86400.0 +
               (date1->float_value() - date2->float_value());
    date1->header = TYPE_TIME;
    date1->data1 = 0;
    date1->set_float(s);
    return date1;
}

int64_t to_epoch(const Cell* date) {
    // Rounded to the nearest second, halves upward, a negative stored time included.
    return (day_number(date->data1) - 719468) * 86400 + static_cast<int64_t>(std::floor(date->float_value() + 0.5));
}

int32_t to_integer(const Cell* date) {
    int64_t s = to_epoch(date);
    if (!scalar::fits_int32(s)) scalar::fire_type(err::TYPE_LIMIT, TYPE_INTEGER);
    return static_cast<int32_t>(s);
}

namespace {

// The field a path element or pick index names: 1..14, or 0.
int32_t field_of(const Cell* element) {
    if (element->type() == TYPE_INTEGER) {
        int32_t n = element->int_value();
        return n >= 1 && n <= 14 ? n : 0;
    }
    if (element->type() != TYPE_WORD) return 0;
    using namespace words;
    const uint32_t* table[] = {&sym::date,    &sym::year,    &sym::month,  &sym::day,     &sym::zone,
                               &sym::time,    &sym::hour,    &sym::minute, &sym::second,  &sym::weekday,
                               &sym::yearday, &sym::timezone, &sym::week,  &sym::isoweek};
    for (int32_t i = 0; i < 14; ++i)
        if (scalar::word_is(element, *table[i])) return i + 1;
    if (scalar::word_is(element, sym::julian)) return 11;
    return 0;
}

// The zone bits of a zone value: integer! hours (mod 16) or a time! (mod
// 16 hours).
uint32_t zone_from(const Cell* v) {
    if (v->type() == TYPE_INTEGER) return make_zone(v->int_value() % 16, 0);
    if (v->type() != TYPE_TIME) fire(err::INVALID_ARG, v);
    double t = std::fmod(v->float_value(), 16.0 * 3600.0);
    int32_t h = static_cast<int32_t>(std::trunc(t / 3600.0));
    int32_t m = time_::get_minutes(t);
    return make_zone(h, t < 0 ? -m : m);
}

void set_field(Cell* d, int32_t n, const Cell* v) {
    uint32_t p = d->data1;
    uint32_t zone = zone_of(p);
    uint32_t flag = p & TIME_FLAG;
    double stored = d->float_value();
    bool needs_int = n == 2 || n == 3 || n == 4 || n == 7 || n == 8 || n == 10 || n == 11 || n == 13 || n == 14;
    if (needs_int && v->type() != TYPE_INTEGER) fire(err::INVALID_ARG, v);
    int32_t i = v->int_value();
    int32_t year = year_of(p), month = month_of(p), day = day_of(p);
    // Local time with one clock field replaced, stored back with the zone.
    auto set_clock = [&](double local) {
        set_days(d, day_number(p), local - zone_seconds(zone), zone, TIME_FLAG);
    };
    switch (n) {
        // A date left without a time has no zone either (as the date field
        // reads it), so that its text loads back.
        case 1:
            if (v->type() != TYPE_DATE) fire(err::INVALID_ARG, v);
            d->data1 = v->data1 & ~0x7Fu;
            if (time_q(v->data1)) d->data1 |= zone;
            else d->set_float(0.0);
            return;
        case 2: d->data1 = pack_days(day_number(i, month, day), zone, flag); return;
        case 3: d->data1 = pack_days(day_number(year, i, day), zone, flag); return;
        case 4: d->data1 = pack_days(day_number(year, month, 1) - 1 + i, zone, flag); return;
        case 5: {
            uint32_t z = zone_from(v);
            double local = stored + zone_seconds(zone);
            set_days(d, day_number(p), local - zone_seconds(z), z, TIME_FLAG);
            return;
        }
        case 12: set_days(d, day_number(p), stored, zone_from(v), TIME_FLAG); return;
        case 6:
            if (v->type() == TYPE_NONE) {
                d->data1 = p & ~(TIME_FLAG | 0x7Fu);
                d->set_float(0.0);
                return;
            }
            if (v->type() != TYPE_TIME) fire(err::INVALID_ARG, v);
            set_clock(v->float_value());
            return;
        case 7: case 8: case 9: {
            Cell t{TYPE_TIME, 0, 0, 0};
            t.set_float(local_time(d));
            Cell element = scalar::integer(n - 6);
            Cell value = *v;
            if (n == 9 && v->type() != TYPE_INTEGER && v->type() != TYPE_FLOAT) fire(err::INVALID_ARG, v);
            Cell* top = stack::top;
            actions::eval_path(&t, &element, &value, nullptr, nullptr, nullptr, 0, false, false, true);
            stack::top = top;
            set_clock(t.float_value());
            return;
        }
        case 10: {
            int64_t days = day_number(p);
            d->data1 = pack_days(days + i - weekday(days), zone, flag);
            return;
        }
        case 11: d->data1 = pack_days(day_number(year, 1, 1) + static_cast<int64_t>(i) - 1, zone, flag); return;
        case 13: {
            int64_t jan1 = day_number(year, 1, 1);
            int64_t days = i > 1 ? jan1 + 7 * static_cast<int64_t>(i) - floor_mod(jan1 + 3, 7) - 7 : jan1;
            d->data1 = pack_days(days, zone, flag);
            return;
        }
        default:
            d->data1 = pack_days(iso_week1(year) + 7 * (static_cast<int64_t>(i) - 1), zone, flag);
            return;
    }
}

// The text of month m (1..12): the code points of its first three
// characters; answers how many there are.
uint32_t month_text(int32_t m, uint32_t* out) {
    Cell* months = months_hook ? months_hook() : nullptr;
    if (!months) {
        for (uint32_t k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>(month_names[m - 1][k]);
        return 3;
    }
    if (months->type() != TYPE_BLOCK || static_cast<uint32_t>(m) > block::rs_length_q(months))
        fire(err::INVALID_MONTHS);
    const Cell* name = block::rs_clamp_head(months) + (m - 1);
    if (name->type() != TYPE_STRING) fire(err::INVALID_MONTHS);
    uint32_t n = string::rs_length_q(name);
    uint32_t k = 0;
    for (; k < 3 && k < n; ++k) out[k] = string::rs_abs_at(name, name->head() + k);
    return k;
}

}  // namespace

// ---- Actions -------------------------------------------------------------------

namespace {

// make and to from a block: the parts of this spec in order.
struct Parts {
    int32_t a, b, c;
    bool has_time = false, hour_form = false;
    double time = 0;
    int32_t hour = 0, minute = 0;
    int32_t zone_hours = 0, zone_minutes = 0;
};

Cell* from_block(Cell* proto, Cell* spec, bool check) {
    uint32_t n = block::rs_length_q(spec);
    if (n < 3) scalar::bad_to_arg(TYPE_DATE, spec);
    Cell v[12];
    if (n > 12) scalar::bad_to_arg(TYPE_DATE, spec);
    for (uint32_t i = 0; i < n; ++i) {
        v[i] = block::rs_clamp_head(spec)[i];
        uint32_t t = v[i].type();
        if (t != TYPE_INTEGER && t != TYPE_TIME && t != TYPE_FLOAT) scalar::bad_to_arg(TYPE_DATE, spec);
    }
    auto is = [&](uint32_t i, uint32_t t) { return i < n && v[i].type() == t; };
    for (uint32_t i = 0; i < 3; ++i)
        if (!is(i, TYPE_INTEGER)) scalar::bad_to_arg(TYPE_DATE, spec);
    Parts p{v[0].int_value(), v[1].int_value(), v[2].int_value()};
    uint32_t i = 3;
    auto zone_part = [&]() {
        if (is(i, TYPE_TIME)) {
            double t = v[i++].float_value();
            p.zone_hours = static_cast<int32_t>(std::trunc(t / 3600.0));
            p.zone_minutes = time_::get_minutes(t) * (t < 0 ? -1 : 1);
        } else if (is(i, TYPE_INTEGER)) {
            p.zone_hours = v[i++].int_value();
            if (is(i, TYPE_INTEGER)) p.zone_minutes = v[i++].int_value();
        }
    };
    if (is(i, TYPE_TIME)) {
        p.has_time = true;
        p.time = v[i++].float_value();
        p.hour = static_cast<int32_t>(time_::get_hours(p.time));
        p.minute = time_::get_minutes(p.time);
        zone_part();
    } else if (is(i, TYPE_INTEGER)) {
        p.has_time = p.hour_form = true;
        p.hour = v[i++].int_value();
        double second = 0;
        if (is(i, TYPE_INTEGER)) {
            p.minute = v[i++].int_value();
            if (is(i, TYPE_INTEGER)) second = v[i++].int_value();
            else if (is(i, TYPE_FLOAT)) second = v[i++].float_value();
            if (i > 5) zone_part();
        }
        p.time = 3600.0 * p.hour + 60.0 * p.minute + second;
    }
    if (i != n) scalar::bad_to_arg(TYPE_DATE, spec);
    int32_t year = p.c, month = p.b, day = p.a;
    if (p.a > 99 && p.a > p.c) {
        year = p.a;
        day = p.c;
    }
    if (p.zone_hours > 15 || p.zone_hours < -15 || p.zone_minutes > 59 || p.zone_minutes < -59)
        scalar::bad_to_arg(TYPE_DATE, spec);
    uint32_t zone = make_zone(p.zone_hours, p.zone_minutes);
    uint32_t flag = p.has_time ? TIME_FLAG : 0;
    int64_t days = day_number(year, month, 1) - 1 + day;
    double t = p.time;
    apply_zone(days, t, 0);
    t -= zone_seconds(zone);
    apply_zone(days, t, zone);
    Cell r{TYPE_DATE, pack_days(days, zone, flag), 0, 0};
    r.set_float(flag ? t : 0.0);
    if (check) {
        uint32_t q = r.data1;
        if (year_of(q) != year || month_of(q) != month || day_of(q) != day) scalar::bad_to_arg(TYPE_DATE, spec);
        if (p.has_time) {
            double local = local_time(&r);
            if (p.hour < 0 || p.hour > 23 || std::floor(local / 3600.0) != p.hour ||
                time_::get_minutes(local) != p.minute)
                scalar::bad_to_arg(TYPE_DATE, spec);
        }
    }
    *proto = r;
    return proto;
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    if (in(ANY_LIST, spec->type())) return from_block(proto, spec, true);
    if (spec->type() == TYPE_DATE) return copy_cell(spec, proto);
    scalar::bad_to_arg(TYPE_DATE, spec);
}

Cell* to(Cell* proto, Cell* spec, uint32_t) {
    switch (spec->type()) {
        case TYPE_DATE: return copy_cell(spec, proto);
        case TYPE_INTEGER: {
            int32_t n = spec->int_value();
            int64_t days = 719468 + n / 86400;
            double t = n % 86400;
            apply_zone(days, t, 0);
            Cell r{TYPE_DATE, pack_days(days, 0, TIME_FLAG), 0, 0};
            r.set_float(t);
            *proto = r;
            return proto;
        }
        default:
            if (in(ANY_LIST, spec->type())) return from_block(proto, spec, false);
            scalar::bad_to_arg(TYPE_DATE, spec);
    }
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    uint32_t p = value->data1;
    int32_t year = year_of(p);
    uint32_t month[3];
    uint32_t letters = month_text(month_of(p), month);
    const char* sep = year < 0 ? "/" : "-";
    int32_t ay = year < 0 ? -year : year;
    char text[48];
    std::snprintf(text, sizeof text, "%d%s", day_of(p), sep);
    limit = scalar::append(buffer, text, limit);
    for (uint32_t k = 0; k < letters; ++k) string::append_char(series_of(buffer), month[k]);
    limit -= static_cast<int32_t>(letters);
    std::snprintf(text, sizeof text, "%s%s%0*d", sep, year < 0 ? "-" : "", ay <= 99 ? 4 : 1, ay);
    limit = scalar::append(buffer, text, limit);
    if (time_q(p)) {
        limit = scalar::append(buffer, "/", limit);
        limit = time_::form_text(local_time(value), buffer, limit);
    }
    uint32_t zone = zone_of(p);
    if (zone & 0x3F) {
        std::snprintf(text, sizeof text, "%c%02u:%02u", (zone & 0x40) ? '-' : '+', (zone >> 2) & 15, (zone & 3) * 15);
        limit = scalar::append(buffer, text, limit);
    }
    return limit;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev, int32_t index,
                bool, bool, bool) {
    int32_t n = field_of(element);
    if (n == 0) fire(err::INVALID_PATH, path ? path : parent, element);
    if (!value) return get_field(parent, n);
    Cell before = *parent;
    try {
        set_field(parent, n, value);
    } catch (...) {
        *parent = before;  // the value is unchanged when an error is raised
        throw;
    }
    scalar::store_back(parent, path, holder, prev, index);
    return value;
}

Cell* pick(Cell* value, int32_t, Cell* boxed) {
    int32_t n = field_of(boxed);
    if (n == 0) fire(err::OUT_OF_RANGE, boxed);
    return get_field(value, n);
}

int32_t compare(Cell* value1, Cell* value2, int32_t op) {
    if (value2->type() != TYPE_DATE) return actions::NOT_COMPARABLE;
    double t1 = value1->float_value(), t2 = value2->float_value();
    int64_t d1 = day_number(value1->data1), d2 = day_number(value2->data1);
    switch (op) {
        case actions::COMP_SAME:
            return d1 == d2 && std::memcmp(&value1->data2, &value2->data2, 8) == 0 ? 0 : 1;
        case actions::COMP_EQUAL: case actions::COMP_NOT_EQUAL: case actions::COMP_STRICT_EQUAL:
        case actions::COMP_FIND:
            return float_::almost_equal_q(static_cast<double>(d1) * 86400.0 + t1, static_cast<double>(d2) * 86400.0 + t2)
                       ? 0 : 1;
        default: {
            // The instants decide: the stored time counts from the local day.
            double a = static_cast<double>(d1) * 86400.0 + t1, b = static_cast<double>(d2) * 86400.0 + t2;
            return a < b ? -1 : (a > b ? 1 : 0);
        }
    }
}

namespace {

Cell* add_or_subtract(Cell* value1, Cell* value2, bool subtract) {
    uint32_t p = value1->data1;
    int64_t days = day_number(p);
    double t = value1->float_value();
    uint32_t flag = p & TIME_FLAG;
    switch (value2->type()) {
        case TYPE_INTEGER: days += subtract ? -static_cast<int64_t>(value2->int_value()) : value2->int_value(); break;
        case TYPE_TIME:
            t += subtract ? -value2->float_value() : value2->float_value();
            flag = TIME_FLAG;
            break;
        case TYPE_DATE: {
            if (!subtract) {
                Cell dt;
                datatype::make_at(&dt, TYPE_DATE);
                fire(err::NOT_RELATED, &words::add, &dt);
            }
            int64_t diff = days - day_number(value2->data1);
            double dt = t - value2->float_value();
            apply_zone(diff, dt, zone_of(p));
            if (!scalar::fits_int32(diff)) scalar::fire_type(err::TYPE_LIMIT, TYPE_INTEGER);
            *value1 = scalar::integer(static_cast<int32_t>(diff));
            return value1;
        }
        default: scalar::fire_type(err::INVALID_TYPE, value2->type());
    }
    set_days(value1, days, t, zone_of(p), flag);
    return value1;
}

}  // namespace

Cell* add(Cell* value1, Cell* value2) { return add_or_subtract(value1, value2, false); }
Cell* subtract(Cell* value1, Cell* value2) { return add_or_subtract(value1, value2, true); }

Cell* random(Cell* value, bool seed, bool secure, bool) {
    uint32_t p = value->data1;
    if (seed) {
        rng::seed(static_cast<int32_t>(p + static_cast<uint32_t>(scalar::to_int(value->float_value()))));
        value->header = TYPE_UNSET;
        return value;
    }
    int64_t days = day_number(p);
    int32_t limit = days > INT32_MAX ? INT32_MAX : static_cast<int32_t>(days);
    days = limit > 0 ? rng::int_in_range(secure, limit) - 1 : 0;
    uint32_t zone = zone_of(p);
    double t = 0;
    if (time_q(p)) {
        zone = static_cast<uint32_t>(secure ? rng::secure_next() : rng::next()) & 0x7F;
        double v;
        if (secure) {
            double r1 = rng::secure_next(), r2 = rng::secure_next();
            v = (r1 / 2147483647.0 + r2) / (2147483648.0 / 3600.0);
        } else {
            v = rng::next() / 2147483647.0 * 3600.0;
        }
        t = std::floor(v) / 3600.0 * 24.0 * 3600.0 - zone_seconds(zone);
    }
    set_days(value, days, t, zone, p & TIME_FLAG);
    return value;
}

}  // namespace date

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_DATE>() {
    register_type<TYPE_DATE, "oo-oooo-o -o------o------ --------------o------------ -----------">(
        own<slot::make>(date::make), own<slot::random>(date::random), own<slot::to>(date::to),
        own<slot::form>(date::form), own<slot::mold>(date::mold),
        own<slot::eval_path>(date::eval_path), own<slot::compare>(date::compare),
        own<slot::add>(date::add), own<slot::subtract>(date::subtract),
        own<slot::pick>(date::pick));
}
