// What the parse of pass 1 did, kept so that pass 2 can do it again without reading and
// parsing the source once more.
//
// Pass 2 reads the same text as pass 1, so its parse is the same sequence of shifts and
// reductions; only the values differ (symbols defined further down are known by then).
// The trace keeps, in order, every action that ran with the stack entry it ran on, the
// value of every literal and identifier, and each include switch (its name goes to
// standard output again). Replaying it calls the same actions on the same entries, in the
// same order, as parsing the text again would.
//
// Pass 2 uses the trace only when pass 1 reported nothing, no trace was asked for (-D),
// and every file that pass 1 read is a regular file whose bytes are still the same; in
// any other case it reads and parses the source again.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "parser/engine.h"

// Bytes kept in chunks; a unit written at once never spans two chunks.
struct ChunkedBytes {
  static constexpr size_t CHUNK = size_t{1} << 18;
  std::vector<uint8_t*> chunks;  // in the run's region
  std::vector<size_t> used;  // bytes used in each chunk but the last
  uint8_t* cur = nullptr;
  uint8_t* limit = nullptr;
};

// The records of one token's feed make a shape: pairs (production, stack entry). Shapes
// repeat all the time, so each is kept once; the trace holds the shape numbers in one
// stream and the values of the literals that they read in another.
struct Trace {
  bool recording = false;
  bool usable = false;  // pass 1 recorded everything

  // The feed being recorded: its first four records packed in `key` (first record
  // lowest); from the fifth on, all of them in `segment`.
  static constexpr int SEGMENT_LIMIT = 4096;
  int segment_length = 0;
  uint64_t key = 0;
  uint8_t segment[SEGMENT_LIMIT];

  // Shapes: their bytes one after the other; shape k spans shape_start[k] to
  // shape_start[k+1]. Shape 0 is the include switch (its name's number follows in the
  // value stream).
  std::vector<uint8_t> shape_bytes;
  std::vector<uint32_t> shape_start;
  std::vector<uint32_t> shape_slots;  // shape numbers by hash of their bytes (0: free)
  size_t shape_count = 0;
  // The shapes of up to four records met last, direct-mapped by key, with their numbers
  // as written (one or two bytes): most feeds find theirs here, the others in shape_slots.
  // A key tells its length, since no record holds production 0.
  struct Memo {
    uint64_t key;
    uint16_t bytes;  // the written number, first byte lowest
    uint16_t length; // 1 or 2
  };
  static constexpr int MEMO_SIZE = 256;
  Memo memo[MEMO_SIZE];

  ChunkedBytes shapes_used;  // shape numbers
  ChunkedBytes values;       // literal values, names of include switches
  size_t total = 0;
  std::vector<std::string> includes;
};

// A file that pass 1 read: what pass 2 checks before it uses the trace.
struct InputRecord {
  std::string name;
  bool regular = false;
  bool at_end = false;    // the reads reached the end of the file
  uint64_t size = 0;      // bytes read
  uint64_t lanes[4] = {1, 2, 3, 4};  // the hash of the whole words, word k in lane k % 4
  int lane = 0;           // the lane of the next whole word
  uint64_t pending = 0;   // bytes of an unfinished 8-byte word
  int pending_count = 0;
};

void input_record_bytes(InputRecord& rec, const unsigned char* bytes, size_t n);
uint64_t input_record_hash(const InputRecord& rec);

// Pass 1: recording (the inline part is in trace_record.h). Every call but trace_start
// and trace_finish is made only while `recording` holds.
void trace_start();
bool chunk_grow(ChunkedBytes& cb, size_t n);  // false when the trace grew too large
void trace_long_record(int production, int entry);
void trace_feed_close();
void trace_string(const char* s);
void trace_include(const char* name);
void trace_finish();

// Pass 2: whether the trace can stand for the source, and the replay.
bool trace_replayable();
void trace_replay();
