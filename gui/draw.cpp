// The DRAW and SHAPE dialects: argument checks by datatype for every command,
// cycle detection, the silent and catch modes, and the commands that draw
// into terminal cells (line, box, triangle, ellipse, arc, text, image).
#include "gui/draw.h"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/image.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"
#include "datatypes/routine.h"
#include "datatypes/tuple.h"
#include "evaluator/context.h"
#include "evaluator/cycles.h"
#include "evaluator/errors.h"
#include "evaluator/routines.h"
#include "evaluator/stack.h"
#include "evaluator/symbol.h"
#include "evaluator/text_storage.h"
#include "runtime/unicode.h"

namespace draw {

namespace {

// ---- Keywords ----------------------------------------------------------------------------

// clang-format off
#define DRAW_KEYWORDS(X) \
    X(pen, "pen") X(fill_pen, "fill-pen") X(box, "box") X(line, "line") X(line_width, "line-width")   \
    X(line_join, "line-join") X(line_cap, "line-cap") X(line_pattern, "line-pattern")                  \
    X(triangle, "triangle") X(polygon, "polygon") X(circle, "circle") X(ellipse, "ellipse")            \
    X(anti_alias, "anti-alias") X(font, "font") X(text, "text") X(arc, "arc") X(curve, "curve")        \
    X(spline, "spline") X(image, "image") X(shadow, "shadow") X(clip, "clip") X(shape, "shape")        \
    X(rotate, "rotate") X(scale, "scale") X(translate, "translate") X(skew, "skew")                    \
    X(transform, "transform") X(push, "push") X(matrix, "matrix") X(reset_matrix, "reset-matrix")      \
    X(invert_matrix, "invert-matrix")                                                                  \
    X(off, "off") X(closed, "closed") X(linear, "linear") X(radial, "radial") X(diamond, "diamond")   \
    X(pad, "pad") X(repeat, "repeat") X(reflect, "reflect") X(bitmap, "bitmap") X(pattern, "pattern") \
    X(tile, "tile") X(flip_x, "flip-x") X(flip_y, "flip-y") X(flip_xy, "flip-xy") X(clamp, "clamp")   \
    X(border, "border") X(crop, "crop") X(inset, "inset") X(replace, "replace")                       \
    X(intersect, "intersect") X(union_, "union") X(xor_, "xor") X(exclude, "exclude")                  \
    X(pen_target, "pen") X(fill_target, "fill-pen") X(color, "color")                                  \
    X(move, "move") X(hline, "hline") X(vline, "vline") X(sweep, "sweep") X(large, "large")            \
    X(qcurve, "qcurve") X(curv, "curv") X(qcurv, "qcurv") X(close, "close")
// clang-format on

enum Kw : uint32_t {
#define X(name, text) KW_##name,
    DRAW_KEYWORDS(X)
#undef X
        KW_COUNT
};

// Resolved symbol ids of the keywords, made on each top-level call: symbols
// belong to one runtime.
uint32_t kw_symbol[KW_COUNT];

void make_keywords() {
    static const char* const texts[] = {
#define X(name, text) text,
        DRAW_KEYWORDS(X)
#undef X
    };
    for (uint32_t i = 0; i < KW_COUNT; ++i) kw_symbol[i] = symbol::resolve(symbol::make(texts[i]));
}

bool is_word_type(uint32_t t) { return t == TYPE_WORD || t == TYPE_LIT_WORD; }

// Whether the cell is the word (or, with lit, the lit-word) of the keyword.
bool is_kw(const Cell* c, Kw k, bool lit = false) {
    if (c->type() != TYPE_WORD && !(lit && c->type() == TYPE_LIT_WORD)) return false;
    return symbol::resolve(c->symbol()) == kw_symbol[k];
}

// The value of a word without raising: null for an unbound or unset word.
const Cell* value_of(const Cell* word) {
    Node ctx = word->ctx();
    if (ctx == 0) return nullptr;
    Cell* v = context::peek(word, ctx);
    if (!v) {
        int32_t i = context::find_symbol(ctx, word->symbol(), true);
        if (i < 0) return nullptr;
        v = context::value_at(ctx, static_cast<uint32_t>(i));
    }
    return v->type() == TYPE_UNSET ? nullptr : v;
}

// ---- Errors and stops --------------------------------------------------------------------

// Ends the walk without an error reaching the caller: silent mode, or an
// error already printed in catch mode.
struct Stop {};

bool silent_q() {
    Node ctx = context::global;
    int32_t i = context::find_symbol(ctx, symbol::make("system"), true);
    if (i < 0) return false;
    const Cell* v = context::value_at(ctx, static_cast<uint32_t>(i));
    for (const char* name : {"view", "silent?"}) {
        if (v->type() != TYPE_OBJECT) return false;
        ctx = v->ctx();
        i = context::find_symbol(ctx, symbol::make(name), true);
        if (i < 0) return false;
        v = context::value_at(ctx, static_cast<uint32_t>(i));
    }
    return v->type() == TYPE_LOGIC && v->data1 != 0;
}

// ---- The walker --------------------------------------------------------------------------

struct State {
    Cell pen;   // tuple! or none!
    Cell font;  // object! or none!
};

struct Walker {
    Surface* surface;
    bool catch_;
    State state;

