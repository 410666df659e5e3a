// POSIX implementation of the operating-system services.
#include "platform/os.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/mman.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

namespace platform {

// ---- Memory pages -----------------------------------------------------------

void* alloc_pages(size_t size, bool executable) {
    int prot = PROT_READ | PROT_WRITE | (executable ? PROT_EXEC : 0);
    void* p = mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool free_pages(void* address, size_t size) { return munmap(address, size) == 0; }

void* reserve_pages(size_t size) {
    void* p = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool commit_pages(void* address, size_t size) {
    return mprotect(address, size, PROT_READ | PROT_WRITE) == 0;
}

bool decommit_pages(void* address, size_t size) {
    // Give the pages back but keep the range reserved.
    void* p = mmap(address, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
    return p != MAP_FAILED;
}

// ---- Time ---------------------------------------------------------------------

static CalendarTime from_tm(const struct tm& t, long nanoseconds, long gmtoff) {
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
            nanoseconds, static_cast<int>(gmtoff / 60)};
}

CalendarTime utc_time() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm t;
    gmtime_r(&ts.tv_sec, &t);
    return from_tm(t, ts.tv_nsec, 0);
}

CalendarTime local_time() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm t;
    tzset();
    localtime_r(&ts.tv_sec, &t);
    return from_tm(t, ts.tv_nsec, t.tm_gmtoff);
}

int64_t monotonic_ns() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void sleep_ms(uint32_t milliseconds) {
    struct timespec ts{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

// ---- Environment and current directory -------------------------------------

bool get_env(const char* name, std::string& value) {
    const char* v = std::getenv(name);
    if (!v) return false;
    value = v;
    return true;
}

int set_env(const char* name, const char* value) {
    return value ? setenv(name, value, 1) : unsetenv(name);
}

bool get_cwd(std::string& path) {
    std::string buf(256, '\0');
    for (;;) {
        if (getcwd(buf.data(), buf.size())) {
            path.assign(buf.c_str());
            return true;
        }
        if (errno != ERANGE) return false;
        buf.resize(buf.size() * 2);
    }
}

int set_cwd(const char* path) { return chdir(path); }

// ---- Main stack ---------------------------------------------------------------

StackBounds main_stack_bounds(uintptr_t current_sp) {
    // The stack mapping that holds the current stack pointer tells where the
    // stack starts; its limit is the resource limit below that.
    uintptr_t base = current_sp;
    if (FILE* maps = fopen("/proc/self/maps", "r")) {
        char line[512];
        while (fgets(line, sizeof line, maps)) {
            unsigned long lo, hi;
            if (sscanf(line, "%lx-%lx", &lo, &hi) == 2 && current_sp >= lo && current_sp < hi) {
                base = hi;
                break;
            }
        }
        fclose(maps);
    }
    struct rlimit rl;
    uintptr_t size = 8u << 20;
    if (getrlimit(RLIMIT_STACK, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) size = rl.rlim_cur;
    return {base, base - size};
}

// ---- Fatal signals -------------------------------------------------------------

namespace {

FatalHandler fatal_handler = nullptr;
uintptr_t guarded_limit = 0, guarded_base = 0;
alignas(16) char alt_stack[256 * 1024];

uint32_t code_of(int sig, const siginfo_t* info, uintptr_t sp) {
    switch (sig) {
    case SIGSEGV: {
        auto addr = reinterpret_cast<uintptr_t>(info->si_addr);
        // A fault just below the stack pointer, or in the stack's own range
        // below its limit, is the stack running out.
        bool near_sp = addr < sp + 4096 && addr + (64u << 10) > sp;
        bool in_stack = addr < guarded_base && addr + (1u << 20) > guarded_limit && addr < sp + 4096;
        return near_sp || in_stack ? 19 : 1;
    }
    case SIGFPE:
        switch (info->si_code) {
        case FPE_INTDIV: return 13;
        case FPE_INTOVF: return 14;
        case FPE_FLTDIV: return 7;
        case FPE_FLTOVF: return 10;
        case FPE_FLTUND: return 12;
        case FPE_FLTRES: return 8;
        case FPE_FLTINV: return 9;
        case FPE_FLTSUB: return 5;
        default: return 99;
        }
    case SIGILL: return info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG ? 15 : 17;
    case SIGBUS: return info->si_code == BUS_ADRALN ? 2 : 16;
    case SIGTRAP: return info->si_code == TRAP_TRACE ? 4 : 3;
    case SIGINT: return 0;
    default: return 99;
    }
}

void on_signal(int sig, siginfo_t* info, void* context) {
    uintptr_t pc = 0, sp = 0, fp = 0;
#if defined(__x86_64__)
    auto* uc = static_cast<ucontext_t*>(context);
    pc = uc->uc_mcontext.gregs[REG_RIP];
    sp = uc->uc_mcontext.gregs[REG_RSP];
    fp = uc->uc_mcontext.gregs[REG_RBP];
#else
    (void)context;
#endif
    if (sig != SIGSEGV && sig != SIGBUS) pc = pc ? pc : reinterpret_cast<uintptr_t>(info->si_addr);
    fatal_handler(code_of(sig, info, sp), pc, sp, fp);
}

}  // namespace

void install_fatal_handlers(FatalHandler handler, uintptr_t stack_limit, uintptr_t stack_base) {
    fatal_handler = handler;
    guarded_limit = stack_limit;
    guarded_base = stack_base;
    stack_t ss{};
    ss.ss_sp = alt_stack;
    ss.ss_size = sizeof alt_stack;
    sigaltstack(&ss, nullptr);
    struct sigaction sa{};
    sa.sa_sigaction = on_signal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGSEGV, SIGFPE, SIGILL, SIGBUS, SIGTRAP, SIGINT}) sigaction(sig, &sa, nullptr);
    // A closed pipe is an error return of write, not the end of the process.
    signal(SIGPIPE, SIG_IGN);
}

// ---- Standard streams ------------------------------------------------------------

bool is_terminal(int fd) { return isatty(fd) == 1; }


}  // namespace platform
