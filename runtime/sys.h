// Process start-up, the system record, fatal runtime errors, the tracked
// heap and the platform services that the runtime calls by name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clipboard.h"
#include "platform/process.h"
#include "platform/imaging.h"
#include "platform/system_info.h"

namespace sys {

// ---- The system record ----------------------------------------------------

// Stack and frame pointer of a faulting machine context, filled by the
// fatal-signal handler. Nothing reads it back; it helps a debugger.
struct FaultRecord {
    uintptr_t sp = 0;
    uintptr_t fp = 0;
};

struct HeapBlock;

// State shared by start-up, the throw protocol and the fatal-error path.
struct Record {
    int argc = 0;
    char** argv = nullptr;            // UTF-8 arguments, null-terminated vector
    uint32_t thrown = 0;              // code of the system-level throw in flight
    const uint8_t* boot_image = nullptr;
    size_t boot_image_size = 0;
    FaultRecord* fault = nullptr;
    HeapBlock* heap_first = nullptr;  // tracked-allocation list
    HeapBlock* heap_last = nullptr;
    uint32_t heap_epoch = 0;          // bumped by free_all: caches of tracked blocks are stale
    uintptr_t entry_sp = 0;           // machine stack at the entry frame (collector)
};
extern Record record;

// ---- System-level throw -------------------------------------------------

// A system-level throw carries a 32-bit code. Catchers take the codes up to
// their catch id; the outermost frame takes every code and ends the process
// with runtime error 95.
struct Throw {
    uint32_t code;
};
[[noreturn]] void throw_code(uint32_t code);

// ---- Start-up and the fatal end -----------------------------------------

// Exception handlers, stack bounds, the argument vector.
void os_start(int argc, char** argv);
void get_stack_bounds();
void get_args(int argc, char** argv);

// Lowest usable address of the main stack and the address it starts from.
uintptr_t stack_limit();
uintptr_t stack_base();

// The runtime error message of a code; "unknown error code!" for others.
const char* runtime_error_message(uint32_t code);

// Report a fatal runtime error (nothing for status 0), free the tracked
// allocations and exit with the status. `address` is a code address.
[[noreturn]] void on_quit(uint32_t status, uintptr_t address);
// The handler of the outermost frame: runtime error 95.
[[noreturn]] void top_frame_handler();
// The code address of the caller, as reports show it (relative to the load
// base of the program, so it fits the eight-digit form).
uintptr_t code_address(const void* pc);
#define ZEM_HERE() ::sys::code_address(__builtin_return_address(0))

// A dispatch met no case: runtime error 101.
[[noreturn]] void no_switch_matched();

// ---- Tracked heap -----------------------------------------------------------

// Header in front of every tracked block. 32 bytes keep the usable area
// 16-byte aligned with 64-bit links.
struct alignas(16) HeapBlock {
    HeapBlock* prev;
    HeapBlock* next;
    uint32_t size;   // requested size, without the header
    uint32_t spare;
};
static_assert(sizeof(HeapBlock) == 32);

// A refused allocation ends the process (runtime error 94): for the
// runtime's own tables, which it cannot run without.
void* allocate(size_t size);
// The same, but answers null when refused: for buffers sized by user data,
// whose callers restore their state and raise no-memory.
void* try_allocate(size_t size);
void* allocate_zeroed(size_t size);
void* resize(void* address, size_t size);
void free(void* address);
void free_all();
void dump_heap_allocations();
// The bytes the tracked blocks take from the C heap, headers included.
uint64_t heap_bytes();
constexpr size_t round_up(size_t size, size_t alignment) {
    return (size + alignment - 1) & ~(alignment - 1);
}

// ---- Platform services ------------------------------------------------------

void platform_init();
void memory_params_init();

void* os_alloc_pages(size_t size, bool executable);  // null on failure
bool os_free_pages(void* address, size_t size);

// Current directory as UTF-8 (a tracked allocation); `length` gets its byte
// count without the terminator.
char* get_current_dir(uint32_t* length);
int set_current_dir(const char* path);
int set_env(const char* name, const char* value);  // value null: remove
// Copies the variable into the buffer; answers its length (0 when unset),
// or the size needed when the buffer is too small.
uint32_t get_env(const char* name, char* buffer, uint32_t size);
// The variable's value; false when it is not set (an empty value is set).
bool get_env(const char* name, std::string& value);

void sleep(double seconds);
// Runs one pass of the GUI's event loop when a text-mode window is active
// (set by the GUI back end); `wait` calls it after its sleep.
extern int32_t (*gui_wait_hook)();
uint32_t sleep_milliseconds(double seconds);  // the conversion sleep uses
double get_time(bool fraction);
uint32_t get_date(bool utc);
// year << 17 | month << 12 | day << 7 | zone, the zone from an offset in
// minutes east of UTC (sign bit 6, hours in bits 2-5, quarters in 0-1).
uint32_t pack_date(int year, int month, int day, int offset_minutes);
void fill(uint8_t* start, uint8_t* end, uint8_t byte);
// Function codes: 0 tangent, 1 cosine, 2 sine.
double degrees_to_radians(double angle, int function);

// ---- Processes ---------------------------------------------------------------

// Starting other programs (see platform/process.h).
using platform::ProcessRequest;
using platform::ProcessStream;
using platform::PROCESS_FAILED;
using platform::PROGRAM_NOT_FOUND;
using platform::run_process;
using platform::shell_argv;
using platform::shell_quote;

// ---- Clipboard, system description, terminal and output -------------------

// The clipboard: a text, a list of file paths or an image.
using Clipboard = platform::Clipboard;
Clipboard clipboard_read();
// Replaces the content (Empty clears it); answers success.
bool clipboard_write(const Clipboard& content);

// Bitmaps and the image codecs (PNG, JPEG, GIF, TIFF, BMP).
namespace imaging = platform::imaging;

// The operating system's name, architecture, version and build.
using OsInfo = platform::OsInfo;
OsInfo os_info();

// Puts the terminal back as the program found it (raw mode, alternate
// screen, mouse reporting, hidden cursor).
void restore_terminal();

// Writes out the standard output held back.
void flush_output();

}  // namespace sys
