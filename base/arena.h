// Bump allocator for the records of one run. Every block is zero-filled. Memory comes back
// all at once, when the arena is reset or destroyed.
#pragma once
#include <cstddef>
#include <cstring>
#include <vector>

struct Arena {
  std::vector<char*> chunks;  // bump chunks of CHUNK bytes; chunks[0] survives a reset
  std::vector<char*> large;   // blocks too big for a chunk
  char* cur = nullptr;
  size_t left = 0;
  static constexpr size_t CHUNK = 64 * 1024;
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();
};

// A new chunk (or a block of its own for a large n), then the block from it.
void* arena_alloc_slow(Arena& a, size_t n);
// Zero-filled block of n bytes, aligned for any record; "Out of Memory" stop when none.
inline void* arena_alloc(Arena& a, size_t n) {
  constexpr size_t ALIGN = 16;
  n = n == 0 ? ALIGN : (n + ALIGN - 1) & ~(ALIGN - 1);
  if (n > a.left) return arena_alloc_slow(a, n);
  char* p = a.cur;
  a.cur += n;
  a.left -= n;
  std::memset(p, 0, n);
  return p;
}
// Zero-filled block of n bytes kept outside the chunks (section buffers).
void* arena_alloc_large(Arena& a, size_t n);
// Copy of a text of length n, NUL added.
char* arena_strdup(Arena& a, const char* text, size_t n);
// Gives back every block; the first chunk is kept for reuse.
void arena_reset(Arena& a);
