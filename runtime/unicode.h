// Text encodings: strings hold one code point per element in units of 1, 2
// or 4 bytes and widen in place when a wider code point arrives. This module
// converts between them and UTF-8 / UTF-16LE and offers small UTF-8 helpers.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace unicode {

// ---- UTF-8 byte helpers ---------------------------------------------------------

// The 364-byte decoding table: 256 byte classes, then the transitions.
extern const uint8_t utf8_dfa[364];

// Decodes one character with the table, never reading at or past `end`.
// Sets `cp` to the code point, or -1 for a rejected or incomplete sequence.
// Answers the address after the character; after a rejected sequence, the
// byte that broke it (so decoding always advances and resumes there).
const uint8_t* fast_decode_utf8_char(const uint8_t* src, const uint8_t* end, int32_t* cp);
// Number of characters in [start, end); a rejected sequence counts as one.
uint32_t count_utf8_chars(const uint8_t* start, const uint8_t* end);
// The address n characters after start, never past end.
const uint8_t* skip_utf8_chars(const uint8_t* start, const uint8_t* end, uint32_t n);

// 4 for 1111xxxx, 3 for 1110xxxx, 2 for 110xxxxx, 0 for any other byte.
uint32_t utf8_lead_size(uint8_t byte);
// Bytes that the code point takes in UTF-8 (1-4); above 0x10FFFF a script
// error with the code point.
uint32_t utf8_char_size(uint32_t cp);
// UTF-8 length of the elements [start, end) of a string of `unit` bytes.
uint32_t utf8_size(const uint8_t* start, const uint8_t* end, uint32_t unit);
// Writes the code point as UTF-8 (up to 4 bytes); answers the count.
uint32_t encode_utf8_char(uint32_t cp, uint8_t* buffer);
// The same, writing at most `room` bytes of the encoding.
uint32_t encode_utf8_char_part(uint32_t cp, uint8_t* buffer, uint32_t room);

// Validated decoding of one character from `src`, whose `count` bytes are
// available. Answers the code point and sets `count` to the bytes used, or
// answers -1 when the input ends inside the sequence (nothing consumed). An
// invalid sequence raises the access error invalid-utf8 with its bytes.
int32_t decode_utf8_char_checked(const uint8_t* src, uint32_t* count);
// The same, answering INVALID_SEQUENCE for an invalid sequence instead of
// raising (for callers that report it their own way).
constexpr int32_t INVALID_SEQUENCE = -2;
int32_t decode_utf8_char_or_invalid(const uint8_t* src, uint32_t* count);

// ---- Loading text into strings ---------------------------------------------------

// Decodes `size` bytes of UTF-8 into a string: into the series `str` from
// its head (replacing what was there) or, when str is 0, into a new string.
// A leading byte-order mark is skipped (unless `bom` is false: the bytes are
// a name, not a text); with `crlf`, CR LF and lone CR become LF. Input that
// ends inside a sequence stops before it; the number of bytes not consumed
// goes to `remaining` when given. Answers the string's node.
Node load_utf8(const uint8_t* src, uint32_t size, Node str, uint32_t* remaining, bool crlf, bool bom = true);
Node load_utf8_in(const uint8_t* src, uint32_t size, Node str, uint32_t* remaining);
Node load_utf8_new(const uint8_t* src, uint32_t size);

// Widen a string buffer in place (its tail set): every element is zero-
// extended, the buffer grown first when needed. Answers the buffer, which
// may be a new one.
SeriesBuffer* latin1_to_ucs2(SeriesBuffer* s);
SeriesBuffer* latin1_to_ucs4(SeriesBuffer* s);
SeriesBuffer* ucs2_to_ucs4(SeriesBuffer* s);
// Widens the string to at least the unit that `cp` needs (1, 2 or 4).
SeriesBuffer* widen_for(SeriesBuffer* s, uint32_t cp);

// Decodes `count` UTF-16LE units into a string (the series of `str`, or a new
// one when str is null). A null `src` reads the string's encoding cache.
// With `crlf` every CR is dropped. A high surrogate without its low surrogate
// ends the process with "*** Input Error: invalid UTF-16LE codepoint".
Node load_utf16(const uint16_t* src, uint32_t count, Cell* str, bool crlf);

// One UTF-16 unit below 0x10000, a surrogate pair up to 0x10FFFF; answers
// the units written, 0 above.
uint32_t encode_utf16_char(uint32_t cp, uint16_t* buffer);
// Extra bytes a UTF-16 copy with CR LF needs: 2 for each LF and for each
// code point of 0x10000 or more in [start, end).
uint32_t utf16_extra_size(const uint8_t* start, const uint8_t* end, uint32_t unit);

// ---- Encoding strings --------------------------------------------------------------

// The data address of the string cell's encoding cache (a byte series whose
// node is kept in the cell's fourth word), made or grown to `size` bytes.
uint8_t* get_cache_buffer(Cell* str, uint32_t size);

// UTF-8 copy of the string from its index into the encoding cache, followed
// by a 0 byte. `length` is the number of code points (-1: to the tail); it
// gets the byte count written (without the 0). With `crlf` LF becomes CR LF.
Node to_utf8_node(Cell* str, int32_t* length, bool crlf);
uint8_t* to_utf8(Cell* str, int32_t* length);
uint8_t* to_utf8_crlf(Cell* str, int32_t* length, bool crlf);
// Writes the UTF-8 form of `length` code points (-1: to the tail) into a
// caller's buffer, then a 0 when `null` is set; answers the bytes written
// without the 0.
uint32_t to_utf8_buffer(const Cell* str, uint8_t* dst, int32_t length, bool null);
// The same, never writing more than `limit` bytes in all (the 0 included);
// length 0 or less means to the tail. A character that does not fit is cut.
uint32_t to_utf8_buffer_max(const Cell* str, uint8_t* dst, uint32_t limit, int32_t length,
                            bool null);
// Null-terminated UTF-16LE copy in the encoding cache; `length` (-1: to the
// tail) gets the number of units written.
uint16_t* to_utf16_crlf(Cell* str, int32_t* length, bool crlf);
// From the index to the tail with CR LF.
uint16_t* to_utf16(Cell* str);

// The code point at element i of a string buffer's data (from `data`).
inline uint32_t get_char(const uint8_t* data, uint32_t unit, uint32_t i) {
    switch (unit) {
        case 1: return data[i];
        case 2: {
            uint16_t v;
            std::memcpy(&v, data + 2 * i, 2);
            return v;
        }
        default: {
            uint32_t v;
            std::memcpy(&v, data + 4 * i, 4);
            return v;
        }
    }
}
inline void set_char(uint8_t* data, uint32_t unit, uint32_t i, uint32_t cp) {
    switch (unit) {
        case 1: data[i] = static_cast<uint8_t>(cp); break;
        case 2: {
            uint16_t v = static_cast<uint16_t>(cp);
            std::memcpy(data + 2 * i, &v, 2);
            break;
        }
        default: std::memcpy(data + 4 * i, &cp, 4); break;
    }
}

}  // namespace unicode
