// The console's input side: key decoding, display widths, piped lines, and
// the line editor driven through a pseudo-terminal.
#include "console/terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct Pipe {
    int fds[2];
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe() {
        close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    void send(const std::string& bytes) { ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
    void end() {
        close(fds[1]);
        fds[1] = -1;
    }
};

std::u32string u32(const char32_t* s) { return std::u32string(s); }

TEST(TerminalKeys, SequencesRealTerminalsSend) {
    struct Case {
        const char* bytes;
        int32_t key;
    } cases[] = {
        {"\x1b[A", terminal::KEY_UP},       {"\x1b[B", terminal::KEY_DOWN},     {"\x1b[C", terminal::KEY_RIGHT},
        {"\x1b[D", terminal::KEY_LEFT},     {"\x1bOA", terminal::KEY_UP},       {"\x1bOD", terminal::KEY_LEFT},
        {"\x1b[H", terminal::KEY_HOME},     {"\x1bOH", terminal::KEY_HOME},     {"\x1b[1~", terminal::KEY_HOME},
        {"\x1b[7~", terminal::KEY_HOME},    {"\x1b[F", terminal::KEY_END},      {"\x1bOF", terminal::KEY_END},
        {"\x1b[4~", terminal::KEY_END},     {"\x1b[8~", terminal::KEY_END},     {"\x1b[3~", terminal::KEY_DELETE},
        {"\x1b[2~", terminal::KEY_INSERT},  {"\x1b[5~", terminal::KEY_PAGE_UP}, {"\x1b[6~", terminal::KEY_PAGE_DOWN},
        {"\x1b[1;5C", terminal::KEY_RIGHT}, {"\x1b[3;2~", terminal::KEY_DELETE}, {"\x1b[99~", terminal::KEY_IGNORED},
        {"\x01", 1},                        {"\r", 13},                         {"\x7f", 127},
        {"a", 'a'},                         {"\xc3\xa9", 0xE9},                 {"\xe4\xb8\xad", 0x4E2D},
        {"\xf0\x9f\x98\x80", 0x1F600},
    };
    for (const Case& c : cases) {
        Pipe p;
        p.send(c.bytes);
        terminal::KeyReader keys(p.fds[0]);
        EXPECT_EQ(keys.read_key(), c.key) << "bytes of " << testing::PrintToString(std::string(c.bytes));
    }
}

TEST(TerminalKeys, LoneEscapeAndAltKeys) {
    Pipe p;
    p.send("\x1b");
    terminal::KeyReader keys(p.fds[0]);
    EXPECT_EQ(keys.read_key(), 27);
    // Alt-x arrives as ESC x: the character alone, the line kept.
    p.send("\x1bx");
    EXPECT_EQ(keys.read_key(), terminal::KEY_IGNORED);
    EXPECT_EQ(keys.read_key(), 'x');
    p.send("\x1b\x1b");
    EXPECT_EQ(keys.read_key(), 27);
    EXPECT_EQ(keys.read_key(), 27);
}

TEST(TerminalKeys, InvalidUtf8BecomesReplacementCharacter) {
    Pipe p;
    p.send("\xff" "\xc3(" "\xed\xa0\x80" "\xc0\xaf");
    terminal::KeyReader keys(p.fds[0]);
    EXPECT_EQ(keys.read_key(), 0xFFFD);  // not a lead byte
    EXPECT_EQ(keys.read_key(), 0xFFFD);  // cut short
    EXPECT_EQ(keys.read_key(), '(');     // the byte that cut it is kept
    EXPECT_EQ(keys.read_key(), 0xFFFD);  // a surrogate
    EXPECT_EQ(keys.read_key(), 0xFFFD);  // an overlong form
}

TEST(TerminalKeys, EndOfInputIsAHangUp) {
    Pipe p;
    p.end();
    terminal::KeyReader keys(p.fds[0]);
    EXPECT_EQ(keys.read_key(), terminal::KEY_HUNG_UP);
    EXPECT_EQ(keys.read_key(), terminal::KEY_HUNG_UP);
}

TEST(TerminalWidths, Table) {
    EXPECT_EQ(terminal::char_width(0), 0);
    EXPECT_EQ(terminal::char_width(7), 1);
    EXPECT_EQ(terminal::char_width('a'), 1);
    EXPECT_EQ(terminal::char_width(0x300), 0);    // combining grave
    EXPECT_EQ(terminal::char_width(0x200B), 0);   // zero-width space
    EXPECT_EQ(terminal::char_width(0xE01EF), 0);  // variation selector
    EXPECT_EQ(terminal::char_width(0x1100), 2);   // Hangul choseong
    EXPECT_EQ(terminal::char_width(0x4E2D), 2);
    EXPECT_EQ(terminal::char_width(0xFF21), 2);   // fullwidth A
    EXPECT_EQ(terminal::char_width(0x1F600), 2);
    EXPECT_EQ(terminal::char_width(0x2FFFD), 2);
    EXPECT_EQ(terminal::char_width(0xA1), 1);
    EXPECT_EQ(terminal::char_width_cjk(0xA1), 2);
    EXPECT_EQ(terminal::char_width_cjk('a'), 1);
    EXPECT_EQ(terminal::char_width(0x10FFFF), 1);
}

TEST(TerminalMeasure, WideCharacterInTheLastColumnMovesToTheNextRow) {
    std::u32string text = U"abc\u4E2D";
    // 10 columns, starting at offset 6: a b c take 6..8, one cell is left.
    EXPECT_EQ(terminal::measure(text, 0, 3, 6, 10, false, nullptr), 9);
    EXPECT_EQ(terminal::measure(text, 0, 4, 6, 10, false, nullptr), 12);
    std::string out;
    EXPECT_EQ(terminal::measure(U"\tx", 0, 2, 0, 80, false, &out), 5);
    EXPECT_EQ(out, "    x");
    out.clear();
    EXPECT_EQ(terminal::measure(U"\x1b[31m>> \x1b[0m", 0, 12, 0, 80, false, &out), 3);
    EXPECT_EQ(out, "\x1b[31m>> \x1b[0m");
    out.clear();
    EXPECT_EQ(terminal::measure(U"ab", 0, 2, 0, 80, true, &out), 2);
    EXPECT_EQ(out, "**");
    out.clear();
    terminal::measure(U"\u009b2J", 0, 3, 0, 80, false, &out);
    EXPECT_EQ(out, "?2J");  // a control character never reaches the terminal
    // Only the cells of a window of rows are written, escape sequences always.
    out.clear();
    // a b c take cells 0-2, the wide one moves to 4-5, e is 6, f 7.
    EXPECT_EQ(terminal::measure(U"\x1b[1mabc\u4E2D" U"ef", 0, 10, 0, 4, false, &out, 4, 7), 8);
    EXPECT_EQ(out, "\x1b[1m\u4E2D" "e");
}

TEST(TerminalPiped, LinesAsUtf8WithCarriageReturnKept) {
    Pipe p;
    p.send("ab\r\n\xc3\xa9\xff!\nlast");
    p.end();
    std::u32string line;
    ASSERT_TRUE(terminal::read_piped_line(p.fds[0], line));
    EXPECT_EQ(line, u32(U"ab\r"));
    ASSERT_TRUE(terminal::read_piped_line(p.fds[0], line));
    EXPECT_EQ(line, u32(U"\u00E9\uFFFD!"));
    ASSERT_TRUE(terminal::read_piped_line(p.fds[0], line));
    EXPECT_EQ(line, u32(U"last"));
    EXPECT_FALSE(terminal::read_piped_line(p.fds[0], line));
    EXPECT_TRUE(line.empty());
}

TEST(TerminalPiped, ReadsNoFurtherThanTheLine) {
    Pipe p;
    p.send("one\ntwo\n");
    std::u32string line;
    ASSERT_TRUE(terminal::read_piped_line(p.fds[0], line));
    char rest[8] = {};
    EXPECT_EQ(read(p.fds[0], rest, sizeof rest), 4);
    EXPECT_STREQ(rest, "two\n");
}

// ---- The editor over a pseudo-terminal ----------------------------------------------

struct VectorHistory : terminal::History {
    std::vector<std::u32string> lines;  // newest first
    int32_t count() override { return static_cast<int32_t>(lines.size()); }
    std::u32string entry(int32_t i) override { return lines[static_cast<size_t>(i)]; }
    void add(const std::u32string& line) override {
        if (!lines.empty() && lines[0] == line) return;
        lines.insert(lines.begin(), line);
    }
};

struct Pty {
    int master = -1, slave = -1;
    Pty() {
        struct winsize ws {};
        ws.ws_col = 40;
        ws.ws_row = 10;
        EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, &ws), 0);
        // Keys are typed before the editor starts: the terminal must neither
        // echo them nor act on them as a line in the making.
        struct termios mode;
        tcgetattr(slave, &mode);
        cfmakeraw(&mode);
        tcsetattr(slave, TCSANOW, &mode);
        alarm(30);  // a scenario that waits for a key it never gets fails, not hangs
    }
    ~Pty() {
        alarm(0);
        close(master);
        close(slave);
    }
    void type(const std::string& keys) { ASSERT_EQ(write(master, keys.data(), keys.size()), (ssize_t)keys.size()); }
    // What the editor wrote, drained so the terminal never blocks it.
    std::string screen() {
        std::string out;
        char buf[4096];
        struct pollfd p {master, POLLIN, 0};
        while (poll(&p, 1, 0) > 0) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }
};

