// date!: calendar dates of the proleptic Gregorian calendar with an optional
// time of day and zone. Word 1 packs the date:
//   bits 17-31 year (signed), 12-15 month, 7-11 day, 16 time flag,
//   bits 0-6 zone (bit 6 negative, 2-5 hours, 0-1 quarter hours);
// words 2-3 hold the stored time: the local time of day minus the zone
// offset (so it may lie outside 0..86400). Day numbers count days since
// 1 March of year 0 (1 January 1970 is 719468).
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace date {

constexpr uint32_t TIME_FLAG = 0x10000;
constexpr int32_t MIN_YEAR = -16384;
constexpr int32_t MAX_YEAR = 16383;

inline int32_t year_of(uint32_t packed) { return static_cast<int32_t>(packed) >> 17; }
inline int32_t month_of(uint32_t packed) { return static_cast<int32_t>((packed >> 12) & 15); }
inline int32_t day_of(uint32_t packed) { return static_cast<int32_t>((packed >> 7) & 31); }
inline uint32_t zone_of(uint32_t packed) { return packed & 0x7F; }
inline bool time_q(uint32_t packed) { return (packed & TIME_FLAG) != 0; }

// The zone's offset from universal time in seconds.
int32_t zone_seconds(uint32_t zone);
// The zone bits of an offset in hours and minutes (negative when either is).
uint32_t make_zone(int32_t hours, int32_t minutes);
bool leap_year_q(int32_t year);
// Day number of a date (any month and day: they carry).
int64_t day_number(int64_t year, int64_t month, int64_t day);
int64_t day_number(uint32_t packed);
// The packed date of a day number with the given zone and time flag
// (flag as TIME_FLAG or 0); a year outside -16384..16383 raises type-limit.
uint32_t pack_days(int64_t days, uint32_t zone, uint32_t flag);
// 1 Monday .. 7 Sunday.
int32_t weekday(int64_t days);
// Ordinal day of the packed date within its year (1-based).
int32_t yearday(uint32_t packed);
// Carries whole days between the time and the day number so that the local
// time (time + offset) lies in 0..86400.
void apply_zone(int64_t& days, double& time, uint32_t zone);

// Pushes a new date!.
Cell* push(uint32_t packed, double time);
// Appends a date! made of the packed word and the double's halves.
Cell* make_in(Cell* block, uint32_t packed, uint32_t time_high, uint32_t time_low);
// Turns the slot into a date! (the lexer's maker): zone from signed hours
// and minutes (a zone of zero hours takes the minutes' sign); with the time
// flag the stored time is the local time less the zone offset, without it
// the time is 0.
Cell* make_at(Cell* slot, int32_t year, int32_t month, int32_t day, double time, int32_t zone_hours,
              int32_t zone_minutes, bool time_flag);
// Zone 0 with a time (file times).
Cell* make_at_fields(Cell* slot, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                     int32_t second, int32_t nanoseconds);

// Field n (1 date ... 14 isoweek) of the date as a new cell.
Cell field(const Cell* date, int32_t n);
// Pushes field n.
Cell* get_field(const Cell* date, int32_t n);
// Turns the first cell into the time! between the two dates.
Cell* difference(Cell* date1, const Cell* date2);
// Seconds since 1 January 1970 universal time.
int64_t to_epoch(const Cell* date);
// to_epoch as an integer!'s value; beyond the 32-bit range raises
// type-limit (integer!).
int32_t to_integer(const Cell* date);

// The block of month names form reads (system/locale/months); null until
// the library installs it, and the English names serve.
extern Cell* (*months_hook)();

// date + integer!/time! (also reached from time! and integer! left
// operands after they change places).
ZEM_ACTION_DECL(add);
ZEM_ACTION_DECL(compare);


}  // namespace date
