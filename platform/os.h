// The operating-system services the runtime needs, over POSIX: memory
// pages, the clock and calendar, environment, current directory, sleeping,
// the main stack and the fatal signals.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// ---- Memory pages -----------------------------------------------------------
void* alloc_pages(size_t size, bool executable);  // null when refused
bool free_pages(void* address, size_t size);
// Reserves address space without committing it; `commit` makes a part usable.
void* reserve_pages(size_t size);
bool commit_pages(void* address, size_t size);
bool decommit_pages(void* address, size_t size);

// ---- Time ---------------------------------------------------------------------
struct CalendarTime {
    int year, month, day;        // month 1-12, day 1-31
    int hour, minute, second;
    int64_t nanoseconds;         // within the second
    int offset_minutes;          // east of UTC; 0 for UTC
};
CalendarTime utc_time();
CalendarTime local_time();
int64_t monotonic_ns();
void sleep_ms(uint32_t milliseconds);

// ---- Environment and current directory -------------------------------------
bool get_env(const char* name, std::string& value);
int set_env(const char* name, const char* value);  // value null removes it
bool get_cwd(std::string& path);
int set_cwd(const char* path);

// ---- Main stack ---------------------------------------------------------------
// Bounds of the main thread's stack: the address it grows down from and the
// lowest address it may reach.
struct StackBounds {
    uintptr_t base;
    uintptr_t limit;
};
StackBounds main_stack_bounds(uintptr_t current_sp);

// ---- Fatal signals -------------------------------------------------------------
// What a fatal signal turns into: a runtime error code and the address of
// the faulting instruction.
using FatalHandler = void (*)(uint32_t code, uintptr_t pc, uintptr_t sp, uintptr_t fp);
// Installs handlers for the machine faults (on an alternate stack so that a
// stack overflow can be reported) and for interruption.
void install_fatal_handlers(FatalHandler handler, uintptr_t stack_limit, uintptr_t stack_base);

// ---- Standard streams ------------------------------------------------------------
bool is_terminal(int fd);

}  // namespace platform
