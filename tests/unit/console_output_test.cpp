// Console output: the escape interpreter, UTF-8 to a pipe with sequences
// passed through, and the terminal put back on every way out of the process.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "child.h"
#include "console/output.h"
#include "evaluator/interpreter.h"
#include "evaluator/stack.h"
#include "platform/terminal.h"
#include "app/runtime.h"
#include "evaluate.h"

namespace {

struct Escape {
    uint32_t consumed;
    std::string out;
};

// Runs the interpreter on exactly the bytes of `text` (8-bit units), from a
// known attribute.
Escape run8(const std::string& text, uint16_t from = console::DEFAULT_ATTRIBUTE) {
    console::save_attributes();
    console::set_attribute(from);
    std::vector<uint8_t> bytes(text.begin(), text.end());  // exact size: ASan sees any overread
    Escape e;
    e.consumed = console::ansi_escape(bytes.data(), static_cast<uint32_t>(bytes.size()), 1, e.out);
    return e;
}

// Boots the runtime with its library and evaluates the code; for children.
void boot_and_eval(const char* code) {
    test_eval::start();
    test_eval::boot();
    test_eval::eval_top_level(code);
    console::flush();
}

}  // namespace

TEST(AnsiEscape, SgrCodesChainThroughTheSemicolonLoop) {
    Escape e = run8("\x1b[1;31;42m");
    EXPECT_EQ(e.consumed, 10u);
    // bold: both intensities; foreground colour 4 (red); background 0x20 (green)
    EXPECT_EQ(console::attribute(), 0xACu);
    EXPECT_EQ(e.out, "\x1b[0;91;102m");
}

TEST(AnsiEscape, SgrTable) {
    struct Case {
        uint16_t from;
        uint32_t code;
        uint16_t to;
    } cases[] = {
        {0x1E, 0, 0x07},     {0x01, 1, 0x89},    {0x07, 4, 0x8007}, {0x1E, 7, 0xE1},  {0x8007, 7, 0x70},
        {0x7F, 30, 0x78},    {0x07, 31, 0x04},   {0x07, 32, 0x02},  {0x07, 33, 0x06}, {0x07, 34, 0x01},
        {0x07, 35, 0x05},    {0x07, 36, 0x03},   {0x07, 37, 0x07},  {0x01, 39, 0x09}, {0xF7, 40, 0x87},
        {0x07, 41, 0x47},    {0x07, 42, 0x27},   {0x07, 43, 0x67},  {0x07, 44, 0x17}, {0x07, 45, 0x57},
        {0x07, 46, 0x37},    {0x07, 47, 0x77},   {0x07, 49, 0x87},  {0x1E, 5, 0x1E},  {0x1E, 99, 0x1E},
    };
    console::save_attributes();
    for (const Case& c : cases) EXPECT_EQ(console::apply_sgr(c.from, c.code), c.to) << "code " << c.code;
}

TEST(AnsiEscape, SequencesAndWhatTheyLeaveAlone) {
    struct Case {
        const char* in;
        uint32_t consumed;
        const char* out;
    } cases[] = {
        {"\x1b[31;m", 6, ""},                  // state 3 ends on "m": nothing
        {"\x1b[m", 3, ""},                     // no parameter: nothing
        {"\x1b[0J", 4, ""},
        {"\x1b[0K", 4, ""},
        {"\x1b[5;10H", 7, "\x1b[11;6H"},       // column 5, row 10, both from 0
        {"\x1b[H", 3, "\x1b[H"},
        {"\x1b[f", 3, "\x1b[H"},
        {"\x1b[3A", 4, "\x1b[3A"},
        {"\x1b[0A", 4, ""},                    // a count of 0 moves nothing
        {"\x1b[12B", 5, "\x1b[12B"},
        {"\x1b[2C", 4, "\x1b[2C"},
        {"\x1b[2D", 4, "\x1b[2D"},
        {"\x1b[s", 3, "\x1b[s"},
        {"\x1b[u", 3, "\x1b[u"},
        {"\x1b[K", 3, "\x1b[K"},
        {"\x1b[J", 3, "\x1b[1K\x1b[J"},
        {"\x1b[1J", 4, "\x1b[1J"},
        {"\x1b[2J", 4, "\x1b[2J\x1b[H"},
        {"\x1b[1K", 4, "\x1b[1K\r"},
        {"\x1b[2K", 4, "\x1b[2K\r"},
        {"\x1b[7Jx", 4, ""},                   // J with another value: nothing
        {"\x1b[;;5m", 6, "\x1b[0m"},           // ";" loops in state 1; 5 is unlisted: no change
        {"\x1b[Zx", 3, ""},                    // an unknown final character is consumed
        {"\x1b[99999999999m", 14, "\x1b[0m"},  // parameters wrap, never overflow
        {"\x1bx", 0, ""},                      // not followed by "[": an ordinary character
        {"\x1b", 0, ""},
        {"\x1b[12", 4, ""},                    // cut off by the end: dropped, nothing read past it
        {"\x1b[1;", 4, ""},
    };
    for (const Case& c : cases) {
        Escape e = run8(c.in);
        EXPECT_EQ(e.consumed, c.consumed) << c.in + 1;
        EXPECT_EQ(e.out, c.out) << c.in + 1;
    }
}

