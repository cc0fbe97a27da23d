// Bump allocator for the records of one run. Every block is zero-filled. Memory comes back
// all at once, when the arena is reset or destroyed.
#pragma once
#include <cstddef>
#include <cstring>
#include <vector>

// Memory for big tables, from the system: zero-filled, and from 2 MiB up in pages of 2 MiB
// where the system allows them (a table read all over then misses far fewer address
// translations). `map` is null for a block from the heap.
struct BigBlock {
  char* data = nullptr;
  void* map = nullptr;
  size_t map_length = 0;
  bool in_region = false;  // from the run's region: goes back with it
};
BigBlock big_alloc(size_t n);  // "Out of Memory" stop when none
void big_free(BigBlock& b);

// The run's region: the memory of its growing tables (records, the parse trace, smaller
// indexes), handed out in order from large reservations in pages of 2 MiB where the system
// allows. A run touches a few megabytes: a few page faults instead of a thousand. Nothing
// is given back before the run ends.
struct Region {
  std::vector<BigBlock> maps;
  char* cur = nullptr;
  size_t left = 0;
  Region() = default;
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  ~Region();
};
// Zero-filled, 64-byte aligned block of the current run's region.
void* region_alloc(size_t n);
struct Arena {
  bool in_region = false;     // chunks come from the run's region (never reset)
  std::vector<char*> chunks;  // bump chunks, each CHUNK bytes; chunks[0] survives a reset
  std::vector<char*> large;   // blocks too big for a chunk
  char* cur = nullptr;
  size_t left = 0;
  static constexpr size_t CHUNK = 64 * 1024;
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();
};

// Zero-filled block of n bytes, aligned for any record; "Out of Memory" stop when none.
void* arena_alloc(Arena& a, size_t n);
// The same, kept within one cache line when n fits in one (else starting on a line).
void* arena_alloc_in_line(Arena& a, size_t n);
// Zero-filled block of n bytes kept outside the chunks (section buffers).
void* arena_alloc_large(Arena& a, size_t n);
// Copy of a text of length n, NUL added.
char* arena_strdup(Arena& a, const char* text, size_t n);
// Gives back every block; the first chunk is kept for reuse.
void arena_reset(Arena& a);
