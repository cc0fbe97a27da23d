// Named-record hash table.
#include "assembly/name_table.h"

#include <cstring>
#include <new>

#include "driver/run.h"

uint16_t name_hash(const char* name) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; p++) {
    h = ((h << 12) + *p) & 0xFFFF;
    uint32_t top = h & 0xC000;
    if (top) h = (h ^ (top >> 12)) & 0x3FFF;
  }
  return static_cast<uint16_t>(h);
}

// The index's own hash: strong, so that names differing only in their digits spread out;
// eight characters at a time.
static uint64_t index_key(const char* name) { return table_key(name, std::strlen(name)); }

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
  return h | 1;  // never 0: callers use 0 for "no key worked out"
}

static const char* payload_name(const void* payload) {
  return static_cast<const NamedPayload*>(payload)->name;
}

// The index's slots: see NameIndexSlot.
static constexpr int TOP_BITS = 20;
static constexpr uint64_t ADDRESS_BITS = 0x0000FFFFFFFFFFF0ull;
static uint32_t key_top(uint64_t key) { return static_cast<uint32_t>(key >> (64 - TOP_BITS)); }
static NameIndexSlot slot_make(uint32_t top, const void* payload) {
  return static_cast<uint64_t>(top >> 4) << 48 | reinterpret_cast<uintptr_t>(payload) | (top & 0xF);
}
static uint32_t slot_top(NameIndexSlot s) { return static_cast<uint32_t>(s >> 48) << 4 | static_cast<uint32_t>(s & 0xF); }
static void* slot_payload(NameIndexSlot s) { return reinterpret_cast<void*>(s & ADDRESS_BITS); }

// Where a slot's name starts probing in an index of 2^bits slots: the top bits of its key,
// which the slot holds up to 2^20 slots; beyond that the key is worked out again.
static size_t slot_home(NameIndexSlot s, int bits) {
  if (bits <= TOP_BITS) return slot_top(s) >> (TOP_BITS - bits);
  return static_cast<size_t>(index_key(payload_name(slot_payload(s))) >> (64 - bits));
}

// A new empty index of 2^bits slots (the old one is freed).
static void index_allocate(NameTable* t, int bits) {
  big_free(t->index_memory);
  t->index_size = size_t{1} << bits;
  t->index_bits = bits;
  t->index_memory = big_alloc(t->index_size * sizeof(NameIndexSlot));
  t->index = reinterpret_cast<NameIndexSlot*>(t->index_memory.data);
}

NameTable* table_create(int32_t buckets) {
  NameTable* t = new NameTable();
  t->bucket_count = buckets;
  t->heads.assign(static_cast<size_t>(buckets), nullptr);
  index_allocate(t, 6);
  return t;
}

void table_destroy(NameTable* table) { delete table; }

void* record_alloc(size_t payload_size) {
  // A lookup reads the record and its name: one line for most.
  void* block = arena_alloc_in_line(g->records, sizeof(NamedNode) + payload_size);
  new (block) NamedNode{nullptr, nullptr};
  void* payload = static_cast<char*>(block) + sizeof(NamedNode);
  // The index keeps a record's address in 48 bits, its low four bits free.
  if ((reinterpret_cast<uintptr_t>(payload) & ~ADDRESS_BITS) != 0) out_of_memory();
  return payload;
}

void record_free(void*) {
  // Records live in the run's memory and go back with it at the end of the run.
}

static size_t index_slot(const NameTable* t, uint64_t key, const char* name) {
  size_t mask = t->index_size - 1;
  uint32_t top = key_top(key);
  size_t i = static_cast<size_t>(key >> (64 - t->index_bits));
  for (;;) {
    NameIndexSlot s = t->index[i];
    if (s == 0) return i;
    if (slot_top(s) == top && std::strcmp(payload_name(slot_payload(s)), name) == 0) return i;
    i = (i + 1) & mask;
  }
}