TEST(AnsiEscape, ResetAndErasingUseTheDefaultAttribute) {
    Escape e = run8("\x1b[0m", 0x1E);
    EXPECT_EQ(console::attribute(), console::DEFAULT_ATTRIBUTE);
    EXPECT_EQ(e.out, "\x1b[0m");
    // With a colour in force, the erase runs in the default colour and the
    // colour comes back after it.
    e = run8("\x1b[K", 0x04);
    EXPECT_EQ(e.out, "\x1b[0m\x1b[K\x1b[0;31m");
}

TEST(AnsiEscape, SixteenBitText) {
    std::u16string text = u"\x1b[4;44m";
    console::save_attributes();
    std::string out;
    uint32_t used = console::ansi_escape(reinterpret_cast<const uint8_t*>(text.data()),
                                         static_cast<uint32_t>(text.size()), 2, out);
    EXPECT_EQ(used, text.size());
    // SGR 44 keeps only the bits under 0x8F of the attribute: the underscore
    // of SGR 4 goes with it.
    EXPECT_EQ(console::attribute(), 0x17u);
    EXPECT_EQ(out, "\x1b[0;44m");
}

TEST(AnsiEscape, ScreenReport) {
    Escape e = run8("\x1b[?");
    EXPECT_EQ(e.consumed, 3u);
    EXPECT_EQ(e.out.rfind("Screen buffer info:\n   size______ ", 0), 0u);
    for (const char* line : {"   cursor____ ", "   attribute_ 00000007 00000007\n", "   left______ 0 top: 0\n",
                             "   right_____ ", " bottom: ", "   max_______ "})
        EXPECT_NE(e.out.find(line), std::string::npos) << line;
}

TEST(ConsoleOutput, PrintToAPipeIsUtf8WithLf) {
    auto out = testing_child::run([] { boot_and_eval("print \"h\u00e9llo\""); });
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.output, "h\xC3\xA9llo\n");
}

TEST(ConsoleOutput, EscapeSequencesPassThroughAPipe) {
    auto out = testing_child::run([] { boot_and_eval("print \"^(1B)[1;31mred^(1B)[0m \u20AC\" prin \"^(1B)[?\""); });
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.output, "\x1b[1;31mred\x1b[0m \xE2\x82\xAC\n\x1b[?");
}

TEST(ConsoleOutput, OnATerminalSequencesAreInterpreted) {
    auto out = testing_child::run([] {
        console::init();
        console::set_terminal(true);
        const char text[] = "a\x1b[1;31;42mb\x1b[0mc\x1bx";
        console::print_latin1_line(reinterpret_cast<const uint8_t*>(text), sizeof text - 1);
        console::flush();
    });
    EXPECT_EQ(out.output, "a\x1b[0;91;102mb\x1b[0mc\x1bx\n");
}

TEST(ConsoleOutput, ColumnFollowsTheText) {
    auto out = testing_child::run([] {
        console::init();
        const char text[] = "ab\ncd\x1b[31me\t";
        console::print_latin1(reinterpret_cast<const uint8_t*>(text), sizeof text - 1);
        std::_Exit(static_cast<int>(console::column()));
    });
    EXPECT_EQ(out.status, 8);  // "cde" then a tab to column 8
}

