// Named-record hash table.
#include "assembly/name_table.h"

#include <sys/random.h>

#include <cstring>
#include <new>

#include "base/diag.h"

uint16_t name_hash(const char* name) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; p++) {
    h = ((h << 12) + *p) & 0xFFFF;
    uint32_t top = h & 0xC000;
    if (top) h = (h ^ (top >> 12)) & 0x3FFF;
  }
  return static_cast<uint16_t>(h);
}

static const char* payload_name(const void* payload) { return static_cast<const NamedPayload*>(payload)->name; }
static const char* node_name(NamedNode* node) { return payload_name(node_payload(node)); }

uint64_t keyed_name_hash(uint64_t seed, const unsigned char* p, size_t n) {
  uint64_t h = seed ^ (n * 0x9E3779B97F4A7C15ull);
  for (;;) {
    uint64_t w = 0;
    size_t k = n < 8 ? n : 8;
    std::memcpy(&w, p, k);
    h = (h ^ w) * 0xbf58476d1ce4e5b9ull;
    h ^= h >> 31;
    if (n <= 8) break;
    p += 8;
    n -= 8;
  }
  h = (h ^ seed) * 0x94d049bb133111ebull;
  return h ^ (h >> 32);
}

// The index's hash of a name, under the table's secret seed.
static uint64_t index_hash(const NameIndex& x, const char* name) {
  return keyed_name_hash(x.seed, reinterpret_cast<const unsigned char*>(name), std::strlen(name));
}

uint64_t name_hash_seed() {
  uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed))
    seed = reinterpret_cast<uintptr_t>(&seed) * 0x9E3779B97F4A7C15ull;
  return seed;
}

// The slot of `name`, or the free slot where it would go.
static size_t index_slot(const NameIndex& x, const char* name, uint64_t h) {
  size_t mask = x.slots.size() - 1;
  for (size_t i = (h >> 32) & mask;; i = (i + 1) & mask) {
    const IndexSlot& s = x.slots[i];
    if (!s.node || (s.hash == h && std::strcmp(node_name(s.node), name) == 0)) return i;
  }
}

// Puts a slot of a name that no other slot holds where its hash leads.
static void index_place(NameIndex& x, const IndexSlot& s) {
  size_t mask = x.slots.size() - 1;
  size_t i = (s.hash >> 32) & mask;
  while (x.slots[i].node) i = (i + 1) & mask;
  x.slots[i] = s;
}

// Doubles the index, placing each slot again by its kept hash.
static void index_grow(NameIndex& x) {
  std::vector<IndexSlot> old(x.slots.size() * 2);
  old.swap(x.slots);
  for (const IndexSlot& s : old)
    if (s.node) index_place(x, s);
}

// Empties slot i, moving the later slots of its probe run back into the gap.
static void index_erase(NameIndex& x, size_t i) {
  size_t mask = x.slots.size() - 1;
  x.slots[i] = IndexSlot{};
  x.used--;
  for (size_t j = (i + 1) & mask; x.slots[j].node; j = (j + 1) & mask) {
    IndexSlot s = x.slots[j];
    x.slots[j] = IndexSlot{};
    index_place(x, s);
  }
}

NameTable* table_create(int32_t buckets) {
  NameTable* t = new (std::nothrow) NameTable();
  if (!t) out_of_memory();
  t->bucket_count = buckets;
  t->heads.assign(static_cast<size_t>(buckets), nullptr);
  t->index.slots.assign(16, IndexSlot{});
  t->index.seed = name_hash_seed();
  return t;
}

void table_destroy(NameTable* table) { delete table; }

void* record_alloc(Arena& memory, size_t payload_size) {
  void* block = arena_alloc(memory, sizeof(NamedNode) + payload_size);
  new (block) NamedNode{nullptr, nullptr};
  return static_cast<char*>(block) + sizeof(NamedNode);
}

void record_free(void*) {
  // Records live in the run's memory and go back with it at the end of the run.
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
  NameIndex& x = table->index;
  uint64_t h = index_hash(x, name);
  size_t i = index_slot(x, name, h);
  if (!x.slots[i].node) x.used++;
  x.slots[i] = IndexSlot{node, h};
  if (x.used * 2 > x.slots.size()) index_grow(x);
  return payload;
}

void* table_remove(NameTable* table, void* payload) {
  if (!table || !payload) return payload;
  table->element_count--;
  NamedNode* node = record_node(payload);
  *node->back = node->next;
  if (node->next) node->next->back = node->back;

  // Lookups find the next older record of the name, if any, from now on.
  NameIndex& x = table->index;
  const char* name = payload_name(payload);
  size_t i = index_slot(x, name, index_hash(x, name));
  if (x.slots[i].node != node) return payload;
  size_t bucket = name_hash(name) % static_cast<uint32_t>(table->bucket_count);
  NamedNode* older = table->heads[bucket];
  while (older && std::strcmp(node_name(older), name) != 0) older = older->next;
  if (older) x.slots[i].node = older;
  else index_erase(x, i);
  return payload;
}

void* table_find(const NameTable* table, const char* name) {
  if (!table) return nullptr;
  const NameIndex& x = table->index;
  NamedNode* n = x.slots[index_slot(x, name, index_hash(x, name))].node;
  return n ? node_payload(n) : nullptr;
}
