// What pass 2 placed, statement by statement, for the listing: kept only when a listing is
// asked for (Run::placements). Pass 1 notes where each statement begins; pass 2 makes the
// same statements in the same order (it replays pass 1's parse, or reads the same text
// again), and its n-th statement fills in the n-th entry. So the entries need no position
// from pass 2, whose replay does not carry any; the listing shows the lines as pass 1 read
// them anyway.
#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "assembly/section.h"
#include "base/run.h"

enum PlacementKind : uint8_t {
  PLACED_BYTES,    // an instruction, .DB, .DW, .DL: the bytes it stored
  PLACED_SPACE,    // .DS: the location counter moved, nothing stored
  PLACED_LABEL,    // a label
  PLACED_SECTION,  // .SECTION: a section selected
};

// One statement. Its section's location counter before it is where the statement before
// it left the current section (nothing else moves it).
struct Placement {
  int32_t input;  // where its first token is (SrcPos)
  int32_t line;
  int32_t to;     // the current section's location counter after it
  // The current section after it: Placements::sections[section - 1]; 0 while not placed.
  uint32_t section;
  PlacementKind kind;
};

// The statements in order, in chunks that never move (as many as a run makes, with no
// copying as they grow).
class PlacementList {
 public:
  size_t size() const { return size_; }
  Placement& operator[](size_t i) { return chunks_[i >> BITS][i & (CHUNK - 1)]; }
  const Placement& operator[](size_t i) const { return chunks_[i >> BITS][i & (CHUNK - 1)]; }
  void push_back(const Placement& p) {
    if ((size_ & (CHUNK - 1)) == 0) chunks_.emplace_back(new Placement[CHUNK]);
    (*this)[size_++] = p;
  }

 private:
  static constexpr int BITS = 12;
  static constexpr size_t CHUNK = size_t{1} << BITS;
  std::vector<std::unique_ptr<Placement[]>> chunks_;
  size_t size_ = 0;
};

struct Placements {
  PlacementList list;  // in the order of the statements
  std::vector<uint8_t> bytes;  // the bytes each stored, statement after statement
  std::vector<const Section*> sections;
  std::unordered_map<const Section*, uint32_t> number_of;
  const Section* last = nullptr;  // the section last numbered, and its number
  uint32_t last_number = 0;
};

// The bytes a statement stored: those of its range [from, to) that fell inside the
// section's buffer, copied as they were then.
inline uint32_t placed_byte_count(PlacementKind kind, const Section* s, int32_t from, int32_t to) {
  if (kind != PLACED_BYTES || !s) return 0;
  int64_t lo = from > 0 ? from : 0, hi = to < s->size ? to : s->size;
  return hi > lo ? static_cast<uint32_t>(hi - lo) : 0;
}