    // One block being walked: the value (head at its index) and a cursor.
    struct Frame {
        Cell block;
        uint32_t pos;
        uint32_t end;
        const Cell* at(uint32_t i) const { return block::rs_abs_at(&block, i); }
    };

    [[noreturn]] void raise(ErrorId id, const Frame& f, uint32_t pos) {
        Cell where = f.block;
        where.data1 = pos;
        if (silent_q()) throw Stop{};
        if (catch_) {
            Cell err;
            error::create(id, &where, nullptr, nullptr, &err);
            errors::print(&err);
            throw Stop{};
        }
        fire(id, &where);
    }
    [[noreturn]] void invalid(const Frame& f, uint32_t pos) { raise(err::DRAW_INVALID, f, pos); }

    // The argument at the cursor, a word standing for its value.
    const Cell* arg(const Frame& f) const {
        if (f.pos >= f.end) return nullptr;
        const Cell* c = f.at(f.pos);
        if (c->type() == TYPE_WORD) {
            const Cell* v = value_of(c);
            return v ? v : c;
        }
        return c;
    }
    static bool point_q(const Cell* c) { return c && (c->type() == TYPE_PAIR || c->type() == TYPE_POINT2D); }
    static bool number_q(const Cell* c) { return c && (c->type() == TYPE_INTEGER || c->type() == TYPE_FLOAT); }
    static bool scale_q(const Cell* c) { return number_q(c) || (c && c->type() == TYPE_PERCENT); }
    static bool color_q(const Cell* c) {
        return c && c->type() == TYPE_TUPLE && (tuple::length(c) == 3 || tuple::length(c) == 4);
    }
    static bool block_q(const Cell* c) { return c && c->type() == TYPE_BLOCK; }

    // Takes a required argument of the kind, else raises at the cursor.
    template <typename Test>
    Cell need(Frame& f, Test test) {
        const Cell* c = arg(f);
        if (!test(c)) invalid(f, f.pos);
        ++f.pos;
        return *c;
    }
    // Takes an optional argument when it is of the kind.
    template <typename Test>
    bool maybe(Frame& f, Test test, Cell* out = nullptr) {
        const Cell* c = arg(f);
        if (!test(c)) return false;
        if (out) *out = *c;
        ++f.pos;
        return true;
    }
    bool maybe_kw(Frame& f, Kw k) {
        if (f.pos < f.end && is_kw(f.at(f.pos), k)) return ++f.pos, true;
        return false;
    }
    // A run of points: at least `min`, else raises at the first missing one.
    uint32_t points(Frame& f, uint32_t min, Cell* out = nullptr, uint32_t room = 0) {
        uint32_t n = 0;
        while (point_q(arg(f))) {
            if (out && n < room) out[n] = *arg(f);
            ++f.pos, ++n;
        }
        if (n < min) invalid(f, f.pos);
        return n;
    }
    // 'pen or 'fill-pen right after a transformation command.
    void target(Frame& f) {
        if (f.pos < f.end && f.at(f.pos)->type() == TYPE_LIT_WORD &&
            (is_kw(f.at(f.pos), KW_pen_target, true) || is_kw(f.at(f.pos), KW_fill_target, true)))
            ++f.pos;
    }
    // An optional block drawn with the command's effect only inside it.
    void scoped_block(Frame& f) {
        if (f.pos < f.end && f.at(f.pos)->type() == TYPE_BLOCK) {
            Cell inner = *f.at(f.pos);
            ++f.pos;
            State saved = state;
            walk(&inner);
            state = saved;
        }
    }

