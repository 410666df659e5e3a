// The `transcode` native: prepares a scan of a string! or binary! source
// (part, byte-order mark, modes) and shapes its result.
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/errors.h"
#include "evaluator/interpreter.h"
#include "evaluator/symbol.h"
#include "evaluator/words.h"
#include "services/lexer/lexer.h"

namespace lexer {

namespace {

bool call_callback(const Cell* callback, Cell args[5]) {
    Cell r;
    interpreter::call_with(callback, &words::lexer_callback, args, 5, &r);
    return logic::value_true_q(&r, false, nullptr);
}

uint32_t callback_events(const Cell* callback) {
    if (callback->type() != TYPE_FUNCTION) return EVENT_ALL;
    Cell body = *function::more(callback, function::MORE_BODY);
    if (block::rs_length_q(&body) == 0) return EVENT_ALL;
    return event_mask(block::rs_clamp_head(&body));
}

}  // namespace

bool (*call_callback_hook)(const Cell* callback, Cell args[5]) = call_callback;
uint32_t (*callback_events_hook)(const Cell* callback) = callback_events;

namespace {

// A /trace callback value, called through call_callback_hook.
bool call_value(void* context, uint32_t event, Cell* input, const Cell* type, int32_t line, const Cell* token) {
    const Cell* callback = static_cast<const Cell*>(context);
    Cell args[5];
    args[0] = Cell{TYPE_UNSET, 0, 0, 0};
    word::make_at(symbol::make(event_name(event)), &args[0]);
    args[1] = *input;
    args[2] = *type;
    args[3] = Cell{TYPE_INTEGER, 0, static_cast<uint32_t>(line), 0};
    args[4] = *token;
    bool answer = call_callback_hook(callback, args);
    if (args[1].type() == input->type()) input->data1 = args[1].data1;
    return answer;
}

[[noreturn]] void expect(const Cell* value, const char* arg) {
    Cell fn{TYPE_UNSET, 0, 0, 0}, name{TYPE_UNSET, 0, 0, 0}, dt;
    word::make_at(symbol::make("transcode"), &fn);
    word::make_at(symbol::make(arg), &name);
    datatype::make_at(&dt, value->type());
    fire(err::EXPECT_ARG, &fn, &dt, &name);
}

// Elements of a string! or binary! from its index (0 past the tail).
uint32_t length_of(const Cell* series) {
    SeriesBuffer* s = series_of(series);
    uint32_t n = s->count();
    return series->head() < n ? n - series->head() : 0;
}

}  // namespace

Unwind transcode_native(bool check, const int32_t* refinements) {
    Cell* args = stack::arguments;
    bool next = refinements[0] >= 0;
    bool one = refinements[1] >= 0;
    bool prescan = refinements[2] >= 0;
    bool scan_only = refinements[3] >= 0;
    Cell src = args[0];
    Cell length = refinements[4] >= 0 ? args[refinements[4]] : Cell{TYPE_NONE, 0, 0, 0};
    bool part = refinements[4] >= 0;
    Cell* into = refinements[5] >= 0 ? &args[refinements[5]] : nullptr;
    const Cell* callback = refinements[6] >= 0 ? &args[refinements[6]] : nullptr;

    if (check) {
        if (src.type() != TYPE_STRING && src.type() != TYPE_BINARY) expect(&src, "src");
        if (part && length.type() != TYPE_INTEGER && length.type() != TYPE_STRING && length.type() != TYPE_BINARY)
            expect(&length, "length");
        if (into && into->type() != TYPE_BLOCK) expect(into, "dst");
        if (callback && callback->type() != TYPE_FUNCTION && callback->type() != TYPE_ROUTINE)
            expect(callback, "callback");
    }

    // The source index is clamped to its tail; /part cuts the length.
    uint32_t count = series_of(&src)->count();
    if (src.head() > count) src.data1 = count;
    int64_t n = length_of(&src);
    if (part) {
        int64_t want;
        if (length.type() == TYPE_INTEGER) {
            want = length.int_value();
        } else {
            if (length.type() != src.type()) fire(err::NOT_SAME_TYPE);
            want = static_cast<int64_t>(length.head()) - src.head();
        }
        if (want < 0) want = 0;
        if (want < n) n = want;
    }

    Tracer tracer{call_value, const_cast<Cell*>(callback), 0};
    if (callback) {
        tracer.events = callback_events_hook(callback);
    }

    Cell* slot = stack::push_slot();
    *slot = Cell{TYPE_UNSET, 0, 0, 0};
    bool one_value = next || one;
    uint32_t consumed = 0;
    int32_t type;
    if (src.type() == TYPE_BINARY) {
        const uint8_t* bytes = series_of(&src)->data_at(src.head());
        if (n > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
            bytes += 3;
            n -= 3;
            src.data1 += 3;
        }
        type = scan(slot, bytes, static_cast<uint32_t>(n), one_value, scan_only, prescan, &consumed,
                    callback ? &tracer : nullptr, &src, into);
    } else {
        type = scan_string(slot, &src, static_cast<int32_t>(n), one_value, scan_only, prescan, &consumed,
                           callback ? &tracer : nullptr, into);
    }

    // /next answers [value-or-type rest], unless /one asks for the value alone.
    bool pair_result = next && !(one && !scan_only);
    Cell result;
    if (prescan || scan_only) {
        if (n == 0 || type == 0)
            result = Cell{TYPE_NONE, 0, 0, 0};
        else
            datatype::make_at(&result, type > 0 ? static_cast<uint32_t>(type) : TYPE_ERROR);
        if (pair_result) *slot = result;
    } else if (into) {
        pair_result = false;
        result = *into;
    }
    if (pair_result) {
        // An ordinary block, made anew for every call.
        Cell pair{TYPE_UNSET, 0, 0, 0};
        block::make_at(&pair, 2);
        Cell rest = src;
        rest.data1 = src.head() + consumed;
        rest.header &= ~FLAG_NEW_LINE;
        block::rs_append(&pair, slot);
        block::rs_append(&pair, &rest);
        result = pair;
    } else if (!(prescan || scan_only || into)) {
        result = *slot;
    }
    stack::set_last_keep(&result);
    return Unwind::none;
}

}  // namespace lexer
