// image!: a two-dimensional series of 32-bit pixels. The cell holds the
// current pixel's index, the node of a small record and the size (height
// << 16 | width); the record names the slot of the external-resource table
// that owns the bitmap (runtime/sys.h, the image layer), released when the
// collector no longer sees the image.
#pragma once
#include <cstdint>

#include "evaluator/actions.h"
#include "runtime/cell.h"
#include "runtime/sys.h"

namespace image {

using Bitmap = sys::imaging::Bitmap;

inline uint32_t width_of(const Cell* img) { return img->data3 & 0xFFFF; }
inline uint32_t height_of(const Cell* img) { return img->data3 >> 16; }
// width × height: the tail index and length? of every image.
inline uint32_t pixel_count(const Cell* img) { return width_of(img) * height_of(img); }

// The bitmap of an image (null for an image without pixels).
Bitmap* bitmap_of(const Cell* img);
// Makes the slot an image! at index 0 over a new record that takes the
// bitmap's pixels (an empty bitmap gives an image without a record). The
// slot must be one the collector sees (a value-stack slot, a block's cell).
Cell* make_at(Cell* slot, Bitmap&& pixels);

// pick's element: none at the tail, else the pixel as R.G.B.(255 - A).
Cell* pixel_tuple(const Cell* img, uint32_t index, Cell* out);
// The pixel bytes from the first pixel: kind 0 transparency (one byte a
// pixel), 1 R G B, 2 the pixel words as stored (B G R A).
Cell* extract_data(const Cell* img, int32_t kind, Cell* out);

// Decodes encoded bytes from the binary's index into the slot: none when no
// known signature begins them; access error bad-media when they do not
// decode.
Cell* load_binary(const Cell* bytes, Cell* slot);
// The encoded bytes of the image (format 0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4
// TIFF) as a new binary! in the slot; access error bad-media for an image
// without pixels. An unknown format number prints "Cannot find image
// encoder" and leaves none.
Cell* encode(const Cell* img, int32_t format, Cell* slot);

// foreach over an image: sets the count words to the next pixels as tuples
// (none past the tail) and moves the index on.
void foreach_set_words(const Cell* words, Cell* img, uint32_t count);

}  // namespace image