// Every scenario answers the cursor-position query first, as a terminal does.
std::optional<std::u32string> edit(Pty& pty, terminal::LineEditor& ed, const std::string& keys,
                                   terminal::History* h = nullptr, const terminal::Completer& c = nullptr,
                                   bool hidden = false) {
    pty.type("\x1b[1;1R" + keys);
    std::optional<std::u32string> r = ed.edit(U">> ", hidden, h, c);
    pty.screen();
    return r;
}

TEST(LineEditor, EditingKeys) {
    struct Case {
        const char* keys;
        const char32_t* line;
    } cases[] = {
        {"abc\r", U"abc"},
        {"abc\x1b[D\x1b[DX\r", U"aXbc"},           // Left twice, insert
        {"abc\x02\x02\x06Y\r", U"abYc"},            // Ctrl-B, Ctrl-F
        {"abc\x01Z\r", U"Zabc"},                    // Ctrl-A
        {"abc\x1b[HZ\x1b[FW\r", U"ZabcW"},          // Home, End
        {"abc\x1bOH\x1b[3~\r", U"bc"},             // Home, Delete
        {"abcd\x1b[D\x1b[D\x0b\r", U"ab"},          // Ctrl-K
        {"abc\x7f\x08\r", U"a"},                    // DEL and Backspace
        {"abc\x01\x04\r", U"bc"},                   // Ctrl-D inside the line
        {"\x04", U"q"},                             // Ctrl-D on an empty line
        {"some text\x03", U"q"},                    // Ctrl-C
        {"abc\x1b", U"abc\x1b"},                    // Esc
        {"a\tb\r", U"a\tb"},                        // Tab without completion
        {"\x1b[5~\x1b[2~\x10x\r", U"x"},            // Page keys and Insert ignored; Up on no history
        {"\xc3\xa9\xe4\xb8\xad\x1b[D!\r", U"\u00E9!\u4E2D"},
    };
    for (const Case& c : cases) {
        Pty pty;
        terminal::LineEditor ed(pty.slave, pty.slave);
        EXPECT_EQ(edit(pty, ed, c.keys), u32(c.line)) << testing::PrintToString(std::string(c.keys));
    }
}