    // ---- Drawing into cells ----

    void put(int32_t col, int32_t row, uint32_t cp) {
        if (!surface || !surface->put) return;
        col += surface->x, row += surface->y;
        if (col < surface->x1 || row < surface->y1 || col >= surface->x2 || row >= surface->y2) return;
        surface->put(surface->target, col, row, cp, state.pen.type() == TYPE_TUPLE ? &state.pen : nullptr);
    }
    static int32_t coord(const Cell& p, bool y) {
        if (p.type() == TYPE_PAIR) return y ? pair::y_of(&p) : pair::x_of(&p);
        return static_cast<int32_t>(std::floor(y ? point2d::y_of(&p) : point2d::x_of(&p)));
    }
    void segment(const Cell& a, const Cell& b) {
        int32_t x0 = coord(a, false), y0 = coord(a, true), x1 = coord(b, false), y1 = coord(b, true);
        int32_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
        int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        uint32_t cp = dy == 0 ? 0x2500 : dx == 0 ? 0x2502 : (dx > 2 * dy ? 0x2500 : dy > 2 * dx ? 0x2502 : (sx == sy ? 0x2572 : 0x2571));
        int32_t e = dx - dy;
        for (;;) {
            put(x0, y0, cp);
            if (x0 == x1 && y0 == y1) break;
            int32_t e2 = 2 * e;
            if (e2 > -dy) e -= dy, x0 += sx;
            if (e2 < dx) e += dx, y0 += sy;
        }
    }
    void box(const Cell& a, const Cell& b) {
        int32_t xa = coord(a, false), ya = coord(a, true), xb = coord(b, false), yb = coord(b, true);
        if (xa > xb) std::swap(xa, xb);
        if (ya > yb) std::swap(ya, yb);
        for (int32_t x = xa + 1; x < xb; ++x) put(x, ya, 0x2500), put(x, yb, 0x2500);
        for (int32_t y = ya + 1; y < yb; ++y) put(xa, y, 0x2502), put(xb, y, 0x2502);
        if (xa == xb || ya == yb) {
            Cell p = a, q = b;
            segment(p, q);
            return;
        }
        put(xa, ya, 0x250C), put(xb, ya, 0x2510), put(xa, yb, 0x2514), put(xb, yb, 0x2518);
    }
    // Points of an ellipse arc around (cx, cy) with radii rx, ry, from the
    // begin angle through the sweep (degrees, clockwise on the screen).
    void arc_points(double cx, double cy, double rx, double ry, double begin, double sweep) {
        if (rx < 0 || ry < 0) return;
        int32_t steps = static_cast<int32_t>(std::ceil((std::fabs(sweep) / 360.0) * 8 * (rx + ry + 1))) + 1;
        if (steps > 10000) steps = 10000;
        for (int32_t i = 0; i <= steps; ++i) {
            double a = (begin + sweep * i / steps) * M_PI / 180.0;
            put(static_cast<int32_t>(std::lround(cx + rx * std::cos(a))),
                static_cast<int32_t>(std::lround(cy + ry * std::sin(a))), 0x00B7);
        }
    }
    static double num(const Cell& c) {
        if (c.type() == TYPE_INTEGER) return c.int_value();
        return c.float_value();
    }
    void text(const Cell& at, const Cell& str) {
        if (!surface) return;
        Cell saved = state.pen;
        if (state.font.type() == TYPE_OBJECT) {
            Cell w;
            const Cell* fc = nullptr;
            int32_t i = context::find_symbol(state.font.ctx(), kw_symbol[KW_color], true);
            if (i >= 0) fc = context::value_at(state.font.ctx(), static_cast<uint32_t>(i));
            if (fc && color_q(fc)) state.pen = *fc;
            (void)w;
        }
        int32_t x = coord(at, false), y = coord(at, true), col = x;
        uint32_t n = string::rs_length_q(&str);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t cp = string::rs_abs_at(&str, str.head() + i);
            if (cp == '\n') {
                col = x, ++y;
                continue;
            }
            put(col++, y, cp);
        }
        state.pen = saved;
    }
    void picture(const Cell& img, const Cell& at) {
        if (!surface) return;
        Cell saved = state.pen;
        int32_t x = coord(at, false), y = coord(at, true);
        uint32_t w = image::width_of(&img), h = image::height_of(&img);
        for (uint32_t r = 0; r < h; ++r)
            for (uint32_t c = 0; c < w; ++c) {
                image::pixel_tuple(&img, r * w + c, &state.pen);
                put(x + static_cast<int32_t>(c), y + static_cast<int32_t>(r), 0x2588);
            }
        state.pen = saved;
    }

