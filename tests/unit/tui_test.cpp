// The text-terminal back end's pure parts: input decoding, colours, SGR
// parsing of face text, text drawn into the clipped grid, the grid writer,
// timers and double-click timing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gui/terminal/color.h"
#include "gui/terminal/decoder.h"
#include "gui/terminal/screen.h"
#include "gui/terminal/timers.h"

using namespace tui;

namespace {

std::vector<Input> decode(tui::Decoder& d, const std::string& bytes, bool quiet = true) {
    d.feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::vector<Input> out;
    d.decode(out, quiet);
    return out;
}

// Keys of one read as (code, flags) pairs.
std::vector<std::pair<int32_t, uint32_t>> keys(const std::string& bytes) {
    tui::Decoder d;
    std::vector<std::pair<int32_t, uint32_t>> r;
    for (const Input& in : decode(d, bytes))
        if (in.kind == Input::KEY) r.push_back({in.key, in.flags});
    return r;
}

}  // namespace

TEST(TuiDecoder, KeySequences) {
    struct Case {
        const char* bytes;
        int32_t key;
        uint32_t flags;
    } cases[] = {
        {"\x1b[A", KEY_UP, 0},       {"\x1b[B", KEY_DOWN, 0},     {"\x1b[C", KEY_RIGHT, 0},
        {"\x1b[D", KEY_LEFT, 0},     {"\x1bOA", KEY_UP, 0},       {"\x1bOD", KEY_LEFT, 0},
        {"\x1b[H", KEY_HOME, 0},     {"\x1b[F", KEY_END, 0},      {"\x1bOH", KEY_HOME, 0},
        {"\x1bOF", KEY_END, 0},      {"\x1b[1~", KEY_HOME, 0},    {"\x1b[4~", KEY_END, 0},
        {"\x1b[3~", KEY_DELETE, 0},  {"\x1b[5~", KEY_PAGE_UP, 0}, {"\x1b[6~", KEY_PAGE_DOWN, 0},
        {"\x1bOP", -31, 0},          {"\x1bOS", -34, 0},          {"\x1b[15~", -35, 0},
        {"\x1b[17~", -36, 0},        {"\x1b[21~", -40, 0},        {"\x1b[24~", -42, 0},
        {"\x1b[Z", 9, MOD_SHIFT},    {"\x1b[1;5C", KEY_RIGHT, MOD_CONTROL},
        {"\x1b[1;2A", KEY_UP, MOD_SHIFT},
        {"a", 'a', 0},               {"\x08", 127, 0},            {"\n", 13, 0},
        {"\r", 13, 0},               {"\t", 9, 0},                {"\x7f", 127, 0},
        {"\xc3\xa9", 0xE9, 0},       {"\xf0\x9f\x98\x80", 0x1F600, 0},
        {"\x1bx", 'x', MOD_ALT},     {"\x1b\r", 13, MOD_ALT},
    };
    for (const Case& c : cases) {
        auto k = keys(c.bytes);
        ASSERT_EQ(k.size(), 1u) << c.bytes + 1;
        EXPECT_EQ(k[0].first, c.key) << c.bytes + 1;
        EXPECT_EQ(k[0].second, c.flags) << c.bytes + 1;
    }
    // Sequences of no key, and strings that are skipped whole.
    for (const char* none : {"\x1b[2~", "\x1b[99~", "\x1b]0;title\x07", "\x1bP1$r\x1b\\", "\x1bOZ"})
        EXPECT_TRUE(keys(none).empty()) << none + 1;
    // An ESC inside a control sequence abandons it; the next one counts.
    auto k = keys("\x1b[1\x1b[B");
    ASSERT_EQ(k.size(), 1u);
    EXPECT_EQ(k[0].first, KEY_DOWN);
}

TEST(TuiDecoder, SplitReadsWaitForTheRest) {
    tui::Decoder d;
    EXPECT_TRUE(decode(d, "\xe2\x82").empty());  // half of U+20AC
    auto out = decode(d, "\xac" "b");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].key, 0x20AC);
    EXPECT_EQ(out[1].key, 'b');
    // An escape sequence cut short after a key: the key now, the sequence later.
    out = decode(d, "x\x1b[");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].key, 'x');
    out = decode(d, "A");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].key, KEY_UP);
    // A lone Esc waits while bytes still arrive, and is the Esc key once
    // nothing more came.
    EXPECT_TRUE(decode(d, "\x1b", false).empty());
    out = decode(d, "", true);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].key, 27);
    EXPECT_EQ(d.buffered(), 0u);
    // An Esc that waited for a pass, then a character: two keys, nothing lost.
    EXPECT_TRUE(decode(d, "\x1b", false).empty());
    out = decode(d, "vw", false);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].key, 27);
    EXPECT_EQ(out[1].key, 'v');
    EXPECT_EQ(out[1].flags, 0u);
    EXPECT_EQ(out[2].key, 'w');
    // An Esc followed at once by a terminal's reply: the Esc key, then the reply.
    out = decode(d, "\x1b\x1b[5;1R", false);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].key, 27);
    EXPECT_EQ(out[1].kind, Input::CURSOR);
    EXPECT_EQ(out[1].row, 4);
    // A bad byte is U+FFFD and decoding goes on.
    out = decode(d, "\xff" "c");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].key, 0xFFFD);
    EXPECT_EQ(out[1].key, 'c');
}