TEST(Routines, QuitReturnEndsWithTheStatus) {
    EXPECT_EQ(testing_child::run([] { boot_and_eval("quit-return 3"); }).status, 3);
    EXPECT_EQ(testing_child::run([] { boot_and_eval("quit-return 261"); }).status, 5);
    EXPECT_EQ(testing_child::run([] { boot_and_eval("print 1 quit-return 0 print 2"); }).output, "1\n");
    EXPECT_EQ(testing_child::run([] { boot_and_eval("quit/return 7"); }).status, 7);
    auto plain = testing_child::run([] { boot_and_eval("prin 1 quit print 2"); });
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.output, "1");
}

TEST(Routines, WriteStdoutWritesTextAndBytes) {
    auto out = testing_child::run([] { boot_and_eval("prin 1 write-stdout \"h\u00e9\" write-stdout #{0041} write-stdout [a 2]"); });
    EXPECT_EQ(out.output, std::string("1h\xC3\xA9\0Aa 2", 9));
}

// ---- The terminal is restored on the way out -------------------------------------------

namespace {

struct PtyOutcome {
    int status = -1;
    bool canonical = false;  // the slave's settings after the child ended
    std::string output;      // what the child wrote to the terminal
};

// Runs `body` in a child whose standard input and output are a fresh pty.
PtyOutcome run_on_pty(void (*body)()) {
    int master = -1, slave = -1;
    PtyOutcome r;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return r;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(master);
        dup2(slave, STDIN_FILENO);
        dup2(slave, STDOUT_FILENO);
        body();
        _exit(0);
    }
    int st = 0;
    std::string out;
    char buf[512];
    bool ended = false;
    for (int rounds = 0; rounds < 300; ++rounds) {  // 30 s at most
        struct pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) > 0 && (p.revents & POLLIN)) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) out.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (ended) break;  // one quiet round after the end: everything is read
        ended = waitpid(pid, &st, WNOHANG) == pid;
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &st, 0);
    }
    struct termios t;
    tcgetattr(slave, &t);
    r.canonical = (t.c_lflag & ICANON) && (t.c_lflag & ECHO);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
    r.output = out;
    close(master);
    close(slave);
    return r;
}

void raw_modes() {
    platform::enter_raw_mode(STDIN_FILENO);
    platform::note_alternate_screen(true);
    platform::note_mouse_reporting(true);
    platform::note_cursor_hidden(true);
}

}  // namespace

TEST(TerminalRestore, QuitPutsTheTerminalBack) {
    PtyOutcome r = run_on_pty([] {
        raw_modes();
        boot_and_eval("quit-return 4");
    });
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(r.canonical);
    EXPECT_NE(r.output.find("\x1b[?25h"), std::string::npos);
    EXPECT_NE(r.output.find("\x1b[?1049l"), std::string::npos);
    EXPECT_NE(r.output.find("\x1b[?1000l"), std::string::npos);
}

