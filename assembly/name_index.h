// An index from names to entries: open addressing over slots of eight bytes, each the
// entry's address (16-byte aligned, below 2^48) with the top 20 bits of its name's key in
// the bits the address leaves free (63..48 and 3..0); 0 marks an empty slot. A key's home
// is its top bits. An entry's name is found through the index's `name_of`, and compared
// only where the stored bits of the key agree.
#pragma once
#include <cstddef>
#include <cstdint>

#include "assembly/arena.h"

// The slot layout.
constexpr int NAME_INDEX_TOP_BITS = 20;
constexpr uint64_t NAME_INDEX_ADDRESS_BITS = 0x0000FFFFFFFFFFF0ull;
inline uint32_t name_index_key_top(uint64_t key) { return static_cast<uint32_t>(key >> (64 - NAME_INDEX_TOP_BITS)); }
inline uint32_t name_index_slot_top(uint64_t slot) {
  return static_cast<uint32_t>(slot >> 48) << 4 | static_cast<uint32_t>(slot & 0xF);
}

struct NameIndex {
  uint64_t* slots = nullptr;  // power-of-two count
  size_t size = 0;
  int bits = 0;  // log2 of size
  size_t used = 0;
  BigBlock memory;
  const char* (*name_of)(const void* entry) = nullptr;

  NameIndex() = default;
  NameIndex(const NameIndex&) = delete;
  NameIndex& operator=(const NameIndex&) = delete;
  ~NameIndex() { big_free(memory); }
};

// The key of a name of n characters: strong, so that names differing only in their digits
// spread out. Never 0 (callers use 0 for "no key worked out").
uint64_t table_key(const char* name, size_t n);

// An empty index of a few slots.
void name_index_init(NameIndex& x, const char* (*name_of)(const void* entry));
// The slot of the entry with that name (and key), or the empty slot where it would go.
// Valid until the next insertion or erasure.
size_t name_index_find(const NameIndex& x, const char* name, uint64_t key);
inline void* name_index_entry(const NameIndex& x, size_t slot) {
  return reinterpret_cast<void*>(x.slots[slot] & NAME_INDEX_ADDRESS_BITS);
}
// Makes entry the one found for its name (replacing any other of that name); the index
// grows as it fills.
void name_index_put(NameIndex& x, uint64_t key, void* entry);
// Makes entry the one found in a slot that holds one of the same name.
void name_index_replace(NameIndex& x, size_t slot, uint64_t key, void* entry);
// Empties a slot, moving later slots of its probe run back into the gap.
void name_index_erase(NameIndex& x, size_t slot);

// Asks for the slot where a lookup with this key starts, ahead of the lookup.
inline void name_index_prefetch_slot(const NameIndex& x, uint64_t key) {
  __builtin_prefetch(&x.slots[key >> (64 - x.bits)]);
}
// Asks for the entry in the slot where a lookup with this key starts, when the slot holds
// that key's top bits (most likely that name's entry), ahead of the lookup.
inline void name_index_prefetch_entry(const NameIndex& x, uint64_t key) {
  uint64_t s = x.slots[key >> (64 - x.bits)];
  if (s != 0 && name_index_slot_top(s) == name_index_key_top(key))
    __builtin_prefetch(reinterpret_cast<const void*>(s & NAME_INDEX_ADDRESS_BITS));
}

// Whether an address can be an entry (16-byte aligned, below 2^48).
inline bool name_index_fits(const void* entry) {
  return (reinterpret_cast<uintptr_t>(entry) & ~uintptr_t{NAME_INDEX_ADDRESS_BITS}) == 0;
}
