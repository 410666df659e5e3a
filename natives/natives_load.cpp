// transcode (the lexer's native) and apply: a call whose arguments come
// from a block instead of the code that follows it.
#include "datatypes/block.h"
#include "evaluator/context.h"
#include "datatypes/native.h"
#include "datatypes/word.h"
#include "natives/native_support.h"
#include "evaluator/words.h"
#include "runtime/typesets.h"
#include "services/lexer/lexer.h"

namespace natives {

Unwind n_transcode(bool check, const int32_t* refs) { return lexer::transcode_native(check, refs); }

// apply func args /all /safer
Unwind n_apply(bool, const int32_t* refs) {
    Cell target = *arg(0);
    Cell args = *arg(1);
    Cell name = words::applied;
    Cell fn = target;
    if (in(ALL_WORD, target.type()) || target.type() == TYPE_PATH) {
        name = target;
        if (target.type() == TYPE_PATH) name = *block::rs_clamp_head(&target);
        if (!in(ALL_WORD, name.type())) fire(err::INVALID_ARG, &target);
        fn = *context::get(&name);
        if (!in(ANY_FUNCTION, fn.type())) fire(err::INVALID_ARG, &target);
        set_type(&name, TYPE_WORD);
    }
    if (fn.type() == TYPE_OP) fn.header = (fn.header & ~0x00FF00FFu) | native::source_type(&fn);
    uint32_t mode = refs[0] >= 0 ? 0 : interpreter::MODE_CODE;
    if (refs[1] >= 0) mode |= interpreter::MODE_ONE;
    stack::push(&args);
    uint32_t next = 0;
    Unwind u = interpreter::eval_call(&fn, &args, args.head(), true, nullptr, 0, &name, mode, false, &next);
    if (u != Unwind::none) return u;
    Cell r = *stack::top_cell();
    return result(r);
}

}  // namespace natives