TEST(TerminalRestore, AFatalErrorPutsTheTerminalBack) {
    PtyOutcome r = run_on_pty([] {
        runtime::machine_start(0, nullptr);
        raw_modes();
        volatile uintptr_t address = 0x10;
        *reinterpret_cast<volatile int*>(address) = 1;
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.canonical);
    EXPECT_NE(r.output.find("\x1b[?25h"), std::string::npos);
    EXPECT_NE(r.output.find("access violation"), std::string::npos);
}

TEST(TerminalRestore, RawModeIsEnteredAndLeft) {
    PtyOutcome r = run_on_pty([] {
        if (!platform::enter_raw_mode(STDIN_FILENO)) _exit(2);
        struct termios t;
        tcgetattr(STDIN_FILENO, &t);
        if (t.c_lflag & ICANON) _exit(3);
        platform::leave_raw_mode();
        platform::restore_terminal();  // nothing left to undo: writes nothing
        _exit(0);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.canonical);
    EXPECT_EQ(r.output, "");
}

// ---- What the library's printing functions write ----------------------------------------

TEST(LibraryOutput, InspectionFunctions) {
    auto out = testing_child::run([] {
        boot_and_eval("x: [1 \"a\"] ?? x ?? zzz-unset probe 'w also 1 print \"then\" b: [c 2] ?? b/c");
    });
    EXPECT_EQ(out.output, "x: [1 \"a\"]\nzzz-unset: unset!\nw\nthen\nb/c: 2\n");
}

TEST(LibraryOutput, MemoryStatsLayout) {
    auto out = testing_child::run([] {
        boot_and_eval("show-memory-stats [[1 2 3 40 50 60] [] [100 200] 5000 6000]");
    });
    EXPECT_EQ(out.output,
              "\n"
              "[ Nodes  ] -- Free ----- Used ----- Total --\n"
              "  1:            1          2           3\n"
              "  2:           40         50          60\n"
              "  --\n"
              "  Used     : 52 nodes\n"
              "  Allocated: 63 nodes\n"
              "\n"
              "[ Series ] -- Free ----- Used ----- Total --\n"
              "               -           -            -\n"
              "  --\n"
              "  Used     : 0 bytes\n"
              "  Allocated: 0 bytes\n"
              "\n"
              "[ Big    ]\n"
              "  1:          100\n"
              "  2:          200\n"
              "  --\n"
              "  Allocated: 300 bytes\n"
              "Total allocated from OS (virtual):      5000\n"
              "Total allocated on heap (malloc):      6000\n");
}

// stats/show hands the runtime's own figures to the same layout.
TEST(LibraryOutput, StatsShowPrintsTheRuntimeFigures) {
    auto out = testing_child::run([] { boot_and_eval("stats/show"); });
    EXPECT_EQ(out.output.find("***"), std::string::npos) << out.output;
    for (const char* line : {"[ Nodes  ] -- Free ----- Used ----- Total --\n  1: ",
                             "[ Series ] -- Free ----- Used ----- Total --\n  1: ", " nodes\n  Allocated: ",
                             "\nTotal allocated from OS (virtual): ", "\nTotal allocated on heap (malloc): "})
        EXPECT_NE(out.output.find(line), std::string::npos) << line << "\n" << out.output;
}

// ---- A real terminal as the peer ---------------------------------------------------------

// tests/console/escape_probe.cpp writes its sequences inside a tmux pane;
// the screen tmux shows is what they mean.
TEST(TerminalPeer, TmuxShowsWhatTheSequencesMean) {
    ASSERT_EQ(std::system("command -v tmux >/dev/null 2>&1"), 0) << "tmux is not installed";
    std::string server = "zemtest" + std::to_string(getpid());
    std::string tmux = "tmux -L " + server + " -f /dev/null ";
    std::string start = tmux + "new-session -d -s t -x 40 -y 20 '" ZEM_ESCAPE_PROBE "'";
    ASSERT_EQ(std::system(start.c_str()), 0);
    auto capture = [&](const char* flags) {
        std::string text;
        FILE* p = popen((tmux + "capture-pane -p " + flags + " -t t").c_str(), "r");
        if (!p) return text;
        char buf[1024];
        size_t k;
        while ((k = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, k);
        pclose(p);
        return text;
    };
    std::string screen;
    for (int i = 0; i < 100 && screen.find("END") == std::string::npos; ++i) {
        usleep(100000);
        screen = capture("");
    }
    std::string colours = capture("-e");
    std::system((tmux + "kill-server").c_str());

    std::vector<std::string> rows;
    size_t at = 0;
    while (at < screen.size()) {
        size_t nl = screen.find('\n', at);
        if (nl == std::string::npos) nl = screen.size();
        rows.push_back(screen.substr(at, nl - at));
        at = nl + 1;
    }
    ASSERT_GE(rows.size(), 13u) << screen;
    EXPECT_EQ(rows[0], "aXc");
    EXPECT_EQ(rows[1], "redRN");
    EXPECT_EQ(rows[2], "12");
    EXPECT_EQ(rows[10], "     POS");
    EXPECT_EQ(rows[12], "END");
    size_t red = colours.find("R");
    EXPECT_NE(colours.rfind("31m", red), std::string::npos) << colours;
}
