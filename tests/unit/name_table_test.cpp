// The named-record hash table: the exact name hash, head insertion, removal with its back
// links, lookups, and the table order that every report follows.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "assembly/name_table.h"
#include "tests/support/run_fixture.h"

namespace {

struct Rec {
  const char* name;
  int id;
};

class NameTableTest : public RunFixture {
 protected:
  std::vector<std::string> names_;  // keeps the record names alive
  Arena memory_;                     // the records

  Rec* make(const char* name, int id) {
    Rec* r = static_cast<Rec*>(record_alloc(memory_, sizeof(Rec)));
    r->name = name;
    r->id = id;
    return r;
  }
  Rec* add(NameTable* t, const char* name, int id) {
    return static_cast<Rec*>(table_insert(t, make(name, id)));
  }
  static std::vector<int> order(const NameTable* t) {
    std::vector<int> ids;
    table_visit(t, [&](void* p) { ids.push_back(static_cast<Rec*>(p)->id); });
    return ids;
  }
  static Rec* find(const NameTable* t, const char* name) {
    return static_cast<Rec*>(table_find(t, name));
  }
};

TEST_F(NameTableTest, HashOfWorkedNames) {
  EXPECT_EQ(name_hash("abc"), 0x2063);
  EXPECT_EQ(name_hash("abc") % 59, 31);
  EXPECT_EQ(name_hash("abc") % 11, 8);
  // Folds twice on the way: $C06F -> $0063, $F070 -> $307C.
  EXPECT_EQ(name_hash("loop"), 0x307C);
  EXPECT_EQ(name_hash("loop") % 59, 22);
  EXPECT_EQ(name_hash("loop") % 11, 4);
  EXPECT_EQ(name_hash("code"), 0x006D);
  EXPECT_EQ(name_hash("data"), 0x0061);
  EXPECT_EQ(name_hash(""), 0);
}

TEST_F(NameTableTest, HighBytesEnterUnsigned) {
  // Taken as signed these would give $3F8C and a different folding.
  EXPECT_EQ(name_hash("\x80"), 0x0080);
  EXPECT_EQ(name_hash("\xFF"), 0x00FF);
  // $00FF, then $F0FF folded: ($F0FF ^ $000C) & $3FFF.
  EXPECT_EQ(name_hash("\xFF\xFF"), 0x30F3);
  EXPECT_EQ(name_hash("a\xE9"), 0x10E9);
}

TEST_F(NameTableTest, EveryHashBelow4000) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> len(1, 300), byte(1, 255);
  for (int i = 0; i < 20000; i++) {
    std::string s;
    int n = len(rng);
    for (int k = 0; k < n; k++) s.push_back(static_cast<char>(byte(rng)));
    ASSERT_LT(name_hash(s.c_str()), 0x4000) << "name #" << i;
  }
  EXPECT_LT(name_hash(std::string(5000, '\xFF').c_str()), 0x4000);
}

TEST_F(NameTableTest, EmptyNameGoesToBucketZero) {
  NameTable* t = table_create(59);
  Rec* r = add(t, "", 1);
  EXPECT_EQ(t->heads[0], record_node(r));
  EXPECT_EQ(find(t, ""), r);
  table_destroy(t);
}

TEST_F(NameTableTest, LookupIsCaseSensitiveAndExact) {
  NameTable* t = table_create(59);
  Rec* lower = add(t, "loop", 1);
  Rec* upper = add(t, "Loop", 2);
  EXPECT_EQ(find(t, "loop"), lower);
  EXPECT_EQ(find(t, "Loop"), upper);
  EXPECT_EQ(find(t, "LOOP"), nullptr);
  EXPECT_EQ(find(t, "loo"), nullptr);
  EXPECT_EQ(find(t, "loops"), nullptr);
  EXPECT_EQ(table_find(nullptr, "loop"), nullptr);
  table_destroy(t);
}