TEST(TuiDecoder, MouseReports) {
    tui::Decoder d;
    auto out = decode(d, "\x1b[<0;5;3M");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, Input::BUTTON);
    EXPECT_EQ(out[0].type, 1u);  // down
    EXPECT_EQ(out[0].x, 4.0f);
    EXPECT_EQ(out[0].y, 2.0f);
    // Motion with the button held: over with the down flag, not another down.
    out = decode(d, "\x1b[<32;6;3M");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, Input::OVER);
    EXPECT_EQ(out[0].flags, MOD_DOWN);
    out = decode(d, "\x1b[<0;6;3m");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, 2u);  // up
    out = decode(d, "\x1b[<35;1;1M\x1b[<64;2;2M\x1b[<65;2;2M\x1b[<2;1;1M\x1b[<22;1;1M");
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0].kind, Input::OVER);
    EXPECT_EQ(out[0].flags, 0u);
    EXPECT_EQ(out[1].kind, Input::WHEEL);
    EXPECT_EQ(out[1].amount, 1);
    EXPECT_EQ(out[2].amount, -1);
    EXPECT_EQ(out[3].type, 5u);  // alt-down: the right button
    EXPECT_EQ(out[4].flags, MOD_SHIFT | MOD_CONTROL | MOD_DOWN);  // a drag of the right button with modifiers
    // A cursor report moves the origin that mouse rows count from.
    out = decode(d, "\x1b[10;1R\x1b[<0;1;12m");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].kind, Input::CURSOR);
    EXPECT_EQ(out[0].row, 9);
    EXPECT_EQ(out[1].y, 2.0f);
    // Two parameters are no mouse report.
    EXPECT_TRUE(decode(d, "\x1b[<0;1M").empty());
}

TEST(TuiColor, Conversions) {
    uint32_t saved = color_depth;
    std::string out;
    color_depth = 4;
    emit_color(out, color_of_rgb(255, 0, 0), true);
    EXPECT_EQ(out, "\x1b[38;2;255;0;0m");
    color_depth = 2;
    out.clear();
    emit_color(out, color_of_rgb(255, 0, 0), true);
    emit_color(out, color_of_rgb(0, 0, 0), false);
    emit_color(out, COLOR_DEFAULT, true);
    emit_color(out, basic_color(1), false);
    emit_color(out, basic_color(9), true);
    EXPECT_EQ(out, "\x1b[38;5;196m\x1b[48;5;16m\x1b[39m\x1b[41m\x1b[91m");
    color_depth = saved;
    // Greys: the ramp when nearer than the cube, the cube's white and black otherwise.
    EXPECT_EQ(to_256_color(0x808080), palette_color(244));
    EXPECT_EQ(to_256_color(0x000000), palette_color(16));
    EXPECT_EQ(to_256_color(0xFFFFFF), palette_color(231));
    EXPECT_EQ(to_256_color(0x0000FF), palette_color(196));  // R is the low byte
    EXPECT_EQ(to_256_color(0xFF000000), COLOR_DEFAULT);
}

TEST(TuiColor, SupportFromEnvironment) {
    std::string ct = getenv("COLORTERM") ? getenv("COLORTERM") : "", term = getenv("TERM") ? getenv("TERM") : "";
    struct Case {
        const char* colorterm;
        const char* term;
        uint32_t depth;
    } cases[] = {{nullptr, nullptr, 4}, {"truecolor", "xterm", 4}, {"24bit", nullptr, 4},
                 {nullptr, "xterm-256color", 2}, {"yes", "screen", 4}};
    for (const Case& c : cases) {
        c.colorterm ? setenv("COLORTERM", c.colorterm, 1) : unsetenv("COLORTERM");
        c.term ? setenv("TERM", c.term, 1) : unsetenv("TERM");
        EXPECT_EQ(check_color_support(), c.depth);
    }
    ct.empty() ? unsetenv("COLORTERM") : setenv("COLORTERM", ct.c_str(), 1);
    term.empty() ? unsetenv("TERM") : setenv("TERM", term.c_str(), 1);
}

