// Named-record hash table: a fixed number of buckets, each a chain with the most recently
// inserted record first. Records are keyed by the name that starts their payload (a
// pointer to the whole NUL-terminated name). Lookups go through an index kept beside the
// chains; the chains alone decide the table order that every report visits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "assembly/arena.h"

struct NamedNode {
  NamedNode* next;   // following record of the same chain
  NamedNode** back;  // the link that points at this node
};

// A slot of the index: the newest record of a name (16-byte aligned, below 2^48) with the
// top 20 bits of the name's key in the bits the address leaves free (63..48 and 3..0);
// 0 marks an empty slot. Eight bytes a slot keep the index of a big program small enough
// for the caches.
using NameIndexSlot = uint64_t;

struct NameTable {
  int32_t bucket_count = 0;
  int32_t element_count = 0;
  std::vector<NamedNode*> heads;
  NameIndexSlot* index = nullptr;  // open addressing, power-of-two size
  size_t index_size = 0;
  int index_bits = 0;              // log2 of index_size; a key's home is its top bits
  size_t index_used = 0;
  BigBlock index_memory;

  NameTable() = default;
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;
  ~NameTable() { big_free(index_memory); }
};

// The payload of every record begins with its name.
struct NamedPayload {
  const char* name;
};

uint16_t name_hash(const char* name);
NameTable* table_create(int32_t buckets);
void table_destroy(NameTable* table);
// Payload of a new zero-filled record (header in front of it), from the run's memory.
void* record_alloc(size_t payload_size);
void record_free(void* payload);
void* table_insert(NameTable* table, void* payload);
void* table_remove(NameTable* table, void* payload);
void* table_find(const NameTable* table, const char* name);

// The index's key of a name of n characters, and a lookup with it. The key must be that
// name's: what table_key gives for it.
uint64_t table_key(const char* name, size_t n);
void* table_find_key(const NameTable* table, const char* name, uint64_t key);
// Every payload in table order (bucket 0 up, each chain from its head). The chains are
// walked side by side, so that the reads of their nodes overlap.
std::vector<void*> table_collect(const NameTable* table);


inline NamedNode* record_node(void* payload) {
  return reinterpret_cast<NamedNode*>(static_cast<char*>(payload) - sizeof(NamedNode));
}
inline void* node_payload(NamedNode* node) {
  return reinterpret_cast<char*>(node) + sizeof(NamedNode);
}

// Visits every record in table order: bucket 0 upward, each chain from its head.
template <typename F>
void table_visit(const NameTable* table, F&& visit) {
  for (int32_t b = 0; b < table->bucket_count; b++)
    for (NamedNode* n = table->heads[static_cast<size_t>(b)]; n; n = n->next)
      visit(node_payload(n));
}