    // ---- Commands ----

    void pen_spec(Frame& f, bool fill) {
        const Cell* c = arg(f);
        if (f.pos < f.end && is_kw(f.at(f.pos), KW_off)) {
            ++f.pos;
            if (!fill) state.pen = Cell{TYPE_NONE, 0, 0, 0};
            return;
        }
        if (color_q(c)) {
            if (!fill) state.pen = *c;
            ++f.pos;
            return;
        }
        if (f.pos < f.end && (is_kw(f.at(f.pos), KW_linear) || is_kw(f.at(f.pos), KW_radial) ||
                              is_kw(f.at(f.pos), KW_diamond))) {
            gradient(f);
            return;
        }
        if (f.pos < f.end && is_kw(f.at(f.pos), KW_bitmap)) {
            ++f.pos;
            const Cell* w = f.pos < f.end ? f.at(f.pos) : nullptr;
            const Cell* v = w && w->type() == TYPE_WORD ? value_of(w) : nullptr;
            if (!v || v->type() != TYPE_IMAGE) invalid(f, f.pos);
            ++f.pos;
            maybe(f, point_q), maybe(f, point_q);
            tile_mode(f);
            return;
        }
        if (f.pos < f.end && is_kw(f.at(f.pos), KW_pattern)) {
            ++f.pos;
            need(f, point_q);
            maybe(f, point_q), maybe(f, point_q);
            tile_mode(f);
            Cell blk = need(f, block_q);
            Surface* saved = surface;
            surface = nullptr;
            State st = state;
            walk(&blk);
            state = st;
            surface = saved;
            return;
        }
        invalid(f, f.pos);
    }
    void tile_mode(Frame& f) {
        for (Kw k : {KW_tile, KW_flip_x, KW_flip_y, KW_flip_xy, KW_clamp})
            if (maybe_kw(f, k)) return;
    }
    void gradient(Frame& f) {
        Kw kind = is_kw(f.at(f.pos), KW_linear) ? KW_linear : is_kw(f.at(f.pos), KW_radial) ? KW_radial : KW_diamond;
        ++f.pos;
        auto is_float = [](const Cell* c) { return c && c->type() == TYPE_FLOAT; };
        if (point_q(arg(f))) {
            // The older form: offset, start, stop, up to three numbers, colours.
            ++f.pos;
            need(f, [](const Cell* c) { return c && c->type() == TYPE_INTEGER; });
            need(f, [](const Cell* c) { return c && c->type() == TYPE_INTEGER; });
            for (int i = 0; i < 3 && maybe(f, number_q); ++i) {
            }
            need(f, color_q);
            maybe(f, is_float);
            need(f, color_q);
            while (maybe(f, color_q) || maybe(f, is_float)) {
            }
            return;
        }
        need(f, color_q);
        maybe(f, is_float);
        need(f, color_q);
        maybe(f, is_float);
        while (maybe(f, color_q)) maybe(f, is_float);
        if (kind == KW_linear) {
            if (maybe(f, point_q)) maybe(f, point_q);
        } else if (kind == KW_radial) {
            if (maybe(f, point_q)) {
                need(f, number_q);
                maybe(f, point_q);
            }
        } else if (maybe(f, point_q)) {
            need(f, point_q);
            maybe(f, point_q);
        }
        for (Kw k : {KW_pad, KW_repeat, KW_reflect})
            if (maybe_kw(f, k)) break;
    }

