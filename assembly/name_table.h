// Named-record hash table: a fixed number of buckets, each a chain with the most recently
// inserted record first. Records are keyed by the name that starts their payload (a
// pointer to the whole NUL-terminated name). The chains alone decide the table order that
// every report visits; lookups go through an index kept beside them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/arena.h"

struct NamedNode {
  NamedNode* next;   // following record of the same chain
  NamedNode** back;  // the link that points at this node
};

// The payload of every record begins with its name.
struct NamedPayload {
  const char* name;
};

// The index beside the chains: open addressing with linear probing over a hash keyed per
// table (so that no set of names chosen in advance collides), at most half full. Each slot
// holds the newest record of one name and that name's hash, side by side (a probe touches
// one line of memory before it reaches a record, and the index grows without reading a
// name again).
struct IndexSlot {
  NamedNode* node = nullptr;  // null: a free slot
  uint64_t hash = 0;
};
struct NameIndex {
  std::vector<IndexSlot> slots;
  size_t used = 0;
  uint64_t seed = 0;
};

struct NameTable {
  int32_t bucket_count = 0;
  int32_t element_count = 0;
  std::vector<NamedNode*> heads;
  NameIndex index;
};

// The chains' hash of a name (its bucket is this modulo the bucket count).
uint16_t name_hash(const char* name);
// The index's hash of the n bytes of a name: eight bytes at a time, mixed with a seed.
uint64_t keyed_name_hash(uint64_t seed, const unsigned char* name, size_t n);
// A seed drawn for a run, so that no set of names chosen in advance collides.
uint64_t name_hash_seed();
// A table of `buckets` empty chains; stops the run when its memory cannot be had.
NameTable* table_create(int32_t buckets);
void table_destroy(NameTable* table);
// Payload of a new zero-filled record (header in front of it), from `memory`.
void* record_alloc(Arena& memory, size_t payload_size);
void record_free(void* payload);
// Puts a record at the head of its bucket's chain; a record of the same name already there
// is hidden from table_find (not removed) until the new one is removed.
void* table_insert(NameTable* table, void* payload);
// Takes a record out of its chain; lookups of its name find the next older record again.
void* table_remove(NameTable* table, void* payload);
// The newest record of a name, or null (also for a null table).
void* table_find(const NameTable* table, const char* name);

inline NamedNode* record_node(void* payload) {
  return reinterpret_cast<NamedNode*>(static_cast<char*>(payload) - sizeof(NamedNode));
}
inline void* node_payload(NamedNode* node) { return reinterpret_cast<char*>(node) + sizeof(NamedNode); }

// Visits every record in table order: bucket 0 upward, each chain from its head.
template <typename F>
void table_visit(const NameTable* table, F&& visit) {
  for (int32_t b = 0; b < table->bucket_count; b++)
    for (NamedNode* n = table->heads[static_cast<size_t>(b)]; n; n = n->next) visit(node_payload(n));
}
