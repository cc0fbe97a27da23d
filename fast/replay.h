// Replay: pass 1 records the actions of its parse, and pass 2 makes them again instead of
// reading and parsing the source once more.
//
// Pass 2 reads the same text as pass 1, so its parse is the same sequence of shifts and
// reductions; only the values differ (symbols defined further down are known by then).
// The record keeps, in order, every action that does something (production and stack
// entry), the text of every literal that an action reads, the symbol that each identifier
// named, and every include switch (its name goes to standard output again).
//
// Contract: the replay makes the same reduction_action calls, in the same order, on
// entries that hold what a plain pass 2's entries would hold when the action reads them
// (the token texts, the results of earlier actions), and writes the include names at the
// same points, so every output is the same as a plain pass 2's. Without positions asked
// for, entries carry no source position: the only plain message that prints one (no
// section selected) stops pass 1 first. With them (messages that name their file, a
// listing), every action whose entry's position a message or the listing reads carries
// it: a statement's (its first token), an operand's (a name, a number, a bracket, a prefix
// operator: what a message about a name or a divisor points at).
// Two specialised steps: a number's entry gets the value that its action worked out from
// the same text in pass 1, and an identifier's entry the symbol that pass 1's lookup found
// (pass 2 creates no symbols, so the lookup of the same name would find the same one);
// their actions are left out.
//
// Pass 2 replays only when pass 1 reported nothing, the record stayed within its limit,
// every opening of a file in pass 1 read a regular file and the same bytes, and every
// such file still is a regular file of those bytes (compared by a hash keyed per run);
// the check looks at a file's type before it opens it, so that nothing but a regular file
// is ever opened for it. In any other case pass 2 parses again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "source/reader.h"

// A file pass 1 read, by name (one entry however often it was opened): what it read of it,
// as its size and a keyed hash of its bytes, which every opening must have read alike.
struct ReadFile {
  std::string name;         // as the INCLUDE wrote it (printed when the replay enters it)
  std::string path;         // where it was opened (checked before pass 2 replays)
  bool regular = true;      // every opening found a regular file
  bool consistent = true;   // every opening read the same bytes, as far
  bool seen = false;        // an opening has been read whole: the fields below are set
  bool read_to_end = false;
  uint64_t size = 0;
  uint64_t hash = 0;
};

// A keyed hash of a file's bytes (SipHash-1-3), fed in pieces.
struct SipHash {
  uint64_t v0, v1, v2, v3;
  uint64_t tail = 0;
  int tail_bytes = 0;
  uint64_t length = 0;
  explicit SipHash(const uint64_t key[2] = nullptr)
      : SipHash(key ? key[0] : 0, key ? key[1] : 0) {}
  SipHash(uint64_t k0, uint64_t k1)
      : v0(k0 ^ 0x736f6d6570736575ull),
        v1(k1 ^ 0x646f72616e646f6dull),
        v2(k0 ^ 0x6c7967656e657261ull),
        v3(k1 ^ 0x7465646279746573ull) {}
  static uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }
  void round() {
    v0 += v1, v1 = rotl(v1, 13), v1 ^= v0, v0 = rotl(v0, 32);
    v2 += v3, v3 = rotl(v3, 16), v3 ^= v2;
    v0 += v3, v3 = rotl(v3, 21), v3 ^= v0;
    v2 += v1, v1 = rotl(v1, 17), v1 ^= v2, v2 = rotl(v2, 32);
  }
  void word(uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  }
  void add(const unsigned char* p, size_t n) {
    length += n;
    for (; n > 0 && tail_bytes != 0; n--, p++) take(*p);
    for (; n >= 8; n -= 8, p += 8) {
      uint64_t m;
      std::memcpy(&m, p, 8);  // little-endian, as the bytes come one by one below
      word(m);
    }
    for (; n > 0; n--, p++) take(*p);
  }
  void take(unsigned char c) {
    tail |= static_cast<uint64_t>(c) << (8 * tail_bytes);
    if (++tail_bytes == 8) {
      word(tail);
      tail = 0;
      tail_bytes = 0;
    }
  }
  uint64_t finish() {
    word(tail | length << 56);
    v2 ^= 0xff;
    round(), round(), round();
    return v0 ^ v1 ^ v2 ^ v3;
  }
};

// An opening of a file that pass 1 is reading: the hash of what it has read so far.
struct OpenRead {
  uint32_t file = 0;  // in Recording::files
  SipHash hash;
  bool at_end = false;  // the reads reached the file's end
  bool active = false;  // the slot is in use (slots are reused: as many as inputs open at once)
};

struct Recording {
  bool on = false;       // recording
  // Positions are kept too (messages that name their file and line, a listing): each
  // action whose entry's position a message or the listing reads carries it.
  bool positions = false;
  bool usable = false;   // pass 1 recorded everything
  size_t limit = 0;      // the most bytes the record may take
  std::vector<std::vector<uint8_t>> chunks;  // the record, in chunks that never move
  std::vector<ReadFile> files;               // one per name and path: memory follows the
  std::map<std::string, uint32_t> file_of;   // distinct files, not the number of includes entered
  uint64_t key[2] = {};  // the hash's key, new for each run
  std::vector<OpenRead> reading;
  uint8_t* cur = nullptr;       // where the next unit goes in the last chunk
  uint8_t* limit_at = nullptr;  // the last chunk's end
  size_t total = 0;             // bytes of all chunks
};

// Pass 1: attaches the recorder to the reader and the engine.
void record_start(Recording& rec, size_t limit);
// The pass loop gave the statement's memory back: so will the replay, here.
void record_statement_end(Recording& rec);
// After pass 1: detaches it.
void record_finish(Recording& rec);
// Before pass 2: whether the record can stand for the source.
bool record_replayable(Recording& rec);
// Pass 2: the recorded actions, made again.
void record_replay(Recording& rec);
