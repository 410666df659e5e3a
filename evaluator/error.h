// Raising script-level errors: `fire` with a catalogue category, an id and up
// to three argument values, thrown as a C++ exception to the nearest catcher.
//
// Until the error! datatype and the catalogue exist, the thrown Error only
// carries the category, the id position and copies of the argument cells;
// building the error! value belongs to the errors module.
#pragma once
#include <cstdint>

#include "evaluator/cell.h"

namespace error {

// Categories of the catalogue, by position.
enum Category : uint32_t {
    THROW = 0,
    NOTE = 1,
    SYNTAX = 2,
    SCRIPT = 3,
    MATH = 4,
    ACCESS = 5,
    USER = 8,
    INTERNAL = 9,
};

// Id positions within their category (only those raised so far).
namespace script {
constexpr uint32_t INVALID_ARG = 9;
constexpr uint32_t OUT_OF_RANGE = 41;
constexpr uint32_t SIZE_LIMIT = 47;
}  // namespace script
namespace access {
constexpr uint32_t INVALID_UTF8 = 2;
}
namespace internal {
constexpr uint32_t NO_MEMORY = 2;
}

struct Error {
    uint32_t category;
    uint32_t id;
    uint32_t arg_count;
    Cell args[3];
    // 100 x category + id position (script no-value is 300).
    uint32_t code() const { return category * 100 + id; }
};

[[noreturn]] void fire(uint32_t category, uint32_t id, const Cell* arg1 = nullptr,
                       const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

// Shorthands for errors whose argument is an integer!.
[[noreturn]] void fire_int(uint32_t category, uint32_t id, int32_t value);
[[noreturn]] inline void fire_size_limit(uint32_t count) { fire_int(SCRIPT, script::SIZE_LIMIT, static_cast<int32_t>(count)); }

}  // namespace error
