// The error catalogue (categories, ids, titles, messages) and `fire`, the
// one way a script-level error is raised.
#include "evaluator/errors.h"

#include <cstring>

#include "evaluator/actions.h"
#include "evaluator/error_object.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/text_storage.h"
#include "runtime/print.h"

namespace errors {

int32_t trace_depth = 1;

namespace {

struct IdEntry {
    ErrorId id;
    const char* word;
    const char* text;
};

// The ids runtime code raises by number are the catalogue's.
constexpr bool same(ErrorId a, ErrorId b) { return a.category == b.category && a.position == b.position; }
static_assert(same(fault::OUT_OF_RANGE, err::OUT_OF_RANGE) && same(fault::SIZE_LIMIT, err::SIZE_LIMIT) &&
              same(fault::INVALID_UTF8, err::INVALID_UTF8) && same(fault::NO_MEMORY, err::NO_MEMORY) &&
              same(fault::WRONG_MEM, err::WRONG_MEM));

constexpr IdEntry ids[] = {
#define X(cat, name, word, text) {err::name, word, text},
    ZEM_ERRORS(X)
#undef X
};

constexpr const char* category_words[] = {
#define X(n, name, word, title) word,
    ZEM_ERROR_CATEGORIES(X)
#undef X
};

constexpr const char* titles[] = {
#define X(n, name, word, title) title,
    ZEM_ERROR_CATEGORIES(X)
#undef X
};

// Categories are numbered in table order.
constexpr bool categories_in_order() {
    uint32_t n = 0;
#define X(number, name, word, title) \
    if (ERR_##name != n++) return false;
    ZEM_ERROR_CATEGORIES(X)
#undef X
    return true;
}
static_assert(categories_in_order());

// Symbols of the category and id words, made by init.
uint32_t category_symbols[CATEGORY_COUNT];
uint32_t id_symbols[sizeof ids / sizeof ids[0]];
bool initialised = false;

}  // namespace

const char* category_word(uint32_t category) {
    return category < CATEGORY_COUNT ? category_words[category] : nullptr;
}

const char* title(uint32_t category) { return category < CATEGORY_COUNT ? titles[category] : nullptr; }

uint32_t id_count(uint32_t category) {
    uint32_t n = 0;
    for (const IdEntry& e : ids) n += e.id.category == category;
    return n;
}

const char* id_word(ErrorId id) {
    for (const IdEntry& e : ids)
        if (e.id.category == id.category && e.id.position == id.position) return e.word;
    return nullptr;
}

const char* message(ErrorId id) {
    for (const IdEntry& e : ids)
        if (e.id.category == id.category && e.id.position == id.position) return e.text;
    return nullptr;
}

bool find_category(uint32_t symbol, uint32_t* category) {
    uint32_t s = symbol::resolve(symbol);
    for (uint32_t c = 0; c < CATEGORY_COUNT; ++c) {
        if (symbol::resolve(category_symbols[c]) == s) {
            *category = c;
            return true;
        }
    }
    return false;
}

bool find_id(uint32_t category, uint32_t symbol, uint32_t* position) {
    uint32_t s = symbol::resolve(symbol);
    for (uint32_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
        if (ids[i].id.category == category && symbol::resolve(id_symbols[i]) == s) {
            *position = ids[i].id.position;
            return true;
        }
    }
    return false;
}

void init() {
    for (uint32_t c = 0; c < CATEGORY_COUNT; ++c) category_symbols[c] = symbol::make(category_words[c]);
    for (uint32_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) id_symbols[i] = symbol::make(ids[i].word);
    error::init_fields();
    initialised = true;
    fault::raise_hook = [](ErrorId id, const Cell* arg) { fire(id, arg); };
}

bool ready() { return initialised; }

void reset() {
    initialised = false;
    fault::raise_hook = nullptr;
}

void print(const Cell* error) {
    Cell e = *error;
    Cell* buffer = string::rs_make_at(stack::push_slot(), 64);
    actions::form(&e, buffer, nullptr, INT32_MAX);
    Cell text = *buffer;
    stack::pop(1);
    print_hooks::print_value(&text, true);
}

}  // namespace errors

namespace {

// Set while an error! value is being built: an error raised meanwhile
// replaces the first one and travels without a value of its own.
bool building = false;

struct Building {
    Building() { building = true; }
    ~Building() { building = false; }
};

}  // namespace

void fire(ErrorId id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    ErrorThrown e{id, 0, {}, Cell{TYPE_UNSET, 0, 0, 0}};
    for (const Cell* a : {arg1, arg2, arg3}) {
        if (!a) break;
        e.args[e.arg_count++] = *a;
    }
    if (building || !errors::ready() || stack::bottom == nullptr) throw e;
    {
        Building guard;
        error::create(id, e.arg_count > 0 ? &e.args[0] : nullptr, e.arg_count > 1 ? &e.args[1] : nullptr,
                      e.arg_count > 2 ? &e.args[2] : nullptr, &e.value);
    }
    interpreter::trace_error(&e.value);
    stack::throw_error(e);
}

void fire_int(ErrorId id, int32_t value) {
    Cell c{TYPE_INTEGER, 0, static_cast<uint32_t>(value), 0};
    fire(id, &c);
}

