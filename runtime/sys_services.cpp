// The platform services of sys.h, which the runtime calls by name: output
// and memory set-up, memory pages, current directory, environment, sleeping,
// time and the packed date, the clipboard, the system description, the
// terminal restore and the output flush.
#include <cmath>
#include <cstring>
#include <string>

#include "platform/os.h"
#include "platform/output.h"
#include "platform/terminal.h"
#include "runtime/memory.h"
#include "runtime/sys.h"

namespace sys {

void platform_init() {
    // No imaging library or COM apartment to start here; the digests need
    // no provider handle. Output is UTF-8 from the start.
    platform::output::init();
}

void memory_params_init() { memory::set_params(); }

void* os_alloc_pages(size_t size, bool executable) { return platform::alloc_pages(size, executable); }
bool os_free_pages(void* address, size_t size) { return platform::free_pages(address, size); }

char* get_current_dir(uint32_t* length) {
    std::string path;
    if (!platform::get_cwd(path)) path.clear();
    auto* text = static_cast<char*>(allocate(path.size() + 1));
    std::memcpy(text, path.c_str(), path.size() + 1);
    if (length) *length = static_cast<uint32_t>(path.size());
    return text;
}

int set_current_dir(const char* path) { return platform::set_cwd(path); }
int set_env(const char* name, const char* value) { return platform::set_env(name, value); }
bool get_env(const char* name, std::string& value) { return platform::get_env(name, value); }

uint32_t get_env(const char* name, char* buffer, uint32_t size) {
    std::string value;
    if (!platform::get_env(name, value)) return 0;
    auto n = static_cast<uint32_t>(value.size());
    if (n + 1 > size) return n + 1;
    std::memcpy(buffer, value.c_str(), n + 1);
    return n;
}

uint32_t sleep_milliseconds(double seconds) {
    double ms = seconds * 1000.0;
    if (!(ms >= 1.0)) ms = 1.0;  // zero, negative and NaN sleep 1 ms
    if (ms > 4294967295.0) ms = 4294967295.0;
    return static_cast<uint32_t>(ms);
}

int32_t (*gui_wait_hook)() = nullptr;

void sleep(double seconds) { platform::sleep_ms(sleep_milliseconds(seconds)); }

double get_time(bool fraction) {
    platform::CalendarTime t = platform::utc_time();
    double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second;
    if (fraction) {
        // 100-nanosecond resolution, as the system clock gives it.
        seconds += static_cast<double>(t.nanoseconds / 100 * 100) / 1e9;
    }
    return seconds;
}

uint32_t pack_date(int year, int month, int day, int offset_minutes) {
    uint32_t magnitude = static_cast<uint32_t>(offset_minutes < 0 ? -offset_minutes : offset_minutes);
    uint32_t zone = ((magnitude / 60) & 0x0F) << 2 | ((magnitude % 60) / 15);
    if (offset_minutes < 0) zone |= 0x40;
    return static_cast<uint32_t>(year) << 17 | static_cast<uint32_t>(month) << 12 |
           static_cast<uint32_t>(day) << 7 | zone;
}

uint32_t get_date(bool utc) {
    platform::CalendarTime t = utc ? platform::utc_time() : platform::local_time();
    return pack_date(t.year, t.month, t.day, utc ? 0 : t.offset_minutes);
}

void fill(uint8_t* start, uint8_t* end, uint8_t byte) {
    if (end > start) std::memset(start, byte, static_cast<size_t>(end - start));
}

double degrees_to_radians(double angle, int function) {
    angle = std::fmod(angle, 360.0);
    if (angle > 180.0 || angle < -180.0) angle += angle < 0.0 ? 360.0 : -360.0;
    if (angle > 90.0 || angle < -90.0) {
        if (function == 0)
            angle += angle < 0.0 ? 180.0 : -180.0;
        else if (function == 2)
            angle = (angle < 0.0 ? -180.0 : 180.0) - angle;
    }
    return angle * 3.141592653589793 / 180.0;
}

// ---- Clipboard, system description, terminal and output ------------------------

Clipboard clipboard_read() { return platform::clipboard_read(); }
bool clipboard_write(const Clipboard& content) { return platform::clipboard_write(content); }
OsInfo os_info() { return platform::os_info(); }
void restore_terminal() { platform::restore_terminal(); }

void flush_output() { platform::output::flush(); }

}  // namespace sys