TEST(LineEditor, HistoryBrowsingAndAdding) {
    Pty pty;
    terminal::LineEditor ed(pty.slave, pty.slave);
    VectorHistory h;
    EXPECT_EQ(edit(pty, ed, "first\r", &h), u32(U"first"));
    EXPECT_EQ(edit(pty, ed, "second\r", &h), u32(U"second"));
    EXPECT_EQ(edit(pty, ed, "second\r", &h), u32(U"second"));  // the same as the newest: not added
    EXPECT_EQ(edit(pty, ed, "\r", &h), u32(U""));              // empty: not added
    ASSERT_EQ(h.lines.size(), 2u);
    struct Case {
        const char* keys;
        const char32_t* line;
    } cases[] = {
        {"\x1b[A\r", U"second"},
        {"\x1b[A\x1b[A\r", U"first"},
        {"\x1b[A\x1b[A\x1b[A\r", U""},            // past the oldest: empty
        {"\x1b[A\x1b[A\x1b[B\r", U"first"},        // Down shows the current entry first
        {"\x1b[A\x1b[A\x1b[B\x1b[B\r", U"second"},
        {"\x1b[B\r", U""},
        {"\x10\x10\x0e!\r", U"first!"},           // Ctrl-P, Ctrl-N
    };
    for (const Case& c : cases) {
        h.lines = {U"second", U"first"};
        EXPECT_EQ(edit(pty, ed, c.keys, &h), u32(c.line)) << testing::PrintToString(std::string(c.keys));
    }
    EXPECT_EQ(h.lines[0], u32(U"first!"));  // the line entered is the newest
    EXPECT_EQ(edit(pty, ed, "secret\r", &h, nullptr, true), u32(U"secret"));
    EXPECT_EQ(h.lines[0], u32(U"first!"));  // hidden input is never kept
}

