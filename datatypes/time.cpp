// time!: time of day and durations in seconds.
#include "datatypes/time.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/money.h"
#include "datatypes/scalar.h"
#include "datatypes/tuple.h"
#include "evaluator/stack.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"

namespace time_ {

// ---- Helpers -------------------------------------------------------------------

Cell* make_at(double seconds, Cell* cell) {
    set_type(cell, TYPE_TIME);
    cell->set_float(seconds);
    return cell;
}

Cell* push(double seconds) {
    Cell* c = stack::push_slot();
    c->header = TYPE_TIME;
    c->data1 = 0;
    c->set_float(seconds);
    return c;
}

Cell* make_in(Cell* block, uint32_t high, uint32_t low) {
    Cell* c = alloc_tail(block);
    c->header = TYPE_TIME;
    c->data1 = 0;
    c->data2 = low;
    c->data3 = high;
    return c;
}

double get_hours(double seconds) {
    return std::trunc(seconds / 3600.0);
}

int32_t get_minutes(double seconds) {
    if (!std::isfinite(seconds)) return 0;
    return static_cast<int32_t>(std::floor(std::fmod(std::fabs(seconds), 3600.0) / 60.0));
}

Cell get_field(const Cell* time, int32_t field) {
    double s = time->float_value();
    switch (field) {
        case 1: return scalar::integer(scalar::to_int(get_hours(s)));
        case 2: return scalar::integer(get_minutes(s));
        default: return scalar::make_float(TYPE_FLOAT, std::fmod(s, 60.0));
    }
}

int32_t form_text(double seconds, Cell* buffer, int32_t part) {
    // An infinite or undefined duration shows the float's special text.
    if (!std::isfinite(seconds)) return scalar::append(buffer, float_::form_float(seconds, 4), part);
    char text[400];  // the hours of the largest double have 309 digits
    int n = 0;
    if (seconds < 0) {
        text[n++] = '-';
        seconds = -seconds;
    }
    double s = std::fmod(seconds, 60.0);
    int minutes = static_cast<int>(std::floor(std::fmod(seconds, 3600.0) / 60.0));
    n += std::snprintf(text + n, sizeof text - n, "%.0f:%02d:", std::floor(seconds / 3600.0), minutes);
    if (s < 0.000001) {
        std::snprintf(text + n, sizeof text - n, "00");
    } else {
        const char* sec = float_::form_float(s, 4);
        if (sec[1] == '\0' || sec[1] == '.') text[n++] = '0';
        std::snprintf(text + n, sizeof text - n, "%s", sec);
    }
    return scalar::append(buffer, text, part);
}

namespace {

// The field a path element or pick index names: 1..3, or 0 when none.
int32_t field_of(const Cell* element) {
    if (element->type() == TYPE_INTEGER) {
        int32_t n = element->int_value();
        return n >= 1 && n <= 3 ? n : 0;
    }
    if (element->type() == TYPE_WORD) {
        if (scalar::word_is(element, words::sym::hour)) return 1;
        if (scalar::word_is(element, words::sym::minute)) return 2;
        if (scalar::word_is(element, words::sym::second)) return 3;
    }
    return 0;
}

// The number of an integer!, float! or percent! right operand.
double operand(Cell* value2) {
    switch (value2->type()) {
        case TYPE_INTEGER: return value2->int_value();
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: return value2->float_value();
        default: scalar::fire_type(err::INVALID_TYPE, value2->type());
    }
}

// The float core for a time! left operand; a time! result except for a
// time divided by a time.
Cell* do_math(Cell* value1, Cell* value2, int32_t op) {
    switch (value2->type()) {
        case TYPE_TUPLE: return tuple::do_math(value1, value2, op);
        case TYPE_MONEY: return money::do_math(value1, value2, op);
        default: break;
    }
    double r = float_::do_math_op(value1->float_value(), operand(value2), op);
    bool ratio = op == 3 && value2->type() == TYPE_TIME;
    value1->header = (value1->header & ~0xFFu) | (ratio ? TYPE_FLOAT : TYPE_TIME);
    value1->set_float(r);
    return value1;
}

[[noreturn]] void not_related(int32_t op) {
    Cell w = scalar::op_word(op);
    Cell dt;
    datatype::make_at(&dt, TYPE_TIME);
    fire(err::NOT_RELATED, &dt, &w);
}

}  // namespace

// ---- Actions -------------------------------------------------------------------

Cell* make(Cell* proto, Cell* spec, uint32_t) {
    double seconds = 0;
    switch (spec->type()) {
        case TYPE_TIME: case TYPE_FLOAT: case TYPE_PERCENT: seconds = spec->float_value(); break;
        case TYPE_INTEGER: seconds = spec->int_value(); break;
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
            uint32_t n = block::rs_length_q(spec);
            if (n > 3) scalar::bad_to_arg(TYPE_TIME, spec);
            Cell parts[3];
            for (uint32_t i = 0; i < n; ++i) parts[i] = block::rs_clamp_head(spec)[i];
            bool negative = false;
            double total = 0;
            static const double weights[3] = {3600.0, 60.0, 1.0};
            for (uint32_t i = 0; i < n; ++i) {
                double v;
                if (parts[i].type() == TYPE_INTEGER) v = parts[i].int_value();
                else if (i == 2 && parts[i].type() == TYPE_FLOAT) v = parts[i].float_value();
                else scalar::bad_to_arg(TYPE_TIME, spec);
                if (v < 0) {
                    if (i != 0) scalar::bad_to_arg(TYPE_TIME, spec);
                    negative = true;
                    v = -v;
                }
                total += v * weights[i];
            }
            seconds = negative ? -total : total;
            break;
        }
        default:
            if (in(ANY_STRING, spec->type())) {
                Cell v = scalar::load_text(spec);
                if (v.type() != TYPE_TIME) scalar::bad_to_arg(TYPE_TIME, spec);
                seconds = v.float_value();
                break;
            }
            scalar::bad_to_arg(TYPE_TIME, spec);
    }
    proto->header = TYPE_TIME;
    proto->data1 = 0;
    proto->set_float(seconds);
    return proto;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t limit) {
    return form_text(value->float_value(), buffer, limit);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t limit, int32_t) {
    return form_text(value->float_value(), buffer, limit);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* holder, Cell* prev, int32_t index,
                bool, bool, bool) {
    int32_t field = field_of(element);
    if (field == 0) fire(err::INVALID_PATH, element, parent);
    if (!value) { Cell f = get_field(parent, field); return stack::push(&f); }
    double s = parent->float_value();
    switch (field) {
        case 1:
            if (value->type() != TYPE_INTEGER) fire(err::INVALID_ARG, value);
            s -= (std::floor(s / 3600.0) - value->int_value()) * 3600.0;
            break;
        case 2:
            if (value->type() != TYPE_INTEGER) fire(err::INVALID_ARG, value);
            s -= (std::floor(std::fmod(s, 3600.0) / 60.0) - value->int_value()) * 60.0;
            break;
        default: {
            double v;
            if (value->type() == TYPE_INTEGER) v = value->int_value();
            else if (value->type() == TYPE_FLOAT) v = value->float_value();
            else fire(err::INVALID_ARG, value);
            s -= std::fmod(s, 60.0) - v;
        }
    }
    parent->set_float(s);
    scalar::store_back(parent, path, holder, prev, index);
    return value;
}

