// An index from names to entries.
#include "assembly/name_index.h"

#include <cstring>

uint64_t table_key(const char* name, size_t n) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
  uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  for (; n >= 8; n -= 8, p += 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xbf58476d1ce4e5b9ull;
    h ^= h >> 31;
  }
  if (n > 0) {
    uint64_t w = 0;
    for (size_t i = 0; i < n; i++) w |= static_cast<uint64_t>(p[i]) << (8 * i);
    h = (h ^ w) * 0xbf58476d1ce4e5b9ull;
    h ^= h >> 31;
  }
  h ^= h >> 29;
  h *= 0x94d049bb133111ebull;
  h ^= h >> 32;
  return h | 1;
}

static constexpr int TOP_BITS = NAME_INDEX_TOP_BITS;
static constexpr uint64_t ADDRESS_BITS = NAME_INDEX_ADDRESS_BITS;

static uint32_t key_top(uint64_t key) { return name_index_key_top(key); }
static uint64_t slot_make(uint64_t key, const void* entry) {
  uint32_t top = key_top(key);
  return static_cast<uint64_t>(top >> 4) << 48 | reinterpret_cast<uintptr_t>(entry) | (top & 0xF);
}
static uint32_t slot_top(uint64_t s) { return name_index_slot_top(s); }

// Where a slot's name starts probing in an index of 2^bits slots: the top bits of its key,
// which the slot holds up to 2^20 slots; beyond that the key is worked out again.
static size_t slot_home(const NameIndex& x, uint64_t s, int bits) {
  if (bits <= TOP_BITS) return slot_top(s) >> (TOP_BITS - bits);
  const char* name = x.name_of(reinterpret_cast<const void*>(s & ADDRESS_BITS));
  return static_cast<size_t>(table_key(name, std::strlen(name)) >> (64 - bits));
}

static void allocate(NameIndex& x, int bits) {
  x.size = size_t{1} << bits;
  x.bits = bits;
  x.memory = big_alloc(x.size * sizeof(uint64_t));
  x.slots = reinterpret_cast<uint64_t*>(x.memory.data);
}

void name_index_init(NameIndex& x, const char* (*name_of)(const void* entry)) {
  big_free(x.memory);
  x.name_of = name_of;
  x.used = 0;
  allocate(x, 6);
}

size_t name_index_find(const NameIndex& x, const char* name, uint64_t key) {
  size_t mask = x.size - 1;
  uint32_t top = key_top(key);
  size_t i = static_cast<size_t>(key >> (64 - x.bits));
  for (;;) {
    uint64_t s = x.slots[i];
    if (s == 0) return i;
    if (slot_top(s) == top && std::strcmp(x.name_of(reinterpret_cast<const void*>(s & ADDRESS_BITS)), name) == 0)
      return i;
    i = (i + 1) & mask;
  }
}

static void grow(NameIndex& x) {
  BigBlock old = x.memory;
  const uint64_t* old_slots = x.slots;
  size_t old_size = x.size;
  allocate(x, x.bits + 1);
  size_t mask = x.size - 1;
  for (size_t k = 0; k < old_size; k++) {
    uint64_t s = old_slots[k];
    if (s == 0) continue;
    size_t i = slot_home(x, s, x.bits);
    while (x.slots[i] != 0) i = (i + 1) & mask;
    x.slots[i] = s;
  }
  big_free(old);
}

void name_index_put(NameIndex& x, uint64_t key, void* entry) {
  if ((x.used + 1) * 2 > x.size) grow(x);
  size_t i = name_index_find(x, x.name_of(entry), key);
  if (x.slots[i] == 0) x.used++;
  x.slots[i] = slot_make(key, entry);
}

void name_index_replace(NameIndex& x, size_t slot, uint64_t key, void* entry) { x.slots[slot] = slot_make(key, entry); }

void name_index_erase(NameIndex& x, size_t i) {
  size_t mask = x.size - 1;
  x.slots[i] = 0;
  x.used--;
  size_t j = i;
  for (;;) {
    j = (j + 1) & mask;
    if (x.slots[j] == 0) return;
    size_t home = slot_home(x, x.slots[j], x.bits);
    bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
    if (movable) {
      x.slots[i] = x.slots[j];
      x.slots[j] = 0;
      i = j;
    }
  }
}
