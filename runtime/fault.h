// The errors runtime code raises: an error id, the C++ exception that
// carries a raised error, and the hook through which the errors module
// turns a raised id into an error! value.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

// An error id: its category and its position among the category's ids.
struct ErrorId {
    uint32_t category;
    uint32_t position;
};

// The C++ exception that carries a raised error to the nearest try frame.
// The error! value itself travels on the value stack (its last live cell);
// the exception keeps the id and copies of the arguments for C++ callers.
struct ErrorThrown {
    ErrorId id;
    uint32_t arg_count;
    Cell args[3];
    // The error! value (unset! when the error was raised before the
    // catalogue existed, or while another error was being built).
    Cell value;
    uint32_t category() const { return id.category; }
    // 100 x category + position (script no-value is 300).
    uint32_t code() const { return id.category * 100 + id.position; }
};

namespace fault {

// The ids runtime code raises, numbered as in the error catalogue (which
// checks them against its own).
inline constexpr ErrorId OUT_OF_RANGE{3, 41};
inline constexpr ErrorId SIZE_LIMIT{3, 47};
inline constexpr ErrorId INVALID_UTF8{5, 2};
inline constexpr ErrorId NO_MEMORY{9, 2};
inline constexpr ErrorId WRONG_MEM{9, 3};

// Raises the error with its argument (or none): installed by the errors
// module's init. Until then an error travels without an error! value, as
// any error raised before the catalogue exists does.
extern void (*raise_hook)(ErrorId id, const Cell* arg);

// Raises the error through the hook, with up to one argument. Never returns.
[[noreturn]] void fire(ErrorId id, const Cell* arg = nullptr);
// The same with one integer! argument.
[[noreturn]] void fire_int(ErrorId id, int32_t value);

}  // namespace fault
