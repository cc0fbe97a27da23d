#include "assembly/arena.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "driver/run.h"

static constexpr size_t ALIGN = 16;

static constexpr size_t HUGE_PAGE = size_t{2} << 20;

// A mapping of at least n bytes, aligned to 2 MiB, in pages of 2 MiB where allowed.
static BigBlock map_huge(size_t n, bool reserve_only) {
  constexpr size_t PAGE = HUGE_PAGE;
  BigBlock b;
  size_t length = (n + PAGE - 1) & ~(PAGE - 1);
  int flags = MAP_PRIVATE | MAP_ANONYMOUS | (reserve_only ? MAP_NORESERVE : 0);
  void* map = ::mmap(nullptr, length + PAGE, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (map == MAP_FAILED) out_of_memory();
  b.map = map;
  b.map_length = length + PAGE;
  b.data = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(map) + PAGE - 1) & ~uintptr_t{PAGE - 1});
#ifdef MADV_HUGEPAGE
  ::madvise(b.data, length, MADV_HUGEPAGE);
#endif
  return b;
}

Region::~Region() {
  for (BigBlock& b : maps) ::munmap(b.map, b.map_length);
}

void* region_alloc(size_t n) {
  constexpr size_t RESERVE = size_t{32} << 20;
  constexpr size_t PAGE = 4096;
  Region& r = g->region;
  n = (n + 63) & ~size_t{63};
  // Blocks of a page or more start on a page, so that their pages can be given back.
  if (n >= PAGE && r.left > 0) {
    size_t skip = (PAGE - reinterpret_cast<uintptr_t>(r.cur) % PAGE) % PAGE;
    if (skip <= r.left) {
      r.cur += skip;
      r.left -= skip;
    }
  }
  if (n > r.left) {
    size_t size = ((n > RESERVE ? n : RESERVE) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    r.maps.reserve(r.maps.size() + 1);
    r.maps.push_back(map_huge(size, true));
    r.cur = r.maps.back().data;
    r.left = size;
  }
  char* p = r.cur;
  r.cur += n;
  r.left -= n;
  return p;
}

BigBlock big_alloc(size_t n) {
  constexpr size_t PAGE = HUGE_PAGE;
  BigBlock b;
  if (n < PAGE) {
    b.data = static_cast<char*>(region_alloc(n == 0 ? 1 : n));
    b.in_region = true;
    return b;
  }
  return map_huge(n, false);
}

void big_free(BigBlock& b) {
  if (b.map) ::munmap(b.map, b.map_length);
  else if (!b.in_region) std::free(b.data);
  b = BigBlock{};
}

Arena::~Arena() {
  if (!in_region)
    for (char* c : chunks) std::free(c);
  for (char* c : large) std::free(c);
}

void* arena_alloc(Arena& a, size_t n) {
  n = n == 0 ? ALIGN : (n + ALIGN - 1) & ~(ALIGN - 1);
  if (n > a.left) {
    if (n > Arena::CHUNK / 4) return arena_alloc_large(a, n);
    char* c = a.in_region ? static_cast<char*>(region_alloc(Arena::CHUNK)) : static_cast<char*>(std::malloc(Arena::CHUNK));
    if (!c) out_of_memory();
    a.chunks.push_back(c);
    a.cur = c;
    a.left = Arena::CHUNK;
  }
  char* p = a.cur;
  a.cur += n;
  a.left -= n;
  std::memset(p, 0, n);
  return p;
}

void* arena_alloc_in_line(Arena& a, size_t n) {
  constexpr size_t LINE = 64;
  size_t used = reinterpret_cast<uintptr_t>(a.cur) % LINE;
  size_t rounded = (n + ALIGN - 1) & ~(ALIGN - 1);
  if (used != 0 && (rounded > LINE || used + rounded > LINE)) {
    size_t skip = LINE - used;
    if (skip < a.left) {
      a.cur += skip;
      a.left -= skip;
    }
  }
  return arena_alloc(a, n);
}

void* arena_alloc_large(Arena& a, size_t n) {
  if (a.in_region) return region_alloc(n);
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
  if (a.chunks.empty() || a.in_region) return;
  for (size_t i = 1; i < a.chunks.size(); i++) std::free(a.chunks[i]);
  a.chunks.resize(1);
  a.cur = a.chunks[0];
  a.left = Arena::CHUNK;
}
