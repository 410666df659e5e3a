// Evaluates a text of code for the tests: scanned by the lexer, evaluated
// with no guard of its own, the stacks (the cycle stack too, as `try` does)
// put back afterwards.
#pragma once
#include <cstdint>
#include <string>

#include "datatypes/string.h"
#include "evaluator/actions.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "services/lexer/lexer.h"

namespace test_eval {

struct Result {
    enum Kind { value, error, exit } kind = value;
    Cell cell{TYPE_UNSET, 0, 0, 0};  // the value, for kind value
    std::string error_id;            // for kind error ("?" when the id has no word)
};

inline Result evaluate(const std::string& code) {
    Cell* top = stack::top;
    Cell* args = stack::arguments;
    stack::Frame* ctop = stack::ctop;
    uint32_t cycles_at = cycles::size();
    Result out;
    try {
        Cell* slot = stack::push_slot();
        *slot = Cell{TYPE_NONE, 0, 0, 0};
        uint32_t consumed = 0;
        lexer::scan(slot, reinterpret_cast<const uint8_t*>(code.data()), static_cast<uint32_t>(code.size()), false,
                    false, false, &consumed);
        Cell blk = *slot;
        stack::mark_native(nullptr);
        if (interpreter::eval(&blk, true) != Unwind::none) {
            out.kind = Result::exit;
        } else {
            out.cell = *stack::arguments;
            stack::unwind();
        }
    } catch (const ErrorThrown& e) {
        out.kind = Result::error;
        out.error_id = errors::id_word(e.id) ? errors::id_word(e.id) : "?";
    }
    if (cycles::size() > cycles_at) cycles::pop_n(cycles::size() - cycles_at);
    stack::top = top;
    stack::arguments = args;
    stack::ctop = ctop;
    return out;
}

}  // namespace test_eval
