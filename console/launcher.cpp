// The last step of start-up: the library's console launcher is called.
#include "console/launcher.h"

#include "datatypes/context.h"
#include "datatypes/word.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "services/lexer/lexer.h"

namespace console {

void launch() {
    Cell* ctx = context::get(word::load("cli-console-ctx"));
    if (ctx->type() != TYPE_OBJECT) return;
    static const char code[] = "cli-console-ctx/launch";
    Cell* slot = stack::push_slot();
    uint32_t consumed = 0;
    lexer::scan(slot, reinterpret_cast<const uint8_t*>(code), sizeof code - 1, false, false, false, &consumed);
    Cell block = *slot;
    stack::mark_native(nullptr);
    if (interpreter::eval(&block, true) != Unwind::none) fire(err::THROW_USAGE);
    stack::unwind();
}

}  // namespace console
