// Helpers for tests that run code on the booted library: the molded and
// formed text of a value, and the id of the error a piece of code raises.
#pragma once
#include <string>

#include "booted.h"
#include "evaluator/cycles.h"
#include "mini_reader.h"

namespace mini {

inline std::string molded(const Cell& v) {
    Cell value = v;
    Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
    actions::mold(&value, buffer, false, false, false, nullptr, INT32_MAX, 0);
    std::string s = booted::text_of(buffer);
    stack::pop(1);
    return s;
}

inline std::string formed(const Cell& v) {
    Cell value = v;
    Cell* buffer = string::rs_make_at(stack::push_slot(), 16);
    actions::form(&value, buffer, nullptr, INT32_MAX);
    std::string s = booted::text_of(buffer);
    stack::pop(1);
    return s;
}

// The id of the error the code raises with no guard, "" when none; the
// stacks are put back afterwards.
inline std::string error_of(const std::string& code) {
    Cell* top = stack::top;
    Cell* args = stack::arguments;
    stack::Frame* ctop = stack::ctop;
    std::string id;
    try {
        run(code);
    } catch (const ErrorThrown& e) {
        id = errors::id_word(e.id);
    }
    cycles::reset();
    stack::top = top;
    stack::arguments = args;
    stack::ctop = ctop;
    return id;
}

}  // namespace mini
