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

static const char* payload_name(const void* payload) {
  return static_cast<const NamedPayload*>(payload)->name;
}

static uint64_t index_key(const char* name) { return table_key(name, std::strlen(name)); }

NameTable* table_create(int32_t buckets) {
  NameTable* t = new NameTable();
  t->bucket_count = buckets;
  t->heads.assign(static_cast<size_t>(buckets), nullptr);
  name_index_init(t->index, payload_name);
  return t;
}

void table_destroy(NameTable* table) { delete table; }

void* record_alloc(size_t payload_size) {
  void* block = arena_alloc(g->records, sizeof(NamedNode) + payload_size);
  new (block) NamedNode{nullptr, nullptr};
  void* payload = static_cast<char*>(block) + sizeof(NamedNode);
  if (!name_index_fits(payload)) out_of_memory();
  return payload;
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
  name_index_put(table->index, index_key(name), payload);
  return payload;
}

void* table_remove(NameTable* table, void* payload) {
  if (!table || !payload) return payload;
  table->element_count--;
  NamedNode* node = record_node(payload);
  *node->back = node->next;
  if (node->next) node->next->back = node->back;

  const char* name = payload_name(payload);
  uint64_t key = index_key(name);
  NameIndex& x = table->index;
  size_t i = name_index_find(x, name, key);
  if (name_index_entry(x, i) == payload) {
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
    if (older) name_index_replace(x, i, key, older);
    else name_index_erase(x, i);
  }
  node->next = nullptr;
  node->back = nullptr;
  return payload;
}

void* table_find(const NameTable* table, const char* name) {
  if (!table) return nullptr;
  return name_index_entry(table->index, name_index_find(table->index, name, index_key(name)));
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
