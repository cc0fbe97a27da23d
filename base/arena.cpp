#include "base/arena.h"

#include <cstdlib>
#include <cstring>

#include "base/diag.h"

Arena::~Arena() {
  for (char* c : chunks) std::free(c);
  for (char* c : large) std::free(c);
}

void* arena_alloc_slow(Arena& a, size_t n) {
  if (n > Arena::CHUNK / 4) return arena_alloc_large(a, n);
  a.chunks.reserve(a.chunks.size() + 1);
  char* c = static_cast<char*>(std::malloc(Arena::CHUNK));
  if (!c) out_of_memory();
  a.chunks.push_back(c);
  a.cur = c;
  a.left = Arena::CHUNK;
  return arena_alloc(a, n);
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
  a.cur = a.chunks[0];
  a.left = Arena::CHUNK;
}