TEST_F(NameTableTest, NamesSharingABucketAreToldApart) {
  // 'a', 'l' and 'w' are 97, 108 and 119: all bucket 9 of 11.
  NameTable* t = table_create(11);
  Rec* a = add(t, "a", 1);
  Rec* b = add(t, "l", 2);
  Rec* c = add(t, "w", 3);
  EXPECT_EQ(find(t, "a"), a);
  EXPECT_EQ(find(t, "l"), b);
  EXPECT_EQ(find(t, "w"), c);
  EXPECT_EQ(find(t, "b"), nullptr);
  // Table order within one bucket: the most recent first.
  EXPECT_EQ(order(t), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(t->heads[9], record_node(c));
  EXPECT_EQ(record_node(c)->back, &t->heads[9]);
  EXPECT_EQ(record_node(b)->back, &record_node(c)->next);
  EXPECT_EQ(record_node(a)->back, &record_node(b)->next);
  EXPECT_EQ(record_node(a)->next, nullptr);
  EXPECT_EQ(t->element_count, 3);
  table_destroy(t);
}

TEST_F(NameTableTest, NamesWithTheSameHashAreToldApart) {
  // abc and zero both hash to $2063.
  ASSERT_EQ(name_hash("zero"), name_hash("abc"));
  NameTable* t = table_create(59);
  Rec* abc = add(t, "abc", 1);
  Rec* zero = add(t, "zero", 2);
  EXPECT_EQ(find(t, "abc"), abc);
  EXPECT_EQ(find(t, "zero"), zero);
  EXPECT_EQ(order(t), (std::vector<int>{2, 1}));
  table_remove(t, zero);
  EXPECT_EQ(find(t, "zero"), nullptr);
  EXPECT_EQ(find(t, "abc"), abc);
  table_destroy(t);
}

TEST_F(NameTableTest, TableOrderFollowsBucketsNotInsertion) {
  NameTable* t = table_create(59);
  add(t, "abc", 1);   // bucket 31
  add(t, "loop", 2);  // bucket 22
  add(t, "", 3);      // bucket 0
  EXPECT_EQ(order(t), (std::vector<int>{3, 2, 1}));
  table_destroy(t);
}

TEST_F(NameTableTest, SameNameInsertShadowsAndRemovalUncovers) {
  NameTable* t = table_create(59);
  Rec* older = add(t, "dup", 1);
  Rec* newer = add(t, "dup", 2);
  EXPECT_EQ(find(t, "dup"), newer);
  EXPECT_EQ(order(t), (std::vector<int>{2, 1}));
  EXPECT_EQ(table_remove(t, newer), newer);
  EXPECT_EQ(find(t, "dup"), older);
  EXPECT_EQ(t->element_count, 1);
  EXPECT_EQ(table_remove(t, older), older);
  EXPECT_EQ(find(t, "dup"), nullptr);
  EXPECT_EQ(t->element_count, 0);
  table_destroy(t);
}

TEST_F(NameTableTest, RemovingTheOlderOfTwoKeepsTheNewerVisible) {
  NameTable* t = table_create(59);
  Rec* older = add(t, "dup", 1);
  Rec* newer = add(t, "dup", 2);
  table_remove(t, older);
  EXPECT_EQ(find(t, "dup"), newer);
  EXPECT_EQ(order(t), (std::vector<int>{2}));
  EXPECT_EQ(record_node(newer)->next, nullptr);
  table_destroy(t);
}

TEST_F(NameTableTest, RemovalRelinksChains) {
  NameTable* t = table_create(11);
  Rec* a = add(t, "a", 1);
  Rec* b = add(t, "l", 2);
  Rec* c = add(t, "w", 3);  // chain: w, l, a

  // Middle: its neighbours point at each other.
  table_remove(t, b);
  EXPECT_EQ(record_node(c)->next, record_node(a));
  EXPECT_EQ(record_node(a)->back, &record_node(c)->next);
  EXPECT_EQ(order(t), (std::vector<int>{3, 1}));

  // Head: the second record becomes the head and points back at the bucket slot.
  table_remove(t, c);
  EXPECT_EQ(t->heads[9], record_node(a));
  EXPECT_EQ(record_node(a)->back, &t->heads[9]);
  EXPECT_EQ(find(t, "w"), nullptr);
  EXPECT_EQ(find(t, "a"), a);

  // The only record: the bucket is empty again.
  table_remove(t, a);
  EXPECT_EQ(t->heads[9], nullptr);
  EXPECT_EQ(t->element_count, 0);
  EXPECT_TRUE(order(t).empty());

  // A removed record can go back in.
  table_insert(t, b);
  EXPECT_EQ(find(t, "l"), b);
  EXPECT_EQ(record_node(b)->back, &t->heads[9]);

  // Null table or payload: nothing happens.
  EXPECT_EQ(table_remove(nullptr, b), b);
  EXPECT_EQ(table_remove(t, nullptr), nullptr);
  EXPECT_EQ(t->element_count, 1);
  table_destroy(t);
}

TEST_F(NameTableTest, RecordsStartZeroFilled) {
  struct Big {
    const char* name;
    int32_t a;
    uint8_t bytes[200];
  };
  Big* r = static_cast<Big*>(record_alloc(memory_, sizeof(Big)));
  EXPECT_EQ(r->name, nullptr);
  EXPECT_EQ(r->a, 0);
  for (uint8_t v : r->bytes) ASSERT_EQ(v, 0);
  EXPECT_EQ(record_node(r)->next, nullptr);
  EXPECT_EQ(record_node(r)->back, nullptr);
}

TEST_F(NameTableTest, LongNamesAreComparedWhole) {
  NameTable* t = table_create(59);
  std::string base(150, 'x');
  std::string n1 = base + "1", n2 = base + "2";
  Rec* r1 = add(t, n1.c_str(), 1);
  Rec* r2 = add(t, n2.c_str(), 2);
  EXPECT_EQ(find(t, n1.c_str()), r1);
  EXPECT_EQ(find(t, n2.c_str()), r2);
  EXPECT_EQ(find(t, base.c_str()), nullptr);
  table_destroy(t);
}

// Many names in few buckets: every lookup, shadowing and removal still finds the right
// record, and the table order is still bucket by bucket, newest first.
TEST_F(NameTableTest, HundredThousandNamesInSharedBuckets) {
  constexpr int N = 100000;
  NameTable* t = table_create(59);
  names_.reserve(N + N / 10);
  std::vector<Rec*> recs;
  for (int i = 0; i < N; i++) {
    names_.push_back(std::string(1, 'n').append(std::to_string(i)));
    recs.push_back(add(t, names_.back().c_str(), i));
  }
  EXPECT_EQ(t->element_count, N);
  for (int i = 0; i < N; i++) ASSERT_EQ(find(t, names_[static_cast<size_t>(i)].c_str()), recs[static_cast<size_t>(i)]) << i;
  EXPECT_EQ(find(t, "n100000"), nullptr);
  EXPECT_EQ(find(t, "n-1"), nullptr);
  EXPECT_EQ(find(t, "N5"), nullptr);

  // Table order: buckets ascending; within a bucket, later insertions first.
  int visited = 0, last_bucket = -1, last_id = N;
  table_visit(t, [&](void* p) {
    Rec* r = static_cast<Rec*>(p);
    int bucket = name_hash(r->name) % 59;
    if (bucket != last_bucket) {
      ASSERT_GT(bucket, last_bucket);
      last_bucket = bucket;
    } else {
      ASSERT_LT(r->id, last_id);
    }
    last_id = r->id;
    visited++;
  });
  EXPECT_EQ(visited, N);

  // Shadow every tenth name, then remove every shadow again.
  std::vector<Rec*> shadows;
  for (int i = 0; i < N; i += 10) shadows.push_back(add(t, names_[static_cast<size_t>(i)].c_str(), N + i));
  for (int i = 0; i < N; i++) {
    Rec* r = find(t, names_[static_cast<size_t>(i)].c_str());
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->id, i % 10 == 0 ? N + i : i);
  }
  for (Rec* s : shadows) table_remove(t, s);
  for (int i = 0; i < N; i++) ASSERT_EQ(find(t, names_[static_cast<size_t>(i)].c_str()), recs[static_cast<size_t>(i)]) << i;

  // Remove every third original: those vanish, the rest stay.
  for (int i = 0; i < N; i += 3) table_remove(t, recs[static_cast<size_t>(i)]);
  for (int i = 0; i < N; i++) {
    Rec* r = find(t, names_[static_cast<size_t>(i)].c_str());
    if (i % 3 == 0)
      ASSERT_EQ(r, nullptr) << i;
    else
      ASSERT_EQ(r, recs[static_cast<size_t>(i)]) << i;
  }
  EXPECT_EQ(t->element_count, N - (N + 2) / 3);
  EXPECT_EQ(static_cast<int>(order(t).size()), N - (N + 2) / 3);
  table_destroy(t);
}

}  // namespace
