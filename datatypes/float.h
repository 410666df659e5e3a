// float!: IEEE-754 doubles. Besides its actions, what other datatypes
// share: the text of floating-point numbers per kind of value, the
// floating-point arithmetic core and the tolerant equality of doubles.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"

namespace float_ {

// Shared constants.
extern const double max_finite;   // the largest finite double
extern const double plus_inf;
extern const double minus_inf;
extern const double quiet_nan;    // high word 7FF80000, low word 0
extern const double below_half;   // 0.49999999999999994

// Magnitudes below this form as zero while pretty_q is set; doubles closer
// than this are equal under the tolerant comparison.
constexpr double epsilon = 2.220446049250313e-16;

// system/options/float: `pretty?` (noise trimming in form, true at start)
// and `full?` (recorded, not consulted by the float texts).
extern bool pretty_q;
extern bool full_q;

// ---- Makers and accessors -----------------------------------------------------------

Cell* push(double value);
// Turns the current call's result slot into a float!.
Cell* box(double value);
// Type set to float! (other header bits kept), the double stored.
Cell* make_at(Cell* cell, double value);
// Appends a float! made of the two 32-bit halves to the block.
Cell* make_in(Cell* block, uint32_t high, uint32_t low);
inline double get(const Cell* cell) { return cell->float_value(); }

// ---- Shared operations ------------------------------------------------------------------

double abs(double d);
bool nan_q(double d);
bool special_q(double d);  // infinite or NaN
// Tolerant equality: never with a NaN; equal doubles, doubles closer than
// epsilon, or doubles at most 10 representable values apart.
bool almost_equal_q(double a, double b);
bool almost_equal_f32_q(float a, float b);

// Kinds of form_float.
enum FormKind : int32_t {
    KIND_VECTOR_F32 = 0,
    KIND_FLOAT = 1,
    KIND_VECTOR_PERCENT = 2,
    KIND_PERCENT = 3,  // the caller has multiplied by 100
    KIND_TIME = 4,     // the seconds of a time!
    KIND_POINT = 5,
};
// The text of a number for its kind (NUL-terminated, static, valid until
// the next call). Independent of the C locale.
const char* form_float(double value, int32_t kind);

// The arithmetic core on doubles: 0 add, 1 subtract, 2 multiply, 3 divide
// (IEEE results), 4 remainder (fmod; NaN by NaN; a finite x by an infinity
// is x). The bitwise codes raise script cannot-use.
double do_math_op(double x, double y, int32_t op);
// The arithmetic actions of a float!, percent! or time! (or an integer!)
// left operand, which is also the result slot.
Cell* do_math(Cell* left, Cell* right, int32_t op);

// The float comparison, value1 a float!, percent! or time!.
int32_t compare_doubles(double a, double b, int32_t op);

// ---- Actions ---------------------------------------------------------------------------------

ZEM_ACTION_DECL(make);
ZEM_ACTION_DECL(random);
ZEM_ACTION_DECL(form);
ZEM_ACTION_DECL(mold);
ZEM_ACTION_DECL(compare);
ZEM_ACTION_DECL(absolute);
ZEM_ACTION_DECL(add);
ZEM_ACTION_DECL(subtract);
ZEM_ACTION_DECL(multiply);
ZEM_ACTION_DECL(divide);
ZEM_ACTION_DECL(remainder);
ZEM_ACTION_DECL(negate);
ZEM_ACTION_DECL(power);
ZEM_ACTION_DECL(even_q);
ZEM_ACTION_DECL(odd_q);
ZEM_ACTION_DECL(round);


}  // namespace float_
