// ZEMBIN: the binary serialisation of values. One format serves the boot
// image (decoded into the root block at start-up) and the codec that
// `save` and `load` use for ".zembin" data.
//
// An image is a header (magic "ZEMBIN", version, flags), an optional symbol
// table, and value records in one of two encodings: plain (32-bit words) or
// compact (bytes and LEB128 varints). Flag bit 1 says that everything after
// the flags byte is one LZ77 stream (services/zembin/lz77.h).
//
// Series and contexts met twice are written once and referred to afterwards
// by a reference path (indexes walked from the decode target), so shared
// and cyclic structures survive a round trip.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace zembin {

// ---- Format constants --------------------------------------------------------------

constexpr uint8_t MAGIC[6] = {'Z', 'E', 'M', 'B', 'I', 'N'};
constexpr uint8_t VERSION = 2;        // what the encoders write
constexpr uint8_t BOOT_VERSION = 1;   // what the boot image carries
constexpr uint8_t FLAG_COMPACT = 1;
constexpr uint8_t FLAG_COMPRESSED = 2;
constexpr uint8_t FLAG_SYMBOLS = 4;

// Compact encoding: prefix and lead bytes.
constexpr uint8_t C_NEW_LINE = 0xC0;
constexpr uint8_t C_BY_REF = 0xC1;
constexpr uint8_t C_TRUE = 0xC2;
constexpr uint8_t C_FALSE = 0xC3;
constexpr uint8_t C_ASSIGN = 0xC4;
constexpr uint8_t C_REFERENCE = 0xFF;
constexpr uint8_t C_SMALL_INT = 0x80;  // 0x80 + 0..63
constexpr uint8_t C_FORM = 0x40;       // the form flag of a type byte
constexpr uint8_t C_LONG_TYPE = 63;    // the real id follows as a varint

// Plain encoding: header word bits.
constexpr uint32_t P_REFERENCE = 255;
constexpr uint32_t P_BY_REF = 0x80000;
constexpr uint32_t P_MONEY_NEGATIVE = 0x400000;
constexpr uint32_t P_COMPLEMENT = 0x800000;
constexpr uint32_t P_HANDLER = 0x1000000;
constexpr uint32_t P_GLOBAL = 0x2000000;  // boot image: assignment
constexpr uint32_t P_NEW_LINE = 0x80000000;
constexpr uint32_t P_CTX_KIND_SHIFT = 26;
constexpr uint32_t P_CTX_SELF = 0x10000000;
constexpr uint32_t P_CTX_ON_STACK = 0x20000000;
constexpr uint32_t P_CTX_VALUES = 0x40000000;

// Context record flags byte (compact).
constexpr uint8_t CTX_ON_STACK = 4;
constexpr uint8_t CTX_SELF = 8;
constexpr uint8_t CTX_VALUES = 16;

// Longest reference path.
constexpr uint32_t MAX_PATH = 65536;

// ---- Decoder -------------------------------------------------------------------------

// The codec mode: off while the boot image loads (errors end the program,
// bound words and assignments take their boot layouts), on while the codec
// decodes or encodes. Once on it stays on.
extern bool codec_mode;

// Appends every top-level value of the image to the target block, except
// those consumed by assignment records. `length` bounds every read. With
// fire_on_error clear (boot loading) a wrong magic or a damaged compressed
// stream prints its message and ends the process; with it set they raise
// invalid-data with `caller_arg`. Malformed records raise rb-invalid-record
// with the 1-based position of the offending byte (counted in the
// decompressed image, as if it had been written uncompressed). Answers the
// index in the target of the first value this decode appended.
uint32_t decode(const uint8_t* data, size_t length, Cell* target, bool fire_on_error, const Cell* caller_arg);

// Decodes the boot image into the root block with automatic collection off
// and answers the index there of its first value. With keep_previous the
// runtime's first boot value stays where it was.
uint32_t boot_load(const uint8_t* image, size_t length, bool keep_previous);

// The codec's decode routine: the image in a binary! (from its index) as one
// value when it holds exactly one, else a block of them, written to `out`.
// invalid-data for anything but a binary of more than 10 bytes.
Cell* decode_value(const Cell* data, Cell* out);

// ---- Encoder -------------------------------------------------------------------------

// The value and everything it reaches as a new binary! written to `out`:
// compact records (encode_cp) or plain records (encode). Values with no
// record (routine!, triple!, handle!, port!, event!, an op! of a routine)
// raise access no-codec.
Cell* encode_cp(const Cell* value, Cell* out);
Cell* encode(const Cell* value, Cell* out);

// The boot image of a block of loaded source: each value of the block from
// its index as one top-level record, compact, version 1, compressed when
// that makes it smaller. Written to `out` as a binary!.
Cell* encode_boot(const Cell* block, Cell* out);

}  // namespace zembin