TEST(TuiScreen, SgrInFaceText) {
    struct Case {
        const char32_t* text;
        size_t used;
        uint32_t fg, bg, attr;
    } cases[] = {
        {U"[1;31mX", 6, basic_color(1), 0, ATTR_BOLD},
        {U"[38;5;200mX", 10, palette_color(200), 0, 0},
        {U"[48;5;17m", 9, 0, palette_color(17), 0},
        // Five parameters: the first three are dropped at the fourth; 2 and 3 set dim and italic.
        {U"[38;2;1;2;3m", 12, 0, 0, ATTR_DIM | ATTR_ITALIC},
        {U"[4;7m", 5, 0, 0, ATTR_UNDERLINE | ATTR_INVERSE},
        {U"[92;103m", 8, basic_color(12), basic_color(13), 0},
        {U"[2J", 3, 0, 0, 0},
        {U"x", 0, 0, 0, 0},
        {U"[1;", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Style s;
        std::u32string t(c.text);
        EXPECT_EQ(parse_sgr(t.data(), t.size(), s), c.used);
        EXPECT_EQ(s.fg, c.fg);
        EXPECT_EQ(s.bg, c.bg);
        EXPECT_EQ(s.attr, c.attr);
    }
    Style s{basic_color(2), 0, ATTR_BOLD | ATTR_ITALIC};
    // 22 is normal intensity: bold and dim both end.
    std::u32string t = U"[2;22m";
    parse_sgr(t.data(), t.size(), s);
    EXPECT_EQ(s.attr, ATTR_ITALIC);
    s.attr = ATTR_BOLD | ATTR_UNDERLINE;
    t = U"[24m";
    parse_sgr(t.data(), t.size(), s);
    EXPECT_EQ(s.attr, ATTR_BOLD);
    t = U"[0m";
    parse_sgr(t.data(), t.size(), s);
    EXPECT_EQ(s.attr, 0u);
    EXPECT_EQ(s.fg, 0u);
}

namespace {
std::u32string row_text(Grid& g, int y) {
    std::u32string r;
    for (int x = 0; x < g.width(); ++x) {
        const ScreenCell* c = g.at(x, y);
        if (c->attr & ATTR_COVERED) continue;
        r += c->cp ? static_cast<char32_t>(c->cp) : U'.';
    }
    return r;
}
}  // namespace

TEST(TuiScreen, TextClippedAndWrapped) {
    Grid g;
    g.reset(8, 3);
    // A box from column 2 to 6 cut by its parent at column 5: the text is cut there.
    draw_text(g, 2, 0, 6, Clip{2, 0, 5, 3}, U"abcdef\nxy", 0, 0, false);
    EXPECT_EQ(row_text(g, 0), U"..abc...");
    EXPECT_EQ(row_text(g, 1), U"..xy....");
    g.reset(8, 3);
    draw_text(g, 0, 0, 4, Clip{0, 0, 4, 3}, U"abcdefghijk", 0, 0, true);
    EXPECT_EQ(row_text(g, 0), U"abcd....");
    EXPECT_EQ(row_text(g, 1), U"efgh....");
    EXPECT_EQ(row_text(g, 2), U"ijk.....");
    // A double-width character in the last column is not drawn; the cell after a drawn one is covered.
    g.reset(5, 1);
    draw_text(g, 0, 0, 5, Clip{0, 0, 5, 1}, U"a\u4e00b\u4e00", 0, 0, false);
    EXPECT_EQ(row_text(g, 0), U"a\u4e00b.");
    EXPECT_TRUE(g.at(2, 0)->attr & ATTR_COVERED);
    // SGR in the text: a bold X in basic colour 1; the escape is not drawn.
    g.reset(3, 1);
    draw_text(g, 0, 0, 3, Clip{0, 0, 3, 1}, U"\x1b[1;31mX", STYLE_SGR, 0, false);
    EXPECT_EQ(g.at(0, 0)->cp, U'X');
    EXPECT_EQ(g.at(0, 0)->fg, basic_color(1));
    EXPECT_EQ(g.at(0, 0)->attr, ATTR_BOLD);
    // An empty clip box draws nothing.
    g.reset(3, 1);
    draw_text(g, 0, 0, 3, Clip{1, 0, 1, 1}, U"abc", 0, 0, false);
    EXPECT_EQ(row_text(g, 0), U"...");
    int w, h;
    text_extent(U"ab\n\u4e00\u4e00x", 10, false, false, w, h);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 2);
    text_extent(U"abcdefg", 3, true, false, w, h);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 3);
}

