// Named-record hash table: a fixed number of buckets, each a chain with the most recently
// inserted record first. Records are keyed by the name that starts their payload (a
// pointer to the whole NUL-terminated name). Lookups go through an index kept beside the
// chains; the chains alone decide the table order that every report visits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "assembly/arena.h"
#include "assembly/name_index.h"

struct NamedNode {
  NamedNode* next;   // following record of the same chain
  NamedNode** back;  // the link that points at this node
};

struct NameTable {
  int32_t bucket_count = 0;
  int32_t element_count = 0;
  std::vector<NamedNode*> heads;
  NameIndex index;  // the newest record of each name

  NameTable() = default;
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;
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
