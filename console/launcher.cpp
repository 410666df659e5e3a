// The last step of start-up: the command line reaches the library, then the
// library's console launcher is called.
#include "console/launcher.h"

#include <cstring>

#include "evaluator/context.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "platform/system_info.h"
#include "runtime/sys.h"
#include "services/lexer/lexer.h"

namespace console {

namespace {

// Evaluates a short piece of library code held in C++.
void run(const char* code) {
    Cell* slot = stack::push_slot();
    uint32_t consumed = 0;
    lexer::scan(slot, reinterpret_cast<const uint8_t*>(code), static_cast<uint32_t>(std::strlen(code)), false,
                false, false, &consumed);
    Cell block = *slot;
    stack::mark_native(nullptr);
    if (interpreter::eval(&block, true) != Unwind::none) fire(err::THROW_USAGE);
    stack::unwind();
}

// `system/script/args` gets the whole command line as one text, as the
// library's `extract-boot-args` expects it.
bool store_command_line() {
    Cell* sys = context::get(word::load("system"));
    if (sys->type() != TYPE_OBJECT) return false;
    const Cell* script = object::select_word(sys, word::load("script"));
    if (!script || script->type() != TYPE_OBJECT) return false;
    int32_t index = object::find_word(script, word::load("args"));
    if (index < 0) return false;
    Node ctx = script->ctx();  // the cell itself may move while the text is made
    std::string line = platform::get_cmdline(sys::record.argc, sys::record.argv);
    Cell* s = string::rs_make_at(stack::push_slot(), static_cast<uint32_t>(line.size()));
    string::append_utf8(s, line.data(), static_cast<uint32_t>(line.size()));
    *object::value_at(ctx, static_cast<uint32_t>(index)) = *s;
    stack::pop(1);
    return true;
}

}  // namespace

void launch() {
    Cell* ctx = context::get(word::load("cli-console-ctx"));
    if (ctx->type() != TYPE_OBJECT) return;
    if (sys::record.argc > 0 && store_command_line()) run("extract-boot-args");
    run("cli-console-ctx/launch");
}

}  // namespace console
