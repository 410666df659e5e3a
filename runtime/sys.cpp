// Operating-system start-up, the system-level throw and the fatal end.
#include "runtime/sys.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/os.h"
#include "platform/terminal.h"
#include "runtime/print.h"

extern "C" char __executable_start;

namespace sys {

Record record;

namespace {

FaultRecord fault_record;
platform::StackBounds stack{0, 0};

// The messages of the runtime error codes; a code not listed has none.
#define ZEM_RUNTIME_ERRORS(X)                          \
    X(1, "access violation")                           \
    X(2, "invalid alignment")                          \
    X(3, "breakpoint")                                 \
    X(4, "single step")                                \
    X(5, "bounds exceeded")                            \
    X(6, "float denormal operan")                      \
    X(7, "float divide by zero")                       \
    X(8, "float inexact result")                       \
    X(9, "float invalid operation")                    \
    X(10, "float overflow")                            \
    X(11, "float stack check")                         \
    X(12, "float underflow")                           \
    X(13, "integer divide by zero")                    \
    X(14, "integer overflow")                          \
    X(15, "privileged instruction")                    \
    X(16, "invalid virtual address")                   \
    X(17, "illegal instruction")                       \
    X(18, "non-continuable exception")                 \
    X(19, "stack error or overflow")                   \
    X(20, "invalid disposition")                       \
    X(21, "guard page")                                \
    X(22, "invalid handle")                            \
    X(23, "illegal operand")                           \
    X(24, "illegal addressing mode")                   \
    X(25, "illegal trap")                              \
    X(26, "coprocessor error")                         \
    X(27, "non-existent physical address")             \
    X(28, "object specific hardware error")            \
    X(29, "hardware memory error consumed AR")         \
    X(30, "hardware memory error consumed AO")         \
    X(31, "privileged register")                       \
    X(32, "segmentation fault")                        \
    X(33, "FPU error")                                 \
    X(34, "Bus error")                                 \
    X(94, "out of memory")                             \
    X(95, "no CATCH for THROW")                        \
    X(98, "assertion failed")                          \
    X(99, "unknown error")                             \
    X(100, "no value matched in CASE")                 \
    X(101, "no value matched in SWITCH")

bool in_fatal_signal = false;

void report(uint32_t status, uintptr_t address) {
    print_line({Item::chr('\n'), Item::cstr("*** Runtime Error "), Item::i32(static_cast<int32_t>(status)),
                Item::cstr(": "), Item::cstr(runtime_error_message(status))});
    print_line({Item::cstr("*** at: "), Item::hex(static_cast<uint32_t>(address)), Item::cstr("h")});
}

// A machine fault: the context goes to the fault record, then the fatal end.
void on_fatal_signal(uint32_t code, uintptr_t pc, uintptr_t sp, uintptr_t fp) {
    fault_record = {sp, fp};
    record.fault = &fault_record;
    in_fatal_signal = true;
    on_quit(code, code_address(reinterpret_cast<const void*>(pc)));
}

}  // namespace

const char* runtime_error_message(uint32_t code) {
    switch (code) {
#define X(n, text) case n: return text;
        ZEM_RUNTIME_ERRORS(X)
#undef X
    default: return "unknown error code!";
    }
}

uintptr_t code_address(const void* pc) {
    auto a = reinterpret_cast<uintptr_t>(pc);
    auto base = reinterpret_cast<uintptr_t>(&__executable_start);
    return a >= base && a - base <= 0xFFFFFFFFu ? a - base : a & 0xFFFFFFFFu;
}

uintptr_t stack_limit() { return stack.limit; }
uintptr_t stack_base() { return stack.base; }

void get_stack_bounds() {
    // The main stack grows on demand up to its limit; what matters to us is
    // where that limit lies, so that running into it reads as a stack
    // overflow rather than an access violation.
    volatile char here = 0;
    stack = platform::main_stack_bounds(reinterpret_cast<uintptr_t>(&here));
}

void get_args(int argc, char** argv) {
    auto** vector = static_cast<char**>(allocate(sizeof(char*) * (static_cast<size_t>(argc) + 1)));
    for (int i = 0; i < argc; i++) {
        size_t n = std::strlen(argv[i]) + 1;
        vector[i] = static_cast<char*>(allocate(n));
        std::memcpy(vector[i], argv[i], n);
    }
    vector[argc] = nullptr;
    record.argv = vector;
    record.argc = argc;
}

void os_start(int argc, char** argv) {
    get_stack_bounds();
    platform::install_fatal_handlers(on_fatal_signal, stack.limit, stack.base);
    get_args(argc, argv);
}

void on_quit(uint32_t status, uintptr_t address) {
    // Raw mode, the alternate screen, mouse reporting and a hidden cursor
    // must not outlive the process, whichever way it ends.
    if (!in_fatal_signal) fflush(nullptr);
    platform::restore_terminal();
    if (status != 0) report(status, address);
    fflush(nullptr);
    if (in_fatal_signal) {
        // The fault may have struck inside the C heap or the stdio locks:
        // leave without touching them again. The system takes the memory back.
        _exit(static_cast<int>(status));
    }
    free_all();
    std::exit(static_cast<int>(status));
}

void top_frame_handler() { on_quit(95, code_address(reinterpret_cast<const void*>(&top_frame_handler))); }

void throw_code(uint32_t code) {
    record.thrown = code;
    throw Throw{code};
}

void no_switch_matched() { on_quit(101, ZEM_HERE()); }

}  // namespace sys