    void command(Frame& f) {
        const Cell* w = f.at(f.pos);
        uint32_t at_command = f.pos;
        uint32_t sym = symbol::resolve(w->symbol());
        ++f.pos;
        auto is = [&](Kw k) { return sym == kw_symbol[k]; };
        Cell p[4];
        if (is(KW_pen) || is(KW_fill_pen)) {
            pen_spec(f, is(KW_fill_pen));
        } else if (is(KW_box)) {
            p[0] = need(f, point_q), p[1] = need(f, point_q);
            maybe(f, number_q);
            box(p[0], p[1]);
        } else if (is(KW_line)) {
            uint32_t first = f.pos;
            uint32_t n = points(f, 2);
            for (uint32_t i = 1; i < n; ++i) {
                Cell a = *point_arg(f, first + i - 1), b = *point_arg(f, first + i);
                segment(a, b);
            }
        } else if (is(KW_line_width)) {
            need(f, number_q);
        } else if (is(KW_line_join) || is(KW_line_cap) || is(KW_anti_alias)) {
            if (f.pos >= f.end || f.at(f.pos)->type() != TYPE_WORD) invalid(f, f.pos);
            ++f.pos;
        } else if (is(KW_line_pattern)) {
            need(f, [](const Cell* c) { return c && c->type() == TYPE_INTEGER; });
            while (maybe(f, [](const Cell* c) { return c && c->type() == TYPE_INTEGER; })) {
            }
        } else if (is(KW_triangle)) {
            p[0] = need(f, point_q), p[1] = need(f, point_q), p[2] = need(f, point_q);
            segment(p[0], p[1]), segment(p[1], p[2]), segment(p[2], p[0]);
        } else if (is(KW_polygon)) {
            points(f, 3);
        } else if (is(KW_circle)) {
            need(f, point_q), need(f, number_q);
            maybe(f, number_q);
        } else if (is(KW_ellipse)) {
            p[0] = need(f, point_q), p[1] = need(f, point_q);
            double rx = coord(p[1], false) / 2.0, ry = coord(p[1], true) / 2.0;
            arc_points(coord(p[0], false) + rx, coord(p[0], true) + ry, rx, ry, 0, 360);
        } else if (is(KW_font)) {
            p[0] = need(f, [](const Cell* c) { return c && c->type() == TYPE_OBJECT; });
            state.font = p[0];
        } else if (is(KW_text)) {
            p[0] = need(f, point_q);
            const Cell* t = arg(f);
            if (!t || (t->type() != TYPE_STRING && t->type() != TYPE_OBJECT)) invalid(f, f.pos);
            p[1] = *t;
            ++f.pos;
            if (p[1].type() == TYPE_STRING) text(p[0], p[1]);
        } else if (is(KW_arc)) {
            p[0] = need(f, point_q), p[1] = need(f, point_q), p[2] = need(f, number_q), p[3] = need(f, number_q);
            maybe_kw(f, KW_closed);
            arc_points(coord(p[0], false), coord(p[0], true), coord(p[1], false), coord(p[1], true), num(p[2]),
                       num(p[3]));
        } else if (is(KW_curve)) {
            points(f, 3);
        } else if (is(KW_spline)) {
            points(f, 2);
            maybe_kw(f, KW_closed);
        } else if (is(KW_image)) {
            p[0] = need(f, [](const Cell* c) { return c && c->type() == TYPE_IMAGE; });
            uint32_t first = f.pos;
            uint32_t n = points(f, 0);
            maybe(f, color_q);
            if (!maybe_kw(f, KW_border) && maybe_kw(f, KW_crop)) need(f, point_q), need(f, point_q);
            Cell origin{TYPE_PAIR, 0, 0, 0};
            if (n > 0) origin = *point_arg(f, first);
            picture(p[0], origin);
        } else if (is(KW_shadow)) {
            if (!maybe_kw(f, KW_off)) {
                need(f, [](const Cell* c) { return c && c->type() == TYPE_PAIR; });
                auto integer_q = [](const Cell* c) { return c && c->type() == TYPE_INTEGER; };
                maybe(f, integer_q), maybe(f, integer_q), maybe(f, color_q);
                maybe_kw(f, KW_inset);
            }
        } else if (is(KW_clip)) {
            if (point_q(arg(f))) {
                need(f, point_q), need(f, point_q);
            } else {
                Cell blk = need(f, block_q);
                shape(&blk);
            }
            for (Kw k : {KW_replace, KW_intersect, KW_union_, KW_xor_, KW_exclude})
                if (maybe_kw(f, k)) break;
            scoped_block(f);
        } else if (is(KW_shape)) {
            Cell blk = need(f, block_q);
            shape(&blk);
        } else if (is(KW_rotate)) {
            target(f);
            need(f, number_q);
            maybe(f, point_q);
            scoped_block(f);
        } else if (is(KW_scale)) {
            target(f);
            need(f, scale_q), need(f, scale_q);
            maybe(f, point_q);
            scoped_block(f);
        } else if (is(KW_translate)) {
            target(f);
            need(f, point_q);
            scoped_block(f);
        } else if (is(KW_skew)) {
            target(f);
            need(f, number_q);
            maybe(f, number_q);
            maybe(f, point_q);
            scoped_block(f);
        } else if (is(KW_transform)) {
            target(f);
            maybe(f, point_q);
            need(f, number_q), need(f, scale_q), need(f, scale_q), need(f, point_q);
            scoped_block(f);
        } else if (is(KW_push)) {
            if (!block_q(arg(f))) invalid(f, f.pos);
            scoped_block(f);
        } else if (is(KW_matrix)) {
            target(f);
            const Cell* m = arg(f);
            if (!block_q(m) || block::rs_length_q(m) != 6) invalid(f, at_command);
            for (const Cell *c = block::rs_head(m), *e = block::rs_tail(m); c < e; ++c)
                if (!number_q(c)) invalid(f, at_command);
            ++f.pos;
        } else if (is(KW_reset_matrix) || is(KW_invert_matrix)) {
            target(f);
        } else {
            invalid(f, at_command);
        }
    }
    // The point at a position (a word stands for its value).
    const Cell* point_arg(const Frame& f, uint32_t i) const {
        const Cell* c = f.at(i);
        if (c->type() == TYPE_WORD) {
            const Cell* v = value_of(c);
            if (v) return v;
        }
        return c;
    }

