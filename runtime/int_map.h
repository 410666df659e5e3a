// int_map: a small open-addressing map of 32-bit integers on the tracked
// heap (triangular probing, 2 flag bits per bucket as in the hash tables),
// for the collector's node relocations.
#pragma once
#include <cstdint>

namespace int_map {

struct Map {
    int32_t size;        // live keys
    uint32_t* flags;     // 2 bits per bucket, as in hash tables
    int32_t* pairs;      // key, value per bucket
    int32_t n_occupied;
    int32_t n_buckets;
    int32_t upper_bound;
};

Map* init(uint32_t n);
void put(Map* map, int32_t key, int32_t value);
// The address of the key's value, or null.
int32_t* get(Map* map, int32_t key);
// The key's bucket, or -1.
int32_t find(Map* map, int32_t key);
void delete_key(Map* map, int32_t key);
// Rebuilds for n buckets (rounded up); -1 when the arrays could not be made.
int32_t resize(Map* map, uint32_t n);
void clear(Map* map);
void destroy(Map* map);  // accepts null

}  // namespace int_map