Cell* add(Cell* value1, Cell* value2) {
    if (value2->type() == TYPE_DATE) {
        Cell t = *value1;
        *value1 = *value2;
        *value2 = t;
        return date::add(value1, value2);
    }
    return do_math(value1, value2, integer::OP_ADD);
}

Cell* subtract(Cell* value1, Cell* value2) {
    if (value2->type() == TYPE_DATE) not_related(integer::OP_SUB);
    return do_math(value1, value2, integer::OP_SUB);
}

Cell* multiply(Cell* value1, Cell* value2) {
    if (value2->type() == TYPE_TIME) not_related(integer::OP_MUL);
    return do_math(value1, value2, integer::OP_MUL);
}

Cell* divide(Cell* value1, Cell* value2) { return do_math(value1, value2, integer::OP_DIV); }

Cell* round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    // float!'s rounding, the step in seconds; the result stays a time!.
    if (scale && scale->type() == TYPE_MONEY) scalar::fire_caller_type(err::NOT_RELATED, TYPE_MONEY);
    uint32_t header = n->header;
    float_::round(n, scale, even, down, half_down, floor, ceiling, half_ceiling);
    double seconds = n->type() == TYPE_INTEGER ? n->int_value() : n->float_value();
    n->header = header;
    n->data1 = 0;
    n->set_float(seconds);
    return n;
}

namespace {
int32_t whole_seconds(const Cell* value) {
    double s = value->float_value();
    if (!std::isfinite(s)) return 0;
    s += s < 0 ? -0.000001 : 0.000001;
    return static_cast<int32_t>(std::fmod(s, 60.0));
}
}  // namespace

bool even_q(Cell* value) { return (whole_seconds(value) & 1) == 0; }
bool odd_q(Cell* value) { return (whole_seconds(value) & 1) != 0; }

Cell* pick(Cell* value, int32_t, Cell* boxed) {
    int32_t field = field_of(boxed);
    if (field == 0) fire(err::OUT_OF_RANGE, boxed);
    Cell f = get_field(value, field);
    return stack::push(&f);
}

}  // namespace time_

// ---- Registration --------------------------------------------------------------

template <>
void datatype::init_type<TYPE_TIME>() {
    register_type<TYPE_TIME, "oi-oooo-i ioooi-ioooo---- --------------o------------ -----------">(
        own<slot::make>(time_::make), own<slot::to>(time_::make), own<slot::form>(time_::form),
        own<slot::mold>(time_::mold), own<slot::eval_path>(time_::eval_path),
        own<slot::add>(time_::add), own<slot::divide>(time_::divide),
        own<slot::multiply>(time_::multiply), own<slot::round>(time_::round),
        own<slot::subtract>(time_::subtract), own<slot::even_q>(time_::even_q),
        own<slot::odd_q>(time_::odd_q), own<slot::pick>(time_::pick));
}