    // A set-word takes the block from the value after it.
    void mark_position(Frame& f) {
        Cell word = *f.at(f.pos);
        Cell here = f.block;
        here.data1 = f.pos + 1;
        context::set(&word, &here);
        ++f.pos;
    }

    void walk(const Cell* commands) {
        Frame f{*commands, commands->head(), 0};
        f.end = f.block.head() + block::rs_length_q(&f.block);
        if (cycles::find_q(f.block.node())) raise(err::DRAW_INFINITE, f, f.block.head());
        cycles::push(f.block.node());
        while (f.pos < f.end) {
            const Cell* v = f.at(f.pos);
            switch (v->type()) {
                case TYPE_WORD: command(f); break;
                case TYPE_SET_WORD: mark_position(f); break;
                case TYPE_BLOCK: {
                    Cell inner = *v;
                    ++f.pos;
                    walk(&inner);
                    break;
                }
                default: invalid(f, f.pos);
            }
            f.end = f.block.head() + block::rs_length_q(&f.block);
        }
        cycles::pop();
    }

    // ---- SHAPE ----

    // Checks a SHAPE path; nested blocks continue the same path. A text
    // terminal draws no paths, so there is no path to begin or end here.
    void shape(const Cell* commands) {
        Frame f{*commands, commands->head(), 0};
        f.end = f.block.head() + block::rs_length_q(&f.block);
        if (cycles::find_q(f.block.node())) raise(err::DRAW_INFINITE, f, f.block.head());
        cycles::push(f.block.node());
        while (f.pos < f.end) {
            const Cell* v = f.at(f.pos);
            if (v->type() == TYPE_SET_WORD) {
                mark_position(f);
                continue;
            }
            if (v->type() == TYPE_BLOCK) {
                Cell inner = *v;
                ++f.pos;
                shape(&inner);
                continue;
            }
            if (!is_word_type(v->type())) invalid(f, f.pos);
            uint32_t sym = symbol::resolve(v->symbol());
            uint32_t at_command = f.pos;
            ++f.pos;
            auto is = [&](Kw k) { return sym == kw_symbol[k]; };
            if (is(KW_move)) {
                need(f, point_q);
            } else if (is(KW_line)) {
                points(f, 1);
            } else if (is(KW_hline) || is(KW_vline)) {
                need(f, number_q);
            } else if (is(KW_arc)) {
                need(f, point_q), need(f, number_q), need(f, number_q), need(f, number_q);
                for (int i = 0; i < 2; ++i)
                    if (!maybe_kw(f, KW_sweep) && !maybe_kw(f, KW_large)) break;
            } else if (is(KW_curve)) {
                points(f, 3);
            } else if (is(KW_curv) || is(KW_qcurve)) {
                points(f, 2);
            } else if (is(KW_qcurv)) {
                points(f, 1);
            } else if (is(KW_close)) {
            } else {
                invalid(f, at_command);
            }
        }
        cycles::pop();
    }
};

// ---- Routines ----------------------------------------------------------------------------

// draw-image image commands: checks a draw block aimed at an image (a text
// terminal has no pixels to draw into); an empty image takes nothing.
void r_draw_image() {
    if (image::pixel_count(stack::arguments) > 0) do_draw(nullptr, stack::arguments + 1, false);
    stack::set_last_keep(stack::arguments);
}

}  // namespace

