// The boot image embedded in the program: the library the runtime starts
// from, its Zem sources in load order as one compact ZEMBIN image.
#pragma once
#include <cstddef>
#include <cstdint>

extern const uint8_t zem_boot_image[];
extern const size_t zem_boot_image_size;