static void index_grow(NameTable* t) {
  BigBlock old = t->index_memory;
  const NameIndexSlot* old_index = t->index;
  size_t old_size = t->index_size;
  t->index_memory = BigBlock{};
  index_allocate(t, t->index_bits + 1);
  size_t mask = t->index_size - 1;
  for (size_t k = 0; k < old_size; k++) {
    NameIndexSlot s = old_index[k];
    if (s == 0) continue;
    size_t i = slot_home(s, t->index_bits);
    while (t->index[i] != 0) i = (i + 1) & mask;
    t->index[i] = s;
  }
  big_free(old);
}


void* table_insert(NameTable* table, void* payload) {
  const char* name = payload_name(payload);
  size_t bucket = name_hash(name) % static_cast<uint32_t>(table->bucket_count);
  NamedNode* node = record_node(payload);
  NamedNode* old = table->heads[bucket];
  table->heads[bucket] = node;
  node->back = &table->heads[bucket];
  node->next = old;
  if (old) old->back = &node->next;
  table->element_count++;

  // The newest record of a name is the one lookups find.
  if ((table->index_used + 1) * 2 > table->index_size) index_grow(table);
  uint64_t key = index_key(name);
  size_t i = index_slot(table, key, name);
  if (table->index[i] == 0) table->index_used++;
  table->index[i] = slot_make(key_top(key), payload);
  return payload;
}

// Removes slot i of the index, moving later slots of its probe run back into the gap.
static void index_erase(NameTable* t, size_t i) {
  size_t mask = t->index_size - 1;
  t->index[i] = 0;
  t->index_used--;
  size_t j = i;
  for (;;) {
    j = (j + 1) & mask;
    if (t->index[j] == 0) return;
    size_t home = slot_home(t->index[j], t->index_bits);
    bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
    if (movable) {
      t->index[i] = t->index[j];
      t->index[j] = 0;
      i = j;
    }
  }
}

void* table_remove(NameTable* table, void* payload) {
  if (!table || !payload) return payload;
  table->element_count--;
  NamedNode* node = record_node(payload);
  *node->back = node->next;
  if (node->next) node->next->back = node->back;

  const char* name = payload_name(payload);
  uint64_t key = index_key(name);
  size_t i = index_slot(table, key, name);
  if (table->index[i] != 0 && slot_payload(table->index[i]) == payload) {
    // An older record of the same name, if any, becomes the one lookups find: the first
    // of that name in its chain is the most recently inserted.
    size_t bucket = name_hash(name) % static_cast<uint32_t>(table->bucket_count);
    void* older = nullptr;
    for (NamedNode* n = table->heads[bucket]; n; n = n->next) {
      if (std::strcmp(payload_name(node_payload(n)), name) == 0) {
        older = node_payload(n);
        break;
      }
    }
    if (older) table->index[i] = slot_make(key_top(key), older);
    else index_erase(table, i);
  }
  node->next = nullptr;
  node->back = nullptr;
  return payload;
}

void* table_find(const NameTable* table, const char* name) {
  if (!table) return nullptr;
  return table_find_key(table, name, index_key(name));
}


void* table_find_key(const NameTable* table, const char* name, uint64_t key) {
  NameIndexSlot s = table->index[index_slot(table, key, name)];
  return s ? slot_payload(s) : nullptr;
}

std::vector<void*> table_collect(const NameTable* table) {
  size_t buckets = static_cast<size_t>(table->bucket_count);
  std::vector<std::vector<void*>> chains(buckets);
  std::vector<NamedNode*> at(table->heads.begin(), table->heads.end());
  for (bool more = true; more;) {
    more = false;
    for (size_t b = 0; b < buckets; b++) {
      if (!at[b]) continue;
      chains[b].push_back(node_payload(at[b]));
      at[b] = at[b]->next;
      more = more || at[b];
    }
  }
  std::vector<void*> all;
  all.reserve(static_cast<size_t>(table->element_count > 0 ? table->element_count : 0));
  for (const auto& chain : chains) all.insert(all.end(), chain.begin(), chain.end());
  return all;
}