void do_draw(Surface* surface, const Cell* commands, bool catch_) {
    if (commands->type() != TYPE_BLOCK || block::rs_length_q(commands) == 0) return;
    make_keywords();
    Walker w{surface, catch_, {Cell{TYPE_NONE, 0, 0, 0}, Cell{TYPE_NONE, 0, 0, 0}}};
    uint32_t depth = cycles::size();
    try {
        w.walk(commands);
    } catch (const Stop&) {
        if (cycles::size() > depth) cycles::pop_n(cycles::size() - depth);
    }
}

void rich_text(Surface* surface, const Cell* text, const Cell* data) {
    if (!surface || !surface->style || text->type() != TYPE_STRING || data->type() != TYPE_BLOCK) return;
    make_keywords();
    uint32_t bold = symbol::resolve(symbol::make("bold")), italic = symbol::resolve(symbol::make("italic")),
             underline = symbol::resolve(symbol::make("underline")), strike = symbol::resolve(symbol::make("strike")),
             backdrop = symbol::resolve(symbol::make("backdrop"));
    // The cell of each character, in text order.
    std::vector<std::pair<int32_t, int32_t>> at;
    uint32_t n = string::rs_length_q(text);
    int32_t col = surface->x, row = surface->y;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t cp = string::rs_abs_at(text, text->head() + i);
        at.push_back({col, row});
        if (cp == '\n') col = surface->x, ++row;
        else col += surface->width ? std::max(surface->width(cp), 0) : 1;
    }
    uint32_t count = block::rs_length_q(data);
    for (uint32_t i = 0; i < count;) {
        Cell range = *block::rs_abs_at(data, data->head() + i++);
        if (range.type() != TYPE_PAIR) continue;
        uint32_t attributes = 0;
        Cell color{TYPE_NONE, 0, 0, 0};
        while (i < count) {
            Cell v = *block::rs_abs_at(data, data->head() + i);
            if (v.type() == TYPE_PAIR) break;
            ++i;
            if (v.type() == TYPE_TUPLE) {
                color = v;
            } else if (v.type() == TYPE_WORD) {
                uint32_t sym = symbol::resolve(v.symbol());
                if (sym == bold) attributes |= RT_BOLD;
                else if (sym == italic) attributes |= RT_ITALIC;
                else if (sym == underline) attributes |= RT_UNDERLINE;
                else if (sym == strike) attributes |= RT_STRIKE;
                else if (sym == backdrop && i < count) ++i;  // the backdrop's colour: no background here
            }
        }
        int64_t first = static_cast<int64_t>(pair::x_of(&range)) - 1, length = pair::y_of(&range);
        for (int64_t k = std::max<int64_t>(first, 0); k < first + length && k < static_cast<int64_t>(at.size()); ++k) {
            int32_t c = at[static_cast<size_t>(k)].first, r = at[static_cast<size_t>(k)].second;
            if (c < surface->x1 || r < surface->y1 || c >= surface->x2 || r >= surface->y2) continue;
            surface->style(surface->target, c, r, attributes, color.type() == TYPE_TUPLE ? &color : nullptr);
        }
    }
}

void register_routines() {
#define X(index, name, word) routine::register_body(index, r_##name);
    ZEM_GUI_DRAW_ROUTINES(X)
#undef X
}

}  // namespace draw
