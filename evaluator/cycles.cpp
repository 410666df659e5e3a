// The cycle stack for walks over nested values.
#include "evaluator/cycles.h"

#include "evaluator/errors.h"
#include "evaluator/text_storage.h"

namespace cycles {

namespace {
Node entries[SIZE];
uint32_t top = 0;
}  // namespace

void push(Node node) {
    entries[top++] = node;
    if (top == SIZE) {
        reset();
        fire(err::TOO_DEEP);
    }
}

void enter(Node node) {
    if (find_q(node)) {
        reset();
        fire(err::NO_CYCLE);
    }
    push(node);
}

void pop() {
    if (top > 0) --top;
}

void pop_n(uint32_t n) { top = n > top ? 0 : top - n; }

void reset() { top = 0; }

bool find_q(Node node) {
    for (uint32_t i = 0; i < top; ++i)
        if (entries[i] == node) return true;
    return false;
}

uint32_t size() { return top; }
Node at(uint32_t i) { return i < top ? entries[i] : 0; }

Node node_of(const Cell* value) {
    switch (value->type()) {
        case TYPE_OBJECT:
        case TYPE_ERROR:
        case TYPE_PORT: return value->data1;
        default: return value->data2;
    }
}

bool detect_q(Cell* value, Cell* buffer, int32_t* limit, bool mold) {
    if (!find_q(node_of(value))) return false;
    const char* text = "...";
    if (mold) {
        switch (value->type()) {
            case TYPE_BLOCK:
            case TYPE_HASH: text = "[...]"; break;
            case TYPE_PAREN: text = "(...)"; break;
            case TYPE_MAP: text = "#[...]"; break;
            case TYPE_OBJECT: text = "make object! [...]"; break;
            default: break;
        }
    }
    string::concatenate_literal(buffer, text);
    *limit -= static_cast<int32_t>(std::strlen(text));
    return true;
}

}  // namespace cycles