TEST(TuiScreen, GridWriter) {
    uint32_t saved = color_depth;
    color_depth = 2;
    Grid g;
    g.reset(3, 2);
    *g.at(0, 0) = ScreenCell{'a', 0, 0, ATTR_BOLD};
    *g.at(1, 0) = ScreenCell{'b', 0, 0, ATTR_BOLD};
    *g.at(2, 0) = ScreenCell{'c', 0, basic_color(1), 0};
    *g.at(0, 1) = ScreenCell{'p', 0, 0, ATTR_MASKED};
    *g.at(1, 1) = ScreenCell{0x4e00, palette_color(21), 0, 0};
    *g.at(2, 1) = ScreenCell{0, 0, 0, ATTR_COVERED};
    Frame f;
    f.full_screen = true;
    std::string out;
    write_grid(g, f, out);
    EXPECT_EQ(out,
              "\x1b[H\x1b[1mab\x1b[22m\x1b[31mc\x1b[49m\r\n"
              "\x1b[39m*\x1b[48;5;21m\xe4\xb8\x80\x1b[49m");
    EXPECT_EQ(f.lines_drawn, 1);
    // Inline: back over the lines drawn, then the caret placed.
    Frame inl;
    inl.lines_drawn = 1;
    inl.caret = true;
    inl.caret_col = 2;
    inl.caret_row = 0;
    out.clear();
    g.reset(2, 2);
    write_grid(g, inl, out);
    EXPECT_EQ(out, "\r\x1b[1A\x1b[0J  \x1b[49m\r\n  \r\x1b[1A\x1b[2C");
    EXPECT_EQ(inl.lines_drawn, 0);
    out.clear();
    g.reset(0, 2);
    write_grid(g, inl, out);
    EXPECT_EQ(out, "");
    color_depth = saved;
}

TEST(TuiTimers, OneShotAndRepeating) {
    Timers t;
    std::vector<uint32_t> fired;
    auto fire = [&](uint32_t target) { fired.push_back(target); };
    t.add(100, 1);
    t.add(50, 2, true);
    t.run(33, fire);
    EXPECT_TRUE(fired.empty());
    t.run(33, fire);  // 66: the one-shot fires
    EXPECT_EQ(fired, (std::vector<uint32_t>{2}));
    t.run(500, fire);  // a long pass: the repeating one fires once, the one-shot never again
    EXPECT_EQ(fired, (std::vector<uint32_t>{2, 1}));
    t.run(99, fire);
    EXPECT_EQ(fired.size(), 2u);
    t.run(1, fire);
    EXPECT_EQ(fired, (std::vector<uint32_t>{2, 1, 1}));
    t.add(10, 1);
    EXPECT_EQ(t.remove(1), 2u);  // the last one of the target, from the end
    EXPECT_EQ(t.remove(7), 0u);
    EXPECT_EQ(t.size(), 2u);
}

TEST(TuiTimers, DoubleClickTiming) {
    Clicks c;
    EXPECT_FALSE(c.click_is_double());
    c.released();
    for (int i = 0; i < 10; ++i) c.tick();  // 330 ms
    EXPECT_TRUE(c.click_is_double());
    c.state = 10;  // the double click was sent
    c.released();
    EXPECT_FALSE(c.click_is_double());  // a third click starts over
    c.released();
    for (int i = 0; i < 16; ++i) c.tick();  // 528 ms
    EXPECT_FALSE(c.click_is_double());
    for (int i = 0; i < 100; ++i) c.tick();
    EXPECT_EQ(c.counter, 825);  // stops counting past 800
}

// ---- Event records ------------------------------------------------------------------------

#include "booted.h"
#include "datatypes/event.h"
#include "runtime/collector.h"

namespace {
class EventRecords : public booted::Library {};
}  // namespace

// A back-end event kept by an actor reads its own copy of the record while
// the ring holds it, and none or zero once the ring has moved on: never
// memory of a record that is gone. The copy's face survives a moving
// collection.
TEST_F(EventRecords, AKeptEventReadsItsCopyOrNone) {
    Cell face = test_eval::run("kept-face: make object! [type: 'button]");
    event::Record r;
    r.face = face;
    r.x = 3.5f, r.y = 2.0f, r.key = 'a';
    Cell ev = event::make_backend(event::CLICK, event::keep(r), 0);
    collector::active = 1;
    collector::stress = true;
    collector::do_cycle();
    collector::stress = false;
    Cell out{};
    EXPECT_EQ(test_eval::molded(*event::field(&ev, 4, &out)), "3x2");
    EXPECT_EQ(test_eval::molded(*event::field(&ev, 5, &out)), "#\"a\"");
    event::field(&ev, 2, &out);
    ASSERT_EQ(out.type(), TYPE_OBJECT);
    EXPECT_EQ(out.ctx(), test_eval::run("kept-face").ctx());  // followed where the collection moved it
    for (int i = 0; i < 64; ++i) event::keep(event::Record{});
    EXPECT_EQ(test_eval::molded(*event::field(&ev, 2, &out)), "none");
    EXPECT_EQ(test_eval::molded(*event::field(&ev, 4, &out)), "0x0");
    EXPECT_EQ(test_eval::molded(*event::field(&ev, 1, &out)), "click");
}
