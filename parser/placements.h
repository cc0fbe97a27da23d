// What pass 2 placed, statement by statement, for the listing: kept only when a listing is
// asked for (Run::placements). Pass 1 notes where each statement begins; pass 2 makes the
// same statements in the same order (it replays pass 1's parse, or reads the same text
// again), and its n-th statement notes what the n-th one placed. So pass 2 needs no
// positions, which its replay does not carry; the listing shows the lines as pass 1 read
// them anyway. A statement takes nine bytes here (a large program makes many): what seldom
// changes from one statement to the next, its input and its section, is noted where it
// changes.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
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

// Values by number, in chunks that never move (as many as a run makes, with no copying as
// they grow).
template <typename T>
class ChunkedList {
 public:
  size_t size() const { return size_; }
  T& operator[](size_t i) { return chunks_[i >> BITS][i & (CHUNK - 1)]; }
  const T& operator[](size_t i) const { return chunks_[i >> BITS][i & (CHUNK - 1)]; }
  // How many entries from i on (i < size()) follow each other in memory: the same for
  // every list of as many entries or more.
  size_t contiguous_from(size_t i) const {
    size_t in_chunk = CHUNK - (i & (CHUNK - 1));
    return in_chunk < size_ - i ? in_chunk : size_ - i;
  }
  void push_back(T v) {
    if ((size_ & (CHUNK - 1)) == 0) chunks_.emplace_back(new T[CHUNK]);
    chunks_.back()[size_++ & (CHUNK - 1)] = v;
  }

 private:
  static constexpr int BITS = 12;
  static constexpr size_t CHUNK = size_t{1} << BITS;
  std::vector<std::unique_ptr<T[]>> chunks_;
  size_t size_ = 0;
};

// Bytes appended group after group, in one block that doubles when full.
class ByteLog {
 public:
  size_t size() const { return size_; }
  const uint8_t* data() const { return block_.get(); }
  void reserve(size_t n) {
    if (n > capacity_) move_to(n);
  }
  void append(const uint8_t* b, size_t n) {
    if (n == 0) return;
    if (n > capacity_ - size_) move_to(std::max(2 * capacity_, size_ + n));
    std::memcpy(block_.get() + size_, b, n);
    size_ += n;
  }

 private:
  void move_to(size_t capacity) {
    std::unique_ptr<uint8_t[]> block(new uint8_t[capacity]);
    if (size_ > 0) std::memcpy(block.get(), block_.get(), size_);
    block_ = std::move(block);
    capacity_ = capacity;
  }
  std::unique_ptr<uint8_t[]> block_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// The bytes a statement stored: those of its range [from, to) that fell inside the
// section's buffer, copied as they were then.
inline uint32_t placed_byte_count(PlacementKind kind, const Section* s, int32_t from, int32_t to) {
  if (kind != PLACED_BYTES || !s) return 0;
  int64_t lo = from > 0 ? from : 0, hi = to < s->size ? to : s->size;
  return hi > lo ? static_cast<uint32_t>(hi - lo) : 0;
}

// A value that holds for the statements from `first` on, up to the next change.
struct Change {
  size_t first;
  int32_t value;
};

struct Placements {
  // Pass 1's statements (and any that pass 2 makes beyond them): the line where each
  // begins, in the input of the last change at or before it, and its kind.
  ChunkedList<int32_t> lines;
  ChunkedList<PlacementKind> kinds;
  std::vector<Change> inputs;
  // Pass 2's statements, as many as it made: the current section's location counter after
  // each, and the current section after it, as of the last change at or before it
  // (sections[number - 1]; 0: none). A statement's section's location counter before it is
  // where the statement before it left the current section (nothing else moves it).
  ChunkedList<int32_t> counters;
  std::vector<Change> section_changes;
  ByteLog bytes;  // the bytes each stored, statement after statement
  std::vector<const Section*> sections;
  std::unordered_map<const Section*, uint32_t> number_of;
  const Section* last = nullptr;  // the section last numbered, and its number
  uint32_t last_number = 0;

  // Pass 1: the next statement, which begins at `at`.
  void statement_begun(const SrcPos& at, PlacementKind kind) {
    if (inputs.empty() || inputs.back().value != at.input) inputs.push_back(Change{lines.size(), at.input});
    lines.push_back(at.line);
    kinds.push_back(kind);
  }
  // Pass 2: the next statement, begun at `from` in the section current before it, left
  // `s` current (null: none). Its location counter then, and the bytes it stored: those
  // of [from, counter) that fell inside the buffer.
  void statement_placed(const Section* s, int32_t from) {
    size_t number = counters.size();
    int32_t counter = s ? s->location_counter : 0;
    int32_t section = s ? static_cast<int32_t>(number_of_section(s)) : 0;
    if (section_changes.empty() || section_changes.back().value != section)
      section_changes.push_back(Change{number, section});
    counters.push_back(counter);
    if (uint32_t n = placed_byte_count(kinds[number], s, from, counter)) bytes.append(s->buffer + std::max(from, 0), n);
  }
  // The number of the section: 1 for the first that pass 2 made current, 2 for the next, ...
  uint32_t number_of_section(const Section* s) {
    if (s != last) {
      auto [it, fresh] = number_of.try_emplace(s, static_cast<uint32_t>(sections.size() + 1));
      if (fresh) sections.push_back(s);
      last = s;
      last_number = it->second;
    }
    return last_number;
  }
  // The input in which statement i (i < lines.size()) begins.
  int32_t input_of(size_t i) const {
    auto after =
        std::upper_bound(inputs.begin(), inputs.end(), i, [](size_t k, const Change& c) { return k < c.first; });
    return after == inputs.begin() ? -1 : std::prev(after)->value;
  }
};