TEST(LineEditor, HiddenInputEchoesStars) {
    Pty pty;
    terminal::LineEditor ed(pty.slave, pty.slave);
    pty.type("\x1b[1;1Rpw\r");
    EXPECT_EQ(ed.edit(U"pass: ", true, nullptr, nullptr), u32(U"pw"));
    std::string shown = pty.screen();
    EXPECT_NE(shown.find("pass: "), std::string::npos);
    EXPECT_NE(shown.find("**"), std::string::npos);
    EXPECT_EQ(shown.find("pw"), std::string::npos);
}

TEST(LineEditor, CompletionReplacesOrListsAndCarriesOver) {
    Pty pty;
    terminal::LineEditor ed(pty.slave, pty.slave);
    terminal::Completer one = [](const std::u32string& line, size_t cursor) {
        EXPECT_EQ(line, u32(U"pri"));
        EXPECT_EQ(cursor, 3u);
        return std::vector<terminal::Completion>{{U"print ", 6}};
    };
    EXPECT_EQ(edit(pty, ed, "pri\t1\r", nullptr, one), u32(U"print 1"));
    terminal::Completer many = [](const std::u32string&, size_t) {
        return std::vector<terminal::Completion>{{U"pr", 2}, {U"print", 0}, {U"probe", 0}};
    };
    pty.type("\x1b[1;1Rp\t");
    EXPECT_EQ(ed.edit(U">> ", false, nullptr, many), u32(U""));
    EXPECT_NE(pty.screen().find("print probe "), std::string::npos);
    // The next read starts with the common part.
    EXPECT_EQ(edit(pty, ed, "obe\r", nullptr, nullptr), u32(U"probe"));
    terminal::Completer none = [](const std::u32string&, size_t) { return std::vector<terminal::Completion>{}; };
    EXPECT_EQ(edit(pty, ed, "x\t\r", nullptr, none), u32(U"x\t"));
}

TEST(LineEditor, TerminalSettingsComeBack) {
    Pty pty;
    struct termios before, after;
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    terminal::LineEditor ed(pty.slave, pty.slave);
    edit(pty, ed, "x\r");
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    EXPECT_EQ(before.c_iflag, after.c_iflag);
    EXPECT_EQ(before.c_oflag, after.c_oflag);
}

TEST(LineEditor, HangUpEndsTheInput) {
    int master, slave;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(write(master, "\x1b[1;1Rab", 8), 8);
    terminal::LineEditor ed(slave, slave);
    // Drain what the editor writes, then hang up once it waits: no line,
    // the text typed so far is dropped.
    close(master);
    EXPECT_EQ(ed.edit(U">> ", false, nullptr, nullptr), std::nullopt);
    close(slave);
}

}  // namespace
