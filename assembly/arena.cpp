#include "assembly/arena.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "driver/run.h"

static constexpr size_t ALIGN = 16;

BigBlock big_alloc(size_t n) {
  constexpr size_t PAGE = size_t{2} << 20;
  BigBlock b;
  if (n < PAGE) {
    b.data = static_cast<char*>(std::calloc(1, n == 0 ? 1 : n));
    if (!b.data) out_of_memory();
    return b;
  }
  size_t length = (n + PAGE - 1) & ~(PAGE - 1);
  void* map = ::mmap(nullptr, length + PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) out_of_memory();
  b.map = map;
  b.map_length = length + PAGE;
  b.data = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(map) + PAGE - 1) & ~uintptr_t{PAGE - 1});
#ifdef MADV_HUGEPAGE
  ::madvise(b.data, length, MADV_HUGEPAGE);
#endif
  return b;
}

void big_free(BigBlock& b) {
  if (b.map) ::munmap(b.map, b.map_length);
  else std::free(b.data);
  b = BigBlock{};
}

Arena::~Arena() {
  for (char* c : chunks) std::free(c);
  for (BigBlock& b : big_chunks) big_free(b);
  for (char* c : large) std::free(c);
}

void* arena_alloc(Arena& a, size_t n) {
  n = n == 0 ? ALIGN : (n + ALIGN - 1) & ~(ALIGN - 1);
  if (n > a.left) {
    if (n > Arena::CHUNK / 4) return arena_alloc_large(a, n);
    if (a.chunk_bytes >= Arena::BIG_AFTER) {
      a.big_chunks.reserve(a.big_chunks.size() + 1);
      a.big_chunks.push_back(big_alloc(Arena::BIG_CHUNK));
      a.cur = a.big_chunks.back().data;
      a.left = Arena::BIG_CHUNK;
    } else {
      char* c = static_cast<char*>(std::malloc(Arena::CHUNK));
      if (!c) out_of_memory();
      a.chunks.push_back(c);
      a.chunk_bytes += Arena::CHUNK;
      a.cur = c;
      a.left = Arena::CHUNK;
    }
  }
  char* p = a.cur;
  a.cur += n;
  a.left -= n;
  std::memset(p, 0, n);
  return p;
}

void* arena_alloc_large(Arena& a, size_t n) {
  a.large.reserve(a.large.size() + 1);
  char* c = static_cast<char*>(std::calloc(1, n == 0 ? 1 : n));
  if (!c) out_of_memory();
  a.large.push_back(c);
  return c;
}

char* arena_strdup(Arena& a, const char* text, size_t n) {
  char* p = static_cast<char*>(arena_alloc(a, n + 1));
  std::memcpy(p, text, n);
  return p;
}

void arena_reset(Arena& a) {
  for (char* c : a.large) std::free(c);
  a.large.clear();
  if (a.chunks.empty()) return;
  for (size_t i = 1; i < a.chunks.size(); i++) std::free(a.chunks[i]);
  a.chunks.resize(1);
  a.chunk_bytes = Arena::CHUNK;
  for (BigBlock& b : a.big_chunks) big_free(b);
  a.big_chunks.clear();
  a.cur = a.chunks[0];
  a.left = Arena::CHUNK;
}
