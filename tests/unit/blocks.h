// Blocks written as text for the block and series tests: words, none, true,
// false, nested [..] and (..), paths a/b with 'a/b :a/b a/b: forms, and "~"
// before a value for its new-line marker. Every block made stays on the
// value stack, so it lives until the test ends.
#pragma once
#include <string>

#include "booted.h"

namespace blocks {

inline Cell parse(const char*& p, char close, uint32_t type);

inline Cell token(const std::string& t) {
    if (t == "none") return booted::none();
    if (t == "true") return booted::logic(true);
    if (t == "false") return booted::logic(false);
    size_t slash = t.find('/', 1);
    if (slash != std::string::npos) {
        std::string s = t;
        uint32_t type = TYPE_PATH;
        if (s[0] == '\'') { type = TYPE_LIT_PATH; s = s.substr(1); }
        else if (s[0] == ':') { type = TYPE_GET_PATH; s = s.substr(1); }
        else if (s.back() == ':') { type = TYPE_SET_PATH; s.pop_back(); }
        Cell path = *block::make_at(stack::push_slot(), 2);
        size_t from = 0;
        for (;;) {
            size_t to = s.find('/', from);
            Cell w = booted::word(s.substr(from, to - from).c_str());
            block::rs_append(&path, &w);
            if (to == std::string::npos) break;
            from = to + 1;
        }
        set_type(&path, type);
        return path;
    }
    if (t[0] == '\'') return booted::word(t.c_str() + 1, TYPE_LIT_WORD);
    if (t[0] == ':') return booted::word(t.c_str() + 1, TYPE_GET_WORD);
    if (t.back() == ':') return booted::word(t.substr(0, t.size() - 1).c_str(), TYPE_SET_WORD);
    return booted::word(t.c_str());
}

inline Cell parse(const char*& p, char close, uint32_t type) {
    Cell* slot = block::make_at(stack::push_slot(), 4);
    bool marked = false;
    while (*p && *p != close) {
        if (*p == ' ') { ++p; continue; }
        if (*p == '~') { marked = true; ++p; continue; }
        Cell v;
        if (*p == '[' || *p == '(') {
            char c = *p++;
            v = parse(p, c == '[' ? ']' : ')', c == '[' ? TYPE_BLOCK : TYPE_PAREN);
        } else {
            const char* s = p;
            while (*p && *p != ' ' && *p != ']' && *p != ')' && *p != close) ++p;
            v = token(std::string(s, p));
        }
        if (marked) v.header |= FLAG_NEW_LINE;
        marked = false;
        block::rs_append(slot, &v);
    }
    if (*p) ++p;
    set_type(slot, type);
    return *slot;
}

// The block of the text (a block! unless `type` says otherwise).
inline Cell of(const char* text, uint32_t type = TYPE_BLOCK) {
    const char* p = text;
    return parse(p, '\0', type);
}

inline std::string text(Cell value, std::vector<int32_t> refs = {}, std::vector<Cell> more = {}) {
    std::vector<Cell> args{value};
    args.insert(args.end(), more.begin(), more.end());
    refs.resize(actions::refinement_count(actions::slot::mold), -1);
    stack::mark_native(nullptr);
    for (const Cell& a : args) stack::push(&a);
    Cell* base = stack::arguments;
    (void)actions::entry(actions::slot::mold)(false, refs.data());
    Cell r = *base;
    stack::unwind();
    return booted::text_of(&r);
}

// mold of the value from its head (the whole buffer), and from its index.
inline std::string whole(Cell value) {
    value.data1 = 0;
    return text(value);
}
inline std::string mold(Cell value) { return text(value); }
inline std::string form(Cell value) {
    Cell r = booted::call(actions::slot::form, {value});
    return booted::text_of(&r);
}

inline Cell at(Cell value, uint32_t index) {
    value.data1 = index;
    return value;
}

}  // namespace blocks
