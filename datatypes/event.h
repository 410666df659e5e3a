// event!: one user-interface event, from the text-terminal back end or made
// by `make event!`.
//
//   word 1  the event type code (1 down .. 35 scroll; 0 when not given)
//   word 2  a made event: the node of its four field values (0 = none);
//           a back-end event: the serial of its record (below)
//   word 3  flags: 0x10000 made by `make event!`; the modifier and button
//           bits; a made event's key character in the low 16 bits, a
//           back-end event's special-key mark in bit 0
//
// A back-end event's record is copied into a ring the event code owns: an
// actor that keeps the event and reads it after the ring has moved on reads
// none for its face and zero for its position, never stale memory.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace event {

constexpr uint32_t FLAG_SPECIAL_KEY = 0x00000001;
constexpr uint32_t FLAG_MADE = 0x00010000;
constexpr uint32_t FLAG_AUX_DOWN = 0x00400000;
constexpr uint32_t FLAG_ALT_DOWN = 0x00800000;
constexpr uint32_t FLAG_MID_DOWN = 0x01000000;
constexpr uint32_t FLAG_DOWN = 0x02000000;
constexpr uint32_t FLAG_AWAY = 0x04000000;
constexpr uint32_t FLAG_CONTROL = 0x10000000;
constexpr uint32_t FLAG_SHIFT = 0x20000000;
constexpr uint32_t FLAG_ALT = 0x40000000;
constexpr uint32_t FLAG_COMMAND = 0x80000000;

// Event type codes.
enum Type : uint32_t {
    DOWN = 1, UP, MID_DOWN, MID_UP, ALT_DOWN, ALT_UP, AUX_DOWN, AUX_UP, CLICK, DBL_CLICK, WHEEL, OVER,
    KEY, KEY_DOWN, KEY_UP, IME, FOCUS, UNFOCUS, ENTER, ZOOM, PAN, ROTATE, TWO_TAP, PRESS_TAP, SELECT,
    CHANGE, MENU, CLOSE, MOVE, RESIZE, MOVING, RESIZING, TIME, DRAWING, SCROLL,
    TYPE_LAST = SCROLL
};

// What the back end knows of one event while it is delivered.
struct Record {
    Cell face;           // the target widget's face (header 0 when it has none)
    float x = 0, y = 0;  // the offset, relative to the widget
    int32_t key = 0;     // key code or picked value
    float wheel = 0;     // wheel amount (wheel events)
};

// Registers event! (id 54) and makes its word tables.
void init();
// Copies the record into the ring and answers the serial that names it.
uint32_t keep(const Record& record);
// The back-end event cell of a record kept by `keep`.
Cell make_backend(uint32_t type, uint32_t serial, uint32_t flags);

// The word of an event type code; none for a code out of the table.
Cell type_word(uint32_t code);
// The code of a type word (0 when it names no event type).
uint32_t type_code(const Cell* word);
// The name of a special key code (-20 up .. -42 F12); null when unnamed.
const char* key_name(int32_t code);

// The field of an event by number (1 type .. 15 orientation), written to out.
// Some fields keep out's header flags: pass a cleared cell.
Cell* field(const Cell* ev, uint32_t n, Cell* out);

}  // namespace event
